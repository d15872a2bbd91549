#include "ostrameld/plugins/builtin/drumlet.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/plugin_test.h"

namespace ostrameld {
namespace {

using testing::run;
using testing::TempRepo;

const DrumletPlugin plugin;

TEST(HasTestStep, WordsAreWholeTokens) {
  struct {
    const char* text;
    bool test_step;
  } cases[] = {
      {"run: pytest -q", true},
      {"run: npm test", true},
      {"- name: Run tests", true},
      {"run: make check", true},
      {"run: python -m unittest", true},
      {"run: rspec spec/", true},
      {"run: cargo test --all", true},
      {"run: ./testing.sh", true},   // begins with "test"
      {"RUN UNITTEST", true},        // case does not matter
      {"run: make checks", true},    // plural
      {"run: test_suite.py", true},  // "_" separates tokens
      {"runs-on: ubuntu-latest", false},
      {"uses: actions/checkout@v4", false},
      {"run: inspect code", false},
      {"run: pytests2", false},
      {"run: latest-spectrum", false},
      {"run: CHEC\xE2\x84\xAA", true},  // KELVIN SIGN lower-cases to "k"
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(has_test_step(c.text), c.test_step) << c.text;
}

TEST(Drumlet, Outcomes) {
  struct {
    const char* name;
    std::function<void(TempRepo&)> setup;
    double score;
    std::string output;
    std::string evidence;
  } cases[] = {
      {"no CI", [](TempRepo&) {}, 0.0, "No CI configuration found",
       "Checked: .github/workflows/, .gitlab-ci.yml, Jenkinsfile, .circleci/"},
      {"travis running pytest",
       [](TempRepo& r) { r.write(".travis.yml", "script:\n  - pytest\n"); }, 10.0,
       "CI: Travis CI; tests in CI: yes", "Files: .travis.yml"},
      {"jenkins running make",
       [](TempRepo& r) { r.write("Jenkinsfile", "stage('Build') { sh 'make' }\n"); }, 6.0,
       "CI: Jenkins; tests in CI: not detected", "Files: Jenkinsfile"},
      {"only a checkout step",
       [](TempRepo& r) {
         r.write(".github/workflows/ci.yml",
                 "on: push\njobs:\n  b:\n    runs-on: ubuntu-latest\n    steps:\n      - uses: "
                 "actions/checkout@v4\n");
       },
       6.0, "CI: GitHub Actions; tests in CI: not detected", "Files: .github/workflows/ci.yml"},
      {"directory named Jenkinsfile is skipped", [](TempRepo& r) { r.mkdir("Jenkinsfile"); }, 6.0,
       "CI: Jenkins; tests in CI: not detected", "Files: Jenkinsfile"},
      {"both gitlab names",
       [](TempRepo& r) {
         r.write(".gitlab-ci.yml", "build: make");
         r.write(".gitlab-ci.yaml", "test:\n  script: ctest");
       },
       10.0, "CI: GitLab CI, GitLab CI; tests in CI: yes",
       "Files: .gitlab-ci.yml, .gitlab-ci.yaml"},
      {"undecodable bytes never fail",
       [](TempRepo& r) { r.write(".travis.yml", "\xFF\xFE pytest"); }, 10.0,
       "CI: Travis CI; tests in CI: yes", "Files: .travis.yml"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    c.setup(repo);
    auto r = run(plugin, "continuous_integration", repo);
    EXPECT_EQ(r.indicator_id, "continuous_integration");
    EXPECT_EQ(r.score, c.score);
    EXPECT_EQ(r.output, c.output);
    EXPECT_EQ(r.evidence, c.evidence);
    EXPECT_EQ(r.process, c.score == 0.0 ? "Searched for CI configuration files"
                                        : "Checked CI configs for test steps");
  }
}

TEST(Drumlet, TwoWorkflowsNameTheSystemTwice) {
  TempRepo repo;
  repo.write(".github/workflows/a.yml", "run: make");
  repo.write(".github/workflows/b.yml", "run: make test");
  auto r = run(plugin, "anything", repo);
  EXPECT_EQ(r.indicator_id, "anything");
  EXPECT_EQ(r.score, 10.0);
  EXPECT_EQ(r.output, "CI: GitHub Actions, GitHub Actions; tests in CI: yes");
}

TEST(Drumlet, StopsAtTheFirstFileWithATestStep) {
  TempRepo repo;
  repo.write("Jenkinsfile", "sh 'pytest'");
  repo.fifo(".travis.yml");  // reading it would block; it must never be read
  auto r = run(plugin, "continuous_integration", repo);
  EXPECT_EQ(r.score, 10.0);
  EXPECT_EQ(r.evidence, "Files: Jenkinsfile, .travis.yml");
}

}  // namespace
}  // namespace ostrameld
