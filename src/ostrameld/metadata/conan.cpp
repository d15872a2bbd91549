// conanfile.txt ([requires] name/version) and conanfile.py (requires = ... / self.requires()).
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::metadata {

void read_conanfile(std::string_view text, MetadataSource& out) {
  // "fmt/10.1.1", "boost/[>=1.80 <2]", "zlib/1.3@user/channel".
  static const Regex ref("[\"']?([A-Za-z0-9_.+-]+)/(\\[[^\\]]*\\]|[A-Za-z0-9_.+-]+)(?:@[^\"'\\s,]*)?[\"']?");
  bool txt = out.path.size() >= 4 && out.path.compare(out.path.size() - 4, 4, ".txt") == 0;
  std::string section;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    std::string_view line = py_strip(text.substr(pos, eol == std::string_view::npos ? text.npos : eol - pos));
    pos = eol == std::string_view::npos ? text.size() : eol + 1;
    if (txt) {
      if (!line.empty() && line.front() == '[') {
        section = std::string(line);
        continue;
      }
      if (section != "[requires]" && section != "[tool_requires]" && section != "[build_requires]") continue;
    } else if (line.find("requires") == std::string_view::npos) {
      continue;
    }
    for (auto name : ref.find_all_groups(line, 1)) {
      auto m = line.find(std::string(name) + "/");
      if (m == std::string_view::npos) continue;
      std::string_view after = line.substr(m + name.size() + 1);
      Dependency d;
      d.name = std::string(name);
      d.constraint = std::string(after.substr(0, after.find_first_of("\"'@ ,)")));
      d.scope = section == "[requires]" || !txt ? "runtime" : "build";
      out.dependencies.push_back(std::move(d));
    }
  }
}

}  // namespace ostrameld::metadata
