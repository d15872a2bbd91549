// codemeta.json: JSON-LD as it occurs in repositories: values as strings, objects with
// "@id", or lists of either.
#include <algorithm>

#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::metadata {

namespace {

// The text of a value: a string, an object's "@id", "url", "name" or "value".
std::string plain(const Json& v) {
  if (v.is_object()) {
    for (const char* key : {"@id", "url", "value", "name", "identifier"}) {
      if (auto it = v.find(key); it != v.end()) {
        std::string t = it->is_object() ? plain(*it) : text_of(*it);
        if (!t.empty()) return t;
      }
    }
    return {};
  }
  return text_of(v);
}

Person codemeta_person(const Json& p) {
  Person out;
  if (p.is_string()) {
    out.name = p.get<std::string>();
    return out;
  }
  if (!p.is_object()) return out;
  std::string given = plain(p.value("givenName", Json()));
  std::string family = plain(p.value("familyName", Json()));
  out.name = given + (given.empty() || family.empty() ? "" : " ") + family;
  if (out.name.empty()) out.name = plain(p.value("name", Json()));
  for (const char* key : {"@id", "identifier", "sameAs"}) {
    auto it = p.find(key);
    if (it == p.end()) continue;
    bool found = false;
    each_value(*it, [&](const Json& v) {
      std::string t = plain(v);
      if (found || t.find("orcid") == std::string::npos) return;
      out.orcid_text = t;
      out.orcid = parse_orcid(t);
      found = true;
    });
    if (found) break;
  }
  return out;
}

Reference codemeta_reference(const Json& r, std::string field) {
  Reference out;
  out.field = std::move(field);
  out.relation = out.field.substr(0, out.field.find('['));
  if (r.is_string()) {
    std::string t = r.get<std::string>();
    if (auto doi = parse_doi(t))
      out.dois.push_back(*doi);
    else if (auto dois = dois_in_text(t); !dois.empty())
      out.dois = dois;
    else if (t.find("://") != std::string::npos)
      out.other_identifiers.push_back(t);
    else
      out.title = t;
    return out;
  }
  if (!r.is_object()) return out;
  out.title = plain(r.value("name", Json()));
  out.type = plain(r.value("@type", Json()));
  for (const char* key : {"@id", "identifier", "url", "sameAs"}) {
    auto it = r.find(key);
    if (it == r.end()) continue;
    each_value(*it, [&](const Json& v) {
      std::string t = plain(v);
      if (auto doi = parse_doi(t)) {
        if (std::find(out.dois.begin(), out.dois.end(), *doi) == out.dois.end())
          out.dois.push_back(*doi);
      } else if (!t.empty()) {
        out.other_identifiers.push_back(t);
      }
    });
  }
  return out;
}

}  // namespace

void read_codemeta(std::string_view text, MetadataSource& out) {
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
  out.title = plain(doc.value("name", Json()));
  out.version = plain(doc.value("version", Json()));
  if (out.version.empty()) out.version = plain(doc.value("softwareVersion", Json()));
  each_value(doc.value("license", Json()), [&](const Json& v) {
    std::string t = plain(v);
    if (!t.empty()) out.licences.push_back(t);
  });
  for (const char* key : {"author", "creator"})
    each_value(doc.value(key, Json()), [&](const Json& p) { out.authors.push_back(codemeta_person(p)); });
  each_value(doc.value("codeRepository", Json()), [&](const Json& v) {
    std::string t = plain(v);
    if (!t.empty()) out.repository_urls.push_back(t);
  });
  for (const char* key : {"url", "issueTracker", "readme", "downloadUrl", "installUrl"})
    each_value(doc.value(key, Json()), [&](const Json& v) {
      std::string t = plain(v);
      if (!t.empty()) out.urls.push_back(t);
    });
  for (const char* key : {"identifier", "@id", "sameAs"}) {
    auto it = doc.find(key);
    if (it == doc.end()) continue;
    std::size_t i = 0;
    each_value(*it, [&](const Json& v) {
      std::string field = it->is_array() ? std::string(key) + "[" + std::to_string(i++) + "]" : key;
      std::string scheme;
      if (v.is_object()) scheme = ascii_lower(plain(v.value("propertyID", Json())));
      std::string t = v.is_object() && v.contains("value") ? plain(v["value"]) : plain(v);
      // Only what names the software: a DOI, a SWHID; other URLs are where it lives.
      if (parse_doi(t) || parse_swhid(t) || scheme == "doi" || scheme == "swhid" ||
          t.substr(0, 3) == "10.")
        add_identifier(out, t, field, scheme);
      else if (!t.empty())
        out.urls.push_back(t);
    });
  }
  for (const char* key : {"referencePublication", "citation", "isBasedOn"}) {
    auto it = doc.find(key);
    if (it == doc.end()) continue;
    std::size_t i = 0;
    each_value(*it, [&](const Json& v) {
      out.references.push_back(codemeta_reference(v, std::string(key) + "[" + std::to_string(i++) + "]"));
    });
  }
  each_value(doc.value("softwareRequirements", Json()), [&](const Json& v) {
    Dependency d;
    d.scope = "runtime";
    if (v.is_object()) {
      d.name = plain(v.value("name", Json()));
      if (d.name.empty()) d.name = plain(v.value("identifier", Json()));
      d.constraint = plain(v.value("version", Json()));
    } else {
      d.name = plain(v);
    }
    if (!d.name.empty()) out.dependencies.push_back(std::move(d));
  });
  auto keywords = doc.value("keywords", Json());
  if (keywords.is_string()) {
    std::string k = keywords.get<std::string>();
    for (std::size_t start = 0; start <= k.size();) {
      auto comma = k.find(',', start);
      auto word = py_strip(std::string_view(k).substr(start, comma - start));
      if (!word.empty()) out.keywords.emplace_back(word);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  } else {
    each_value(keywords, [&](const Json& v) {
      if (!plain(v).empty()) out.keywords.push_back(plain(v));
    });
  }
  out.description = plain(doc.value("description", Json()));
  out.data = std::move(doc);
}

}  // namespace ostrameld::metadata
