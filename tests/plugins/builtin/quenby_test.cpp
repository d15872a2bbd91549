#include "ostrameld/plugins/builtin/quenby.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/plugin_test.h"

namespace ostrameld {
namespace {

using testing::run;
using testing::TempRepo;

const QuenbyPlugin plugin;

TEST(Quenby, NothingFoundIsUnknown) {
  TempRepo repo;
  auto r = run(plugin, "community_standards", repo);
  EXPECT_EQ(r.score, 0.0);
  EXPECT_EQ(r.status, CheckStatus::Unknown);
  EXPECT_EQ(r.process, "Searched for community-standard files, tests, CI, and style configs");
  EXPECT_EQ(r.output, "No community-standards signals detected");
  EXPECT_EQ(r.evidence,
            "Searched: CONTRIBUTING/CODE_OF_CONDUCT/SECURITY/GOVERNANCE in root, .github, docs; "
            "tests in tests, test, "
            "spec, test_suite, backend-tests, e2e, ...; CI configs; style configs");
}

TEST(Quenby, Tallies) {
  struct {
    const char* name;
    std::function<void(TempRepo&)> setup;
    double score;
    std::string output;
  } cases[] = {
      {"contributing, conduct and backend tests",
       [](TempRepo& r) {
         r.write("CONTRIBUTING.md", "");
         r.write("CODE_OF_CONDUCT.md", "");
         r.mkdir("backend-tests");
       },
       7.0,
       "CONTRIBUTING (CONTRIBUTING.md); CODE_OF_CONDUCT (CODE_OF_CONDUCT.md); tests (dir "
       "backend-tests/)"},
      {"names keep their case; adoc is not a document; bare SECURITY is",
       [](TempRepo& r) {
         r.write(".github/Contributing.MD", "");
         r.write("CONTRIBUTING.adoc", "");
         r.write("SECURITY", "");
       },
       4.0, "CONTRIBUTING (.github/Contributing.MD); SECURITY (SECURITY)"},
      {"root before docs; a directory named CONTRIBUTING is skipped",
       [](TempRepo& r) {
         r.mkdir("CONTRIBUTING");
         r.write("docs/CONTRIBUTING.rst", "");
         r.write("docs/GOVERNANCE.txt", "");
         r.write(".github/code-of-conduct.md", "");
       },
       6.0,
       "CONTRIBUTING (docs/CONTRIBUTING.rst); CODE_OF_CONDUCT (.github/code-of-conduct.md); "
       "GOVERNANCE (docs/GOVERNANCE.txt)"},
      {"root test dirs first, then one level down, three shown",
       [](TempRepo& r) {
         r.mkdir("tests/unit-tests");
         r.mkdir("test");
         r.mkdir(".github/tests");  // hidden: never searched one level down
       },
       2.0, "tests (dir tests/, dir test/, dir tests/unit-tests/)"},
      {"one line per sub-directory: its first matching name",
       [](TempRepo& r) {
         r.mkdir("src/tests");
         r.mkdir("src/test");
       },
       2.0, "tests (dir src/tests/)"},
      {"test file patterns at the root only",
       [](TempRepo& r) {
         r.write("test_a.py", "");
         r.write("test_b.py", "");
         r.write("pkg/test_c.py", "");
         r.write("x_test.go", "");
       },
       2.0, "tests (2 test_*.py)"},
      {"CI names distinct and sorted",
       [](TempRepo& r) {
         r.write(".travis.yml", "");
         r.write(".github/workflows/a.yml", "");
         r.write(".github/workflows/b.yml", "");
       },
       1.0, "CI (GitHub Actions, Travis CI)"},
      {"setup.cfg alone is a style config", [](TempRepo& r) { r.write("setup.cfg", ""); }, 1.0,
       "style config (setup.cfg)"},
      {"isort section in pyproject",
       [](TempRepo& r) {
         r.write("pyproject.toml", "[project]\nname='x'\n[tool.isort]\nprofile='black'\n");
       },
       1.0, "style config (pyproject.toml ([tool.ruff/black/isort]))"},
      {"pytest section only",
       [](TempRepo& r) { r.write("pyproject.toml", "[tool.pytest.ini_options]\n"); }, 0.0,
       "No community-standards signals detected"},
      {"listed file beats pyproject; earlier name wins",
       [](TempRepo& r) {
         r.write("ruff.toml", "");
         r.write(".editorconfig", "");
         r.write("pyproject.toml", "[tool.black]\n");
       },
       1.0, "style config (.editorconfig)"},
      {"everything: 11 points reported as 10",
       [](TempRepo& r) {
         for (auto f : {"CONTRIBUTING.md", "CODE_OF_CONDUCT.md", "SECURITY.md", "GOVERNANCE.md",
                        ".editorconfig", ".travis.yml"})
           r.write(f, "");
         r.mkdir("tests");
       },
       10.0,
       "CONTRIBUTING (CONTRIBUTING.md); CODE_OF_CONDUCT (CODE_OF_CONDUCT.md); SECURITY "
       "(SECURITY.md); "
       "GOVERNANCE (GOVERNANCE.md); tests (dir tests/); CI (Travis CI); style config "
       "(.editorconfig)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    c.setup(repo);
    auto r = run(plugin, "community_standards", repo);
    EXPECT_EQ(r.score, c.score);
    EXPECT_EQ(r.output, c.output);
    if (c.score > 0) {
      EXPECT_EQ(r.evidence, c.output);
      EXPECT_EQ(r.process, "Tallied community-standard signals");
    }
  }
}

}  // namespace
}  // namespace ostrameld
