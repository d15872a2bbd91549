// Whole-program tests: the built ostrameld on generated repositories.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::data_file;
using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

nlohmann::ordered_json indicator(const nlohmann::ordered_json& doc, const std::string& key) {
  for (const auto& i : doc["indicators"])
    if (i["indicator_id"] == key) return i;
  return nullptr;
}

TEST(Cli, JsonReportForALicensedRepository) {
  TempRepo repo;
  repo.write("LICENSE", data_file("licenses/Apache-2.0.txt"));
  auto r = run_cli("assess " + shell_quote(repo.path().string()) + " --format json --offline");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  auto doc = nlohmann::ordered_json::parse(r.out);
  EXPECT_EQ(doc["schema"], "ostrameld-assessment/1");
  EXPECT_EQ(doc["software"]["name"], repo.path().filename().string());
  auto lic = indicator(doc, "clear_license");
  EXPECT_EQ(lic["score"], 10.0);
  EXPECT_EQ(lic["status"], "pass");
  EXPECT_EQ(lic["process"], "Identified SPDX license: Apache-2.0");
  EXPECT_EQ(lic["output"], "Detected Apache-2.0");
  EXPECT_EQ(lic["evidence"], "File: LICENSE, SPDX: Apache-2.0");
  EXPECT_EQ(lic["fair4rs_id"], "R1.1");
}

TEST(Cli, TextReportIsTheDefault) {
  TempRepo repo;
  repo.write("LICENSE", "MIT License\n\nPermission is hereby granted\n");
  // Flags before the path: each --indicator takes exactly one key.
  auto r =
      run_cli("assess --indicator clear_license --offline " + shell_quote(repo.path().string()));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\nclear_license                morvel              10.0  PASS  \n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.back(), '\n');
}

TEST(Cli, OneLineJson) {
  TempRepo repo;
  auto r = run_cli("assess " + shell_quote(repo.path().string()) +
                   " -f json --json-indent none --offline");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);
  EXPECT_EQ(r.out.rfind("{\"schema\": \"ostrameld-assessment/1\", ", 0), 0u);
}

TEST(Cli, BadInputIsOneLineAndStatusTwo) {
  TempRepo repo;
  auto file = repo.write("plain.txt", "x");
  struct {
    std::string args;
    std::string message_part;
  } cases[] = {
      {"assess " + shell_quote((repo / "missing").string()), "no such file or directory"},
      {"assess " + shell_quote(file.string()), "not a directory"},
      {"assess . --indicator no_such_key", "unknown indicator"},
      {"assess . --json-indent abc", "--json-indent"},
      {"assess . -f yaml", "yaml"},
      {"assess . -o " + shell_quote((repo / "missing-dir/out.json").string()), "cannot write"},
      {"frobnicate", "frobnicate"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    auto r = run_cli(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.message_part), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
}

TEST(Cli, OutputFileIsWrittenWholeOrNotAtAll) {
  TempRepo repo;
  auto target = repo / "report.json";
  auto r = run_cli("assess " + shell_quote(repo.path().string()) + " -f json -o " +
                   shell_quote(target.string()));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_NO_THROW(nlohmann::json::parse(testing::read_file(target)));
  // No temporary file is left beside the report.
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(repo.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);

  // A directory in the way: status 2 and nothing left behind.
  repo.mkdir("taken");
  auto bad = run_cli("assess " + shell_quote(repo.path().string()) + " -o " +
                     shell_quote((repo / "taken").string()));
  EXPECT_EQ(bad.status, 2);
}

TEST(Cli, MarkdownReport) {
  TempRepo repo;
  repo.write("LICENSE", "MIT License\n");
  auto r = run_cli("assess " + shell_quote(repo.path().string()) + " -f markdown --offline");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("# FAIR assessment of " + repo.path().filename().string() + "\n", 0), 0u)
      << r.out;
  EXPECT_NE(r.out.find("| R1.1 | Clear licence (`clear_license`) | 10.0 | PASS | Detected MIT |"),
            std::string::npos)
      << r.out;
  // What to improve lists the advice of what is short of pass, never what passed.
  EXPECT_NE(r.out.find("- [ ] Add a README.md at the repository root"), std::string::npos);
  EXPECT_EQ(r.out.find("### Clear licence"), std::string::npos);

  TempRepo templates;
  templates.write("report.md.j2", "custom {{ total_count }}");
  auto custom =
      run_cli("assess " + shell_quote(repo.path().string()) +
              " -f markdown --offline --template-dir " + shell_quote(templates.path().string()));
  EXPECT_EQ(custom.out, "custom 9\n");

  auto missing =
      run_cli("assess " + shell_quote(repo.path().string()) + " -f markdown --template-dir " +
              shell_quote((templates / "nope").string()));
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("template"), std::string::npos) << missing.err;

  templates.write("report.md.j2", "{{ total_count|nope }}");
  auto broken = run_cli("assess " + shell_quote(repo.path().string()) +
                        " -f markdown --template-dir " + shell_quote(templates.path().string()));
  EXPECT_EQ(broken.status, 2);
  EXPECT_NE(broken.err.find("report.md.j2:1:"), std::string::npos) << broken.err;
}

TEST(Cli, InstalledProgramFindsItsTemplatesFromAnyDirectory) {
  TempRepo prefix;
  TempRepo repo;
  ASSERT_EQ(std::system(("cmake --install " + shell_quote(OSTRAMELD_BUILD_DIR) + " --prefix " +
                         shell_quote(prefix.path().string()) + " >/dev/null")
                            .c_str()),
            0);
  auto r = run_cli("assess " + shell_quote(repo.path().string()) + " -f markdown --offline",
                   "cd / &&", (prefix / "bin/ostrameld").string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("# FAIR assessment of ", 0), 0u) << r.out;
  // Without its share/ directory the program says so instead of guessing.
  std::filesystem::remove_all(prefix / "share");
  auto lost = run_cli("assess . -f markdown", "cd / &&", (prefix / "bin/ostrameld").string());
  EXPECT_EQ(lost.status, 2);
  EXPECT_NE(lost.err.find("--template-dir"), std::string::npos) << lost.err;
}

TEST(Cli, FailUnderGatesOnTheOverallScoreAndSaysWhy) {
  TempRepo repo;
  repo.write("LICENSE", "MIT License\n");
  std::string base = "assess " + shell_quote(repo.path().string()) + " --offline";
  EXPECT_EQ(run_cli(base + " --indicator clear_license --fail-under 10").status, 0);
  auto r = run_cli(base + " --fail-under 2 -f json");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("\"overall_score\": 1.25"), std::string::npos);  // still written
  // One line: the score, the threshold, and the indicators that pulled it down.
  EXPECT_EQ(r.err,
            "ostrameld: overall score 1.25 is below --fail-under 2; lowest: "
            "descriptive_attributes 0.0 (fail), community_standards 0.0 (unknown), "
            "metadata_self_reference 0.0 (unknown), searchable_metadata 0.0 (unknown), "
            "rich_metadata 0.0 (fail), version_identifiers 0.0 (unknown), "
            "development_provenance 0.0 (fail)\n");
}

TEST(Cli, MessagesSayWhatToDo) {
  struct {
    const char* args;
    const char* err;
  } cases[] = {
      {"assess . --fail-under abc", "--fail-under takes a score from 0 to 10, not \"abc\""},
      {"assess . --fail-under nan", "--fail-under takes a score from 0 to 10, not \"nan\""},
      {"assess . --fail-under 10.5", "--fail-under takes a score from 0 to 10, not \"10.5\""},
      {"assess . --json-indent 100", "--json-indent takes 0 to 16 spaces or \"none\""},
      {"batch -j -1", "-j takes a number of workers from 1 to 1024, not \"-1\""},
      {"batch -j 0", "-j takes a number of workers from 1 to 1024"},
      {"assess . --ofline", "(did you mean --offline?)"},
      {"batch --resum", "(did you mean --resume?)"},
      {"assess github.com/owner/repo", "give its URL: https://github.com/owner/repo"},
      {"batch LIST -o /nonexistent/out.jsonl",
       "cannot write the batch output /nonexistent/out.jsonl: No such file or directory"},
  };
  TempRepo lists;
  auto list = lists.write("list.txt", lists.path().string() + "\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    std::string args = c.args;
    if (auto at = args.find("LIST"); at != std::string::npos) args.replace(at, 4, list.string());
    auto r = run_cli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  TempRepo repo;
  auto noted = run_cli("assess " + shell_quote(repo.path().string()) +
                       " --offline -f text --template-dir /tmp --json-indent 4");
  EXPECT_EQ(noted.status, 0);
  EXPECT_EQ(noted.err,
            "ostrameld: note: --template-dir is read only with -f markdown; ignored\n"
            "ostrameld: note: --json-indent is read only with -f json; ignored\n");
}

TEST(Cli, ListsPluginsIndicatorsAndVersion) {
  auto v = run_cli("--version");
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out.rfind("ostrameld ", 0), 0u);
  auto p = run_cli("plugins");
  EXPECT_EQ(p.status, 0);
  EXPECT_NE(p.out.find("morvel 0.1.0"), std::string::npos);
  auto i = run_cli("indicators");
  EXPECT_EQ(i.status, 0);
  EXPECT_NE(i.out.find("clear_license"), std::string::npos);
  EXPECT_NE(i.out.find("continuous_integration"), std::string::npos);
}

// Completion offers the values of options that take a fixed set, and the help says how
// shards are chosen as the program does it.
TEST(Cli, CompletionOffersValuesAndTheHelpDescribesShards) {
  TempRepo dir;
  auto script = run_cli("__completion bash");
  ASSERT_EQ(script.status, 0);
  dir.write("completion.bash", script.out);
  auto complete = [&](const std::string& words) {
    std::string cmd = "source " + shell_quote((dir / "completion.bash").string()) +
                      "; COMP_WORDS=(" + words +
                      "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                      "_ostrameld; echo \"${COMPREPLY[*]}\"";
    std::string out_file = (dir / "out").string();
    std::system(("bash -c " + shell_quote(cmd) + " > " + shell_quote(out_file)).c_str());
    return testing::read_file(out_file);
  };
  EXPECT_EQ(complete("ostrameld assess -f ''"), "text json markdown sarif badge\n");
  EXPECT_EQ(complete("ostrameld assess --indicator clear"), "clear_license\n");
  EXPECT_EQ(complete("ostrameld summary --format h"), "html\n");
  auto help = run_cli("batch --help");
  EXPECT_NE(help.out.find("FNV-1a"), std::string::npos) << help.out;
  EXPECT_EQ(help.out.find("position modulo"), std::string::npos);
  auto man = run_cli("__man");
  EXPECT_EQ(man.out.find("position modulo"), std::string::npos);
}

}  // namespace
}  // namespace ostrameld
