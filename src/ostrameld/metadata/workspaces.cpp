// The package lists of JavaScript monorepo tools: lerna.json ("packages") and
// pnpm-workspace.yaml ("packages").
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/yaml.h"

namespace ostrameld::metadata {

void read_workspace_list(std::string_view text, MetadataSource& out) {
  Json doc;
  if (out.name == "lerna.json") {
    auto parsed = read_json(text);
    if (!parsed) {
      out.problem = "not valid JSON";
      return;
    }
    doc = std::move(*parsed);
  } else {
    try {
      doc = load_yaml(text);
    } catch (const YamlError& e) {
      out.problem = std::string("not valid YAML: ") + e.what();
      return;
    }
  }
  if (!doc.is_object()) {
    out.problem = "not a mapping";
    return;
  }
  Json packages = doc.value("packages", Json());
  if (packages.is_array())
    for (const auto& p : packages)
      if (p.is_string()) out.members.push_back(p.get<std::string>());
  out.version = text_of(doc.value("version", Json()));  // lerna's fixed version mode
  if (out.version == "independent") out.version.clear();
  out.data = std::move(doc);
}

}  // namespace ostrameld::metadata
