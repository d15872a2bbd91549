// Permission errors, exercised for real: the program runs as an unprivileged user
// (tests usually run as root, for whom every file is readable).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <functional>

#include "support/git_repo.h"
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

nlohmann::json assess_as_nobody(const TempRepo& repo, const std::string& profile = "fair4rs") {
  auto r = run_cli("assess " + shell_quote(repo.path().string()) +
                       " -f json --offline --profile " + profile,
                   unprivileged());
  EXPECT_EQ(r.status, 0) << r.err;
  if (r.out.empty()) return nlohmann::json::object();
  return nlohmann::json::parse(r.out);
}

std::vector<std::string> error_rows(const nlohmann::json& doc) {
  std::vector<std::string> rows;
  for (const auto& i : doc.value("indicators", nlohmann::json::array()))
    if (i["status"] == "error") rows.push_back(i["indicator_id"]);
  return rows;
}

// A project with something in each place that projects keep things.
void usual_places(TempRepo& r) {
  r.write("README.md", "# Project\n" + std::string(300, 'r'));
  r.write("LICENSE", "MIT License");
  r.write("CITATION.cff", "cff-version: 1.2.0\ntitle: x\n");
  r.write("CONTRIBUTING.md", "How to help.\n");
  r.write("pyproject.toml", "[project]\nname = \"x\"\n");
  r.write("pom.xml", "<project/>\n");
  r.write("REUSE.toml", "version = 1\n");
  r.write(".reuse/dep5", "License: MIT\n");
  r.write("src/a.py", "# SPDX-License-Identifier: MIT\n");
  r.write("src/site/index.md", "site");
  r.write("docs/index.md", "# Docs");
  r.write("docs/mkdocs.yml", "site_name: x");
  r.write("tests/test_a.py", "def test(): pass");
  r.write(".github/workflows/ci.yml", "on: push\njobs:\n  t:\n    steps:\n      - run: pytest\n");
  r.write("LICENSES/MIT.txt", "MIT License");
  r.write("man/x.Rd", "");
  r.write("vignettes/intro.Rmd", "");
  r.write("inst/_pkgdown.yml", "");
  r.write("data/x.csv", "");
  r.write("build/out.o", "");
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

// The tests above and below mean something only when the bypass is really gone.
TEST(Permissions, TheProgramUnderTestCannotReadWhatWasMadeUnreadable) {
  TempRepo repo;
  auto secret = repo.write("secret", "x");
  ::chmod(secret.c_str(), 0);
  std::string command = unprivileged() + " cat " + shell_quote(secret.string()) + " 2>/dev/null";
  EXPECT_NE(std::system(command.c_str()), 0) << "the test user can still read a mode-0 file";
}

// Any usual place nobody may list, or any file nobody may read: the default profile
// gives exactly the error rows its rules give (listings that propagate), the full profile
// none at all, and both finish with a whole report.
TEST(Permissions, EveryUsualPlaceUnreadableBothProfilesComplete) {
  struct {
    const char* place;
    std::vector<std::string> default_errors;
  } cases[] = {
      {"src", {}},
      {"src/site", {}},
      {"docs", {"descriptive_attributes", "community_standards"}},
      {"tests", {}},
      {".github", {"community_standards", "continuous_integration"}},
      {".github/workflows", {"continuous_integration"}},
      {"LICENSES", {"clear_license"}},
      {"man", {}},
      {"vignettes", {}},
      {"inst", {}},
      {"data", {}},
      {"build", {}},
      {".reuse", {}},
      // Files nobody may read.
      {"LICENSE", {}},
      {"LICENSES/MIT.txt", {}},
      {"README.md", {}},
      {"CITATION.cff", {}},
      {"CONTRIBUTING.md", {}},
      {"pyproject.toml", {}},
      {"pom.xml", {}},
      {"REUSE.toml", {}},
      {".reuse/dep5", {}},
      {"docs/mkdocs.yml", {}},
      {".github/workflows/ci.yml", {}},
      {"src/a.py", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.place);
    TempRepo repo;
    usual_places(repo);
    ::chmod((repo / c.place).c_str(), 0);
    auto fair = assess_as_nobody(repo);
    EXPECT_EQ(error_rows(fair), c.default_errors);
    EXPECT_EQ(fair["indicators"].size(), 9u);
    EXPECT_FALSE(fair.contains("notes"));
    auto full = assess_as_nobody(repo, "fair4rs-full");
    EXPECT_EQ(error_rows(full), std::vector<std::string>{});
    EXPECT_EQ(full["errors"].size(), 0u) << full["errors"];
    EXPECT_GE(full["indicators"].size(), 14u);
    struct stat st;
    bool directory = ::stat((repo / c.place).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (directory) {
      ASSERT_TRUE(full.contains("notes"));
      EXPECT_NE(full["notes"][0].get<std::string>().find(c.place), std::string::npos)
          << full["notes"];
    }
  }
}

// Advice is written after the result: a place it looks at for hints that nobody may list
// leaves the result as the rules give it.
TEST(Permissions, AdviceNeverTurnsAResultIntoAnError) {
  struct {
    const char* name;
    std::function<void(TempRepo&)> setup;
    const char* indicator;
    const char* status;
    const char* output;
  } cases[] = {
      {"documentation hints under src/",
       [](TempRepo& r) {
         r.write("LICENSE", "MIT License");  // no header scan, which the rules let fail
         r.write("src/site/index.md", "");
         ::chmod((r / "src").c_str(), 0);
       },
       "descriptive_attributes", "fail", "No README found"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    c.setup(repo);
    auto doc = assess_as_nobody(repo);
    EXPECT_EQ(error_rows(doc), std::vector<std::string>{});
    auto row = by_key(doc, c.indicator);
    if (c.status) {
      EXPECT_EQ(row["status"], c.status);
    }
    if (c.output) {
      EXPECT_EQ(row["output"], c.output);
    }
    EXPECT_FALSE(row["advice"].empty());
  }
}

// Anyone can make /tmp/.git: the search upward from a plain directory stops at a
// repository another user owns, as git's does, unless the user says to trust it. Run as
// root (the owner) it is taken, which shows the setup would be found at all.
TEST(Permissions, AnotherUsersRepositoryAboveIsNotAdopted) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs a second user: run as root";
  TempRepo parent;
  testing::git_history(parent, 1);
  testing::git(parent, "remote add origin https://forge.example/planted/x.git");
  parent.write("plain/LICENSE", "MIT License\n");
  parent.sh("chmod -R a+rX .");
  const std::string plain = shell_quote((parent / "plain").string());
  struct {
    const char* name;
    std::string prefix, options;
    bool adopted;
  } cases[] = {
      {"the owner", "", "", true},
      {"another user", unprivileged(), "", false},
      {"another user who trusts it", unprivileged(), " --trust-parent-repository", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* command : {"assess ", "batch - "}) {
      SCOPED_TRACE(command);
      parent.write("list.txt", (parent / "plain").string() + "\n");
      bool assess = command[0] == 'a';
      auto r = run_cli(command + std::string(assess ? plain + " -f json" : "") +
                           " --offline --indicator development_provenance" + c.options,
                       c.prefix, OSTRAMELD_BIN, (parent / "list.txt").string());
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out.find("planted") != std::string::npos, c.adopted) << r.out;
      if (assess) {
        EXPECT_EQ(r.err.find("belongs to another user") != std::string::npos, !c.adopted) << r.err;
      }
    }
  }
}

}  // namespace
}  // namespace ostrameld
