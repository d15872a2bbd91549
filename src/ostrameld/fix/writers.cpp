#include "ostrameld/fix/writers.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "ostrameld/licences/matcher.h"
#include "ostrameld/metadata/cff_schema.h"
#include "ostrameld/utils/json.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/yaml.h"

namespace ostrameld::fix {

namespace {

using namespace std::string_view_literals;

// A YAML double-quoted scalar: valid for any text, read back exactly.
std::string yaml_quoted(std::string_view s) {
  std::string out = "\"";
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t start = i;
    char32_t cp = next_code_point(s, i);
    if (cp == '"' || cp == '\\') {
      out += '\\';
      out += static_cast<char>(cp);
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp == '\t') {
      out += "\\t";
    } else if (cp < 0x20 || cp == 0x7f || cp == 0x85 || cp == 0x2028 || cp == 0x2029 || cp == 0xfeff) {
      char buf[12];
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(cp));
      out += buf;
    } else {
      out.append(s.substr(start, i - start));
    }
  }
  return out + "\"";
}

// A team, a project or a single word names an entity, not a person.
bool is_entity(const Person& p) {
  static const Regex team(R"((?i)\b(?:developers|development team|team|contributors|authors|maintainers|community|project|consortium|group|lab|laboratory|foundation|university|institute|inc|ltd|gmbh)\b)");
  return !p.orcid && (team.search(p.name) || p.name.find(' ') == std::string::npos);
}

std::string orcid_url(const Orcid& o) { return "https://orcid.org/" + o.id; }

// The licence as CFF takes it: one identifier, or a list meaning any of them.
std::vector<std::string> cff_licences(const SoftwareFacts& f) {
  if (f.licence_ids.empty()) return {};
  if (f.licence_ids.size() == 1) return f.licence_ids;
  if (f.licence.find(" AND ") != std::string::npos || f.licence.find(" WITH ") != std::string::npos) return {};
  return f.licence_ids;
}

std::vector<Person> named_authors(const SoftwareFacts& f) {
  std::vector<Person> out;
  for (const auto& a : f.authors)
    if (!py_strip(a.name).empty()) out.push_back(a);
  return out;
}

}  // namespace

std::optional<std::string> citation_cff(const SoftwareFacts& f) {
  std::vector<Person> authors = named_authors(f);
  if (f.title.empty() || authors.empty()) return std::nullopt;
  auto write = [&](bool with_licence) {
    std::string y;
    y += "# Written by ostrameld fix from " + f.authors_from +
         (f.title_from.empty() || f.title_from == f.authors_from ? "" : ", " + f.title_from) +
         (f.version_from.empty() ? "" : " and " + f.version_from) + ".\n";
    y += "cff-version: 1.2.0\n";
    y += "message: \"If you use this software, please cite it using the metadata from this file.\"\n";
    y += "type: software\n";
    y += "title: " + yaml_quoted(f.title) + "\n";
    if (!f.description.empty()) y += "abstract: " + yaml_quoted(f.description) + "\n";
    if (f.authors_from == "git history")
      y += "# No file lists the authors: these made most of the commits. Review them before publishing.\n";
    y += "authors:\n";
    for (const auto& a : authors) {
      if (is_entity(a)) {
        y += "  - name: " + yaml_quoted(a.name) + "\n";
        continue;
      }
      NameParts n = split_name(a.name);
      bool first = true;
      auto field = [&](const char* key, const std::string& value) {
        if (value.empty()) return;
        y += std::string(first ? "  - " : "    ") + key + ": " + yaml_quoted(value) + "\n";
        first = false;
      };
      field("given-names", n.given);
      field("name-particle", n.particle);
      field("family-names", n.family);
      if (a.orcid && a.orcid->checksum_valid) field("orcid", orcid_url(*a.orcid));
    }
    if (!f.version.empty()) y += "version: " + yaml_quoted(f.version) + "\n";
    if (!f.date_released.empty()) y += "date-released: " + yaml_quoted(f.date_released) + "\n";
    std::vector<std::string> licences = with_licence ? cff_licences(f) : std::vector<std::string>{};
    if (licences.size() == 1) y += "license: " + yaml_quoted(licences.front()) + "\n";
    else if (!licences.empty()) {
      y += "license:\n";
      for (const auto& l : licences) y += "  - " + yaml_quoted(l) + "\n";
    }
    if (!f.repository.empty()) y += "repository-code: " + yaml_quoted(f.repository) + "\n";
    if (!f.doi.empty()) y += "doi: " + yaml_quoted(f.doi) + "\n";
    if (!f.paper_dois.empty()) {
      y += "identifiers:\n";
      for (const auto& d : f.paper_dois)
        y += "  - type: doi\n    value: " + yaml_quoted(d) + "\n    description: \"A publication about the software\"\n";
    }
    if (!f.keywords.empty()) {
      y += "keywords:\n";
      for (const auto& k : f.keywords) y += "  - " + yaml_quoted(k) + "\n";
    }
    return y;
  };
  // Checked with the schema before anything is written; a licence CFF does not list
  // (a LicenseRef-) is left out rather than the file.
  for (bool with_licence : {true, false}) {
    std::string text = write(with_licence);
    try {
      if (cff_schema_errors(load_yaml(text)).empty()) return text;
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception&) {
    }
  }
  return std::nullopt;
}

std::optional<std::string> codemeta_json(const SoftwareFacts& f) {
  // Without authors, codemeta.json would be an incomplete record to be judged as one.
  if (f.title.empty() || named_authors(f).empty()) return std::nullopt;
  Json j = Json::object();
  j["@context"] = "https://w3id.org/codemeta/3.0";
  j["@type"] = "SoftwareSourceCode";
  j["name"] = f.title;
  if (!f.description.empty()) j["description"] = f.description;
  if (!f.version.empty()) j["version"] = f.version;
  if (!f.date_released.empty()) j["datePublished"] = f.date_released;
  if (!f.licence_ids.empty()) {
    Json l = Json::array();
    for (const auto& id : f.licence_ids) l.push_back("https://spdx.org/licenses/" + id);
    j["license"] = l.size() == 1 ? l.front() : l;
  }
  std::vector<Person> authors = named_authors(f);
  if (!authors.empty()) {
    Json list = Json::array();
    for (const auto& a : authors) {
      Json p = Json::object();
      if (is_entity(a)) {
        p["@type"] = "Organization";
        p["name"] = a.name;
      } else {
        p["@type"] = "Person";
        if (a.orcid && a.orcid->checksum_valid) p["@id"] = orcid_url(*a.orcid);
        NameParts n = split_name(a.name);
        if (!n.given.empty()) p["givenName"] = n.given;
        p["familyName"] = n.particle.empty() ? n.family : n.particle + " " + n.family;
      }
      list.push_back(std::move(p));
    }
    j["author"] = list;
  }
  if (!f.repository.empty()) j["codeRepository"] = f.repository;
  if (!f.doi.empty()) j["identifier"] = "https://doi.org/" + f.doi;
  if (!f.languages.empty()) j["programmingLanguage"] = f.languages.size() == 1 ? Json(f.languages.front()) : Json(f.languages);
  if (!f.requirements.empty()) {
    Json r = Json::array();
    for (const auto& d : f.requirements) r.push_back(d.constraint.empty() ? d.name : d.name + " " + d.constraint);
    j["softwareRequirements"] = r;
  }
  if (!f.keywords.empty()) j["keywords"] = f.keywords;
  if (!f.paper_dois.empty()) {
    Json r = Json::array();
    for (const auto& d : f.paper_dois) r.push_back("https://doi.org/" + d);
    j["referencePublication"] = r.size() == 1 ? r.front() : r;
  }
  return dump_json(j, 2) + "\n";
}

std::optional<std::string> zenodo_json(const SoftwareFacts& f) {
  std::vector<Person> authors = named_authors(f);
  if (f.title.empty() || authors.empty()) return std::nullopt;
  Json j = Json::object();
  j["title"] = f.title;
  j["upload_type"] = "software";
  if (!f.description.empty()) j["description"] = f.description;
  if (!f.version.empty()) j["version"] = f.version;
  if (!f.date_released.empty()) j["publication_date"] = f.date_released;
  Json creators = Json::array();
  for (const auto& a : authors) {
    Json c = Json::object();
    NameParts n = split_name(a.name);
    c["name"] = is_entity(a) || n.given.empty() ? a.name
                                                : (n.particle.empty() ? "" : n.particle + " ") + n.family + ", " + n.given;
    if (a.orcid && a.orcid->checksum_valid) c["orcid"] = a.orcid->id;
    creators.push_back(std::move(c));
  }
  j["creators"] = creators;
  if (f.licence_ids.size() == 1) j["license"] = f.licence_ids.front();
  if (!f.keywords.empty()) j["keywords"] = f.keywords;
  if (!f.paper_dois.empty()) {
    Json r = Json::array();
    for (const auto& d : f.paper_dois) r.push_back(Json{{"identifier", d}, {"relation", "isDocumentedBy"}, {"scheme", "doi"}});
    j["related_identifiers"] = r;
  }
  return dump_json(j, 2) + "\n";
}

std::optional<std::string> licence_text(const SoftwareFacts& f, std::string_view spdx_id) {
  auto standard = licence_standard_text(spdx_id);
  if (!standard) return std::nullopt;
  std::string text(*standard);
  // The notice at the head of permissive licences asks for a year and a holder; the
  // GNU, Apache and Mozilla texts are used as they stand.
  std::size_t head_end = 0;
  for (int line = 0; line < 5 && head_end != std::string::npos; ++line)
    head_end = text.find('\n', head_end == 0 ? 0 : head_end + 1);
  if (head_end == std::string::npos) head_end = text.size();
  std::string head = text.substr(0, head_end), rest = text.substr(head_end);
  // The holder is who the metadata names; the git history's guess is no copyright claim.
  std::vector<std::string> names;
  if (f.authors_from != "git history")
    for (const auto& a : named_authors(f)) names.push_back(a.name);
  std::string holder = join(names, ", ");
  std::string year = f.first_year > 0 ? std::to_string(f.first_year)
                                      : (f.date_released.size() >= 4 ? f.date_released.substr(0, 4) : "");
  static constexpr std::array kYears{"<year>"sv, "<YEAR>"sv, "[year]"sv, "[yyyy]"sv, "YEAR"sv};
  static constexpr std::array kHolders{"<copyright holders>"sv, "<COPYRIGHT HOLDER>"sv, "<copyright holder>"sv,
                                       "<owner>"sv, "[fullname]"sv, "[name of copyright owner]"sv, "AUTHOR"sv,
                                       "<OWNER>"sv, "COPYRIGHT HOLDER"sv};
  bool asks_holder = false;
  for (auto h : kHolders) {
    for (std::size_t at; (at = head.find(h)) != std::string::npos;) {
      asks_holder = true;
      head.replace(at, h.size(), holder);
    }
  }
  if (asks_holder && holder.empty()) return std::nullopt;  // no holder is named anywhere
  for (auto y : kYears)
    for (std::size_t at; (at = head.find(y)) != std::string::npos;) {
      if (year.empty() && at + y.size() < head.size() && head[at + y.size()] == ' ') head.erase(at, y.size() + 1);
      else head.replace(at, y.size(), year);
    }
  for (std::size_t at; (at = head.find(" EMAIL")) != std::string::npos;) head.erase(at, 6);
  for (auto token : {"<year>"sv, "<copyright"sv, "<owner"sv, "[year]"sv, "[yyyy]"sv, "<name of"sv, "[fullname]"sv})
    if (head.find(token) != std::string::npos) return std::nullopt;  // a placeholder left
  return head + rest + (rest.ends_with('\n') ? "" : "\n");
}

}  // namespace ostrameld::fix
