// environment.yml (conda): "numpy>=1.21", "python=3.10", and a pip: sub-list.
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/yaml.h"

namespace ostrameld::metadata {

void read_environment(std::string_view text, MetadataSource& out) {
  Json doc;
  try {
    doc = load_yaml(text);
  } catch (const YamlError& e) {
    out.problem = std::string("not valid YAML: ") + e.what();
    return;
  }
  if (!doc.is_object()) {
    out.problem = "not a mapping";
    return;
  }
  out.title = text_of(doc.value("name", Json()));
  // "conda-forge::numpy >=1.21" -> numpy, ">=1.21"; "python=3.10" -> python, "=3.10".
  static const Regex spec("^\\s*(?:[\\w./-]+::)?([A-Za-z0-9_.-]+)\\s*(.*)$");
  Json deps = doc.value("dependencies", Json());
  if (!deps.is_array()) return;
  for (const auto& d : deps) {
    if (d.is_object()) {
      Json pip = d.value("pip", Json());
      if (pip.is_array()) {
        for (const auto& p : pip) {
          if (!p.is_string()) continue;
          const std::string& line = p.get<std::string>();
          if (line == "-e ." || line == "." || line.rfind("-e .[", 0) == 0) {
            out.data = Json::object({{"installs_project", true}});  // an environment to work on the project in
          } else if (line.rfind("-", 0) != 0) {
            Dependency dep = parse_pep508(line, "runtime");
            if (!dep.name.empty()) out.dependencies.push_back(std::move(dep));
          }
        }
      }
      continue;
    }
    std::string s = text_of(d);
    Dependency dep;
    dep.scope = "runtime";
    if (auto name = spec.search_group(s, 1)) dep.name = std::string(*name);
    if (auto c = spec.search_group(s, 2)) dep.constraint = std::string(*c);
    if (dep.name.empty() || dep.name == "pip") continue;
    out.dependencies.push_back(std::move(dep));
  }
}

}  // namespace ostrameld::metadata
