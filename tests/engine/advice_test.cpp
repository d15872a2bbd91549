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

// Advice an expert of the ecosystem would reject: moving what a build tool needs,
// replacing R's licence stub, calling a standard licence text modified, naming one
// licence for a file that holds several.
TEST(Advice, NeverWhatAnExpertWouldReject) {
  struct Case {
    const char* name;
    std::function<void(TempRepo&)> setup;
    const char* key;
    std::vector<const char*> never;
  };
  const std::string mit = testing::data_file("licenses/MIT.txt");
  const std::string apache = testing::data_file("licenses/Apache-2.0.txt");
  const Case cases[] = {
      {"R vignettes",
       [](TempRepo& r) {
         r.write("DESCRIPTION", "Package: p\nLicense: GPL-3\n");
         r.write("vignettes/intro.Rmd", "x");
       },
       "descriptive_attributes",
       {"keep the pages", "in docs/ (or", "Move ", "Rename vignettes"}},
      {"R licence stub",
       [](TempRepo& r) {
         r.write("DESCRIPTION", "Package: p\nLicense: MIT + file LICENSE\n");
         r.write("LICENSE", "YEAR: 2024\nCOPYRIGHT HOLDER: p authors\n");
       },
       "clear_license",
       {"unmodified", "replace", "standard text"}},
      {"Python in-package tests",
       [](TempRepo& r) {
         r.write("setup.py", "from setuptools import setup\n");
         r.write("pkg/sub/tests/test_a.py", "x");
       },
       "community_standards",
       {"Keep the tests in", "Move", "move the"}},
      {"a standard licence outside the table",
       [](TempRepo& r) { r.write("LICENSE", testing::data_file("licenses/LGPL-2.1-only.txt")); },
       "clear_license",
       {"unmodified standard text of the licence in", "Use the unmodified"}},
      {"several licences in one file",
       [&](TempRepo& r) {
         r.write("LICENSE.adoc",
                 "GNU General Public License, version 3\n\n" + mit + "\n\n" + apache);
       },
       "clear_license",
       {"it holds the Apache-2.0", "it holds the MIT", "Rename LICENSE.adoc"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    c.setup(repo);
    std::string advice = all_advice(result(assess(repo), c.key));
    for (const char* never : c.never) EXPECT_EQ(advice.find(never), std::string::npos) << advice;
  }
}

// Near misses that are none, and one finding said once.
TEST(Advice, NearMissesAreOnlyWhatTheyAre) {
  const std::string mit = testing::data_file("licenses/MIT.txt");
  {
    TempRepo repo;  // a script about licences is no licence file
    repo.write("check-licenses.py", "print('ok')\n");
    EXPECT_EQ(all_advice(result(assess(repo), "clear_license")).find("check-licenses"),
              std::string::npos);
  }
  {
    TempRepo repo;  // codemeta's list of licences, as a spdx.org page address
    repo.write("codemeta.json", R"({"license": ["https://spdx.org/licenses/MIT.html"]})");
    EXPECT_NE(all_advice(result(assess(repo), "clear_license"))
                  .find("codemeta.json declares the licence MIT:"),
              std::string::npos);
  }
  {
    TempRepo repo;  // a licence file under another name and metadata saying the same
    repo.write("LICENSE-MIT", mit);
    repo.write("package.json", R"({"license": "MIT"})");
    auto advice = result(assess(repo), "clear_license").advice;
    EXPECT_EQ(advice.size(), 1u) << all_advice(result(assess(repo), "clear_license"));
  }
  {
    TempRepo repo;  // a whole history without tags: no word of a shallow checkout
    git_history(repo, 3);
    EXPECT_EQ(all_advice(result(assess(repo), "version_identifiers")).find("shallow"),
              std::string::npos);
  }
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
       "clear_license",
       "DESCRIPTION declares GPL-3.0-only: usethis::use_gpl3_license() writes its full text as "
       "LICENSE.md"},
      {"R: MIT + file LICENSE declared, no file",
       [](TempRepo& r) { r.write("DESCRIPTION", "Package: p\nLicense: MIT + file LICENSE\n"); },
       "clear_license", "usethis::use_mit_license() writes the LICENSE stub R needs"},
      {"R: the CRAN stub is kept",
       [&](TempRepo& r) {
         r.write("DESCRIPTION", "Package: p\nLicense: MIT + file LICENSE\n");
         r.write("LICENSE", "YEAR: 2024\nCOPYRIGHT HOLDER: p authors\n");
         r.write("LICENSE.md", mit);
       },
       "clear_license",
       "LICENSE is the two-line stub (YEAR, COPYRIGHT HOLDER) that R's \"MIT + file LICENSE\" "
       "needs: keep it as it is; the full text is in LICENSE.md already"},
      // A standard licence the table does not name is left as it is.
      {"LGPL-2.1, the standard text",
       [](TempRepo& r) { r.write("LICENSE", testing::data_file("licenses/LGPL-2.1-only.txt")); },
       "clear_license",
       "LICENSE holds the unmodified standard text of LGPL-2.1-only, which this check's licence "
       "table does not recognise: nothing in it needs to change."},
      {"BSD-3-Clause without its title (httpx)",
       [](TempRepo& r) {
         r.write("LICENSE", testing::data_file("licenses/real/httpx-LICENSE.md"));
       },
       "clear_license", "LICENSE holds the unmodified standard text of BSD-3-Clause"},
      {"CC-BY-4.0 (the Citation File Format)",
       [](TempRepo& r) {
         r.write("LICENSE", testing::data_file("licenses/real/citation-file-format-LICENSE"));
       },
       "clear_license", "standard text of CC-BY-4.0"},
      {"a licence file of the project and of bundled code",
       [&](TempRepo& r) {
         r.write("LICENSE.adoc",
                 "= Copyright and license\n\nThis program is free software; you can redistribute "
                 "it under the terms of the GNU General Public License as published by the Free "
                 "Software Foundation; either version 3 of the License, or (at your option) any "
                 "later version.\n\n== third_party/fmt\n\n" +
                     mit + "\n\n== third_party/blake3\n\nApache License, Version 2.0\n");
       },
       "clear_license",
       "LICENSE.adoc names several licences (GPL-3.0-or-later, MIT, Apache-2.0: the project's own and "
       "those of code it includes, it seems)"},
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
       "descriptive_attributes",
       "README.adoc is not read (only README.md, README.rst, README.txt and README are): add a "
       "README.md beside it"},
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
       "Add tests in a tests/ or test/ directory"},
      // Where ecosystems keep things their tools need, nothing is to move.
      {"R vignettes and man",
       [](TempRepo& r) {
         r.write("DESCRIPTION", "Package: p\nLicense: MIT + file LICENSE\n");
         r.write("vignettes/intro.Rmd", "x");
         r.write("man/f.Rd", "x");
       },
       "descriptive_attributes",
       "This indicator counts .md or .rst pages in docs/ (keep vignettes/ and man/ where R needs "
       "them)"},
      {"Python tests inside the package",
       [](TempRepo& r) {
         r.write("pyproject.toml", "[project]\nname = \"gw\"\n");
         r.write("gw/timeseries/tests/test_core.py", "def test(): pass\n");
       },
       "community_standards",
       "Tests stand deeper than this indicator looks (gw/timeseries/tests/): keep them where they "
       "are"},
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
