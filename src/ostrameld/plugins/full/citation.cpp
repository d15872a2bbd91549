#include "ostrameld/plugins/full/citation.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "ostrameld/metadata/cff_schema.h"
#include "ostrameld/metadata/model.h"
#include "ostrameld/plugins/full/evidence.h"
#include "ostrameld/utils/identifiers.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/versions.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kIndicators{"citation_metadata"sv};

// What codemeta.json should hold for registries and citation tools.
constexpr std::array kCodemetaFields{"name"sv,    "description"sv,         "version"sv,
                                     "author"sv,  "license"sv,             "codeRepository"sv,
                                     "programmingLanguage"sv, "keywords"sv, "dateModified"sv};

// What makes Zenodo refuse or mangle a release, beyond the schema.
std::vector<std::string> zenodo_problems(const Json& doc, const GitInfo* git) {
  std::vector<std::string> out;
  auto people = doc.find("authors");
  if (people != doc.end() && people->is_array()) {
    for (std::size_t i = 0; i < people->size(); ++i) {
      const Json& p = (*people)[i];
      if (!p.is_object()) continue;
      std::string where = "authors[" + std::to_string(i) + "]";
      if (!p.contains("family-names") && !p.contains("name"))
        out.push_back(where + ": needs family-names or name (Zenodo lists authors by name)");
      if (auto o = p.find("orcid"); o != p.end() && o->is_string()) {
        auto id = parse_orcid(o->get<std::string>());
        if (id && !id->checksum_valid)
          out.push_back(where + ".orcid: " + id->id + " has a wrong check digit (a mistyped iD)");
      }
    }
  }
  if (auto l = doc.find("license"); l != doc.end() && l->is_array() && l->size() > 1)
    out.push_back("license: Zenodo takes one licence; give the project's licence (several "
                  "licences of parts belong in the licence files)");
  if (git && doc.contains("version")) {
    std::string declared = metadata::text_of(doc["version"]);
    auto d = parse_version(declared);
    const Version* newest = nullptr;
    std::optional<Version> best;
    for (const auto& tag : git->tags) {
      auto v = version_of_tag(tag);
      if (!v || v->prerelease || v->scheme == VersionScheme::Other) continue;
      if (!best || compare_versions(*v, *best) > 0) best = v;
    }
    if (best) newest = &*best;
    if (d && newest && compare_versions(*d, *newest) < 0)
      out.push_back("version: " + declared + " is older than the newest release " + newest->prefix +
                    newest->text + " (Zenodo would cite the old version): update version and date-released");
  }
  return out;
}

}  // namespace

std::span<const std::string_view> CitationPlugin::supported_indicators() const { return kIndicators; }

CheckResult CitationPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const ProjectMetadata& m = ctx.metadata();
  const MetadataSource* cff = m.find("CITATION.cff");
  const MetadataSource* codemeta = m.find("codemeta.json");
  const GitInfo* git = ctx.git_repo && ctx.git_repo->is_repo ? &*ctx.git_repo : nullptr;

  Json facts = Json::object();
  std::vector<std::string> advice, errors;
  std::optional<bool> schema_valid;
  std::string cff_version;
  double cff_part = 0.0;
  // R's inst/CITATION and CITATION.bib: how the ecosystem asks to be cited.
  const std::vector<evidence::CitationFile> ecosystem_files = evidence::citation_files(ctx.repo_path);
  if (cff) {
    if (!cff->readable()) {
      schema_valid = false;
      errors.push_back(cff->problem);
    } else {
      cff_version = metadata::text_of(cff->data.value("cff-version", Json()));
      errors = cff_schema_errors(cff->data);
      schema_valid = errors.empty();
    }
    if (!errors.empty()) {
      cff_part = 3.0;
      std::vector<std::string> shown(errors.begin(), errors.begin() + std::min<std::size_t>(errors.size(), 8));
      advice.push_back("Make CITATION.cff valid CFF 1.2.0 (cffconvert --validate shows the same): " +
                       join(shown, "; ") + (errors.size() > shown.size() ? "; ..." : "") + ".");
      if (!cff_version.empty() && cff_version != "1.2.0")
        advice.push_back("Move CITATION.cff from cff-version " + cff_version +
                         " to 1.2.0 (the version GitHub and Zenodo read).");
    } else {
      auto problems = zenodo_problems(cff->data, git);
      cff_part = std::max(5.0, 10.0 - static_cast<double>(problems.size()));
      for (const auto& p : problems) {
        errors.push_back(p);
        advice.push_back("In CITATION.cff, " + p + ".");
      }
    }
  } else if (!ecosystem_files.empty()) {
    // The ecosystem's own citation file is credited; CITATION.cff beside it is what
    // GitHub's "Cite this repository" and Zenodo read.
    const std::string& first = ecosystem_files.front().path;
    advice.push_back(first == "inst/CITATION"
                         ? std::string("Add CITATION.cff from DESCRIPTION and inst/CITATION: cffr::cff_write() writes it "
                                       "(and cffr::cff_gha_update() keeps it in step); GitHub shows \"Cite this "
                                       "repository\" from it and Zenodo takes its metadata.")
                         : "Add CITATION.cff beside " + first + " (cff-version 1.2.0, with the same work as "
                           "preferred-citation): GitHub shows \"Cite this repository\" from it and Zenodo "
                           "takes its metadata.");
  } else if (m.find("DESCRIPTION")) {
    advice.push_back("Add CITATION.cff from DESCRIPTION: cffr::cff_write() writes it (and cffr::cff_gha_update() "
                     "keeps it in step); GitHub shows \"Cite this repository\" from it and Zenodo takes its metadata.");
  } else {
    advice.push_back("Add CITATION.cff (cff-version 1.2.0, message, title, authors with their "
                     "ORCIDs, version, date-released, doi): GitHub shows \"Cite this repository\" "
                     "from it and Zenodo takes its metadata. ostrameld fix --only cff writes one from "
                     "what the repository already says.");
  }
  facts["cff_version"] = cff_version.empty() ? Json(nullptr) : Json(cff_version);
  Json others = Json::array();
  for (const auto& f : ecosystem_files) others.push_back(f.path);
  facts["other_citation_files"] = others;
  facts["schema_valid"] = schema_valid ? Json(*schema_valid) : Json(nullptr);
  facts["errors"] = errors;

  // codemeta.json: complete over a fixed list, with a context.
  double completeness = 0.0;
  if (codemeta) {
    std::vector<std::string> missing;
    if (codemeta->readable()) {
      const Json& d = codemeta->data;
      for (auto field : kCodemetaFields) {
        bool has = d.contains(field) && json_truthy(d[std::string(field)]);
        if (field == "version" && !has) has = d.contains("softwareVersion");
        if (field == "author") {
          // Authors with identifiers: an ORCID for at least one.
          bool identified = has && std::any_of(codemeta->authors.begin(), codemeta->authors.end(),
                                               [](const Person& p) { return p.orcid.has_value(); });
          if (!identified) missing.emplace_back(has ? "author identifiers (@id: an ORCID URL)" : "author");
          continue;
        }
        if (!has) missing.emplace_back(field);
      }
      completeness = 1.0 - static_cast<double>(missing.size()) / kCodemetaFields.size();
      if (!d.contains("@context")) {
        missing.emplace_back("@context");
        advice.push_back("Give codemeta.json its \"@context\": \"https://w3id.org/codemeta/3.0\" "
                         "(without it the file is plain JSON to every harvester).");
        completeness = std::max(0.0, completeness - 0.2);
      }
      std::vector<std::string> fields;
      for (const auto& f : missing)
        if (f != "@context") fields.push_back(f);
      // An R package's codemeta.json is generated from DESCRIPTION: edited there, made again.
      if (!fields.empty())
        advice.push_back("Complete codemeta.json with " + join(fields, ", ") +
                         (m.find("DESCRIPTION") ? " (in DESCRIPTION, then codemetar::write_codemeta() to make it "
                                                  "again, rather than editing it by hand)"
                                                : "") +
                         ".");
    } else {
      missing.emplace_back("(unreadable: " + codemeta->problem + ")");
      advice.push_back("Fix codemeta.json: " + codemeta->problem + ".");
    }
    facts["codemeta"] = Json{{"completeness", std::round(completeness * 100.0) / 100.0}, {"missing", missing}};
  } else {
    facts["codemeta"] = nullptr;
    if (cff) advice.push_back("Add codemeta.json (cffconvert -f codemeta writes it from CITATION.cff).");
  }

  double score;
  std::string output;
  if (cff) {
    score = codemeta ? 0.8 * cff_part + 2.0 * completeness : std::max(0.0, cff_part - 1.0);
    output = schema_valid == true ? "CITATION.cff is valid CFF " + cff_version : "CITATION.cff is not valid CFF 1.2.0";
  } else if (codemeta) {
    score = 4.0 * completeness;
    output = "No CITATION.cff; codemeta.json only";
  } else if (!ecosystem_files.empty()) {
    score = 4.0;
    output = "No CITATION.cff; citation in " + ecosystem_files.front().path;
  } else {
    score = 0.0;
    output = "No CITATION.cff or codemeta.json";
  }
  score = std::round(score * 10.0) / 10.0;
  std::string evidence;
  if (cff) evidence = cff->path + (schema_valid == true ? " (valid)" : " (" + std::to_string(errors.size()) + " errors)");
  for (const auto& f : ecosystem_files)
    evidence += std::string(evidence.empty() ? "" : "; ") + f.path + " (" + std::to_string(f.entries.size()) +
                (f.entries.size() == 1 ? " entry)" : " entries)");
  if (codemeta)
    evidence += std::string(evidence.empty() ? "" : "; ") + "codemeta.json " +
                std::to_string(static_cast<int>(std::round(completeness * 100))) + "% complete";
  return make_result(indicator_id, {.score = score,
                                    .process = "Validated CITATION.cff against the CFF 1.2.0 schema; "
                                               "checked codemeta.json's fields",
                                    .output = output,
                                    .evidence = evidence,
                                    .advice = std::move(advice),
                                    .facts = std::move(facts)});
}

}  // namespace ostrameld
