// package.json (npm, yarn, pnpm): the package and, for a monorepo, its workspaces.
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::metadata {

namespace {

Person npm_person(const Json& p) {
  if (p.is_string()) return person_from_text(p.get<std::string>());
  Person out;
  if (!p.is_object()) return out;
  out.name = text_of(p.value("name", Json()));
  if (auto url = text_of(p.value("url", Json())); !url.empty()) {
    if (auto o = parse_orcid(url)) {
      out.orcid = o;
      out.orcid_text = url;
    }
  }
  return out;
}

void dependency_table(const Json& table, const char* scope, MetadataSource& out) {
  if (!table.is_object()) return;
  for (const auto& [name, range] : table.items()) {
    Dependency d;
    d.name = name;
    d.scope = scope;
    d.constraint = text_of(range);
    if (d.constraint == "*" || d.constraint == "latest" || d.constraint == "x") d.constraint.clear();
    out.dependencies.push_back(std::move(d));
  }
}

}  // namespace

void read_package_json(std::string_view text, MetadataSource& out) {
  auto parsed = read_json(text);
  if (!parsed) {
    out.problem = "not valid JSON";
    return;
  }
  Json doc = std::move(*parsed);
  if (!doc.is_object()) {
    out.problem = "not a JSON object";
    return;
  }
  out.title = text_of(doc.value("name", Json()));
  out.version = text_of(doc.value("version", Json()));
  Json licence = doc.value("license", Json());
  if (licence.is_object()) licence = licence.value("type", Json());
  if (!text_of(licence).empty()) out.licences.push_back(text_of(licence));
  if (auto a = doc.find("author"); a != doc.end()) {
    Person p = npm_person(*a);
    if (!p.name.empty()) out.authors.push_back(std::move(p));
  }
  Json repository = doc.value("repository", Json());
  std::string repo = repository.is_object() ? text_of(repository.value("url", Json())) : text_of(repository);
  // "github:user/repo" and "user/repo" are npm's shorthands for GitHub.
  if (repo.rfind("github:", 0) == 0) repo = "https://github.com/" + repo.substr(7);
  else if (!repo.empty() && repo.find(':') == std::string::npos && repo.find('/') != std::string::npos)
    repo = "https://github.com/" + repo;
  if (repo.rfind("git+", 0) == 0) repo = repo.substr(4);
  if (!repo.empty()) out.repository_urls.push_back(repo);
  if (auto h = text_of(doc.value("homepage", Json())); !h.empty()) out.urls.push_back(h);
  dependency_table(doc.value("dependencies", Json()), "runtime", out);
  dependency_table(doc.value("peerDependencies", Json()), "runtime", out);
  dependency_table(doc.value("optionalDependencies", Json()), "optional", out);
  dependency_table(doc.value("devDependencies", Json()), "dev", out);
  Json workspaces = doc.value("workspaces", Json());
  if (workspaces.is_object()) workspaces = workspaces.value("packages", Json());
  if (workspaces.is_array())
    for (const auto& w : workspaces)
      if (w.is_string()) out.members.push_back(w.get<std::string>());
  out.is_private = doc.value("private", Json(false)) == Json(true);
  if (auto k = doc.find("keywords"); k != doc.end() && k->is_array())
    for (const auto& w : *k)
      if (w.is_string()) out.keywords.push_back(w.get<std::string>());
  out.description = text_of(doc.value("description", Json()));
  out.data = std::move(doc);
}

}  // namespace ostrameld::metadata
