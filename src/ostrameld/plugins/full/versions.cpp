#include "ostrameld/plugins/full/versions.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "ostrameld/metadata/model.h"
#include "ostrameld/plugins/full/evidence.h"
#include "ostrameld/services/forge.h"
#include "ostrameld/utils/files.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/versions.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kIndicators{"release_versions"sv};

constexpr std::array kDeclaring{"pyproject.toml"sv, "setup.cfg"sv,    "DESCRIPTION"sv,
                                "package.json"sv,   "Cargo.toml"sv,   "pom.xml"sv,
                                "Project.toml"sv,   "CITATION.cff"sv, "codemeta.json"sv};

// The release a development version leads to: R's 1.2.1.9000 -> 1.2.1, PEP 440's
// 1.3.0.dev2 -> 1.3.0, Maven's 2.0-SNAPSHOT -> 2.0, SemVer's 2.0.0-rc.1 -> 2.0.0.
std::string release_of(const std::string& version) {
  static const Regex dev(R"(^(\d+\.\d+(?:\.\d+)?)(?:\.9\d{3,}|\.?dev\d*|-SNAPSHOT|-[0-9A-Za-z.-]+)$)");
  if (auto base = dev.search_group(version, 1)) return std::string(*base);
  return version;
}

// A Bioconductor package: its DESCRIPTION names biocViews.
bool bioconductor(const Path& root) {
  if (!file_seen(root / "DESCRIPTION", root)) return false;
  try {
    std::string text = read_text_prefix(root / "DESCRIPTION", ReadMode::Replace, 64 << 10, root);
    static const Regex views(R"((?m)^biocViews\s*:)");
    return views.search(text);
  } catch (const OsError&) {
    return false;
  }
}

}  // namespace

DeclaredVersion declared_version(const ProjectMetadata& m) {
  for (auto kind : kDeclaring) {
    const MetadataSource* s = m.find(kind);
    if (!s || s->version.empty() || !parse_version(s->version)) continue;
    if (kind == "package.json" && s->version == "0.0.0" && s->is_private) continue;  // a workspace root
    return {s->version, s->path};
  }
  return {};
}

std::vector<TaggedVersion> release_tags(const std::vector<std::string>& tags, std::vector<std::string>* ignored) {
  std::vector<TaggedVersion> versions;
  for (const auto& tag : tags) {
    auto v = version_of_tag(tag);
    // Tags that mark no release of the project: a packager's (debian/1.2-1, upstream/1.2)
    // and a paper's (paper-v1, joss-review-1.0).
    static const Regex not_release(R"((?i)^(?:debian|upstream|ubuntu|pristine-tar)/|(?:^|[-_/])(?:paper|submission|joss|review|preprint|thesis)(?:[-_/]|v?$))");
    if (v && not_release.search(v->prefix)) v.reset();
    // Julia's documentation builds of a release ("v1.2.3+docs", "v1.2.3+1") tag the same
    // release again: set aside, not a second tag of it.
    if (v && v->scheme == VersionScheme::SemVer && v->text.find('+') != std::string::npos) v.reset();
    if (!v) {
      if (ignored) ignored->push_back(tag);
      continue;
    }
    versions.push_back({tag, *v});
  }
  return versions;
}

std::string tag_package(const Version& v) {
  std::string p = v.prefix;
  if (!p.empty() && (p.back() == 'v' || p.back() == 'V')) p.pop_back();
  return ascii_lower(p);
}

std::optional<std::string> root_package(const std::vector<TaggedVersion>& versions, const Context& ctx) {
  std::map<std::string, std::size_t> packages;
  for (const auto& t : versions)
    if (!t.v.prerelease && t.v.scheme != VersionScheme::Other) ++packages[tag_package(t.v)];
  if (packages.size() <= 1) return std::nullopt;
  const ProjectMetadata& m = ctx.metadata();
  std::vector<std::string> names;
  for (const auto& src : m.sources)
    if (src.path.find('/') == std::string::npos && !src.title.empty()) names.push_back(ascii_lower(src.title));
  std::string remote = evidence::public_remote(ctx);
  if (remote.empty() && ctx.git_repo) remote = ctx.git_repo->remote_url;
  if (auto slash = remote.find_last_of('/'); slash != std::string::npos) {
    std::string repo = ascii_lower(remote.substr(slash + 1));
    for (std::string_view suffix : {".git"sv, ".jl"sv})
      if (repo.size() > suffix.size() && repo.compare(repo.size() - suffix.size(), suffix.size(), suffix) == 0)
        repo.resize(repo.size() - suffix.size());
    names.push_back(repo);
  }
  auto named = [&](const std::string& pkg) {
    // "rel/commons-lang-" names commons-lang; a trailing separator is no part of it.
    std::string p = pkg;
    while (!p.empty() && (p.back() == '-' || p.back() == '_' || p.back() == '/' || p.back() == '.')) p.pop_back();
    for (const auto& n : names)
      if (!n.empty() && (p == n || (p.size() > n.size() && p.compare(p.size() - n.size(), n.size(), n) == 0 &&
                                    p[p.size() - n.size() - 1] == '/')))
        return true;
    return false;
  };
  // The root's name or no name; of those, the one carrying the highest version (a package
  // tagged by name long ago, "testthat-0.6", is not the project's line now).
  std::vector<std::string> candidates;
  for (const auto& [pkg, n] : packages)
    if (pkg.empty() || named(pkg)) candidates.push_back(pkg);
  const TaggedVersion* best = nullptr;
  for (const auto& t : versions) {
    if (t.v.prerelease || t.v.scheme == VersionScheme::Other) continue;
    if (std::find(candidates.begin(), candidates.end(), tag_package(t.v)) == candidates.end()) continue;
    if (!best || compare_versions(t.v, best->v) > 0) best = &t;
  }
  if (!best) return std::nullopt;
  return tag_package(best->v);
}

const TaggedVersion* newest_release(const std::vector<TaggedVersion>& versions, const std::optional<std::string>& root) {
  const TaggedVersion* newest = nullptr;
  for (const auto& t : versions) {
    if (t.v.prerelease || t.v.scheme == VersionScheme::Other) continue;
    if (root && tag_package(t.v) != *root) continue;
    if (!newest || compare_versions(t.v, newest->v) > 0) newest = &t;
  }
  return newest;
}

std::span<const std::string_view> VersionsPlugin::supported_indicators() const { return kIndicators; }

CheckResult VersionsPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const GitInfo& git = ctx.git();
  const ProjectMetadata& m = ctx.metadata();
  std::vector<std::string> names = git.tags;
  std::size_t releases_online = 0;
  bool asked_forge = false;
  // Online, the forge's releases count as versions too (a tag made by the release).
  if (ctx.forge && ctx.lookups) {
    std::string url = ctx.repo_url ? *ctx.repo_url : git.remote_url;
    if (auto info = ctx.forge->parse_forge_url(url)) {
      std::optional<std::string> token = info->api_style == "github"   ? ctx.github_token
                                         : info->api_style == "gitlab" ? ctx.gitlab_token
                                                                       : ctx.gitea_token;
      if (auto releases = ctx.forge->get_releases(url, token, ctx.deadline)) {
        asked_forge = true;
        for (const auto& r : *releases) {
          if (!r.tag_name) continue;
          ++releases_online;
          if (std::find(names.begin(), names.end(), *r.tag_name) == names.end()) names.push_back(*r.tag_name);
        }
      }
    }
  }

  using Tagged = TaggedVersion;
  std::vector<std::string> ignored;
  std::vector<Tagged> versions = release_tags(names, &ignored);
  // A Go module's versions are SemVer tags with their "v" (in a subdirectory's module,
  // "sub/v1.2.3"): the go command reads no other.
  const bool go_module = m.find("go.mod") != nullptr;
  std::vector<std::string> not_go;
  std::vector<std::string> not_go_all;  // every such tag, to keep them out of the other complaint
  // What a project does now is what its recent releases do: its old tags are history,
  // published and left as they are, and no advice is given about them.
  std::vector<std::string> recent;
  {
    std::vector<const Tagged*> by_version;
    for (const auto& t : versions)
      if (!t.v.prerelease && !t.v.release.empty()) by_version.push_back(&t);
    std::sort(by_version.begin(), by_version.end(),
              [](const Tagged* a, const Tagged* b) { return compare_versions(a->v, b->v) > 0; });
    for (std::size_t i = 0; i < by_version.size() && i < 5; ++i) recent.push_back(by_version[i]->tag);
  }
  auto is_recent = [&](const std::string& tag) { return std::find(recent.begin(), recent.end(), tag) != recent.end(); };
  for (auto& t : versions) {
    if (!go_module || !is_recent(t.tag) || t.v.scheme == VersionScheme::Other) continue;
    if (t.v.scheme != VersionScheme::SemVer || t.v.prefix.empty() || t.v.prefix.back() != 'v') {
      not_go_all.push_back(t.tag);
      if (not_go.size() < 5) not_go.push_back(t.tag);
      t.v.scheme = VersionScheme::Other;
    }
  }
  // The schemes the tags use; a tag valid in SemVer is valid in PEP 440 too.
  std::map<VersionScheme, std::size_t> by_scheme;
  std::size_t conforming = 0;
  for (const auto& t : versions) {
    ++by_scheme[t.v.scheme];
    if (t.v.scheme != VersionScheme::Other) ++conforming;
  }
  std::string scheme = "none";
  if (!versions.empty()) {
    std::size_t semver = by_scheme[VersionScheme::SemVer], pep = by_scheme[VersionScheme::Pep440],
                calver = by_scheme[VersionScheme::CalVer];
    if (semver == conforming && conforming) scheme = "semver";
    else if (semver + pep == conforming && conforming) scheme = "pep440";
    else if (calver == conforming && conforming) scheme = "calver";
    else if (conforming) scheme = "mixed";
    else scheme = "other";
  }
  // Several tags of one version (v1.0.0 and 1.0.0, v1.2 and v1.2.0) of one package.
  std::vector<std::string> duplicates;
  for (std::size_t i = 0; i < versions.size(); ++i)
    for (std::size_t j = i + 1; j < versions.size(); ++j)
      if (tag_package(versions[i].v) == tag_package(versions[j].v) &&
          versions[i].v.scheme != VersionScheme::Other && versions[j].v.scheme != VersionScheme::Other &&
          same_version(versions[i].v, versions[j].v) && duplicates.size() < 10)
        if (is_recent(versions[i].tag) || is_recent(versions[j].tag))
          duplicates.push_back(versions[i].tag + " = " + versions[j].tag);
  std::optional<std::string> root = root_package(versions, ctx);
  // A project that switched schemes on purpose (v0.x to CalVer, say) keeps to the new one:
  // the recent releases decide, the old tags are history.
  bool switched = false;
  if (scheme == "mixed") {
    std::vector<const Tagged*> line;
    for (const auto& t : versions)
      if (!t.v.prerelease && t.v.scheme != VersionScheme::Other &&
          (!root || tag_package(t.v) == *root))
        line.push_back(&t);
    std::sort(line.begin(), line.end(), [](const Tagged* a, const Tagged* b) { return compare_versions(a->v, b->v) > 0; });
    constexpr std::size_t kRecent = 5;
    if (line.size() > kRecent) {
      std::size_t semver = 0, pep = 0, calver = 0;
      for (std::size_t i = 0; i < kRecent; ++i) {
        semver += line[i]->v.scheme == VersionScheme::SemVer;
        pep += line[i]->v.scheme == VersionScheme::Pep440;
        calver += line[i]->v.scheme == VersionScheme::CalVer;
      }
      std::string recent = calver == kRecent ? "calver" : semver == kRecent ? "semver" : semver + pep == kRecent ? "pep440" : "";
      if (!recent.empty()) {
        scheme = recent;
        switched = true;
      }
    }
  }
  // The newest release: the highest version that is no pre-release, by the scheme's order.
  const Tagged* newest = newest_release(versions, root);
  DeclaredVersion declared = declared_version(m);

  std::vector<std::string> advice;
  double score;
  std::string output;
  if (versions.empty() && bioconductor(ctx.repo_path)) {
    // Bioconductor versions and releases the package itself, twice a year from its
    // RELEASE_3_xx branches (an even middle number); odd is its development line.
    score = 7.0;
    output = "No version tags; Bioconductor versions and archives the releases";
    auto d = parse_version(declared.version);
    bool development = d && d->release.size() >= 2 && d->release[1] % 2 == 1;
    advice.push_back(std::string("Optionally tag in this repository the versions Bioconductor released (an even middle "
                                 "number, from the RELEASE_3_xx branches), so that a release can be found here too") +
                     (development ? "; " + declared.version + " is the development line, which is not tagged" : "") + ".");
  } else if (versions.empty()) {
    score = 0.0;
    output = git.tags.empty() ? "No tags" : "No tag is a version";
    std::string example = declared.version.empty() ? "1.0.0" : release_of(declared.version);
    // A development version is never tagged: its release is, at the commit that made it.
    bool development = !declared.version.empty() && example != declared.version;
    advice.push_back("Tag each release with its version and push the tags" +
                     (development ? " (" + declared.version + " is a development version: tag " + example +
                                        " at the commit that released it)"
                                  : std::string()) +
                     ": git tag -a v" + example + (development ? " COMMIT" : "") + " -m \"Release " + example +
                     "\" && git push --tags" +
                     (git.shallow ? " (this checkout is shallow: fetch the tags to see them)" : "") + ".");
  } else {
    score = 10.0 * static_cast<double>(conforming) / static_cast<double>(versions.size());
    output = std::to_string(conforming) + " of " + std::to_string(versions.size()) +
             " version tags follow " + (scheme == "mixed" || scheme == "other" ? "a scheme" : scheme);
    std::vector<std::string> bad;
    for (const auto& t : versions)
      if (t.v.scheme == VersionScheme::Other && bad.size() < 5 &&
          std::find(not_go_all.begin(), not_go_all.end(), t.tag) == not_go_all.end())
        bad.push_back(t.tag);
    if (!not_go.empty())
      advice.push_back("Go modules take only SemVer tags with their v (vMAJOR.MINOR.PATCH, e.g. v1.2.3): " +
                       join(not_go, ", ") + " cannot be required as versions; tag new releases that way.");
    if (!bad.empty())
      advice.push_back("These tags follow no version scheme (SemVer has no leading zeros and three "
                       "numbers; PEP 440 and CalVer have their own forms): " + join(bad, ", ") + ".");
    if (switched) output += " (the recent releases " + scheme + ", the older tags another scheme)";
    if (scheme == "mixed") {
      score = std::min(score, 6.0);
      std::vector<std::string> used;
      for (const auto& [s, n] : by_scheme)
        if (s != VersionScheme::Other && n) used.push_back(std::string(scheme_name(s)) + " (" + std::to_string(n) + ")");
      advice.push_back("The tags mix version schemes: " + join(used, ", ") + "; keep to one for new releases.");
    }
    if (!duplicates.empty()) {
      score = std::max(0.0, score - 1.0);
      // Published tags stay: others may pin them.
      advice.push_back("Several tags name one version: " + join(duplicates, "; ") +
                       "; tag each new release once, in one form (the tags already published stay as they are).");
    }
    if (newest && !declared.version.empty()) {
      auto d = parse_version(declared.version);
      if (d && compare_versions(*d, newest->v) < 0) {
        score = std::max(0.0, score - 2.0);
        advice.push_back(declared.source + " declares version " + declared.version +
                         ", older than the newest release " + newest->tag + ": set it to " +
                         newest->v.text + " (and bump it before the next release).");
      }
    }
  }
  score = std::round(score * 10.0) / 10.0;
  Json facts{{"scheme", scheme},
             {"version_tags", versions.size()},
             {"conforming", conforming},
             {"latest_tag", newest ? Json(newest->tag) : Json(nullptr)},
             {"declared_version", declared.version.empty() ? Json(nullptr) : Json(declared.version)},
             {"ignored_tags", ignored.size()},
             {"duplicates", duplicates},
             {"forge_releases", asked_forge ? Json(releases_online) : Json(nullptr)}};
  std::string evidence;
  if (newest) evidence = "Newest release: " + newest->tag;
  if (!declared.version.empty())
    evidence += std::string(evidence.empty() ? "" : "; ") + "declared: " + declared.version + " (" + declared.source + ")";
  if (!ignored.empty()) evidence += std::string(evidence.empty() ? "" : "; ") + std::to_string(ignored.size()) + " other tags ignored";
  return make_result(indicator_id, {.score = score,
                                    .process = "Read every tag as a version of its scheme",
                                    .output = output,
                                    .evidence = evidence,
                                    .advice = std::move(advice),
                                    .facts = std::move(facts)});
}

}  // namespace ostrameld
