// The CI integrations as their users run them: the GitHub Action's steps and the
// pre-commit hook (through Debian's pre-commit).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>

#include "support/git_repo.h"
#include "support/run_cli.h"

namespace ostrameld {
namespace {

using testing::git;
using testing::git_history;
using testing::shell_quote;
using testing::TempRepo;

const std::string kSource = std::string(OSTRAMELD_TEST_DATA) + "/../..";
const std::string kBinDir = std::filesystem::path(OSTRAMELD_BIN).parent_path().string();

int sh(const std::string& command) {
  int rc = std::system(("bash -c " + shell_quote(command)).c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(Integrations, TheActionWritesReportSarifAndJobSummary) {
  TempRepo repo;
  repo.write("LICENSE", testing::data_file("licenses/MIT.txt"));
  git_history(repo, 3);
  TempRepo out;
  std::string env = "cd " + shell_quote(repo.path().string()) + " && PATH=" + shell_quote(kBinDir) +
                    ":$PATH GITHUB_STEP_SUMMARY=" + shell_quote((out / "summary.md").string()) +
                    " INPUT_OUTPUT_FILE=" + shell_quote((out / "report.md").string()) +
                    " INPUT_SARIF_FILE=" + shell_quote((out / "fair.sarif").string()) +
                    " INPUT_BADGE_FILE=" + shell_quote((out / "fair.svg").string());
  std::string action = shell_quote(kSource + "/ci/github/action.sh");
  EXPECT_EQ(sh(env + " " + action + " >/dev/null 2>&1"), 0);
  EXPECT_NE(testing::read_file(out / "report.md").find("# FAIR assessment of"), std::string::npos);
  EXPECT_NE(testing::read_file(out / "summary.md").find("## What to improve"), std::string::npos);
  EXPECT_NE(testing::read_file(out / "fair.sarif").find("\"version\": \"2.1.0\""),
            std::string::npos);
  EXPECT_EQ(testing::read_file(out / "fair.svg").rfind("<svg ", 0), 0u);
  // Below the threshold the step fails, and the summary is still written.
  EXPECT_EQ(sh(env + " INPUT_FAIL_UNDER=9 " + action + " >/dev/null 2>&1"), 1);
  // The profile input reaches every report of the step.
  EXPECT_EQ(sh(env + " INPUT_PROFILE=fair4rs-full " + action + " >/dev/null 2>&1"), 0);
  EXPECT_NE(testing::read_file(out / "report.md").find("Profile: `fair4rs-full`"), std::string::npos);
  EXPECT_NE(testing::read_file(out / "fair.sarif").find("\"persistent_identifier\""), std::string::npos);
  // fix: suggest puts the diff of what `fix --write` would write in the summary, and
  // writes nothing; another value is refused before anything runs.
  EXPECT_EQ(sh(env + " INPUT_FIX=suggest " + action + " >/dev/null 2>&1"), 0);
  EXPECT_NE(testing::read_file(out / "summary.md").find("## Metadata the repository implies"), std::string::npos);
  EXPECT_EQ(sh(env + " INPUT_FIX=write " + action + " >/dev/null 2>&1"), 2);
}

// The hook reports and never blocks, also before the first commit of an empty
// repository; with a threshold in its args (the entry then gets them) it gates.
TEST(Integrations, ThePreCommitHookReportsAndGatesOnlyWhenAsked) {
  if (sh("command -v pre-commit >/dev/null") != 0) GTEST_SKIP() << "pre-commit not installed";
  TempRepo home;
  TempRepo repo;
  git(repo, "init -q");
  std::string log = (home / "log.txt").string();
  std::string in_repo = "cd " + shell_quote(repo.path().string()) +
                        " && HOME=" + shell_quote(home.path().string()) +
                        " PRE_COMMIT_HOME=" + shell_quote((home / "cache").string()) +
                        " PATH=" + shell_quote(kBinDir) + ":$PATH ";
  EXPECT_EQ(sh(in_repo + "pre-commit try-repo " + shell_quote(kSource) +
               " ostrameld --all-files > " + shell_quote(log) + " 2>&1"),
            0)
      << testing::read_file(log);
  EXPECT_NE(testing::read_file(log).find("Assessment Results"), std::string::npos)
      << testing::read_file(log);
  // The hook's entry with the documented args.
  std::string hooks = testing::read_file(kSource + "/.pre-commit-hooks.yaml");
  auto at = hooks.find("entry: ") + 7;
  std::string entry = hooks.substr(at, hooks.find('\n', at) - at);
  EXPECT_EQ(sh(in_repo + entry + " --fail-under 6 > " + shell_quote(log) + " 2>&1"), 1);
  EXPECT_NE(testing::read_file(log).find("is below --fail-under 6"), std::string::npos);
}

// What the CI templates promise their users.
TEST(Integrations, TemplatesKeepReportsCacheThePackageAndNameForges) {
  std::string gitlab = testing::read_file(kSource + "/ci/gitlab/ostrameld.yml");
  EXPECT_NE(gitlab.find("when: always"), std::string::npos);
  EXPECT_NE(gitlab.find("${OSTRAMELD_FORGE:+--forge \"$OSTRAMELD_FORGE\"}"), std::string::npos);
  // Both assessments of the job take the profile.
  std::size_t profiles = 0;
  for (auto at = gitlab.find("--profile \"$OSTRAMELD_PROFILE\""); at != std::string::npos;
       at = gitlab.find("--profile \"$OSTRAMELD_PROFILE\"", at + 1))
    ++profiles;
  EXPECT_EQ(profiles, 2u);
  std::string action = testing::read_file(kSource + "/action.yml");
  EXPECT_NE(action.find("uses: actions/cache@v4"), std::string::npos);
  EXPECT_NE(action.find("key: ostrameld-deb-" + std::string(OSTRAMELD_VERSION_STRING) +
                        "-${{ github.action_ref }}-${{ runner.os }}-${{ runner.arch }}"),
            std::string::npos);
  std::string hooks = testing::read_file(kSource + "/.pre-commit-hooks.yaml");
  EXPECT_EQ(hooks.find("entry: ostrameld assess . --offline\n"), hooks.find("entry:"));
}

}  // namespace
}  // namespace ostrameld
