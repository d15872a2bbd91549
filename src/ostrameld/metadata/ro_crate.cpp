// ro-crate-metadata.json (RO-Crate, as workflow registries read it): a JSON-LD @graph
// whose root data entity ("./") has a mainEntity, the workflow. Name, version, licence,
// authors (resolved through the graph to their names and ORCIDs), addresses and
// identifiers come from the workflow, else from the root.
#include <map>

#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/identifiers.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::metadata {

namespace {

std::string text(const Json& v) {
  if (v.is_array()) return v.empty() ? std::string() : text(v.front());
  if (v.is_object()) return text_of(v.value("@id", Json()));
  return text_of(v);
}

}  // namespace

void read_ro_crate(std::string_view raw, MetadataSource& out) {
  Json doc;
  try {
    doc = Json::parse(raw);
  } catch (const Json::exception& e) {
    out.problem = std::string("not valid JSON: ") + e.what();
    return;
  }
  if (!doc.is_object() || !doc.contains("@graph") || !doc["@graph"].is_array()) {
    out.problem = "no @graph";
    return;
  }
  std::map<std::string, const Json*> by_id;
  for (const auto& e : doc["@graph"])
    if (e.is_object() && e.contains("@id") && e["@id"].is_string() && by_id.size() < 100000)
      by_id.emplace(e["@id"].get<std::string>(), &e);
  auto entity = [&](const std::string& id) -> const Json* {
    auto it = by_id.find(id);
    return it == by_id.end() ? nullptr : it->second;
  };
  const Json* root = entity("./");
  if (!root) {
    out.problem = "no root data entity";
    return;
  }
  const Json* main = root->contains("mainEntity") ? entity(text((*root)["mainEntity"])) : nullptr;
  // The workflow's value, else the root's.
  auto field = [&](const char* key) -> const Json& {
    static const Json none;
    if (main && main->contains(key) && !(*main)[key].is_null()) return (*main)[key];
    if (root->contains(key)) return (*root)[key];
    return none;
  };
  out.title = text(field("name"));
  out.version = text(field("version"));
  each_value(field("license"), [&](const Json& v) {
    if (std::string t = text(v); !t.empty()) out.licences.push_back(t);
  });
  each_value(field("author"), [&](const Json& a) {
    Person p;
    std::string id = a.is_object() ? text_of(a.value("@id", Json())) : text_of(a);
    const Json* person = a.is_object() && a.contains("name") ? &a : entity(id);
    if (person) p.name = text_of(person->value("name", Json()));
    if (id.find("orcid.org") != std::string::npos) {
      p.orcid_text = id;
      p.orcid = parse_orcid(id);
    }
    if ((!p.name.empty() || p.orcid) && out.authors.size() < 1000) out.authors.push_back(std::move(p));
  });
  auto address = [&](const std::string& u) {
    if (u.empty()) return;
    bool forge = u.find("github.com/") != std::string::npos || u.find("gitlab.com/") != std::string::npos ||
                 u.find("codeberg.org/") != std::string::npos || u.find("bitbucket.org/") != std::string::npos;
    (forge ? out.repository_urls : out.urls).push_back(u);
  };
  each_value(field("url"), [&](const Json& v) { address(text(v)); });
  each_value(field("codeRepository"), [&](const Json& v) { address(text(v)); });
  each_value((*root)["isBasedOn"], [&](const Json& v) { address(text(v)); });
  for (const Json* e : {main, root}) {
    if (!e) continue;
    each_value(e->value("identifier", Json()), [&](const Json& v) {
      if (std::string t = text(v); !t.empty()) add_identifier(out, t, "identifier");
    });
  }
  each_value(field("keywords"), [&](const Json& v) {
    if (std::string t = text(v); !t.empty() && out.keywords.size() < 200) out.keywords.push_back(t);
  });
}

}  // namespace ostrameld::metadata
