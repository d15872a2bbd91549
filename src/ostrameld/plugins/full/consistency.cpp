#include "ostrameld/plugins/full/consistency.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>

#include "ostrameld/licences/names.h"
#include "ostrameld/metadata/model.h"
#include "ostrameld/plugins/full/evidence.h"
#include "ostrameld/plugins/full/versions.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/versions.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kIndicators{"metadata_consistency"sv};

// The sources compared, in the order they are named; the citation files first.
constexpr std::array kCompared{"CITATION.cff"sv,  "codemeta.json"sv, ".zenodo.json"sv,
                               "pyproject.toml"sv, "setup.cfg"sv,    "DESCRIPTION"sv,
                               "package.json"sv,   "Cargo.toml"sv,   "pom.xml"sv,
                               "Project.toml"sv, "nextflow.config"sv, "ro-crate-metadata.json"sv};
// Where the full author list belongs; manifests often name only maintainers.
// (An RO-Crate's workflow names its main authors; its other people are contributors.)
constexpr std::array kAuthorLists{"CITATION.cff"sv, "codemeta.json"sv, ".zenodo.json"sv,
                                  "DESCRIPTION"sv};

struct Value {
  std::string source, shown, key;  // key: the normal form compared
};

// Lower case, letters and digits only: "pkgz: a tool" -> "pkgzatool".
std::string squeezed(std::string_view s) {
  std::string out;
  for (char c : ascii_lower(s))
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || static_cast<unsigned char>(c) >= 0x80) out += c;
  return out;
}

std::string person_key(const Person& p) {
  if (p.orcid && p.orcid->checksum_valid) return "orcid:" + p.orcid->id;
  // "Doe, Jane" and "Jane Doe" are one person: the set of name words.
  std::vector<std::string> words;
  std::string word;
  for (char c : ascii_lower(fold_diacritics(p.name)) + " ") {
    if (c == ' ' || c == ',' || c == '.' || c == '-') {
      if (word.size() > 1) words.push_back(word);  // initials are too weak to tell people apart
      word.clear();
    } else {
      word += c;
    }
  }
  std::sort(words.begin(), words.end());
  return "name:" + join(words, " ");
}

// "1.2.0rc1" and "1.2.0-rc.1" are one version.
std::string version_key(const Version& v) {
  std::string out;
  for (auto n : v.release) out += std::to_string(n) + ".";
  while (out.size() > 2 && out.compare(out.size() - 2, 2, "0.") == 0 && std::count(out.begin(), out.end(), '.') > 1)
    out.resize(out.size() - 2);
  std::string pre;
  for (char c : ascii_lower(v.pre))
    if (std::isalnum(static_cast<unsigned char>(c))) pre += c;
  return out + pre + (v.post >= 0 ? "post" + std::to_string(v.post) : "");
}

}  // namespace

std::span<const std::string_view> ConsistencyPlugin::supported_indicators() const { return kIndicators; }

CheckResult ConsistencyPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const ProjectMetadata& m = ctx.metadata();
  std::vector<const MetadataSource*> sources;
  for (auto kind : kCompared) {
    const MetadataSource* s = m.find(kind);
    if (!s || !s->readable()) continue;
    if (kind == "package.json" && s->is_private && !s->members.empty()) continue;  // a workspace root
    sources.push_back(s);
  }
  std::map<std::string, std::vector<Value>> fields;
  for (const auto* s : sources) {
    if (auto v = parse_version(s->version); v && !s->version.empty())
      fields["version"].push_back({s->name, s->version, version_key(*v)});
    if (!s->licences.empty()) {
      std::vector<std::string> ids;
      for (const auto& l : s->licences) ids.push_back(normalize_licence(l));
      std::sort(ids.begin(), ids.end());
      std::string shown = join(s->licences, ", ");
      fields["licence"].push_back({s->name, shown, join(ids, " AND ")});
    }
    if (!s->title.empty()) fields["name"].push_back({s->name, s->title, squeezed(s->title)});
    if (!s->repository_urls.empty()) {
      std::string url = s->repository_urls.front();
      fields["repository"].push_back({s->name, url, evidence::normalize_repository(url)});
    }
  }
  // The newest release tag names the version as well: the root package's, as the release
  // check reads the tags.
  const GitInfo* git = ctx.git_repo && ctx.git_repo->is_repo ? &*ctx.git_repo : nullptr;
  std::optional<Version> newest;
  std::string newest_tag;
  if (git) {
    std::vector<TaggedVersion> versions = release_tags(git->tags);
    if (const TaggedVersion* t = newest_release(versions, root_package(versions, ctx))) {
      newest = t->v;
      newest_tag = t->tag;
    }
  }
  if (newest) fields["version"].push_back({"newest tag", newest_tag, version_key(*newest)});

  Json conflicts = Json::array();
  std::vector<std::string> advice;
  std::size_t compared = 0;
  auto conflict = [&](const std::string& field, const std::vector<Value>& values) {
    Json by = Json::object();
    for (const auto& v : values) by[v.source] = v.shown;
    conflicts.push_back(Json{{"field", field}, {"values", by}});
  };
  auto listing = [](const std::vector<Value>& values) {
    std::vector<std::string> parts;
    for (const auto& v : values) parts.push_back(v.source + " " + v.shown);
    return join(parts, ", ");
  };
  for (const auto& entry : fields) {
    // Named, not bound: lambdas below use them, which structured bindings do not allow
    // with every compiler this builds with.
    const auto& field = entry.first;
    const auto& values = entry.second;
    if (values.size() < 2) continue;
    ++compared;
    if (field == "version") {
      // Files may run ahead of the newest release (1.3.0.dev0, 2.1.0-SNAPSHOT, R's
      // 1.2.0.9000): development goes on after a release. What is wrong is a file behind
      // the newest release, or, without releases, files naming different releases.
      std::vector<std::pair<Version, const Value*>> files;
      for (const auto& v : values)
        if (v.source != "newest tag")
          if (auto p = parse_version(v.shown)) files.emplace_back(*p, &v);
      auto in_development = [](const Version& v) {
        return v.prerelease || (v.release.size() == 4 && v.release[3] >= 9000);
      };
      std::optional<Version> target = newest;
      if (!target)
        for (const auto& [p, v] : files)
          if (!in_development(p) && (!target || compare_versions(p, *target) > 0)) target = p;
      std::vector<std::string> stale;
      bool differ = false;
      for (const auto& [p, v] : files) {
        if (!target) break;
        if (compare_versions(p, *target) < 0 && !(in_development(p) && !newest)) stale.push_back(v->source);
        else if (!newest && !in_development(p) && !same_version(p, *target)) differ = true;
      }
      if (!stale.empty() || differ) {
        conflict(field, values);
        advice.push_back("The version differs: " + listing(values) + ". Change " + join(stale, ", ") +
                         " to " + target->text +
                         (std::find(stale.begin(), stale.end(), "CITATION.cff") != stale.end()
                              ? " (CITATION.cff's date-released too)"
                              : "") +
                         (newest && std::any_of(stale.begin(), stale.end(), [](const std::string& f) {
                            return f == "CITATION.cff" || f == "codemeta.json" || f == ".zenodo.json";
                          })
                              ? "; ostrameld fix --only sync does it in the citation files"
                              : "") +
                         ".");
      }
    } else if (field == "licence") {
      bool all_same = std::all_of(values.begin(), values.end(), [&](const Value& v) {
        return same_licence(v.key, values.front().key);
      });
      if (!all_same) {
        conflict(field, values);
        advice.push_back("The licence differs: " + listing(values) +
                         ". Declare the licence of the LICENSE file everywhere, as its SPDX identifier.");
      }
    } else if (field == "name") {
      // A title may say more than the package's name ("pkgz: a tool for X"): one contains
      // the other, or it is another name.
      bool all_same = std::all_of(values.begin(), values.end(), [&](const Value& v) {
        const std::string& a = v.key;
        return std::all_of(values.begin(), values.end(), [&](const Value& w) {
          return a.find(w.key) != std::string::npos || w.key.find(a) != std::string::npos;
        });
      });
      if (!all_same) {
        conflict(field, values);
        advice.push_back("The name differs: " + listing(values) + ". Name the software alike in each.");
      }
    } else if (field == "repository") {
      std::set<std::string> keys;
      for (const auto& v : values) keys.insert(v.key);
      if (keys.size() > 1) {
        conflict(field, values);
        advice.push_back("The repository address differs: " + listing(values) +
                         ". Point each at the one public repository.");
      }
    }
  }
  // Authors: the citation files and DESCRIPTION hold the whole list and must agree; a
  // manifest's authors must each be in them. One person is matched by ORCID, or by name
  // when only one side gives the ORCID.
  auto name_key = [](const Person& p) { return person_key(Person{p.name, std::nullopt, {}}); };
  auto knows = [&](const MetadataSource* s, const Person& p) {
    return std::any_of(s->authors.begin(), s->authors.end(), [&](const Person& q) {
      return person_key(q) == person_key(p) || (!p.name.empty() && name_key(q) == name_key(p));
    });
  };
  std::vector<const MetadataSource*> with_authors, full_lists;
  for (const auto* s : sources) {
    if (s->authors.empty()) continue;
    with_authors.push_back(s);
    if (std::find(kAuthorLists.begin(), kAuthorLists.end(), s->name) != kAuthorLists.end())
      full_lists.push_back(s);
  }
  // A team or the project's developers as one author ("The X Developers", "X Team",
  // "X contributors") stands for everyone: no person of a full list is missing from it.
  static const Regex team(R"((?i)\b(?:developers|development team|team|contributors|authors|maintainers|community|project|consortium|group|lab|laboratory)\b)");
  auto is_team = [&](const Person& p) { return !p.orcid && team.search(p.name); };
  if (with_authors.size() >= 2 && !full_lists.empty()) {
    ++compared;
    std::vector<std::string> problems;
    for (const auto* s : with_authors)
      for (const auto& p : s->authors)
        for (const auto* other : full_lists)
          if (other != s && !is_team(p) && !knows(other, p) && problems.size() < 6)
            problems.push_back((p.name.empty() ? "an author" : p.name) + " (" + s->name + ") is not in " + other->name);
    if (!problems.empty()) {
      Json by = Json::object();
      for (const auto* s : with_authors) {
        std::vector<std::string> shown;
        for (const auto& p : s->authors) shown.push_back(p.name);
        by[s->name] = join(shown, "; ");
      }
      conflicts.push_back(Json{{"field", "authors"}, {"values", by}});
      advice.push_back("The authors differ: " + join(problems, "; ") +
                       ". List the same people (with their ORCIDs) in each citation file.");
    }
  }

  Json source_names = Json::array();
  for (const auto* s : sources) source_names.push_back(s->name);
  if (newest) source_names.push_back("newest tag");
  Json facts{{"sources", source_names}, {"conflicts", conflicts}};
  if (compared == 0) {
    return make_result(indicator_id,
                       {.score = 0.0,
                        .status = CheckStatus::Unknown,
                        .process = "Compared version, licence, name, authors and repository across the metadata",
                        .output = "Fewer than two sources name the same field",
                        .advice = {"Describe the software in more than one place that others read "
                                   "(CITATION.cff beside the package manifest): then they can be "
                                   "checked against each other."},
                        .facts = std::move(facts)});
  }
  double score = std::round(100.0 * static_cast<double>(compared - conflicts.size()) /
                            static_cast<double>(compared)) / 10.0;
  return make_result(indicator_id,
                     {.score = score,
                      .process = "Compared version, licence, name, authors and repository across the metadata",
                      .output = conflicts.empty()
                                    ? "The metadata agrees on " + std::to_string(compared) + (compared == 1 ? " field" : " fields")
                                    : std::to_string(conflicts.size()) + " of " + std::to_string(compared) +
                                          " fields differ between sources",
                      .evidence = "Sources: " + join(std::vector<std::string>(source_names.begin(), source_names.end()), ", "),
                      .advice = std::move(advice),
                      .facts = std::move(facts)});
}

}  // namespace ostrameld
