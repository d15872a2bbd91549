// A repository built to hurt: links out of the repository and into devices, a FIFO, a
// 100 MiB README, a link loop, hostile file names, a 10,000-deep directory chain and
// JSON nested 100,000 deep. The program must finish quickly with valid reports that
// hold nothing from outside the repository.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>

#include "ostrameld/utils/text.h"
#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

#if defined(__SANITIZE_ADDRESS__)
constexpr double kBudgetSeconds = 20.0;  // sanitizers slow everything down several times
#else
constexpr double kBudgetSeconds = 2.0;
#endif

void build_hostile(TempRepo& repo) {
  repo.symlink("/etc/passwd", "LICENSE");
  repo.symlink("/etc/passwd", "setup.py");
  repo.symlink("/dev/zero", "pyproject.toml");
  repo.fifo("CITATION.cff");
  repo.sh("truncate -s 100M README.md");
  repo.write("docs/page.md", "# page");
  repo.symlink("..", "docs/loop");
  repo.write(std::string(".github/workflows/\xFF\x1B[31mevil.yml"), "run: make\n");
  repo.deep_chain("deep", 10000);
  repo.write("codemeta.json", std::string(100000, '[') + std::string(100000, ']'));
  std::string nested;
  for (int i = 0; i < 100000; ++i) nested += "{\"a\":";
  nested += "1" + std::string(100000, '}');
  repo.write("package.json", nested);
}

TEST(Hostile, EveryReportIsQuickValidAndKeepsOutsideFilesOut) {
  TempRepo repo;
  build_hostile(repo);
  for (const char* format : {"json", "text", "markdown"}) {
    SCOPED_TRACE(format);
    auto start = std::chrono::steady_clock::now();
    auto r = run_cli("assess " + shell_quote(repo.path().string()) + " --offline -f " + format);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_LT(seconds, kBudgetSeconds);
    EXPECT_TRUE(is_valid_utf8(r.out));
    EXPECT_EQ(r.out.find("root:"), std::string::npos);  // nothing of /etc/passwd
    EXPECT_EQ(r.out.find('\x1B'), std::string::npos);   // no raw escape sequences
    if (std::string(format) != "json") continue;

    auto doc = nlohmann::json::parse(r.out);
    nlohmann::json by_key;
    for (const auto& i : doc["indicators"]) by_key[i["indicator_id"].get<std::string>()] = i;
    EXPECT_EQ(doc["errors"].size(), 0u) << doc["errors"];
    // A link out of the repository is no licence file of it.
    EXPECT_EQ(by_key["clear_license"]["score"], 0.0);
    EXPECT_EQ(by_key["clear_license"]["output"], "No license file found");
    EXPECT_EQ(by_key["rich_metadata"]["score"], 5.0);
    EXPECT_EQ(by_key["rich_metadata"]["output"].get<std::string>().rfind(
                  "Could not read: Not a regular file", 0),
              0u);
    EXPECT_EQ(by_key["metadata_self_reference"]["output"], "codemeta.json present but unparseable");
    EXPECT_EQ(by_key["descriptive_attributes"]["output"],
              "README: README.md (104857600 bytes); Docs directory: docs/ (1 files)");
    EXPECT_EQ(by_key["continuous_integration"]["evidence"],
              "Files: .github/workflows/\xEF\xBF\xBD\x1B[31mevil.yml");
  }
}

TEST(Hostile, SpecialLicenceFilesAreUnreadableNotEndless) {
  struct {
    const char* name;
    std::function<void(TempRepo&)> setup;
    double score;
    const char* output_start;
  } cases[] = {
      {"a FIFO", [](TempRepo& r) { r.fifo("LICENSE"); }, 3.0, "Not a regular file"},
      {"a link to a device outside", [](TempRepo& r) { r.symlink("/dev/zero", "LICENSE"); }, 0.0,
       "No license file found"},
      {"a link to a FIFO inside",
       [](TempRepo& r) {
         r.fifo("pipe");
         r.symlink("pipe", "LICENSE");
       },
       3.0, "Not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    c.setup(repo);
    auto r = run_cli("assess " + shell_quote(repo.path().string()) +
                     " --offline -f json --indicator clear_license");
    ASSERT_EQ(r.status, 0) << r.err;
    auto lic = nlohmann::json::parse(r.out)["indicators"][0];
    EXPECT_EQ(lic["score"], c.score);
    EXPECT_EQ(lic["output"].get<std::string>().rfind(c.output_start, 0), 0u) << lic["output"];
  }
}

}  // namespace
}  // namespace ostrameld
