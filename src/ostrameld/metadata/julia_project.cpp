// Project.toml: a Julia package (name, uuid, version), its [deps] and [compat] bounds.
#include "ostrameld/metadata/model.h"

#include <new>

namespace ostrameld::metadata {

void read_julia_project(std::string_view text, MetadataSource& out) {
  Json doc;
  try {
    doc = load_toml(text);
  } catch (const std::bad_alloc&) {
    throw;  // the memory limit ends the assessment; it is no finding
  } catch (const std::exception& e) {
    out.problem = std::string("not valid TOML: ") + e.what();
    return;
  }
  out.title = text_of(doc.value("name", Json()));
  out.version = text_of(doc.value("version", Json()));
  Json authors = doc.value("authors", Json());
  if (authors.is_array())
    for (const auto& a : authors)
      if (a.is_string()) out.authors.push_back(person_from_text(a.get<std::string>()));
  Json deps = doc.value("deps", Json());
  Json compat = doc.value("compat", Json());
  if (deps.is_object()) {
    for (const auto& [name, uuid] : deps.items()) {
      Dependency d;
      d.name = name;
      d.scope = "runtime";
      if (compat.is_object()) d.constraint = text_of(compat.value(name, Json()));
      out.dependencies.push_back(std::move(d));
    }
  }
  // A workspace (Julia 1.12): its projects are the monorepo's packages.
  if (auto ws = doc.find("workspace"); ws != doc.end() && ws->is_object())
    if (auto projects = ws->find("projects"); projects != ws->end() && projects->is_array())
      for (const auto& p : *projects)
        if (p.is_string()) out.members.push_back(p.get<std::string>());
  out.data = std::move(doc);
}

}  // namespace ostrameld::metadata
