#include "ostrameld/plugins/full/identifiers.h"

#include <algorithm>
#include <array>

#include "ostrameld/git/repository.h"
#include "ostrameld/metadata/model.h"
#include "ostrameld/plugins/full/evidence.h"
#include "ostrameld/services/lookups.h"
#include "ostrameld/utils/identifiers.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kIndicators{"persistent_identifier"sv};

struct Found {
  std::string scheme;  // "doi" or "swhid"
  std::string value;
  std::vector<std::string> sources;  // e.g. "CITATION.cff doi"
  std::optional<bool> verified;
  std::optional<bool> in_history;  // SWHIDs of this repository's objects
  std::string zenodo_kind;         // "concept" or "version", when Zenodo said
};

void add(std::vector<Found>& found, std::string scheme, std::string value, std::string source) {
  for (auto& f : found) {
    if (f.scheme == scheme && f.value == value) {
      if (std::find(f.sources.begin(), f.sources.end(), source) == f.sources.end())
        f.sources.push_back(std::move(source));
      return;
    }
  }
  found.push_back({std::move(scheme), std::move(value), {std::move(source)}, {}, {}, {}});
}

bool only_in_readme(const Found& f, const std::string& readme) {
  return std::all_of(f.sources.begin(), f.sources.end(),
                     [&](const std::string& s) { return s.rfind(readme, 0) == 0; });
}

// The git object a SWHID names, as git calls its type.
std::string_view git_type(std::string_view kind) {
  return kind == "rev" ? "commit"sv : kind == "rel" ? "tag"sv : kind == "dir" ? "tree"sv : "blob"sv;
}

std::string mint_advice(const std::string& remote) {
  bool github = remote.find("github.com") != std::string::npos;
  std::string how =
      github ? "Mint a DOI through Zenodo's GitHub integration: sign in at zenodo.org with "
               "GitHub, switch this repository on (Account › GitHub), then publish a "
               "release on GitHub; Zenodo archives each release and gives a concept DOI "
               "(all versions) and a DOI per version."
             : "Mint a DOI by depositing a release archive on Zenodo (zenodo.org › New "
               "upload › Software) or another archive that mints DOIs; reserve the DOI "
               "before publishing to write it into the files of that release.";
  return how + " Then write the concept DOI bare into CITATION.cff (doi: 10.5281/zenodo.N) "
               "and as its resolver URL into codemeta.json (\"identifier\": "
               "\"https://doi.org/10.5281/zenodo.N\").";
}

std::optional<std::string> swh_advice(const Context& ctx, const std::string& remote) {
  if (!ctx.git_repo || ctx.git_repo->head_commit.empty() || ctx.git_repo->sha256 || remote.empty())
    return std::nullopt;
  return "Or have Software Heritage archive the repository: enter " + remote +
         " at https://archive.softwareheritage.org/save/ (Save Code Now); once archived, "
         "the current commit is swh:1:rev:" + ctx.git_repo->head_commit +
         ", which CITATION.cff records under identifiers (type: swh).";
}

}  // namespace

std::span<const std::string_view> PersistentIdentifierPlugin::supported_indicators() const {
  return kIndicators;
}

CheckResult PersistentIdentifierPlugin::check(std::string_view indicator_id,
                                              const Context& ctx) const {
  const ProjectMetadata& m = ctx.metadata();
  std::vector<std::string> papers = evidence::reference_dois(m);
  std::vector<Found> found;
  std::vector<std::string> malformed, paper_ids, advice;

  for (const auto& s : m.sources) {
    if (s.path.find('/') != std::string::npos) continue;
    if (s.name != "CITATION.cff" && s.name != "codemeta.json" && s.name != ".zenodo.json" &&
        s.name != "nextflow.config")
      continue;
    for (const auto& id : s.identifiers) {
      std::string where = s.name + " " + id.field;
      if (!id.well_formed) {
        malformed.push_back(where + ": \"" + id.raw + "\" is no " +
                            (id.scheme == "doi" ? "DOI" : "SWHID"));
        continue;
      }
      if (id.scheme == "doi") {
        bool paper = evidence::is_paper_doi(id.value) ||
                     (std::find(papers.begin(), papers.end(), id.value) != papers.end() &&
                      evidence::archive_of_doi(id.value).empty());
        if (paper) {
          paper_ids.push_back(id.value);
          advice.push_back(where + " holds " + id.value +
                           ", the DOI of a paper about the software: keep it under "
                           "preferred-citation or references, and give the software's own DOI "
                           "here.");
          continue;
        }
        // CFF wants the bare DOI, codemeta the resolver URL.
        if (s.name == "CITATION.cff" && id.raw != id.value && ascii_lower(id.raw) != id.value)
          advice.push_back("Write the DOI bare in CITATION.cff: doi: " + id.value + " (not " +
                           id.raw + ").");
        if (s.name == "codemeta.json" && id.raw.find("doi.org/") == std::string::npos)
          advice.push_back("Write the DOI as its resolver URL in codemeta.json: \"https://doi.org/" +
                           id.value + "\".");
      }
      add(found, id.scheme, id.value, where);
    }
  }
  // R's and Julia's citation files: an entry whose DOI an archive or a registry minted
  // cites the software itself (CRAN's 10.32614/CRAN.package.X, a Zenodo record).
  for (const auto& file : evidence::citation_files(ctx.repo_path))
    for (const auto& e : file.entries)
      if (!e.doi.empty() && !evidence::archive_of_doi(e.doi).empty()) add(found, "doi", e.doi, file.path);
  if (!m.readme_path.empty()) {
    // A README names papers as often as the software, and archives of other works (the
    // formats it reads, say): only an archive's DOI in its badges or where it says how
    // to cite the software counts.
    auto places = evidence::readme_dois(m.readme_text);
    for (const auto* list : {&places.header, &places.citing})
      for (const auto& doi : *list) {
        if (evidence::archive_of_doi(doi).empty()) continue;
        if (std::find(papers.begin(), papers.end(), doi) != papers.end()) continue;
        add(found, "doi", doi, m.readme_path);
      }
    for (const auto& id : swhids_in_text(m.readme_text)) add(found, "swhid", id.core(), m.readme_path);
  }

  // SWHIDs of commits, releases, trees and blobs: does this history hold the object?
  const GitInfo* git = ctx.git_repo ? &*ctx.git_repo : nullptr;
  std::vector<Found*> local;
  std::vector<std::string> oids;
  for (auto& f : found) {
    if (f.scheme != "swhid" || f.value.substr(6, 3) == "snp") continue;
    if (!git || !git->is_repo || git->sha256) continue;
    local.push_back(&f);
    oids.push_back(f.value.substr(10));
  }
  if (!oids.empty()) {
    auto types = object_types(ctx.repo_path, oids, ctx.deadline);
    for (std::size_t i = 0; i < local.size(); ++i)
      local[i]->in_history = types[i] == git_type(local[i]->value.substr(6, 3));
  }

  // Online: the first DOI's registration; Zenodo tells a concept from a version. A
  // service that cannot answer leaves a note naming it, not a to-do.
  std::vector<std::string> notes;
  if (ctx.lookups) {
    for (auto& f : found) {
      if (f.scheme != "doi") continue;
      std::string record = evidence::zenodo_record(f.value);
      if (!record.empty()) {
        Lookup z = ctx.lookups->zenodo(record);
        f.verified = z.verified;
        if (z.verified == true && z.record.is_object()) {
          std::string concept_id = metadata::text_of(z.record.value("conceptrecid", Json()));
          f.zenodo_kind = concept_id == record ? "concept" : "version";
        }
        if (!z.verified && z.why != "offline") notes.push_back("Zenodo could not confirm " + f.value + " (" + z.why + ")");
      } else {
        Lookup d = ctx.lookups->doi(f.value);
        f.verified = d.verified;
        if (!d.verified && d.why != "offline") notes.push_back("doi.org could not confirm " + f.value + " (" + d.why + ")");
      }
      break;
    }
  }

  Json facts = Json::object();
  Json ids = Json::array();
  for (const auto& f : found) {
    Json item{{"scheme", f.scheme}, {"value", f.value}, {"source", join(f.sources, "; ")}};
    item["verified"] = f.verified ? Json(*f.verified) : Json(nullptr);
    if (f.scheme == "swhid") item["in_history"] = f.in_history ? Json(*f.in_history) : Json(nullptr);
    if (!f.zenodo_kind.empty()) item["zenodo"] = f.zenodo_kind;
    ids.push_back(std::move(item));
  }
  facts["identifiers"] = std::move(ids);
  facts["papers"] = paper_ids;
  facts["malformed"] = malformed;
  if (!notes.empty()) facts["notes"] = notes;

  std::string remote = evidence::public_remote(ctx);
  std::vector<std::string> lines;
  for (const auto& f : found)
    lines.push_back(f.scheme == "doi" ? "DOI " + f.value : f.value);
  std::string evidence = lines.empty() ? "" : "Identifiers: " + join(lines, ", ");

  auto usable = [](const Found& f) {
    return f.verified != false && (f.scheme != "swhid" || f.in_history != false);
  };
  std::vector<const Found*> good;
  for (const auto& f : found)
    if (usable(f)) good.push_back(&f);

  double score;
  std::string output;
  if (found.empty()) {
    score = malformed.empty() ? 0.0 : 2.0;
    output = malformed.empty() ? "No persistent identifier (DOI or SWHID) names the software"
                               : "Only malformed identifiers";
    for (const auto& bad : malformed)
      advice.push_back("Fix " + bad + " (a DOI is 10.NNNN/suffix; a SWHID is swh:1:rev: and 40 "
                       "hex digits).");
    // Zenodo's badge for a GitHub repository (zenodo.org/badge/latestdoi/<id>) shows the
    // integration is on: the DOIs exist, they are only not written down.
    static const Regex zenodo_badge(R"((?i)zenodo\.org/badge/(?:latestdoi/)?\d+)");
    if (!m.readme_path.empty() && zenodo_badge.search(m.readme_text)) {
      advice.push_back("Zenodo archives this repository (" + m.readme_path + " shows its badge): write the "
                       "concept DOI from the repository's Zenodo page bare into CITATION.cff (doi: "
                       "10.5281/zenodo.N) and as its resolver URL into codemeta.json (\"identifier\": "
                       "\"https://doi.org/10.5281/zenodo.N\"), so that tools find it without the badge.");
    } else {
      advice.push_back(mint_advice(remote));
      if (auto swh = swh_advice(ctx, remote)) advice.push_back(*swh);
    }
  } else if (good.empty()) {
    bool unregistered = std::any_of(found.begin(), found.end(),
                                    [](const Found& f) { return f.verified == false; });
    score = unregistered ? 3.0 : 5.0;
    output = unregistered ? "The identifiers given are not registered"
                          : "The SWHIDs given name objects this repository does not have";
    for (const auto& f : found) {
      if (f.verified == false)
        advice.push_back(f.value + " is not registered: correct it, or mint the DOI (publish the "
                         "reserved deposit).");
      if (f.in_history == false)
        advice.push_back(f.value + " names an object this history does not hold: cite a commit "
                         "or release of this repository.");
    }
  } else {
    score = 10.0;
    output = "Persistent identifier found";
    bool whole = std::any_of(good.begin(), good.end(),
                               [](const Found* f) { return f->zenodo_kind != "version"; });
    if (!whole) {
      score = 9.0;
      advice.push_back("The Zenodo DOI found names one version: cite the concept DOI (Zenodo "
                       "shows it as \"Cite all versions\") in CITATION.cff's doi, and list "
                       "version DOIs under identifiers.");
    }
    bool in_files = std::any_of(good.begin(), good.end(), [&](const Found* f) {
      return m.readme_path.empty() || !only_in_readme(*f, m.readme_path);
    });
    if (!in_files) {
      score = std::min(score, 8.0);
      const Found* f = good.front();
      advice.push_back(
          f->scheme == "doi"
              ? "The DOI is only in " + m.readme_path + ": also write it into CITATION.cff (doi: " +
                    f->value + ") and codemeta.json (\"identifier\": \"https://doi.org/" +
                    f->value + "\")."
              : "The SWHID is only in " + m.readme_path +
                    ": also record it in CITATION.cff under identifiers (type: swh, value: " +
                    f->value + ").");
    }
    for (const auto& bad : malformed) advice.push_back("Fix " + bad + ".");
  }
  return make_result(indicator_id, {.score = score,
                                    .process = "Looked for DOIs and SWHIDs naming the software",
                                    .output = output,
                                    .evidence = evidence,
                                    .advice = std::move(advice),
                                    .facts = std::move(facts)});
}

}  // namespace ostrameld
