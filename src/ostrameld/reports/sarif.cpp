#include "ostrameld/reports/sarif.h"

#include <cstdio>

#include "ostrameld/core/version.h"
#include "ostrameld/engine/profile.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

// The file each indicator is about: where a dashboard points a finding.
struct RuleFacts {
  std::string_view key;
  std::string_view help;
};
constexpr RuleFacts kRules[] = {
    {"clear_license",
     "A licence file with the standard text of an SPDX licence at the repository root."},
    {"descriptive_attributes",
     "A README of 200 bytes or more, documentation pages in docs/, a documentation build."},
    {"community_standards",
     "Contributing guide, code of conduct, security policy, governance, tests, CI, style."},
    {"metadata_self_reference",
     "Metadata files that name the software, its repository and its DOI."},
    {"searchable_metadata",
     "Metadata files that registries harvest: codemeta.json, CITATION.cff, .zenodo.json."},
    {"rich_metadata", "A valid CITATION.cff with cff-version, title and authors."},
    {"version_identifiers", "Releases tagged with semantic versions (vMAJOR.MINOR.PATCH)."},
    {"development_provenance", "Git history with a remote, ten or more commits and tags."},
    {"continuous_integration", "Continuous integration that runs the tests on every push."},
    // The full profile's own keys.
    {"persistent_identifier",
     "A DOI or SWHID naming the software in CITATION.cff, codemeta.json or .zenodo.json."},
    {"component_identifiers", "Each component of a workspace with its own name and version."},
    {"release_versions", "Every release tag a version of one scheme; the newest as declared."},
    {"citation_metadata", "CITATION.cff valid against the CFF schema; codemeta.json complete."},
    {"open_access",
     "The source at a public https/ssh/git address, declared in the metadata as the remote."},
    {"metadata_archived",
     "The metadata kept by an archive (Zenodo, Software Heritage) or a package registry."},
    {"standard_formats", "Schemas, workflow languages and community data-format libraries."},
    {"qualified_references", "References to papers, data and software, each with an identifier."},
    {"documentation", "A README with install and usage sections, documentation sites, examples."},
    {"metadata_consistency",
     "Version, licence, name, authors and repository agree across the metadata files."},
    {"licence", "Licence texts matching SPDX licences, agreeing with the declared licence."},
    {"provenance", "Commits, a public remote, a changelog and identified authors."},
    {"software_dependencies", "Dependencies declared with version constraints, or locked."},
    {"community", "Community documents with content, tests, CI running them, style settings."},
};

const RuleFacts* facts_for(std::string_view key) {
  for (const auto& f : kRules)
    if (f.key == key) return &f;
  return nullptr;
}

// Informative indicators (weight 0) and findings of nothing are notes; a dashboard's
// errors are for what lowers the score.
std::string sarif_level(CheckStatus s, double weight) {
  if (weight == 0.0 || s == CheckStatus::Unknown) return "note";
  return s == CheckStatus::Warn ? "warning" : "error";
}

std::string safe(std::string_view s) {
  return sanitize_utf8(s);
}

// A relative path as a URI reference: every byte outside the unreserved set and "/"
// percent-encoded.
std::string uri_path(std::string_view rel) {
  std::string out;
  for (unsigned char c : rel) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~' || c == '/') {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}

}  // namespace

std::string SarifRenderer::render(const Assessment& a, const Json& /*options*/) const {
  const Profile* named = find_profile(a.profile);
  const Profile& profile = named ? *named : fair4rs_profile();
  Json rules = Json::array();
  for (const auto& spec : profile.indicators) {
    const RuleFacts* facts = facts_for(spec.key);
    std::string fair = spec.fair4rs_id ? "FAIR4RS " + std::string(*spec.fair4rs_id) : "informative";
    Json rule = Json::object();
    rule["id"] = std::string(spec.key);
    rule["name"] = std::string(spec.title);
    rule["shortDescription"] = Json{{"text", std::string(spec.title) + " (" + fair + ")"}};
    rule["fullDescription"] =
        Json{{"text", facts ? std::string(facts->help) : std::string(spec.title)}};
    rule["help"] = Json{{"text", facts ? std::string(facts->help) : std::string(spec.title)}};
    Json props = Json::object();
    if (spec.fair4rs_id) props["fair4rs"] = std::string(*spec.fair4rs_id);
    props["weight"] = spec.weight;
    rule["properties"] = std::move(props);
    rules.push_back(std::move(rule));
  }
  Json results = Json::array();
  for (const auto& r : a.indicators) {
    if (r.status == CheckStatus::Pass || r.status == CheckStatus::Skipped) continue;
    std::size_t index = 0;
    for (; index < profile.indicators.size(); ++index)
      if (profile.indicators[index].key == r.indicator_id) break;
    std::string text;
    if (r.status == CheckStatus::Error) {
      text = safe(r.output);
    } else {
      std::vector<std::string> advice;
      for (const auto& line : r.advice) advice.push_back(safe(line));
      text = advice.empty() ? safe(r.output) : join(advice, "\n");
    }
    if (text.empty()) text = safe(r.indicator_id) + ": " + std::string(status_value(r.status));
    double weight = index < profile.indicators.size() ? profile.indicators[index].weight : 1.0;
    Json result = Json::object();
    result["ruleId"] = safe(r.indicator_id);
    if (index < profile.indicators.size()) result["ruleIndex"] = index;
    result["level"] = sarif_level(r.status, weight);
    result["message"] = Json{{"text", text}};
    // A file that exists, its first line: what code scanning can show.
    if (!r.location.empty()) {
      result["locations"] = Json::array(
          {Json{{"physicalLocation", Json{{"artifactLocation", Json{{"uri", uri_path(r.location)},
                                                                    {"uriBaseId", "%SRCROOT%"}}},
                                          {"region", Json{{"startLine", 1}}}}}}});
    }
    Json props = Json::object();
    props["score"] = r.score;
    props["status"] = std::string(status_value(r.status));
    result["properties"] = std::move(props);
    // The project's settings waive it: dashboards show it as suppressed, with the reason.
    if (r.status == CheckStatus::Exempt) {
      Json suppression = Json{{"kind", "external"},
                              {"status", "accepted"},
                              {"justification", safe(r.exemption)}};
      if (!r.exemption_source.empty()) {
        suppression["location"] = Json{
            {"physicalLocation",
             Json{{"artifactLocation", Json{{"uri", uri_path(r.exemption_source)},
                                            {"uriBaseId", "%SRCROOT%"}}}}}};
      }
      result["suppressions"] = Json::array({std::move(suppression)});
    }
    results.push_back(std::move(result));
  }
  Json driver = Json::object();
  driver["name"] = "ostrameld";
  driver["version"] = std::string(kVersion);
  driver["rules"] = std::move(rules);
  Json run = Json::object();
  run["tool"] = Json{{"driver", std::move(driver)}};
  run["results"] = std::move(results);
  Json props = Json::object();
  props["overall_score"] = a.overall_score;
  props["compliance_level"] = a.compliance_level ? Json(*a.compliance_level) : Json(nullptr);
  run["properties"] = std::move(props);
  Json doc = Json::object();
  doc["$schema"] = "https://json.schemastore.org/sarif-2.1.0.json";
  doc["version"] = "2.1.0";
  doc["runs"] = Json::array({std::move(run)});
  return dump_json(doc, 2);
}

std::string BadgeRenderer::render(const Assessment& a, const Json& /*options*/) const {
  std::string level =
      a.compliance_level && !a.compliance_level->empty() ? *a.compliance_level : "none";
  const char* colour = level == "advanced"       ? "#2b8a3e"
                       : level == "intermediate" ? "#5c940d"
                       : level == "basic"        ? "#e67700"
                                                 : "#c92a2a";
  std::string label = "FAIR";
  std::string value = format_fixed(a.overall_score, 1) + " " + level;
  // Verdana 11px is about 7 px a character; padding of 6 px on each side.
  auto width = [](const std::string& s) { return static_cast<int>(s.size()) * 7 + 12; };
  int lw = width(label);
  int vw = width(value);
  int total = lw + vw;
  std::string w = std::to_string(total);
  std::string out =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w +
      "\" height=\"20\" role=\"img\" "
      "aria-label=\"" +
      label + ": " + value +
      "\">\n"
      "<title>" +
      label + ": " + value +
      "</title>\n"
      "<linearGradient id=\"s\" x2=\"0\" y2=\"100%\"><stop offset=\"0\" stop-color=\"#bbb\" "
      "stop-opacity=\".1\"/><stop offset=\"1\" stop-opacity=\".1\"/></linearGradient>\n"
      "<clipPath id=\"r\"><rect width=\"" +
      w +
      "\" height=\"20\" rx=\"3\" fill=\"#fff\"/></clipPath>\n"
      "<g clip-path=\"url(#r)\">\n"
      "<rect width=\"" +
      std::to_string(lw) +
      "\" height=\"20\" fill=\"#555\"/>\n"
      "<rect x=\"" +
      std::to_string(lw) + "\" width=\"" + std::to_string(vw) + "\" height=\"20\" fill=\"" +
      colour +
      "\"/>\n"
      "<rect width=\"" +
      w +
      "\" height=\"20\" fill=\"url(#s)\"/>\n"
      "</g>\n"
      "<g fill=\"#fff\" text-anchor=\"middle\" font-family=\"Verdana,Geneva,DejaVu "
      "Sans,sans-serif\" "
      "font-size=\"11\">\n"
      "<text x=\"" +
      std::to_string(lw / 2) + "\" y=\"14\">" + label +
      "</text>\n"
      "<text x=\"" +
      std::to_string(lw + vw / 2) + "\" y=\"14\">" + value +
      "</text>\n"
      "</g>\n"
      "</svg>";
  return out;
}

}  // namespace ostrameld
