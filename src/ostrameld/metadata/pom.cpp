// pom.xml: a Maven project, its modules and dependencies (XML through pugixml; no
// entities, no external documents).
#include <pugixml.hpp>

#include <map>

#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::metadata {

namespace {

std::string child_text(const pugi::xml_node& node, const char* name) {
  return std::string(py_strip(node.child(name).text().as_string()));
}

// "${revision}" and "${junit.version}" as Maven resolves them from <properties>, and the
// project's own coordinates; a property defined nowhere here (a parent outside the
// repository, the command line) stays as written. Properties naming properties are
// followed a few steps, never round a loop.
std::string interpolate(std::string value, const std::map<std::string, std::string>& properties) {
  // Properties made of properties could double at every step: the text stays short, and
  // a value that does not settle within a few steps is left as written.
  constexpr std::size_t kMaxValue = 4096;
  const std::string written = value;
  for (int step = 0;; ++step) {
    if (value.find("${") == std::string::npos) return value;
    if (step == 8) return written;
    std::string out;
    bool changed = false;
    for (std::size_t i = 0; i < value.size();) {
      auto open = value.find("${", i);
      if (open == std::string::npos) {
        out += value.substr(i);
        break;
      }
      auto close = value.find('}', open);
      if (close == std::string::npos) {
        out += value.substr(i);
        break;
      }
      out += value.substr(i, open - i);
      std::string name = value.substr(open + 2, close - open - 2);
      auto it = properties.find(name);
      if (it != properties.end()) {
        out += it->second;
        changed = true;
      } else {
        out += value.substr(open, close - open + 1);
      }
      i = close + 1;
    }
    if (out.size() > kMaxValue) return written;  // a value this long is no version
    if (!changed) return out;                     // what is defined nowhere here stays
    value = std::move(out);
  }
}

}  // namespace

void read_pom(std::string_view text, MetadataSource& out) {
  pugi::xml_document doc;
  // Plain parsing: no DOCTYPE processing, so no entity can expand or fetch anything.
  auto result = doc.load_buffer(text.data(), text.size(), pugi::parse_default & ~pugi::parse_doctype);
  if (!result) {
    out.problem = std::string("not well-formed XML: ") + result.description();
    return;
  }
  pugi::xml_node project = doc.child("project");
  if (!project) {
    out.problem = "no <project> element";
    return;
  }
  pugi::xml_node parent = project.child("parent");
  std::string group = child_text(project, "groupId");
  if (group.empty()) group = child_text(parent, "groupId");
  std::string artifact = child_text(project, "artifactId");
  out.title = artifact.empty() ? child_text(project, "name") : artifact;
  std::map<std::string, std::string> properties;
  for (auto prop : project.child("properties").children())
    if (prop.type() == pugi::node_element) properties[prop.name()] = std::string(py_strip(prop.text().as_string()));
  out.version = interpolate(child_text(project, "version"), properties);
  if (out.version.empty()) out.version = interpolate(child_text(parent, "version"), properties);  // inherited
  properties["project.version"] = out.version;
  properties["project.groupId"] = group;
  properties["project.parent.version"] = child_text(parent, "version");
  for (auto l : project.child("licenses").children("license")) {
    // A licence page of its steward says exactly which licence and version a free-form
    // name ("GNU LGPL v2") means.
    std::string name = child_text(l, "name"), url = child_text(l, "url");
    std::string lower = ascii_lower(url);
    bool exact = lower.find("gnu.org/licenses/") != std::string::npos || lower.find("apache.org/licenses/") != std::string::npos ||
                 lower.find("spdx.org/licenses/") != std::string::npos || lower.find("opensource.org/licenses/") != std::string::npos;
    if (name.empty() || exact) name = url;
    if (!name.empty()) out.licences.push_back(name);
  }
  {
    // Developers are the authors; contributors are not.
    for (auto d : project.child("developers").children("developer")) {
      Person p;
      p.name = child_text(d, "name");
      if (p.name.empty()) p.name = child_text(d, "id");
      for (auto prop : d.child("properties").children()) {
        if (ascii_lower(prop.name()).find("orcid") != std::string::npos) {
          p.orcid_text = std::string(py_strip(prop.text().as_string()));
          p.orcid = parse_orcid(p.orcid_text);
        }
      }
      if (!p.name.empty()) out.authors.push_back(std::move(p));
    }
  }
  pugi::xml_node scm = project.child("scm");
  if (auto url = child_text(scm, "url"); !url.empty()) out.repository_urls.push_back(url);
  for (const char* key : {"connection", "developerConnection"}) {
    std::string c = child_text(scm, key);
    if (c.rfind("scm:git:", 0) == 0) out.repository_urls.push_back(c.substr(8));
  }
  if (auto url = child_text(project, "url"); !url.empty()) out.urls.push_back(url);
  for (auto m : project.child("modules").children("module"))
    out.members.emplace_back(py_strip(m.text().as_string()));
  for (auto d : project.child("dependencies").children("dependency")) {
    Dependency dep;
    dep.name = child_text(d, "groupId") + ":" + child_text(d, "artifactId");
    dep.constraint = interpolate(child_text(d, "version"), properties);
    std::string scope = child_text(d, "scope");
    dep.scope = scope == "test" ? "test" : scope == "provided" ? "build" : "runtime";
    if (child_text(d, "optional") == "true") dep.scope = "optional";
    out.dependencies.push_back(std::move(dep));
  }
  out.description = child_text(project, "description");
  out.data = Json{{"groupId", group},
                  {"artifactId", artifact},
                  {"packaging", child_text(project, "packaging")},
                  {"parent", child_text(parent, "groupId") + ":" + child_text(parent, "artifactId")}};
}

}  // namespace ostrameld::metadata
