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

namespace ostrameld::metadata {

std::string licence_of_classifier(std::string_view classifier) {
  static constexpr std::pair<std::string_view, std::string_view> kTrove[] = {
      {"MIT License", "MIT"},
      {"MIT No Attribution License (MIT-0)", "MIT-0"},
      {"Apache Software License", "Apache-2.0"},
      {"ISC License (ISCL)", "ISC"},
      {"The Unlicense (Unlicense)", "Unlicense"},
      {"GNU General Public License v2 (GPLv2)", "GPL-2.0-only"},
      {"GNU General Public License v2 or later (GPLv2+)", "GPL-2.0-or-later"},
      {"GNU General Public License v3 (GPLv3)", "GPL-3.0-only"},
      {"GNU General Public License v3 or later (GPLv3+)", "GPL-3.0-or-later"},
      {"GNU Lesser General Public License v2 (LGPLv2)", "LGPL-2.0-only"},
      {"GNU Lesser General Public License v2 or later (LGPLv2+)", "LGPL-2.0-or-later"},
      {"GNU Lesser General Public License v3 (LGPLv3)", "LGPL-3.0-only"},
      {"GNU Lesser General Public License v3 or later (LGPLv3+)", "LGPL-3.0-or-later"},
      {"GNU Affero General Public License v3", "AGPL-3.0-only"},
      {"GNU Affero General Public License v3 or later (AGPLv3+)", "AGPL-3.0-or-later"},
      {"Mozilla Public License 2.0 (MPL 2.0)", "MPL-2.0"},
      {"Eclipse Public License 2.0 (EPL-2.0)", "EPL-2.0"},
      {"Boost Software License 1.0 (BSL-1.0)", "BSL-1.0"},
      {"Python Software Foundation License", "PSF-2.0"},
      {"European Union Public Licence 1.2 (EUPL 1.2)", "EUPL-1.2"},
      {"CeCILL-2.1", "CECILL-2.1"},
      {"Universal Permissive License (UPL)", "UPL-1.0"},
      {"zlib/libpng License", "Zlib"},
  };
  std::string_view c = classifier;
  while (!c.empty() && (c.front() == ' ' || c.front() == '"' || c.front() == '\'')) c.remove_prefix(1);
  while (!c.empty() && (c.back() == ' ' || c.back() == '"' || c.back() == '\'' || c.back() == ',')) c.remove_suffix(1);
  if (c.substr(0, 11) != "License :: ") return {};
  auto last = c.rfind(" :: ");
  std::string_view name = c.substr(last + 4);
  for (const auto& [trove, spdx] : kTrove)
    if (name == trove) return std::string(spdx);
  return {};
}

}  // namespace ostrameld::metadata
