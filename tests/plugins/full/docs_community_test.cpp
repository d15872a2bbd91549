// documentation, community and provenance as an expert of each ecosystem judges them:
// READMEs in every form and place, documentation sites, policies with content, tests
// where each ecosystem keeps them, CI read from its configuration, and a history.
#include <gtest/gtest.h>

#include <map>

#include "ostrameld/engine/assess.h"
#include "ostrameld/plugins/full/community.h"
#include "ostrameld/plugins/full/docs.h"
#include "ostrameld/plugins/full/evidence.h"
#include "plugins/full/shapes.h"

namespace ostrameld {
namespace {

using testing::TempRepo;

CheckResult assess_one(TempRepo& repo, const char* indicator, const std::string& remote = "") {
  testing::commit_all(repo, remote);
  AssessOptions options;
  options.profile = &fair4rs_full_profile();
  options.offline = true;
  options.only = {indicator};
  Assessment a = assess_repository(repo.path(), options);
  return a.indicators.at(0);
}

bool advised(const CheckResult& r, const char* text) {
  for (const auto& line : r.advice)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

const std::string kWords = " This package estimates river discharge from gauge records and weather data, "
                           "for hydrologists who study floods, droughts and long-term trends in catchments.";

TEST(FullDocumentation, ReadmesSectionsSitesAndExamples) {
  const std::string long_text = kWords + kWords + kWords + kWords + kWords;
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    const char* readme;  // nullptr: none
    const char* site;    // expected in facts.site; nullptr: none
    bool install, usage;
    double score;
  } cases[] = {
      {"Markdown README with both sections and MkDocs",
       {{"README.md", "# p\n" + long_text + "\n## Installation\npip install p\n## Usage\n```\np run\n```\n"}, {"mkdocs.yml", "site_name: p\n"}},
       "README.md", "MkDocs", true, true, 9.0},
      {"reStructuredText headings, Sphinx deep in doc/source",
       {{"README.rst", "p\n=\n" + long_text + "\nInstalling\n----------\n\nGetting help\n------------\n"}, {"doc/source/conf.py", "project = 'p'\n"}},
       "README.rst", "Sphinx (doc/source/conf.py)", true, false, 7.5},
      {"AsciiDoc README in docs/", {{"docs/README.adoc", "= p\n" + long_text + "\n== Building\nmake\n== Examples\nrun\n"}},
       "docs/README.adoc", nullptr, true, true, 9.0},
      {"lower-case readme.org", {{"readme.org", "* p\n" + long_text + "\n* Quick start\n"}}, "readme.org", nullptr, true, true, 7.0},
      {"an install command stands for an install section", {{"README.md", "# p\n" + long_text + "\n    install.packages(\"p\")\n"}},
       "README.md", nullptr, true, false, 5.5},
      {"R: pkgdown, man/ and vignettes",
       {{"DESCRIPTION", "Package: p\n"}, {"README.md", "# p\n" + long_text + "\n## Installation\n## Example\n"},
        {"_pkgdown.yml", "url: https://x.github.io/p\n"}, {"man/p.Rd", "\\name{p}\n"}, {"vignettes/intro.Rmd", "---\n"}},
       "README.md", "pkgdown", true, true, 10.0},
      {"Julia: Documenter", {{"Project.toml", "name = \"P\"\n"}, {"README.md", "# P\n" + long_text}, {"docs/make.jl", "using Documenter\n"}},
       "README.md", "Documenter.jl", false, false, 6.0},
      {"documentation the README links to", {{"README.md", "# p\n" + long_text + "\n- [Documentation](https://p.example.org/guide)\n"}},
       "README.md", "linked from the README: https://p.example.org/guide", false, false, 6.0},
      {"R CMD check's tests/Examples are no examples", {{"DESCRIPTION", "Package: p\n"}, {"README.md", "# p\n" + long_text}, {"tests/Examples/p-Ex.Rout.save", "x"}},
       "README.md", nullptr, false, false, 4.0},
      {"a short README", {{"README.md", "# p\nA tool.\n"}}, "README.md", nullptr, false, false, 1.0},
      {"no README, a docs site", {{"mkdocs.yml", "site_name: p\n"}, {"docs/index.md", "# p\n"}}, nullptr, "MkDocs", false, false, 2.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [file, text] : c.files) repo.write(file, text);
    CheckResult r = assess_one(repo, "documentation");
    EXPECT_EQ(r.facts["readme"], c.readme ? Json(c.readme) : Json(nullptr)) << r.output;
    if (c.site) {
      ASSERT_TRUE(r.facts["site"].is_string()) << r.output;
      EXPECT_NE(r.facts["site"].get<std::string>().find(c.site), std::string::npos) << r.facts["site"];
    } else {
      EXPECT_TRUE(r.facts["site"].is_null()) << r.facts["site"];
    }
    EXPECT_EQ(r.facts["sections"]["install"], c.install);
    EXPECT_EQ(r.facts["sections"]["usage"], c.usage);
    EXPECT_DOUBLE_EQ(r.score, c.score) << r.output;
  }
  EXPECT_EQ(readme_headings("Title\n=====\n\n## Usage ##\n<h2>Install</h2>\n"),
            (std::vector<std::string>{"Usage", "Title", "Install"}));
}

TEST(FullDocumentation, WhichPagesNameTheProject) {
  // As own_names() gives them for github.com/samtools/htslib and for nlohmann/json.
  const evidence::OwnNames htslib{{"htslib", "htslibjs"}, {"samtools"}, {"samtools/htslib"}};
  const evidence::OwnNames json{{"json", "jsonjs"}, {"nlohmann"}, {"nlohmann/json"}};
  const evidence::OwnNames git{{"gitplugin", "gitpluginjs", "git", "gitjs"}, {"jenkinsci"}, {"jenkinsci/git-plugin"}};
  struct {
    const char* url;
    const evidence::OwnNames* own;
    bool owners;
    bool named;
  } cases[] = {
      {"https://www.htslib.org/doc/", &htslib, false, true},
      {"http://samtools.github.io/hts-specs/", &htslib, true, false},  // the owner's other project
      {"http://samtools.github.io/htslib/", &htslib, false, true},
      {"https://samtools.github.io/", &htslib, true, true},            // the owner's own site
      {"https://samtools.github.io/", &htslib, false, false},
      {"https://github.com/samtools/htslib/wiki", &htslib, false, true},
      {"https://github.com/samtools/bcftools/wiki", &htslib, false, false},
      {"https://json.nlohmann.me/api/basic_json/", &json, false, true},
      {"https://spack.readthedocs.io/en/latest/package_list.html#nlohmann-json", &json, true, false},
      {"https://docs.rs/json", &json, false, true},
      {"https://docs.rs/serde_json", &json, false, false},
      {"https://www.json.org/", &json, false, true},                    // a label equal to the name
      {"https://git-scm.com/docs/gitweb", &git, false, false},          // a short name only as a whole label
      {"https://plugins.jenkins.io/git/", &git, false, false},
      {"https://example.org/catalog?usage=jenkinsci%2Fgit-plugin", &git, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(evidence::names_project(c.url, *c.own, c.owners), c.named);
  }
}

TEST(FullCommunity, CiCommandsAndTriggers) {
  struct {
    const char* name;
    const char* system;
    const char* text;
    std::vector<std::string> commands;
    bool on_change;
  } cases[] = {
      {"pytest on push", "GitHub Actions", "on: [push, pull_request]\njobs:\n  t:\n    steps:\n      - run: pip install pytest\n      - run: python -m pytest -q\n",
       {"pytest"}, true},
      {"installing a runner runs no test", "GitHub Actions", "on: push\njobs:\n  t:\n    steps:\n      - run: pip install pytest tox nox\n", {}, true},
      {"check_run alone is no change", "GitHub Actions", "on:\n  check_run:\n    types: [completed]\njobs:\n  t:\n    steps:\n      - run: tox -e py311\n",
       {"tox"}, false},
      {"a schedule is no change", "GitHub Actions", "on:\n  schedule:\n    - cron: '0 0 * * 0'\njobs:\n  t:\n    steps:\n      - run: nox -s tests\n", {"nox"}, false},
      {"R's check action", "GitHub Actions", "on: pull_request\njobs:\n  c:\n    steps:\n      - uses: r-lib/actions/check-r-package@v2\n", {"R CMD check"}, true},
      {"cargo through actions-rs", "GitHub Actions", "on: push\njobs:\n  t:\n    steps:\n      - uses: actions-rs/cargo@v1\n        with:\n          command: test\n",
       {"cargo test"}, true},
      {"a comment runs nothing", "GitHub Actions", "on: push\njobs:\n  t:\n    steps:\n      - run: |\n          # pytest later\n          echo hi\n", {}, true},
      {"GitLab scripts", "GitLab CI", "test:\n  script:\n    - cmake -B b && cmake --build b\n    - ctest --test-dir b\n", {"ctest"}, true},
      {"Travis R runs R CMD check by default", "Travis CI", "language: r\n", {"R CMD check"}, true},
      {"Travis with a script", "Travis CI", "language: python\nscript: python -m unittest discover\n", {"python -m unittest"}, true},
      {"CircleCI run commands", "CircleCI", "jobs:\n  b:\n    steps:\n      - run:\n          command: mvn -B verify\n", {"mvn verify"}, true},
      {"skipping the tests is no test", "CircleCI", "jobs:\n  b:\n    steps:\n      - run: mvn -B package -DskipTests\n", {}, true},
      {"Azure bash", "Azure Pipelines", "steps:\n  - bash: go test ./...\n", {"go test"}, true},
      {"Cirrus scripts", "Cirrus CI", "task:\n  test_script: make check\n", {"make check"}, true},
      {"AppVeyor", "AppVeyor", "test_script:\n  - cmd: gradlew.bat check\n", {"gradle test"}, true},
      {"Jenkinsfile as text", "Jenkins", "pipeline { stages { stage('t') { steps { sh 'npm test' } } } }", {"npm test"}, true},
      {"Julia", "GitHub Actions", "on: push\njobs:\n  t:\n    steps:\n      - uses: julia-actions/julia-runtest@v1\n", {"Pkg.test"}, true},
      {"npm coverage and yarn", "GitHub Actions", "on: push\njobs:\n  t:\n    steps:\n      - run: npm ci && npm run coverage\n      - run: yarn test:unit\n",
       {"npm test"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CiTests t = read_ci_tests(c.system, c.text);
    EXPECT_EQ(t.commands, c.commands);
    EXPECT_EQ(t.on_change, c.on_change);
  }
  EXPECT_EQ(scripts_in("./scripts/test.sh && bash ci/run --fast; make"), (std::vector<std::string>{"scripts/test.sh", "ci/run"}));
  EXPECT_TRUE(scripts_in("cat ../../etc/passwd /etc/x").empty());
}

TEST(FullCommunity, PoliciesTestsCiAndStyle) {
  const std::string ci = "on: [push]\njobs:\n  t:\n    steps:\n      - run: scripts/test\n";
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    std::vector<std::string> documents;
    bool tests;
    double score;
    const char* advice;  // nullptr: none expected
  } cases[] = {
      {"everything, with CONDUCT.md and a script the CI runs",
       {{"CONTRIBUTING.md", "How to help"}, {"CONDUCT.md", "Be kind"}, {"tests/test_a.py", "def test(): pass\n"},
        {".github/workflows/ci.yml", ci}, {"scripts/test", "#!/bin/sh\npytest -q\n"}, {".editorconfig", "root = true\n"}},
       {"CONDUCT.md", "CONTRIBUTING.md"}, true, 9.5, nullptr},
      {"a zero-byte CONTRIBUTING is no policy", {{"CONTRIBUTING.md", ""}, {".github/CODE_OF_CONDUCT.md", "Be kind"}},
       {".github/CODE_OF_CONDUCT.md"}, false, 1.5, "CONTRIBUTING.md is empty"},
      {"R: tests/testthat", {{"DESCRIPTION", "Package: p\n"}, {"tests/testthat/test-a.R", "test_that('a', {})\n"}, {".lintr", "linters: x\n"}},
       {}, true, 3.5, "usethis::use_code_of_conduct(contact = "},
      {"Go: tests beside the code, gofmt is the language's own", {{"go.mod", "module example.org/p\n"}, {"p_test.go", "package p\n"}},
       {}, true, 3.5, "CONTRIBUTING.md"},
      {"Maven: src/test", {{"pom.xml", "<project/>"}, {"src/test/java/p/ATest.java", "class ATest {}"}}, {}, true, 3.0, "CONTRIBUTING.md"},
      {"Maven: a class in src/main named *Test is code, not a test",
       {{"pom.xml", "<project/>"}, {"src/main/java/p/LoadTest.java", "class LoadTest {}"}}, {}, false, 0.0, "CONTRIBUTING.md"},
      {"C++: a CMake test dir, clang-format", {{"CMakeLists.txt", "project(p)\n"}, {"test/CMakeLists.txt", "add_test(NAME a COMMAND a)\n"}, {".clang-format", "BasedOnStyle: LLVM\n"}},
       {}, true, 3.5, "CONTRIBUTING.md"},
      {"Rust: rustfmt.toml and integration tests", {{"Cargo.toml", "[package]\nname = \"p\"\n"}, {"tests/it.rs", "#[test] fn a() {}\n"}, {"rustfmt.toml", "edition = \"2021\"\n"}},
       {}, true, 3.5, "CODE_OF_CONDUCT.md"},
      {"Python tests inside the package", {{"pyproject.toml", "[project]\nname = \"p\"\n[tool.ruff]\n"}, {"p/tests/test_a.py", "x"}},
       {}, true, 3.5, nullptr},
      {"CI without tests", {{".github/workflows/lint.yml", "on: push\njobs:\n  l:\n    steps:\n      - run: flake8\n"}}, {}, false, 0.0,
       "runs no tests"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [file, text] : c.files) repo.write(file, text);
    CheckResult r = assess_one(repo, "community");
    EXPECT_EQ(r.facts["documents"], Json(c.documents)) << r.output;
    EXPECT_EQ(!r.facts["tests"].empty(), c.tests) << r.facts["tests"];
    EXPECT_DOUBLE_EQ(r.score, c.score) << r.output;
    if (c.advice) {
      EXPECT_TRUE(advised(r, c.advice)) << (r.advice.empty() ? "(no advice)" : r.advice.front());
    }
  }
}

TEST(FullProvenance, HistoryRemoteChangelogAndOrcids) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    const char* remote;
    bool commit;
    bool public_remote;
    const char* changelog;  // nullptr: none
    int orcids, valid;
    double score;
  } cases[] = {
      {"public remote, NEWS.md, valid ORCID",
       {{"NEWS.md", "# p 1.0\n"}, {"CITATION.cff", "cff-version: 1.2.0\ntitle: p\nmessage: m\nauthors:\n  - family-names: A\n    given-names: B\n    orcid: https://orcid.org/0000-0002-1825-0097\n"}},
       "https://github.com/o/p.git", true, true, "NEWS.md", 1, 1, 9.0},
      {"a local path is no public remote", {{"CHANGES.rst", "1.0\n"}}, "/srv/git/p.git", true, false, "CHANGES.rst", 0, 0, 4.5},
      {"file:// is no public remote either", {}, "file:///srv/git/p.git", true, false, nullptr, 0, 0, 3.0},
      {"a wrong check digit", {{"codemeta.json", R"({"@context": "https://w3id.org/codemeta/3.0", "author": [{"@id": "https://orcid.org/0000-0002-1825-0098", "givenName": "B", "familyName": "A"}]})"}},
       "https://gitlab.com/o/p", true, true, nullptr, 1, 0, 6.0},
      {"an empty changelog is none", {{"CHANGELOG.md", ""}}, "git@github.com:o/p.git", true, true, nullptr, 0, 0, 6.0},
      {"news fragments count", {{"changelog.d/1.feature.md", "x"}}, "https://github.com/o/p", true, true, "changelog.d/", 0, 0, 7.5},
      {"Sphinx's what's-new page", {{"doc/whats-new.rst", "v1.0\n----\n"}}, "https://github.com/o/p", true, true,
       "doc/whats-new.rst", 0, 0, 7.5},
      {"a folder of release notes in the documentation", {{"docs/release-notes/1.0.md", "x"}}, "https://github.com/o/p",
       true, true, "docs/release-notes/", 0, 0, 7.5},
      {"Sphinx's changelog page under docs/source", {{"docs/source/changelog.rst", "x"}}, "https://github.com/o/p", true,
       true, "docs/source/changelog.rst", 0, 0, 7.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [file, text] : c.files) repo.write(file, text);
    CheckResult r = assess_one(repo, "provenance", c.remote);
    EXPECT_EQ(r.facts["public_remote"], c.public_remote) << r.output;
    EXPECT_EQ(r.facts["changelog"], c.changelog ? Json(c.changelog) : Json(nullptr));
    EXPECT_EQ(r.facts["orcids"], c.orcids);
    EXPECT_EQ(r.facts["orcids_valid"], c.valid);
    EXPECT_DOUBLE_EQ(r.score, c.score) << r.output;
  }
  // No commit at all: no provenance, whatever else is there.
  TempRepo empty;
  empty.write("CHANGELOG.md", "# 1.0\n");
  testing::git(empty, "init -q");
  AssessOptions options;
  options.profile = &fair4rs_full_profile();
  options.offline = true;
  options.only = {"provenance"};
  Assessment a = assess_repository(empty.path(), options);
  EXPECT_EQ(a.indicators.at(0).score, 0.0);
  EXPECT_EQ(a.indicators.at(0).status, CheckStatus::Fail);
  EXPECT_EQ(a.indicators.at(0).facts["commits"], 0);
}

}  // namespace
}  // namespace ostrameld
