// requirements*.txt: one PEP 508 requirement per line; options and includes are not
// requirements (the includes are read as sources of their own).
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::metadata {

void read_requirements(std::string_view text, MetadataSource& out) {
  std::size_t pos = 0;
  std::string pending;  // a line continued with "\"
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    std::string_view line = text.substr(pos, eol == std::string_view::npos ? text.npos : eol - pos);
    pos = eol == std::string_view::npos ? text.size() : eol + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\\') {
      pending += std::string(line.substr(0, line.size() - 1));
      continue;
    }
    std::string full = pending + std::string(line);
    pending.clear();
    auto hash = full.find(" #");
    if (hash != std::string::npos) full.resize(hash);
    std::string_view v = py_strip(full);
    if (v.empty() || v.front() == '#') continue;
    // "-e .", ".[test]", "-e ./": the project itself, installed to work on it.
    if (std::string_view target = v.substr(0, 2) == "-e" ? py_strip(v.substr(2)) : v;
        target == "." || target.starts_with(".[") || target == "./" || target.starts_with("./[")) {
      if (!out.data.is_object()) out.data = Json::object();
      out.data["installs_project"] = true;
      continue;
    }
    if (v.front() == '-') {
      // "-r other.txt" / "-c constraints.txt": kept as members, for the reader of the tree.
      if (v.substr(0, 2) == "-r" || v.substr(0, 2) == "-c" || v.substr(0, 12) == "--requirement") {
        auto space = v.find_first_of(" =");
        if (space != std::string_view::npos) out.members.emplace_back(py_strip(v.substr(space + 1)));
      }
      continue;
    }
    Dependency d = parse_pep508(v, "runtime");
    if (!d.name.empty()) out.dependencies.push_back(std::move(d));
  }
}

}  // namespace ostrameld::metadata
