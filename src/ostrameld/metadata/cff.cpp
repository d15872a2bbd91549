// CITATION.cff: the citation metadata a forge shows and Zenodo takes for its records.
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/yaml.h"

namespace ostrameld::metadata {

namespace {

Person cff_person(const Json& p) {
  Person out;
  if (!p.is_object()) return out;
  std::string given = text_of(p.value("given-names", Json()));
  std::string family = text_of(p.value("family-names", Json()));
  std::string particle = text_of(p.value("name-particle", Json()));
  std::string name = given;
  for (const std::string* part : {&particle, &family})
    if (!part->empty()) name += (name.empty() ? "" : " ") + *part;
  out.name = name.empty() ? text_of(p.value("name", Json())) : name;
  if (auto it = p.find("orcid"); it != p.end()) {
    out.orcid_text = text_of(*it);
    out.orcid = parse_orcid(out.orcid_text);
  }
  return out;
}

// A reference's or preferred citation's title, type and identifiers.
Reference cff_reference(const Json& r, std::string field) {
  Reference out;
  out.field = std::move(field);
  if (!r.is_object()) return out;
  out.title = text_of(r.value("title", Json()));
  out.type = text_of(r.value("type", Json()));
  if (auto doi = parse_doi(text_of(r.value("doi", Json())))) out.dois.push_back(*doi);
  for (const char* key : {"url", "repository-code", "isbn", "issn", "pmcid"}) {
    std::string v = text_of(r.value(key, Json()));
    if (!v.empty()) out.other_identifiers.push_back(v);
  }
  if (auto ids = r.find("identifiers"); ids != r.end() && ids->is_array()) {
    for (const auto& id : *ids) {
      if (!id.is_object()) continue;
      std::string value = text_of(id.value("value", Json()));
      if (auto doi = parse_doi(value))
        out.dois.push_back(*doi);
      else if (!value.empty())
        out.other_identifiers.push_back(value);
    }
  }
  return out;
}

}  // namespace

void read_cff(std::string_view text, MetadataSource& out) {
  Json doc;
  try {
    doc = load_yaml(text);
  } catch (const YamlError& e) {
    out.problem = std::string("not valid YAML: ") + e.what();
    return;
  }
  if (!doc.is_object()) {
    out.problem = "not a YAML mapping";
    out.data = std::move(doc);
    return;
  }
  out.title = text_of(doc.value("title", Json()));
  out.version = text_of(doc.value("version", Json()));
  if (auto l = doc.find("license"); l != doc.end()) {
    if (l->is_array()) {
      for (const auto& item : *l)
        if (!text_of(item).empty()) out.licences.push_back(text_of(item));
    } else if (!text_of(*l).empty()) {
      out.licences.push_back(text_of(*l));
    }
  }
  if (auto a = doc.find("authors"); a != doc.end() && a->is_array())
    for (const auto& p : *a) out.authors.push_back(cff_person(p));
  std::string repo = text_of(doc.value("repository-code", Json()));
  if (!repo.empty()) out.repository_urls.push_back(repo);
  for (const char* key : {"url", "repository", "repository-artifact"}) {
    std::string v = text_of(doc.value(key, Json()));
    if (!v.empty()) out.urls.push_back(v);
  }
  if (auto doi = doc.find("doi"); doi != doc.end()) add_identifier(out, text_of(*doi), "doi", "doi");
  if (auto ids = doc.find("identifiers"); ids != doc.end() && ids->is_array()) {
    for (std::size_t i = 0; i < ids->size(); ++i) {
      const Json& id = (*ids)[i];
      if (!id.is_object()) continue;
      std::string type = text_of(id.value("type", Json()));
      std::string field = "identifiers[" + std::to_string(i) + "]";
      if (type == "doi" || type == "swh")
        add_identifier(out, text_of(id.value("value", Json())), field, type);
      else if (type == "url" || type == "other")
        out.urls.push_back(text_of(id.value("value", Json())));
    }
  }
  if (auto pc = doc.find("preferred-citation"); pc != doc.end())
    out.references.push_back(cff_reference(*pc, "preferred-citation"));
  if (auto refs = doc.find("references"); refs != doc.end() && refs->is_array()) {
    for (std::size_t i = 0; i < refs->size(); ++i)
      out.references.push_back(cff_reference((*refs)[i], "references[" + std::to_string(i) + "]"));
  }
  if (auto k = doc.find("keywords"); k != doc.end() && k->is_array())
    for (const auto& w : *k)
      if (!text_of(w).empty()) out.keywords.push_back(text_of(w));
  out.description = text_of(doc.value("abstract", Json()));
  out.data = std::move(doc);
}

}  // namespace ostrameld::metadata
