#include "ostrameld/plugins/full/history.h"

#include <algorithm>
#include <array>
#include <set>

#include "ostrameld/metadata/model.h"
#include "ostrameld/plugins/full/evidence.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kIndicators{"provenance"sv};

constexpr std::array kChangelogStems{"changelog"sv, "changes"sv, "history"sv, "news"sv, "release_notes"sv,
                                     "release-notes"sv, "releasenotes"sv, "releases"sv, "whatsnew"sv,
                                     "whats-new"sv, "whats_new"sv, "release-history"sv, "release_history"sv};
// Folders of notes, one file per release, in the documentation (Sphinx projects keep them so).
constexpr std::array kNotesDirs{"release-notes"sv, "release_notes"sv, "releasenotes"sv, "whatsnew"sv,
                                "whats-new"sv, "changelog"sv, "changes"sv, "news"sv, "history"sv};
// Folders of news fragments that a tool (towncrier, changie, changesets) turns into a changelog.
constexpr std::array kFragmentDirs{"changelog.d"sv, "newsfragments"sv, "changes"sv, ".changes"sv, ".changeset"sv};
// Sources whose authors may carry ORCIDs.
constexpr std::array kAuthorSources{"CITATION.cff"sv, "codemeta.json"sv, "DESCRIPTION"sv, ".zenodo.json"sv,
                                    "nextflow.config"sv};

}  // namespace

std::span<const std::string_view> HistoryPlugin::supported_indicators() const { return kIndicators; }

CheckResult HistoryPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const GitInfo& git = ctx.git();
  const Path& root = ctx.repo_path;
  if (!git.is_repo || git.commit_count == 0) {
    bool repo = git.is_repo;
    Json facts{{"commits", 0}, {"public_remote", false}, {"changelog", nullptr}, {"orcids", 0},
               {"orcids_valid", 0}, {"shallow", git.shallow}};
    return make_result(indicator_id,
                       {.score = 0.0,
                        .process = "Read the git history",
                        .output = repo ? "No commits: the repository has no history" : "Not a git repository",
                        .advice = {repo ? "Commit the work (git add, git commit) so that its history records who changed what and when."
                                        : "Keep the project under git (git init, then commit) and publish it on a forge."},
                        .facts = std::move(facts)});
  }

  std::string remote = evidence::public_remote(ctx);
  evidence::Reach reach = remote.empty() ? evidence::Reach::Invalid : evidence::reach_of(remote);

  // A changelog at the root or beside the documentation, or news fragments.
  std::string changelog;
  // Documentation lives in folders of many names and depths (docs/sphinx/source,
  // sites/www): every folder up to three deep with a documentation-like part, shallow first.
  const ProjectMetadata& m = ctx.metadata();
  std::vector<std::string> places{"", "inst"};
  {
    static constexpr std::array kDocParts{"docs"sv, "doc"sv, "documentation"sv, "sites"sv, "site"sv, "website"sv, "www"sv};
    std::vector<std::string> found;
    for (const auto& d : m.directories) {
      if (std::count(d.begin(), d.end(), '/') > 2 || found.size() >= 64) continue;
      if (has_component(d, kDocParts)) found.push_back(d);
    }
    std::stable_sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
      return std::count(a.begin(), a.end(), '/') < std::count(b.begin(), b.end(), '/');
    });
    places.insert(places.end(), found.begin(), found.end());
  }
  for (const std::string& dir : places) {
    if (!changelog.empty()) break;
    Path base = dir.empty() ? root : root / dir;
    if (!dir.empty() && !dir_seen(base, root)) continue;
    std::vector<std::string> names = list_directory_seen(base, root);
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
      std::string stem = ascii_lower(file_stem(name));
      std::string rel = dir.empty() ? name : std::string(dir) + "/" + name;
      if (std::find(kChangelogStems.begin(), kChangelogStems.end(), stem) != kChangelogStems.end() &&
          file_seen(base / name, root) && entry_size(base / name, root) > 0) {
        changelog = rel;
        break;
      }
      if (dir.empty() && std::find(kFragmentDirs.begin(), kFragmentDirs.end(), ascii_lower(name)) != kFragmentDirs.end() &&
          dir_seen(base / name, root) && name != "changes") {
        changelog = rel + "/";
        break;
      }
      if (!dir.empty() && std::find(kNotesDirs.begin(), kNotesDirs.end(), ascii_lower(name)) != kNotesDirs.end() &&
          dir_seen(base / name, root) && !list_directory_seen(base / name, root).empty()) {
        changelog = rel + "/";
        break;
      }
    }
  }

  // Authors' ORCIDs, each person once.
  std::set<std::string> valid, invalid;
  for (auto kind : kAuthorSources) {
    const MetadataSource* s = ctx.metadata().find(kind);
    if (!s) continue;
    for (const auto& p : s->authors) {
      if (p.orcid && p.orcid->checksum_valid) valid.insert(p.orcid->id);
      else if (p.orcid) invalid.insert(p.orcid->id + " (" + s->path + ")");
      else if (!p.orcid_text.empty()) invalid.insert(p.orcid_text + " (" + s->path + ")");
    }
  }

  double score = git.commit_count >= 10 || git.shallow ? 4.0 : 3.0;
  std::vector<std::string> advice;
  std::vector<std::string> details{std::to_string(git.commit_count) + (git.commit_count == 1 ? " commit" : " commits") +
                                   (git.shallow ? " (shallow checkout: the history is cut short)" : "")};
  if (reach == evidence::Reach::Public) {
    score += 3.0;
    details.push_back("public remote " + remote);
  } else if (reach == evidence::Reach::PlainHttp) {
    score += 2.0;
    details.push_back("remote over plain http " + remote);
    advice.push_back("Publish the repository at an https address: " + remote + " is plain http.");
  } else {
    advice.push_back(git.remote_url.empty() ? "Publish the repository on a public forge and add it as the remote (git remote add origin URL)."
                                            : "The remote is no public address (a local path or private host): publish the repository on a public forge.");
  }
  if (!changelog.empty()) {
    score += 1.5;
    details.push_back("changelog " + changelog);
  } else {
    advice.push_back("Keep a changelog (CHANGELOG.md, or NEWS.md for an R package) that says what each release changed.");
  }
  if (!valid.empty() && invalid.empty()) {
    score += 1.5;
    details.push_back(std::to_string(valid.size()) + " authors with ORCIDs");
  } else if (!invalid.empty()) {
    std::vector<std::string> list(invalid.begin(), invalid.end());
    advice.push_back("These ORCIDs are wrong (their check digit does not hold or their form is not an ORCID's): " + join(list, ", ") + ".");
  } else if (ctx.metadata().find("DESCRIPTION")) {
    // R keeps its authors in DESCRIPTION; codemeta.json and CITATION.cff are made from it.
    advice.push_back("Identify the authors by their ORCIDs in DESCRIPTION's Authors@R: person(\"Given\", "
                     "\"Family\", comment = c(ORCID = \"0000-0000-0000-0000\")); codemetar::write_codemeta() "
                     "and cffr::cff_write() carry them into codemeta.json and CITATION.cff.");
  } else if (ctx.metadata().find("nextflow.config")) {
    advice.push_back("Identify the authors by their ORCIDs in nextflow.config's manifest: contributors = "
                     "[[name: 'Given Family', orcid: '0000-0000-0000-0000']].");
  } else {
    advice.push_back("Identify the authors by their ORCIDs in CITATION.cff (orcid:) or codemeta.json.");
  }
  if (git.commit_count < 10 && git.shallow)
    advice.push_back("The checkout is shallow: assess a full clone (fetch-depth: 0 in actions/checkout).");

  Json facts{{"commits", git.commit_count},
             {"public_remote", reach == evidence::Reach::Public || reach == evidence::Reach::PlainHttp},
             {"changelog", changelog.empty() ? Json(nullptr) : Json(changelog)},
             {"orcids", valid.size() + invalid.size()},
             {"orcids_valid", valid.size()},
             {"shallow", git.shallow}};
  return make_result(indicator_id, {.score = score,
                                    .process = "Read the git history and remote, looked for a changelog and "
                                               "checked the authors' ORCIDs",
                                    .output = join(details, "; "),
                                    .evidence = changelog,
                                    .advice = std::move(advice),
                                    .facts = std::move(facts)});
}

}  // namespace ostrameld
