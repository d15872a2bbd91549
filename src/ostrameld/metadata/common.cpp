#include <algorithm>

#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

const MetadataSource* ProjectMetadata::find(std::string_view name) const {
  // A manifest below the root is a component's (or test data), not the project's.
  for (const auto& s : sources)
    if (s.name == name && s.path.find('/') == std::string::npos) return &s;
  return nullptr;
}

std::vector<const MetadataSource*> ProjectMetadata::all(std::string_view name) const {
  std::vector<const MetadataSource*> out;
  for (const auto& s : sources)
    if (s.name == name) out.push_back(&s);
  return out;
}

namespace metadata {

std::string text_of(const Json& v) {
  if (v.is_string()) return v.get<std::string>();
  if (v.is_number_integer()) return std::to_string(v.get<std::int64_t>());
  if (v.is_number_float()) return py_float_repr(v.get<double>());
  return {};
}

void add_identifier(MetadataSource& out, std::string_view raw, std::string field,
                    std::string_view declared_scheme) {
  std::string_view value = py_strip(raw);
  if (value.empty()) return;
  NamedIdentifier id;
  id.raw = std::string(value);
  id.field = std::move(field);
  std::string scheme = ascii_lower(declared_scheme);
  if (auto doi = parse_doi(value)) {
    id.scheme = "doi";
    id.value = *doi;
  } else if (auto swhid = parse_swhid(value)) {
    id.scheme = "swhid";
    id.value = swhid->core();
  } else {
    // Said to be a DOI or SWHID (by its scheme or its look) and neither: kept, to be named
    // as malformed.
    bool looks_doi = scheme == "doi" || value.substr(0, 3) == "10." ||
                     ascii_lower(value.substr(0, 4)) == "doi:" ||
                     value.find("doi.org/") != std::string_view::npos;
    bool looks_swhid = scheme == "swh" || scheme == "swhid" || value.substr(0, 4) == "swh:";
    id.scheme = looks_doi ? "doi" : looks_swhid ? "swhid" : "other";
    id.value = id.raw;
    id.well_formed = !looks_doi && !looks_swhid;
  }
  bool seen = std::any_of(out.identifiers.begin(), out.identifiers.end(), [&](const auto& x) {
    return x.scheme == id.scheme && x.value == id.value;
  });
  if (!seen) out.identifiers.push_back(std::move(id));
}

Person person_from_text(std::string_view text) {
  // "Jane Doe <jane@example.org> (https://jane.example.org)", the npm and Cargo form.
  static const Regex form("^\\s*([^<(]*?)\\s*(?:<([^>]*)>)?\\s*(?:\\(([^)]*)\\))?\\s*$");
  Person p;
  if (auto name = form.search_group(text, 1)) p.name = std::string(*name);
  if (p.name.empty()) p.name = std::string(py_strip(text));
  if (auto url = form.search_group(text, 3)) {
    if (auto o = parse_orcid(*url)) {
      p.orcid = o;
      p.orcid_text = std::string(*url);
    }
  }
  return p;
}

}  // namespace metadata

}  // namespace ostrameld
