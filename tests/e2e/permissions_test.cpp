// Permission errors, exercised for real: the program runs as an unprivileged user
// (tests usually run as root, for whom every file is readable).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <functional>

#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

// Runs the program as "nobody" when we are root; as ourselves otherwise.
std::string unprivileged() {
  return ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
}

nlohmann::json assess_as_nobody(const TempRepo& repo) {
  auto r =
      run_cli("assess " + shell_quote(repo.path().string()) + " -f json --offline", unprivileged());
  EXPECT_EQ(r.status, 0) << r.err;
  return nlohmann::json::parse(r.out);
}

nlohmann::json by_key(const nlohmann::json& doc, const std::string& key) {
  for (const auto& i : doc["indicators"])
    if (i["indicator_id"] == key) return i;
  return nullptr;
}

TEST(Permissions, ErrorsBecomeErrorRowsOnlyWhereTheyPropagate) {
  struct {
    const char* name;
    std::function<void(TempRepo&)> setup;
    std::vector<std::string> error_rows;
  } cases[] = {
      {"unlistable workflow directory",
       [](TempRepo& r) {
         r.write(".github/workflows/ci.yml", "run: pytest");
         ::chmod((r / ".github/workflows").c_str(), 0711);
       },
       {"continuous_integration"}},
      {"unlistable docs directory",
       [](TempRepo& r) {
         r.write("docs/index.md", "");
         ::chmod((r / "docs").c_str(), 0711);
       },
       {"descriptive_attributes", "community_standards"}},
      {"unlistable docs directory the community search never reaches",
       [](TempRepo& r) {
         r.write("README.md", std::string(300, 'r'));
         for (const char* doc :
              {"CONTRIBUTING.md", "CODE_OF_CONDUCT.md", "SECURITY.md", "GOVERNANCE.md"})
           r.write(doc, "x");
         r.write("docs/index.md", "");
         ::chmod((r / "docs").c_str(), 0711);
       },
       {"descriptive_attributes"}},
      {"unlistable directory deep inside docs",
       [](TempRepo& r) {
         r.write("docs/private/page.md", "");
         ::chmod((r / "docs/private").c_str(), 0711);
       },
       {"descriptive_attributes"}},
      {"the header scan meets an unlistable directory",
       [](TempRepo& r) {
         r.write("src/private/a.py", "");
         ::chmod((r / "src/private").c_str(), 0711);
       },
       {"clear_license"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    if (std::string(c.name).find("header scan") == std::string::npos)
      repo.write("LICENSE", "MIT License");
    c.setup(repo);
    auto doc = assess_as_nobody(repo);
    std::vector<std::string> errors;
    for (const auto& i : doc["indicators"]) {
      if (i["status"] == "error") {
        errors.push_back(i["indicator_id"]);
        EXPECT_NE(i["output"].get<std::string>().find("Permission denied"), std::string::npos)
            << i["output"];
      }
    }
    EXPECT_EQ(errors, c.error_rows);
    EXPECT_EQ(doc["errors"].size(), c.error_rows.size());
    EXPECT_EQ(doc["indicators"].size() + doc["skipped"].size(), 9u);
  }
}

TEST(Permissions, UnreadableLicenceScoresThree) {
  TempRepo repo;
  auto licence = repo.write("LICENSE", "MIT License");
  ::chmod(licence.c_str(), 0600);
  auto lic = by_key(assess_as_nobody(repo), "clear_license");
  EXPECT_EQ(lic["score"], 3.0);
  EXPECT_EQ(lic["process"], "Found LICENSE but could not read it");
  EXPECT_EQ(lic["output"], "[Errno 13] Permission denied: '" + licence.string() + "'");
}

TEST(Permissions, UnreadableWorkflowIsSkippedByTheCiCheck) {
  TempRepo repo;
  ::chmod(repo.write(".github/workflows/a.yml", "run: pytest").c_str(), 0600);
  repo.write(".github/workflows/b.yml", "run: make");
  auto ci = by_key(assess_as_nobody(repo), "continuous_integration");
  EXPECT_EQ(ci["score"], 6.0);
  EXPECT_EQ(ci["output"], "CI: GitHub Actions, GitHub Actions; tests in CI: not detected");
}

}  // namespace
}  // namespace ostrameld
