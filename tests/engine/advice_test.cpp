// Advice beside the findings: what each indicator short of pass tells the user to do,
// the near misses it recognises, and an overall score that never punishes an improvement.
#include <gtest/gtest.h>

#include <functional>

#include "ostrameld/engine/assess.h"
#include "support/git_repo.h"

namespace ostrameld {
namespace {

using testing::git;
using testing::git_history;
using testing::TempRepo;

Assessment assess(const TempRepo& repo) {
  return assess_repository(repo.path(), {});
}

const CheckResult& result(const Assessment& a, std::string_view key) {
  for (const auto& r : a.indicators)
    if (r.indicator_id == key) return r;
  throw std::runtime_error("no result for " + std::string(key));
}

std::string all_advice(const CheckResult& r) {
  std::string out;
  for (const auto& a : r.advice) out += a + "\n";
  return out;
}

TEST(Advice, SpecificToWhatWasFound) {
  struct Case {
    const char* name;
    std::function<void(TempRepo&)> setup;
    const char* key;
    const char* expected;  // a part of one advice text
  };
  const std::string mit = testing::data_file("licenses/MIT.txt");
  const std::string apache = testing::data_file("licenses/Apache-2.0.txt");
  const Case cases[] = {
      // Licences under names that are not read, and licences declared in metadata.
      {"LICENSE-MIT", [&](TempRepo& r) { r.write("LICENSE-MIT", mit); }, "clear_license",
       "Rename LICENSE-MIT to LICENSE: it holds the MIT licence"},
      {"MIT-LICENSE.txt", [&](TempRepo& r) { r.write("MIT-LICENSE.txt", mit); }, "clear_license",
       "Rename MIT-LICENSE.txt to LICENSE"},
      {"LICENSE.adoc", [&](TempRepo& r) { r.write("LICENSE.adoc", apache); }, "clear_license",
       "Rename LICENSE.adoc to LICENSE: it holds the Apache-2.0 licence"},
      {"lower-case licence-mit", [&](TempRepo& r) { r.write("licence-mit", mit); }, "clear_license",
       "Rename licence-mit to LICENSE"},
      {"COPYING.LESSER without a known text",
       [](TempRepo& r) { r.write("COPYING.LESSER", "Some licence of our own, long enough.\n"); },
       "clear_license", "COPYING.LESSER looks like a licence but its name is not read"},
      {"dual licence",
       [&](TempRepo& r) {
         r.write("LICENSE-MIT", mit);
         r.write("LICENSE-APACHE", apache);
       },
       "clear_license",
       "Move LICENSE-APACHE (Apache-2.0), LICENSE-MIT (MIT) to LICENSES/Apache-2.0.txt, "
       "LICENSES/MIT.txt"},
      {"R DESCRIPTION", [](TempRepo& r) { r.write("DESCRIPTION", "Package: p\nLicense: GPL-3\n"); },
       "clear_license", "DESCRIPTION declares the licence GPL-3.0-only"},
      {"package.json", [](TempRepo& r) { r.write("package.json", R"({"license": "MIT"})"); },
       "clear_license", "package.json declares the licence MIT"},
      {"pyproject.toml table",
       [](TempRepo& r) {
         r.write("pyproject.toml", "[project]\nlicense = {text = \"BSD-3-Clause\"}\n");
       },
       "clear_license", "pyproject.toml declares the licence BSD-3-Clause"},
      {"Cargo.toml",
       [](TempRepo& r) { r.write("Cargo.toml", "[package]\nlicense = \"MIT OR Apache-2.0\"\n"); },
       "clear_license", "Cargo.toml declares the licence MIT OR Apache-2.0"},
      {"CITATION.cff licence", [](TempRepo& r) { r.write("CITATION.cff", "license: EUPL-1.2\n"); },
       "clear_license", "CITATION.cff declares the licence EUPL-1.2"},
      {"codemeta.json licence URL",
       [](TempRepo& r) {
         r.write("codemeta.json", R"({"license": "https://spdx.org/licenses/Apache-2.0"})");
       },
       "clear_license", "codemeta.json declares the licence Apache-2.0"},
      {"empty LICENSE", [](TempRepo& r) { r.write("LICENSE", "\n"); }, "clear_license",
       "Put the full text of your licence in LICENSE."},
      {"SPDX headers only",
       [](TempRepo& r) { r.write("main.py", "# SPDX-License-Identifier: MIT\n"); }, "clear_license",
       "Add the full text of MIT as LICENSE"},
      // README and documentation.
      {"README.adoc", [](TempRepo& r) { r.write("README.adoc", "= Title\n"); },
       "descriptive_attributes", "Rename README.adoc to README.md"},
      {"readme.md", [](TempRepo& r) { r.write("readme.md", "# x\n"); }, "descriptive_attributes",
       "Rename readme.md to README.md"},
      {"short README", [](TempRepo& r) { r.write("README.md", "# x\n"); }, "descriptive_attributes",
       "Expand README.md to at least 200 bytes"},
      {"docs without pages", [](TempRepo& r) { r.write("docs/index.html", "<p>x</p>"); },
       "descriptive_attributes", "docs/ holds no .md or .rst pages"},
      {"vignettes", [](TempRepo& r) { r.write("vignettes/intro.Rmd", "x"); },
       "descriptive_attributes", "Documentation in vignettes/ is not read"},
      // Community standards: what is missing, with its place.
      {"no tests", [](TempRepo& r) { r.write("CONTRIBUTING.md", "x"); }, "community_standards",
       "Keep the tests in a tests/ or test/ directory"},
      // Metadata: which key is missing from which file.
      {"CITATION.cff without repository-code",
       [](TempRepo& r) { r.write("CITATION.cff", "cff-version: 1.2.0\ntitle: x\n"); },
       "metadata_self_reference", "Add repository-code, doi to CITATION.cff."},
      {"codemeta.json without codeRepository",
       [](TempRepo& r) { r.write("codemeta.json", R"({"name": "x", "identifier": "10.5281/z"})"); },
       "metadata_self_reference", "Add codeRepository to codemeta.json."},
      {"pyproject.toml without urls",
       [](TempRepo& r) { r.write("pyproject.toml", "[project]\nname = \"x\"\n"); },
       "metadata_self_reference",
       "Add a [project.urls] table (Homepage, Repository) to "
       "pyproject.toml."},
      {"R package", [](TempRepo& r) { r.write("DESCRIPTION", "Package: p\n"); },
       "metadata_self_reference", "generate codemeta.json from DESCRIPTION"},
      {"Citation.cff", [](TempRepo& r) { r.write("Citation.cff", "cff-version: 1.2.0\n"); },
       "searchable_metadata", "Rename Citation.cff to CITATION.cff."},
      // The citation file.
      {"CITATION.CFF", [](TempRepo& r) { r.write("CITATION.CFF", "cff-version: 1.2.0\n"); },
       "rich_metadata", "Rename CITATION.CFF to CITATION.cff"},
      {"missing keys",
       [](TempRepo& r) {
         r.write("CITATION.cff", "cff-version: 1.2.0\nmessage: cite it please\n");
       },
       "rich_metadata", "Add the keys title, authors to CITATION.cff"},
      {"bad YAML",
       [](TempRepo& r) {
         r.write("CITATION.cff", "title: [unclosed\nauthors: x\ncff-version: 1\n");
       },
       "rich_metadata", "Fix the YAML of CITATION.cff (Invalid YAML: "},
      {"CITATION.bib only", [](TempRepo& r) { r.write("CITATION.bib", "@software{x}"); },
       "rich_metadata", "Add a CITATION.cff beside CITATION.bib"},
      // CI without a recognised test step says which words count.
      {"workflow without tests",
       [](TempRepo& r) {
         r.write(".github/workflows/build.yml",
                 "on: push\njobs:\n  b:\n    steps:\n      - run: make\n");
       },
       "continuous_integration",
       ".github/workflows/build.yml runs, but no test step was recognised: a step or command "
       "must contain the word test, tests, pytest, unittest, spec or check"},
      // Releases and provenance from git.
      {"a tag that is no semantic version",
       [](TempRepo& r) {
         git_history(r, 1);
         git(r, "tag release-2.1");
       },
       "version_identifiers", "Tag release-2.1 (e.g. v2.1.0) is no semantic version"},
      {"no tag", [](TempRepo& r) { git_history(r, 1); }, "version_identifiers",
       "Tag each release with a semantic version"},
      {"no remote", [](TempRepo& r) { git_history(r, 12); }, "development_provenance",
       "Add a remote for the public repository"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    c.setup(repo);
    Assessment a = assess(repo);
    const CheckResult& r = result(a, c.key);
    EXPECT_NE(all_advice(r).find(c.expected), std::string::npos) << all_advice(r);
  }
}

TEST(Advice, ShallowCheckoutsAreNamed) {
  TempRepo origin;
  git_history(origin, 12);
  TempRepo dir;
  dir.sh("git clone -q --depth 1 file://" + origin.path().string() + " r");
  Assessment a = assess_repository(dir / "r", {});
  EXPECT_TRUE(a.shallow);
  EXPECT_NE(all_advice(result(a, "development_provenance"))
                .find("This checkout is shallow (1 commit present)"),
            std::string::npos);
  EXPECT_NE(all_advice(result(a, "version_identifiers")).find("fetch-depth: 0"), std::string::npos);
}

// Whatever the repository, an indicator short of pass says what to do, and one that
// passes with full marks says nothing.
TEST(Advice, EveryIndicatorShortOfPassHasSome) {
  TempRepo empty;
  TempRepo partial;
  partial.write("README.md", "# x\n");
  partial.write("LICENSE", "Our own terms, long enough to be a licence.\n");
  partial.write(".github/workflows/ci.yml", "on: push\n");
  partial.write("package.json", R"({"name": "x", "repository": "https://example.org/x"})");
  for (const TempRepo* repo : {&empty, &partial}) {
    Assessment a = assess(*repo);
    for (const auto& r : a.indicators) {
      SCOPED_TRACE(r.indicator_id);
      if (r.status != CheckStatus::Pass) {
        EXPECT_FALSE(r.advice.empty());
      }
      if (r.score >= 10.0) {
        EXPECT_TRUE(r.advice.empty());
      }
    }
  }
}

// From an empty directory to a complete project, one step at a time: the overall
// score never goes down.
TEST(OverallScore, NeverDecreasesAsARepositoryImproves) {
  TempRepo repo;
  const std::function<void(TempRepo&)> steps[] = {
      [](TempRepo& r) { r.write("README.md", "# Tool\n"); },
      [](TempRepo& r) { r.write("LICENSE", ""); },
      [](TempRepo& r) { r.write("LICENSE", testing::data_file("licenses/MIT.txt")); },
      [](TempRepo& r) { git_history(r, 1); },
      [](TempRepo& r) { r.write("pyproject.toml", "[build-system]\n"); },
      [](TempRepo& r) { r.write("pyproject.toml", "[project]\nname = \"tool\"\n"); },
      [](TempRepo& r) { r.write("README.md", "# Tool\n" + std::string(300, 'x') + "\n"); },
      [](TempRepo& r) { git(r, "tag 0.1"); },
      [](TempRepo& r) { git(r, "tag v0.2.0"); },
      [](TempRepo& r) { r.write("CITATION.cff", "cff-version: 1.2.0\n"); },
      [](TempRepo& r) {
        r.write("CITATION.cff", "cff-version: 1.2.0\ntitle: Tool\nauthors:\n  - name: A\n");
      },
      [](TempRepo& r) { r.write("tests/test_tool.py", "def test_x():\n    pass\n"); },
      [](TempRepo& r) { r.write(".github/workflows/ci.yml", "on: push\n"); },
      [](TempRepo& r) {
        r.write(".github/workflows/ci.yml",
                "on: push\njobs:\n  t:\n    steps:\n      - run: pytest\n");
      },
      [](TempRepo& r) { r.write("docs/index.md", "# Docs\n"); },
      [](TempRepo& r) { r.write("CONTRIBUTING.md", "How to help\n"); },
      [](TempRepo& r) { r.write("codemeta.json", R"({"name": "tool"})"); },
      [](TempRepo& r) { git(r, "remote add origin https://example.org/tool.git"); },
  };
  double previous = assess(repo).overall_score;
  int step = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE("step " + std::to_string(++step));
    s(repo);
    double now = assess(repo).overall_score;
    EXPECT_GE(now, previous);
    previous = now;
  }
  EXPECT_GT(previous, 6.0);
}

}  // namespace
}  // namespace ostrameld
