// A project's own settings file, through the whole program: exemptions in every report,
// the score and levels they cannot buy, flags over the file, and refusals of bad files.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/git_repo.h"
#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using nlohmann::ordered_json;
using testing::data_file;
using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

constexpr const char* kReason = "analysis code for one paper; nothing is released";

ordered_json indicator(const ordered_json& doc, const std::string& key) {
  for (const auto& i : doc["indicators"])
    if (i["indicator_id"] == key) return i;
  return nullptr;
}

// A repository that reaches the basic level: a licence and a README worth reading.
void basic_repository(TempRepo& repo) {
  repo.write("LICENSE", data_file("licenses/Apache-2.0.txt"));
  repo.write("README.md", "# Demo\n\n" + std::string(400, 'x') + "\n\n## Installation\n\npip install demo\n\n## Usage\n\ndemo run\n");
  repo.write("docs/guide.md", "# Guide\n");
  repo.write("mkdocs.yml", "site_name: demo\n");
}

std::string assess(const TempRepo& repo, const std::string& flags) {
  auto r = run_cli("assess " + shell_quote(repo.path().string()) + " --offline " + flags);
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

TEST(Settings, AnExemptionIsReportedEverywhereAndCountsForNothing) {
  TempRepo repo;
  basic_repository(repo);
  auto plain = ordered_json::parse(assess(repo, "-f json"));
  ASSERT_EQ(plain["compliance_level"], "basic");
  EXPECT_FALSE(plain.contains("settings_file"));

  repo.write(".ostrameld.toml", std::string("[exempt]\nversion_identifiers = \"") + kReason +
                                    "\"\nclear_license = \"" + kReason + "\"\n");
  auto doc = ordered_json::parse(assess(repo, "-f json"));
  EXPECT_EQ(doc["settings_file"], ".ostrameld.toml");
  auto versions = indicator(doc, "version_identifiers");
  EXPECT_EQ(versions["status"], "exempt");
  EXPECT_EQ(versions["exemption"]["reason"], kReason);
  EXPECT_EQ(versions["exemption"]["source"], ".ostrameld.toml");
  EXPECT_TRUE(versions["advice"].empty());
  // The overall score is the weighted mean of what was not exempt (all weights 1 here).
  double sum = 0;
  int counted = 0;
  for (const auto& i : plain["indicators"]) {
    std::string key = i["indicator_id"];
    if (key == "version_identifiers" || key == "clear_license" || key == "continuous_integration")
      continue;
    sum += i["score"].get<double>();
    ++counted;
  }
  EXPECT_NEAR(doc["overall_score"].get<double>(), sum / counted, 1e-9);
  // The licence is what the basic level asks for: exempting it cannot reach it.
  EXPECT_TRUE(doc["compliance_level"].is_null());
  bool said = false;
  for (const auto& note : doc["notes"])
    said = said || note.get<std::string>().find("clear_license is exempt by .ostrameld.toml; every "
                                                "compliance level needs it to pass") == 0;
  EXPECT_TRUE(said) << doc["notes"];

  std::string text = assess(repo, "");
  EXPECT_NE(text.find("version_identifiers          releases             0.0  EXEMPT"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(std::string("  - version_identifiers: ") + kReason), std::string::npos) << text;
  EXPECT_EQ(text.find("Version identifiers (version_identifiers)"), std::string::npos)
      << "an exempt indicator is nothing to improve\n" << text;
  std::string md = assess(repo, "-f markdown");
  EXPECT_NE(md.find(std::string("## Exempt\n")), std::string::npos) << md;
  EXPECT_NE(md.find(std::string("- `version_identifiers`: ") + kReason), std::string::npos) << md;
  auto sarif = ordered_json::parse(assess(repo, "-f sarif"));
  bool suppressed = false;
  for (const auto& result : sarif["runs"][0]["results"]) {
    if (result["ruleId"] != "version_identifiers") continue;
    ASSERT_EQ(result["suppressions"].size(), 1u);
    EXPECT_EQ(result["suppressions"][0]["kind"], "external");
    EXPECT_EQ(result["suppressions"][0]["justification"], kReason);
    suppressed = true;
  }
  EXPECT_TRUE(suppressed);
}

TEST(Settings, FlagsWinOverTheFile) {
  TempRepo repo;
  basic_repository(repo);
  repo.write(".ostrameld.toml", "profile = \"fair4rs-full\"\nfail-under = 9.5\n");
  auto gated = run_cli("assess " + shell_quote(repo.path().string()) + " --offline -f json");
  EXPECT_EQ(gated.status, 1);
  EXPECT_EQ(ordered_json::parse(gated.out)["profile"], "fair4rs-full");
  EXPECT_NE(gated.err.find("is below .ostrameld.toml's fail-under 9.5"), std::string::npos)
      << gated.err;
  auto flags = run_cli("assess " + shell_quote(repo.path().string()) +
                       " --offline -f json --profile fair4rs --fail-under 0");
  EXPECT_EQ(flags.status, 0) << flags.err;
  EXPECT_EQ(ordered_json::parse(flags.out)["profile"], "fair4rs");
  auto none = run_cli("assess " + shell_quote(repo.path().string()) + " --offline --fail-under none");
  EXPECT_EQ(none.status, 0) << none.err;
  // The last --fail-under counts: a hook's "none" is overridden by its args.
  auto last = run_cli("assess " + shell_quote(repo.path().string()) +
                      " --offline --fail-under none --fail-under 9.9");
  EXPECT_EQ(last.status, 1) << last.err;
  // --indicator picks keys of the flags' profile: the file's profile does not apply.
  auto only = run_cli("assess " + shell_quote(repo.path().string()) +
                      " --offline -f json --indicator clear_license --fail-under 0");
  EXPECT_EQ(only.status, 0) << only.err;
  EXPECT_EQ(ordered_json::parse(only.out)["profile"], "fair4rs");
}

// A bad file: one line naming the key, status 2, and no report.
TEST(Settings, ABadFileIsOneLineAndStatusTwo) {
  struct {
    const char* file;
    const char* text;
    const char* message;
  } cases[] = {
      {".ostrameld.toml", "profle = \"fair4rs\"\n",
       "ostrameld: error: .ostrameld.toml: unknown key \"profle\" (known: profile, fail-under, forge, exempt)\n"},
      {".ostrameld.toml", "[exempt]\nversion_identifiers = \"\"\n",
       "ostrameld: error: .ostrameld.toml: exempt.\"version_identifiers\": an exemption needs a reason\n"},
      {".ostrameld.toml", "fail-under = \"high\"\n",
       "ostrameld: error: .ostrameld.toml: fail-under must be a number from 0 to 10, not a string\n"},
      {"pyproject.toml", "[tool.ostrameld.exempt]\nno_such_check = \"x\"\n",
       "ostrameld: error: pyproject.toml [tool.ostrameld]: exempt.\"no_such_check\": unknown indicator "
       "(see 'ostrameld indicators')\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TempRepo repo;
    repo.write(c.file, c.text);
    auto out = repo.path() / "report.json";
    auto r = run_cli("assess " + shell_quote(repo.path().string()) + " --offline -f json -o " +
                     shell_quote(out.string()));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, c.message);
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

// A repository given by its address brings its settings along; a bad file is refused
// after the clone, and the clone is gone with it.
TEST(Settings, ACloneReadsTheFileOfTheRepository) {
  TempRepo work, bare, tmp;
  basic_repository(work);
  work.write(".ostrameld.toml", std::string("[exempt]\nversion_identifiers = \"") + kReason + "\"\n");
  testing::git(work, "init -q");
  testing::git(work, "add -A");
  testing::git(work, "commit -q -m first");
  testing::git(bare, "clone -q --bare " + shell_quote(work.path().string()) + " repo.git");
  std::string url = "file://" + (bare / "repo.git").string();
  std::string env = "TMPDIR=" + shell_quote(tmp.path().string());
  auto r = run_cli("assess " + shell_quote(url) + " --offline -f json", env);
  ASSERT_EQ(r.status, 0) << r.err;
  auto doc = ordered_json::parse(r.out);
  EXPECT_EQ(indicator(doc, "version_identifiers")["exemption"]["source"], ".ostrameld.toml");

  work.write(".ostrameld.toml", "[exempt]\nversion_identifiers = \"\"\n");
  testing::git(work, "commit -q -a -m second");
  testing::git(bare, "--git-dir=repo.git fetch -q " + shell_quote(work.path().string()) + " +HEAD:refs/heads/main");
  auto bad = run_cli("assess " + shell_quote(url) + " --offline -f json", env);
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("an exemption needs a reason"), std::string::npos) << bad.err;
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
}

// In a batch the file is each repository's claim: a bad one fails its own line only.
TEST(Settings, EachRepositoryOfABatchReadsItsOwn) {
  TempRepo good, bad, list;
  basic_repository(good);
  good.write(".ostrameld.toml", std::string("[exempt]\nversion_identifiers = \"") + kReason + "\"\n");
  bad.write(".ostrameld.toml", "[exempt]\nversion_identifiers = 1\n");
  list.write("list.txt", good.path().string() + "\n" + bad.path().string() + "\n");
  auto r = run_cli("batch " + shell_quote((list / "list.txt").string()) + " --offline -j 1");
  EXPECT_EQ(r.status, 1) << r.err;
  std::istringstream lines(r.out);
  std::string line;
  int seen = 0;
  while (std::getline(lines, line)) {
    auto doc = ordered_json::parse(line);
    if (doc["input"] == good.path().string()) {
      EXPECT_EQ(indicator(doc, "version_identifiers")["status"], "exempt");
      ++seen;
    } else {
      EXPECT_NE(doc["errors"][0]["message"].get<std::string>().find(
                    ".ostrameld.toml: exempt.\"version_identifiers\" must be a reason"),
                std::string::npos)
          << line;
      ++seen;
    }
  }
  EXPECT_EQ(seen, 2);
}

}  // namespace
}  // namespace ostrameld
