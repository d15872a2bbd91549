// .zenodo.json: what Zenodo puts in the record of each GitHub release.
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::metadata {

void read_zenodo(std::string_view text, MetadataSource& out) {
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
  out.title = text_of(doc.value("title", Json()));
  out.version = text_of(doc.value("version", Json()));
  Json licence = doc.value("license", Json());
  std::string l = licence.is_object() ? text_of(licence.value("id", Json())) : text_of(licence);
  if (!l.empty()) out.licences.push_back(l);
  for (const char* key : {"creators"}) {
    Json people = doc.value(key, Json());
    if (!people.is_array()) continue;
    for (const auto& p : people) {
      if (!p.is_object()) continue;
      Person person;
      // Zenodo writes "Family, Given".
      std::string name = text_of(p.value("name", Json()));
      if (auto comma = name.find(", "); comma != std::string::npos)
        name = name.substr(comma + 2) + " " + name.substr(0, comma);
      person.name = name;
      if (auto o = p.find("orcid"); o != p.end()) {
        person.orcid_text = text_of(*o);
        person.orcid = parse_orcid(person.orcid_text);
      }
      out.authors.push_back(std::move(person));
    }
  }
  if (auto doi = doc.find("doi"); doi != doc.end()) add_identifier(out, text_of(*doi), "doi", "doi");
  Json related = doc.value("related_identifiers", Json());
  if (related.is_array()) {
    for (std::size_t i = 0; i < related.size(); ++i) {
      const Json& r = related[i];
      if (!r.is_object()) continue;
      Reference ref;
      ref.field = "related_identifiers[" + std::to_string(i) + "]";
      ref.relation = text_of(r.value("relation", Json()));
      ref.type = text_of(r.value("resource_type", Json()));
      std::string id = text_of(r.value("identifier", Json()));
      if (auto doi = parse_doi(id))
        ref.dois.push_back(*doi);
      else if (!id.empty())
        ref.other_identifiers.push_back(id);
      // "isSupplementTo" a repository URL is where the code lives, not a reference.
      if (ref.relation == "isSupplementTo" && ref.dois.empty() &&
          id.find("://") != std::string::npos) {
        out.repository_urls.push_back(id);
        continue;
      }
      out.references.push_back(std::move(ref));
    }
  }
  if (auto k = doc.find("keywords"); k != doc.end() && k->is_array())
    for (const auto& w : *k)
      if (!text_of(w).empty()) out.keywords.push_back(text_of(w));
  out.description = text_of(doc.value("description", Json()));
  out.data = std::move(doc);
}

}  // namespace ostrameld::metadata
