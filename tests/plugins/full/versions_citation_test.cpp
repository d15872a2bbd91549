// release_versions and citation_metadata on repositories the tests build: tags of every
// scheme and mistake, citation files valid, invalid and what Zenodo refuses.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "ostrameld/engine/assess.h"
#include "plugins/full/shapes.h"

namespace ostrameld {
namespace {

using testing::TempRepo;

CheckResult assess_one(const TempRepo& repo, const char* key) {
  AssessOptions options;
  options.profile = &fair4rs_full_profile();
  options.offline = true;
  options.only = {key};
  Assessment a = assess_repository(repo.path(), options);
  EXPECT_EQ(a.indicators.size(), 1u);
  return a.indicators.empty() ? CheckResult{} : a.indicators.front();
}

bool any_advice(const CheckResult& r, std::string_view text) {
  for (const auto& a : r.advice)
    if (a.find(text) != std::string::npos) return true;
  return false;
}

TEST(ReleaseVersions, EveryTagByItsScheme) {
  struct {
    const char* name;
    std::vector<std::string> tags;  // in the order made
    std::string pyproject_version;
    const char* scheme;
    double score;
    const char* latest;
    const char* advice;
    const char* package = "p";  // the root package's name in pyproject.toml
  } cases[] = {
      {"SemVer, and a non-version tag after the last release",
       {"v0.1.0", "v0.2.0", "paper-submission"}, "0.2.0", "semver", 10.0, "v0.2.0", nullptr},
      {"the newest by version, not by date: a maintenance release tagged late",
       {"v1.0.0", "v2.0.0", "v1.0.1"}, "2.0.0", "semver", 10.0, "v2.0.0", nullptr},
      {"PEP 440 with a release candidate", {"1.0", "1.1rc1", "1.1"}, "1.1", "pep440", 10.0, "1.1", nullptr},
      {"CalVer", {"2023.12", "2024.03.1"}, "", "calver", 10.0, "2024.03.1", nullptr},
      {"a package prefix belongs to the tag", {"Plots-v1.0.0", "Plots-v1.1.0"}, "", "semver", 10.0,
       "Plots-v1.1.0", nullptr},
      {"leading zeros are no SemVer", {"v01.0.0", "v1.1.0"}, "", "semver", 5.0, "v1.1.0", "v01.0.0"},
      {"mixed schemes", {"v1.0.0", "2.0", "2024.01"}, "", "mixed", 6.0, "2024.01", "mix version schemes"},
      {"one version tagged twice: never told to delete a published tag", {"v1.0.0", "1.0.0"}, "", "semver", 9.0,
       "1.0.0", "tag each new release once, in one form (the tags already published stay"},
      {"a monorepo: the root package's tags, not its members'",
       {"v7.5.0", "v7.6.0", "DiffEqBase-v7.18.1", "OrdinaryDiffEqCore-v3.0.0"}, "", "semver", 10.0, "v7.6.0", nullptr},
      {"a monorepo: the root package tagged by its name",
       {"0.23.0", "hatch-v1.17.0", "hatch-v1.18.0", "hatchling-v1.32.0"}, "", "semver", 10.0, "hatch-v1.18.0", nullptr,
       "hatch"},
      {"a package tagged by its name long ago is history", {"testthat-0.6", "v3.3.1", "v3.3.2"}, "", "pep440", 10.0,
       "v3.3.2", nullptr, "testthat"},
      {"a deliberate switch to CalVer: the recent releases decide",
       {"v0.1.0", "v0.2.0", "v0.3.0", "v0.4.0", "v0.5.0", "v0.6.0", "v2022.03.0", "v2022.06.0", "v2023.01.0",
        "v2024.01.0", "v2025.01.0"},
       "", "calver", 10.0, "v2025.01.0", nullptr},
      {"the metadata declares an older version", {"v0.1.0", "v0.2.0"}, "0.1.0", "semver", 8.0, "v0.2.0",
       "older than the newest release v0.2.0"},
      {"Julia's documentation builds tag a release again: no second tag of it", {"v1.0.0", "v1.0.0+docs", "v1.0.0+1"},
       "", "semver", 10.0, "v1.0.0", nullptr},
      {"a version tagged twice long ago is history",
       {"1.0.0", "v1.0.0", "v1.1.0", "v1.2.0", "v1.3.0", "v1.4.0", "v1.5.0"}, "", "semver", 10.0, "v1.5.0", nullptr},
      {"a packager's and a paper's tags are no releases",
       {"v1.0.0", "debian/1.1.0-1", "upstream/1.1.0", "paper-v2.0.0", "joss-review-3.0"}, "", "semver", 10.0, "v1.0.0",
       nullptr},
      {"no tags", {}, "1.0.0", "none", 0.0, nullptr, "git tag -a v1.0.0"},
      {"no tags, a development version declared: the release is what gets a tag", {}, "1.3.0.dev2", "none", 0.0,
       nullptr, "git tag -a v1.3.0 COMMIT -m"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    if (!c.pyproject_version.empty() || std::string(c.package) != "p")
      repo.write("pyproject.toml", "[project]\nname = \"" + std::string(c.package) + "\"\n" +
                                       (c.pyproject_version.empty() ? "" : "version = \"" + c.pyproject_version + "\"\n"));
    testing::commit_all(repo);
    for (const auto& t : c.tags) testing::git(repo, "tag " + t);
    CheckResult r = assess_one(repo, "release_versions");
    EXPECT_DOUBLE_EQ(r.score, c.score) << r.output;
    EXPECT_EQ(r.facts["scheme"], c.scheme);
    EXPECT_EQ(r.facts["latest_tag"], c.latest ? Json(c.latest) : Json(nullptr));
    if (c.advice) {
      EXPECT_TRUE(any_advice(r, c.advice)) << (r.advice.empty() ? "" : r.advice.front());
    } else {
      EXPECT_TRUE(r.advice.empty()) << r.advice.front();
    }
  }
}

// Ecosystems whose releases are made their own way: a Go module's versions are SemVer
// tags; Bioconductor versions and archives a package's releases itself.
TEST(ReleaseVersions, EachEcosystemsOwnRules) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    std::vector<std::string> tags;
    double score;
    const char* advice;    // in the advice, or nullptr for none
    const char* unwanted;  // in no advice
  } cases[] = {
      {"a Go module: v0.1.3.1 is no module version", {{"go.mod", "module example.org/m\n\ngo 1.22\n"}},
       {"v0.1.2", "v0.1.3.1"}, 5.0, "Go modules take only SemVer tags", "follow no version scheme"},
      {"a Go module's early tags without their v are history", {{"go.mod", "module example.org/m\n\ngo 1.22\n"}},
       {"0.1.0", "v0.2.0", "v0.3.0", "v0.4.0", "v0.5.0", "v0.6.0"}, 10.0, nullptr, "Go modules"},
      {"a Go module tagged by the book", {{"go.mod", "module example.org/m\n\ngo 1.22\n"}}, {"v0.1.2", "v0.2.0"}, 10.0,
       nullptr, "Go modules"},
      {"Bioconductor's development line is never to be tagged",
       {{"DESCRIPTION", "Package: p\nVersion: 1.43.4\nbiocViews: Sequencing\nLicense: Artistic-2.0\n"}}, {}, 7.0,
       "1.43.4 is the development line, which is not tagged", "git tag -a v1.43.4"},
      {"a CRAN package's development version: its release is what gets a tag",
       {{"DESCRIPTION", "Package: p\nVersion: 1.2.1.9000\nLicense: MIT\n"}}, {}, 0.0, "git tag -a v1.2.1 COMMIT",
       "v1.2.1.9000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [path, text] : c.files) repo.write(path, text);
    testing::commit_all(repo);
    for (const auto& t : c.tags) testing::git(repo, "tag " + t);
    CheckResult r = assess_one(repo, "release_versions");
    EXPECT_DOUBLE_EQ(r.score, c.score) << r.output;
    if (c.advice) {
      EXPECT_TRUE(any_advice(r, c.advice)) << (r.advice.empty() ? "" : r.advice.front());
    } else {
      EXPECT_TRUE(r.advice.empty()) << r.advice.front();
    }
    EXPECT_FALSE(any_advice(r, c.unwanted));
  }
}

TEST(CitationMetadata, ValidInvalidAndWhatZenodoRefuses) {
  const std::string head = "cff-version: 1.2.0\nmessage: Cite it\n";
  struct {
    const char* name;
    std::string cff;       // empty: none
    std::string codemeta;  // empty: none
    std::vector<std::string> tags;
    double score;
    Json schema_valid;
    const char* advice;
  } cases[] = {
      {"valid, no codemeta", head + "title: t\nauthors:\n  - family-names: D\n", "", {}, 9.0, true,
       "Add codemeta.json"},
      {"invalid: a number for a title, a name for a list", head + "title: 123\nauthors: bob\n", "", {},
       2.0, false, "authors: must be a list; title: must be text"},
      {"an older cff-version", "cff-version: 1.1.0\nmessage: m\ntitle: t\nauthors:\n  - name: T\n", "", {},
       2.0, false, "from cff-version 1.1.0 to 1.2.0"},
      {"a mistyped ORCID and two licences",
       head + "title: t\nlicense: [MIT, Apache-2.0]\nauthors:\n  - family-names: D\n"
              "    orcid: https://orcid.org/0000-0002-1825-0098\n",
       "", {}, 7.0, true, "wrong check digit"},
      {"a version older than the newest release", head + "title: t\nversion: 0.1.0\nauthors:\n  - name: T\n",
       "", {"v0.2.0"}, 8.0, true, "older than the newest release v0.2.0"},
      {"with a complete codemeta.json", head + "title: t\nauthors:\n  - family-names: D\n",
       R"({"@context": "https://w3id.org/codemeta/3.0", "name": "t", "description": "d", "version": "1",
           "author": [{"@id": "https://orcid.org/0000-0002-1825-0097", "givenName": "A"}], "license": "MIT",
           "codeRepository": "https://x.org/r", "programmingLanguage": "C++", "keywords": ["k"],
           "dateModified": "2024-01-01"})",
       {}, 10.0, true, nullptr},
      {"codemeta.json alone, without a context", "", R"({"name": "t", "description": "d"})", {}, 0.1,
       nullptr, "\"@context\""},
      {"nothing", "", "", {}, 0.0, nullptr, "Add CITATION.cff"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    if (!c.cff.empty()) repo.write("CITATION.cff", c.cff);
    if (!c.codemeta.empty()) repo.write("codemeta.json", c.codemeta);
    testing::commit_all(repo);
    for (const auto& t : c.tags) testing::git(repo, "tag " + t);
    CheckResult r = assess_one(repo, "citation_metadata");
    EXPECT_DOUBLE_EQ(r.score, c.score) << r.output;
    EXPECT_EQ(r.facts["schema_valid"], c.schema_valid);
    if (c.advice) {
      EXPECT_TRUE(any_advice(r, c.advice)) << (r.advice.empty() ? "" : r.advice.front());
    }
  }
}

}  // namespace
}  // namespace ostrameld
