// vcpkg.json: dependencies as names or objects with "version>=" (and overrides).
#include "ostrameld/metadata/model.h"

namespace ostrameld::metadata {

void read_vcpkg(std::string_view text, MetadataSource& out) {
  auto doc = read_json(text);
  if (!doc || !doc->is_object()) {
    out.problem = "not a JSON object";
    return;
  }
  out.title = text_of(doc->value("name", Json()));
  out.version = text_of(doc->value("version", Json(doc->value("version-string", Json()))));
  Json overrides = doc->value("overrides", Json());
  bool baseline = doc->contains("builtin-baseline");  // a baseline pins every port's version
  Json deps = doc->value("dependencies", Json());
  if (!deps.is_array()) return;
  for (const auto& d : deps) {
    Dependency dep;
    dep.scope = "runtime";
    if (d.is_string()) {
      dep.name = d.get<std::string>();
    } else if (d.is_object()) {
      dep.name = text_of(d.value("name", Json()));
      if (auto v = text_of(d.value("version>=", Json())); !v.empty()) dep.constraint = ">=" + v;
    }
    if (dep.constraint.empty() && overrides.is_array())
      for (const auto& o : overrides)
        if (o.is_object() && text_of(o.value("name", Json())) == dep.name)
          dep.constraint = "=" + text_of(o.value("version", Json()));
    if (dep.constraint.empty() && baseline) dep.constraint = "baseline";
    if (!dep.name.empty()) out.dependencies.push_back(std::move(dep));
  }
}

}  // namespace ostrameld::metadata
