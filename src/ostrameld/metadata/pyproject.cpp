// pyproject.toml: PEP 621's [project] table, or Poetry's [tool.poetry].
#include "ostrameld/metadata/model.h"

#include <new>

#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::metadata {

namespace {

// "requests>=2.0; python_version<'3.8'" -> name "requests", constraint ">=2.0".
Dependency pep508(std::string_view spec, std::string scope) {
  static const Regex re(
      "^\\s*([A-Za-z0-9][A-Za-z0-9._-]*)\\s*(\\[[^\\]]*\\])?\\s*(\\([^)]*\\)|[^;@]*)?\\s*(@[^;]*)?");
  Dependency d;
  d.scope = std::move(scope);
  if (auto name = re.search_group(spec, 1)) d.name = std::string(*name);
  if (auto c = re.search_group(spec, 3)) {
    std::string constraint(py_strip(*c));
    if (constraint.size() > 1 && constraint.front() == '(') constraint = constraint.substr(1, constraint.size() - 2);
    d.constraint = std::string(py_strip(constraint));
  }
  if (auto url = re.search_group(spec, 4); url && d.constraint.empty())
    d.constraint = std::string(py_strip(*url));
  return d;
}

void pep508_list(const Json& list, const std::string& scope, MetadataSource& out) {
  if (!list.is_array()) return;
  for (const auto& item : list) {
    if (!item.is_string()) continue;
    Dependency d = pep508(item.get<std::string>(), scope);
    if (!d.name.empty()) out.dependencies.push_back(std::move(d));
  }
}

// Poetry's tables: name = "^1.2" or name = {version = "^1.2", optional = true}.
void poetry_table(const Json& table, const std::string& scope, MetadataSource& out) {
  if (!table.is_object()) return;
  for (const auto& [name, spec] : table.items()) {
    if (ascii_lower(name) == "python") continue;  // the interpreter, not a package
    Dependency d;
    d.name = name;
    d.scope = scope;
    if (spec.is_string()) {
      d.constraint = spec.get<std::string>();
    } else if (spec.is_object()) {
      d.constraint = text_of(spec.value("version", Json()));
      if (d.constraint.empty())
        for (const char* pin : {"git", "path", "url"})
          if (spec.contains(pin)) d.constraint = std::string(pin) + " " + text_of(spec[pin]);
      if (spec.value("optional", false)) d.scope = "optional";
    }
    if (d.constraint == "*") d.constraint.clear();
    out.dependencies.push_back(std::move(d));
  }
}

void licence_of(const Json& l, MetadataSource& out) {
  if (l.is_string()) {
    out.licences.push_back(l.get<std::string>());
  } else if (l.is_object()) {
    if (auto t = text_of(l.value("text", Json())); !t.empty()) out.licences.push_back(t);
  }
}

// Trove classifiers declare a licence where no license field does.
void classifier_licences(const Json& classifiers, MetadataSource& out) {
  if (!out.licences.empty() || !classifiers.is_array()) return;
  for (const auto& c : classifiers)
    if (c.is_string())
      if (auto id = licence_of_classifier(c.get<std::string>()); !id.empty()) out.licences.push_back(id);
}

}  // namespace

void read_pyproject(std::string_view text, MetadataSource& out) {
  Json doc;
  try {
    doc = load_toml(text);
  } catch (const std::bad_alloc&) {
    throw;  // the memory limit ends the assessment; it is no finding
  } catch (const std::exception& e) {
    out.problem = std::string("not valid TOML: ") + e.what();
    return;
  }
  const Json project = doc.value("project", Json::object());
  const Json tool = doc.value("tool", Json::object());
  const Json poetry = tool.is_object() ? tool.value("poetry", Json::object()) : Json::object();
  if (project.is_object() && !project.empty()) {
    out.title = text_of(project.value("name", Json()));
    out.version = text_of(project.value("version", Json()));
    licence_of(project.value("license", Json()), out);
    classifier_licences(project.value("classifiers", Json()), out);
    for (const char* key : {"authors", "maintainers"}) {
      Json people = project.value(key, Json());
      if (!people.is_array()) continue;
      for (const auto& p : people) {
        if (!p.is_object()) continue;
        Person person;
        person.name = text_of(p.value("name", Json()));
        if (!person.name.empty() && std::string(key) == "authors") out.authors.push_back(person);
      }
    }
    Json urls = project.value("urls", Json());
    if (urls.is_object()) {
      for (const auto& [label, url] : urls.items()) {
        std::string l = ascii_lower(label);
        std::string u = text_of(url);
        if (u.empty()) continue;
        if (l.find("source") != std::string::npos || l.find("repository") != std::string::npos ||
            l == "code" || l == "github" || l == "gitlab")
          out.repository_urls.push_back(u);
        else
          out.urls.push_back(u);
      }
    }
    pep508_list(project.value("dependencies", Json()), "runtime", out);
    Json optional = project.value("optional-dependencies", Json());
    if (optional.is_object())
      for (const auto& [group, list] : optional.items()) pep508_list(list, "optional", out);
    if (auto k = project.find("keywords"); k != project.end() && k->is_array())
      for (const auto& w : *k)
        if (w.is_string()) out.keywords.push_back(w.get<std::string>());
    out.description = text_of(project.value("description", Json()));
  }
  if (poetry.is_object() && !poetry.empty()) {
    if (out.title.empty()) out.title = text_of(poetry.value("name", Json()));
    if (out.version.empty()) out.version = text_of(poetry.value("version", Json()));
    if (out.licences.empty()) licence_of(poetry.value("license", Json()), out);
    classifier_licences(poetry.value("classifiers", Json()), out);
    if (out.authors.empty()) {
      Json people = poetry.value("authors", Json());
      if (people.is_array())
        for (const auto& p : people)
          if (p.is_string()) out.authors.push_back(person_from_text(p.get<std::string>()));
    }
    if (auto r = text_of(poetry.value("repository", Json())); !r.empty())
      out.repository_urls.push_back(r);
    for (const char* key : {"homepage", "documentation"})
      if (auto u = text_of(poetry.value(key, Json())); !u.empty()) out.urls.push_back(u);
    poetry_table(poetry.value("dependencies", Json()), "runtime", out);
    poetry_table(poetry.value("dev-dependencies", Json()), "dev", out);
    Json groups = poetry.value("group", Json());
    if (groups.is_object())
      for (const auto& [name, group] : groups.items())
        if (group.is_object()) poetry_table(group.value("dependencies", Json()), name == "test" ? "test" : "dev", out);
    if (out.description.empty()) out.description = text_of(poetry.value("description", Json()));
  }
  Json groups = doc.value("dependency-groups", Json());
  if (groups.is_object())
    for (const auto& [name, list] : groups.items()) pep508_list(list, name == "test" ? "test" : "dev", out);
  out.data = std::move(doc);
}

Dependency parse_pep508(std::string_view spec, std::string scope) { return pep508(spec, std::move(scope)); }

}  // namespace ostrameld::metadata
