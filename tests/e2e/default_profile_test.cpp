// The default profile is the Parts, exactly: on repositories of each ecosystem's shape its
// text and JSON reports are byte for byte what they were before the full profile came
// (recorded files), apart from the run's own time stamps.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>

#include <sys/stat.h>
#include <unistd.h>

#include "plugins/full/shapes.h"
#include "support/git_repo.h"
#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

// What differs between two runs of the same program on the same repository.
std::string masked(std::string text, const TempRepo& repo) {
  std::string name = repo.path().filename().string();
  for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at))
    text.replace(at, name.size(), "REPO");
  text = std::regex_replace(text, std::regex(R"(skipped, \d+ms\))"), "skipped, Nms)");
  text = std::regex_replace(text, std::regex(R"("duration_ms": \d+)"), R"("duration_ms": N)");
  text = std::regex_replace(text, std::regex(R"("timestamp": "[^"]*")"), R"("timestamp": "T")");
  return text;
}

TEST(DefaultProfile, ReportsUnchangedOnEachShape) {
  const std::string dir = std::string(OSTRAMELD_TEST_DATA) + "/default-profile/";
  // OSTRAMELD_RECORD_WITH=PROGRAM writes the expected files with that build instead.
  const char* record = std::getenv("OSTRAMELD_RECORD_WITH");
  // Permission cases run without root's bypass, or they test nothing.
  const std::string nobody =
      ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
  struct {
    const char* name;
    std::function<void(TempRepo&)> build;
    const char* subdir = "";
    bool unprivileged = false;
  } shapes[] = {
      {"python", testing::python_with_zenodo},
      {"r", testing::r_package},
      {"rust", testing::rust_workspace},
      {"npm", testing::npm_monorepo},
      {"cpp", [](TempRepo& r) { testing::cpp_with_swhid(r, false); }},
      // The work tree of a bare repository, a common way to work with several branches.
      {"bare-worktree",
       [](TempRepo& r) {
         testing::git_history(r, 3);
         testing::git(r, "tag v0.1.0");
         testing::git(r, "clone -q --bare . store.git");
         testing::git(r, "-C store.git worktree add -q -b wt ../wt");
         testing::git(r, "-C wt commit -q --allow-empty -m in-wt");
       },
       "wt"},
      // A directory left behind by a container running as root: nobody may list it.
      {"unlistable-src",
       [](TempRepo& r) {
         r.write("src/site/index.md", "");
         r.write("src/main.c", "");
         ::chmod((r / "src").c_str(), 0);
       },
       "", true},
  };
  for (const auto& s : shapes) {
    SCOPED_TRACE(s.name);
    TempRepo repo;
    s.build(repo);
    for (const char* format : {"text", "json"}) {
      SCOPED_TRACE(format);
      std::string args =
          "assess " + shell_quote((repo / s.subdir).string()) + " --offline -f " + format;
      std::string prefix = s.unprivileged ? nobody : "";
      auto r = record ? run_cli(args, prefix, record) : run_cli(args, prefix);
      ASSERT_EQ(r.status, 0) << r.err;
      std::string got = masked(r.out, repo);
      std::string file = dir + s.name + "." + format;
      if (record) {
        std::ofstream(file) << got;
        continue;
      }
      EXPECT_EQ(got, testing::read_file(file));
      // The explicit default is the same profile.
      auto explicit_default = run_cli(args + " --profile fair4rs", prefix);
      EXPECT_EQ(masked(explicit_default.out, repo), got);
    }
  }
}

}  // namespace
}  // namespace ostrameld
