// Cargo.toml: a Rust package, a workspace, or both.
#include "ostrameld/metadata/model.h"

#include <new>

namespace ostrameld::metadata {

namespace {

// A field of [package], or the workspace's when it says `field.workspace = true`.
std::string package_field(const Json& package, const Json& workspace_package, const char* key) {
  Json v = package.value(key, Json());
  if (v.is_object() && v.value("workspace", false)) v = workspace_package.value(key, Json());
  return text_of(v);
}

void dependency_table(const Json& table, const char* scope, MetadataSource& out) {
  if (!table.is_object()) return;
  for (const auto& [name, spec] : table.items()) {
    Dependency d;
    d.name = name;
    d.scope = scope;
    if (spec.is_string()) {
      d.constraint = spec.get<std::string>();
    } else if (spec.is_object()) {
      d.constraint = text_of(spec.value("version", Json()));
      if (d.constraint.empty() && spec.contains("git")) d.constraint = "git " + text_of(spec["git"]);
      if (d.constraint.empty() && spec.value("workspace", false)) d.constraint = "workspace";
      if (spec.value("optional", false)) d.scope = "optional";
    }
    if (d.constraint == "*") d.constraint.clear();
    out.dependencies.push_back(std::move(d));
  }
}

}  // namespace

void read_cargo(std::string_view text, MetadataSource& out) {
  Json doc;
  try {
    doc = load_toml(text);
  } catch (const std::bad_alloc&) {
    throw;  // the memory limit ends the assessment; it is no finding
  } catch (const std::exception& e) {
    out.problem = std::string("not valid TOML: ") + e.what();
    return;
  }
  Json package = doc.value("package", Json::object());
  Json workspace = doc.value("workspace", Json::object());
  Json wp = workspace.is_object() ? workspace.value("package", Json::object()) : Json::object();
  if (!package.is_object()) package = Json::object();
  out.title = text_of(package.value("name", Json()));
  out.version = package_field(package, wp, "version");
  if (auto l = package_field(package, wp, "license"); !l.empty()) out.licences.push_back(l);
  Json authors = package.value("authors", Json());
  if (authors.is_object() && authors.value("workspace", false)) authors = wp.value("authors", Json());
  if (authors.is_array())
    for (const auto& a : authors)
      if (a.is_string()) out.authors.push_back(person_from_text(a.get<std::string>()));
  if (auto r = package_field(package, wp, "repository"); !r.empty()) out.repository_urls.push_back(r);
  for (const char* key : {"homepage", "documentation"})
    if (auto u = package_field(package, wp, key); !u.empty()) out.urls.push_back(u);
  dependency_table(doc.value("dependencies", Json()), "runtime", out);
  dependency_table(doc.value("build-dependencies", Json()), "build", out);
  dependency_table(doc.value("dev-dependencies", Json()), "dev", out);
  if (workspace.is_object()) {
    Json members = workspace.value("members", Json());
    if (members.is_array())
      for (const auto& m : members)
        if (m.is_string()) out.members.push_back(m.get<std::string>());
    dependency_table(workspace.value("dependencies", Json()), "runtime", out);
  }
  out.description = package_field(package, wp, "description");
  out.data = std::move(doc);
}

}  // namespace ostrameld::metadata
