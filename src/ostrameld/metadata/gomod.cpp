// go.mod: the module path and its requirements, each at an exact version.
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::metadata {

void read_go_mod(std::string_view text, MetadataSource& out) {
  bool block = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    std::string_view line = py_strip(text.substr(pos, eol == std::string_view::npos ? text.npos : eol - pos));
    pos = eol == std::string_view::npos ? text.size() : eol + 1;
    if (auto c = line.find("//"); c != std::string_view::npos) line = py_strip(line.substr(0, c));
    if (line.rfind("module ", 0) == 0) {
      out.title = std::string(py_strip(line.substr(7)));
      continue;
    }
    if (line == "require (") {
      block = true;
      continue;
    }
    if (block && line == ")") {
      block = false;
      continue;
    }
    std::string_view req;
    if (block) req = line;
    else if (line.rfind("require ", 0) == 0) req = py_strip(line.substr(8));
    if (req.empty()) continue;
    auto space = req.find(' ');
    if (space == std::string_view::npos) continue;
    Dependency d;
    d.name = std::string(req.substr(0, space));
    d.constraint = std::string(py_strip(req.substr(space + 1)));
    d.scope = "runtime";
    out.dependencies.push_back(std::move(d));
  }
}

}  // namespace ostrameld::metadata
