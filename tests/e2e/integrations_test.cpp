// The CI integrations as their users run them: the GitHub Action's steps and the
// pre-commit hook (through Debian's pre-commit).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>

#include "support/forge_server.h"
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
  // So with the project's own gate: every report is still written, then the step fails.
  repo.write(".ostrameld.toml", "fail-under = 9.5\n");
  std::filesystem::remove(out / "fair.sarif");
  std::filesystem::remove(out / "summary.md");
  EXPECT_EQ(sh(env + " " + action + " >/dev/null 2>&1"), 1);
  EXPECT_TRUE(std::filesystem::exists(out / "fair.sarif"));
  EXPECT_NE(testing::read_file(out / "summary.md").find("# FAIR assessment of"), std::string::npos);
  std::filesystem::remove(repo / ".ostrameld.toml");
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
  // A gate in the project's settings is CI's: the hook still lets the commit through.
  repo.write(".ostrameld.toml", "fail-under = 9\n");
  EXPECT_EQ(sh(in_repo + entry + " > " + shell_quote(log) + " 2>&1"), 0) << testing::read_file(log);
  EXPECT_EQ(sh(in_repo + "ostrameld assess . --offline > /dev/null 2>&1"), 1);
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
  // The SARIF is written whatever the score: only the report's run carries the gate.
  EXPECT_NE(gitlab.find("-o ostrameld.sarif --profile \"$OSTRAMELD_PROFILE\"\n      ${OSTRAMELD_FORGE:+--forge \"$OSTRAMELD_FORGE\"} --fail-under none"),
            std::string::npos);
  // Both download the release's package of their version before they would build one.
  EXPECT_NE(gitlab.find("/opt/ostrameld/scripts/install-release --or-build"), std::string::npos);
  EXPECT_NE(action.find("OSTRAMELD_RELEASE_BASE: ${{ inputs.release-base || format("), std::string::npos);
  // Both download the release's package of their version before they would build one.
  EXPECT_NE(gitlab.find("/opt/ostrameld/scripts/install-release --or-build"), std::string::npos);
  EXPECT_NE(action.find("OSTRAMELD_RELEASE_BASE: ${{ inputs.release-base || format("), std::string::npos);
  std::string hooks = testing::read_file(kSource + "/.pre-commit-hooks.yaml");
  EXPECT_EQ(hooks.find("entry: ostrameld assess . --offline --fail-under none\n"), hooks.find("entry:"));
}

// The Action installs the release's package of its version from the release host (a local
// server here): its SHA-256 checked first, a wrong or missing sum refused with nothing
// installed, and a release without the asset said apart so that the caller builds.
TEST(Integrations, TheActionDownloadsTheReleasePackageAndChecksItsSum) {
  if (std::filesystem::exists("/usr/bin/ostrameld")) GTEST_SKIP() << "ostrameld is installed here";
  std::string arch = testing::shell_output("dpkg --print-architecture");
  while (!arch.empty() && arch.back() == '\n') arch.pop_back();
  std::string name = "ostrameld_" + std::string(OSTRAMELD_VERSION_STRING) + "_" + arch + ".deb";
  const std::string package = "the package's bytes\n";
  std::string sum = testing::shell_output("printf %s " + shell_quote(package) + " | sha256sum | cut -d' ' -f1");
  sum.pop_back();
  std::string served_sum;  // what the release's .sha256 says; empty: no such file
  bool has_asset = true;
  testing::ForgeServer server([&](const httplib::Request& req, httplib::Response& res) {
    std::string dir = "/v" + std::string(OSTRAMELD_VERSION_STRING) + "/";
    if (has_asset && req.path == dir + name) {
      res.set_content(package, "application/octet-stream");
    } else if (has_asset && req.path == dir + name + ".sha256" && !served_sum.empty()) {
      res.set_content(served_sum + "  " + name + "\n", "text/plain");
    } else {
      res.status = 404;
    }
  });
  TempRepo repo, tools;
  repo.write("LICENSE", testing::data_file("licenses/MIT.txt"));
  git_history(repo, 2);
  // "Installing" puts the built program on PATH once the package is the one served.
  tools.write("served.deb", package);
  tools.write("install", "#!/bin/sh\ncmp -s \"$1\" " + shell_quote((tools / "served.deb").string()) +
                             " || exit 9\nmkdir -p " + shell_quote((tools / "bin").string()) + "\nln -s " +
                             shell_quote(OSTRAMELD_BIN) + " " + shell_quote((tools / "bin/ostrameld").string()) + "\n");
  ::chmod((tools / "install").c_str(), 0755);
  auto installed = [&] { return std::filesystem::exists(tools / "bin/ostrameld"); };
  std::string env = "cd " + shell_quote(repo.path().string()) + " && PATH=" +
                    shell_quote((tools / "bin").string()) + ":/usr/local/bin:/usr/bin:/bin" +
                    " OSTRAMELD_RELEASE_BASE=" + shell_quote(server.base()) +
                    " OSTRAMELD_INSTALL_COMMAND=" + shell_quote((tools / "install").string()) +
                    " INPUT_OUTPUT_FILE=" + shell_quote((tools / "report.md").string()) +
                    " INPUT_SARIF_FILE= ";
  std::string action = shell_quote(kSource + "/ci/github/action.sh");
  std::string install_release = shell_quote(kSource + "/scripts/install-release");

  // A wrong sum, and no sum at all: refused, nothing installed, no report.
  for (std::string wrong : {std::string(64, '0'), std::string()}) {
    served_sum = wrong;
    EXPECT_EQ(sh(env + action + " > " + shell_quote((tools / "err").string()) + " 2>&1"), 1);
    EXPECT_FALSE(installed());
    EXPECT_FALSE(std::filesystem::exists(tools / "report.md"));
    EXPECT_NE(testing::read_file(tools / "err").find(wrong.empty() ? "no checksum" : "SHA-256 of " + name),
              std::string::npos)
        << testing::read_file(tools / "err");
  }
  // No such asset: its own status, for the caller to build instead.
  has_asset = false;
  EXPECT_EQ(sh(env + install_release + " 2>/dev/null"), 3);
  EXPECT_FALSE(installed());
  // The right sum: installed, and the step goes on to assess.
  has_asset = true;
  served_sum = sum;
  EXPECT_EQ(sh(env + action + " >/dev/null 2>&1"), 0);
  EXPECT_TRUE(installed());
  EXPECT_NE(testing::read_file(tools / "report.md").find("# FAIR assessment of"), std::string::npos);
}

}  // namespace
}  // namespace ostrameld
