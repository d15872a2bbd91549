#include "ostrameld/reports/compare.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

struct Ind {
  const char* key;
  const char* status;
  double score;
};

std::string line(const std::string& input, double overall, const char* level, std::vector<Ind> inds) {
  std::string indicators;
  for (const auto& i : inds) {
    if (!indicators.empty()) indicators += ", ";
    indicators += std::string("{\"indicator_id\": \"") + i.key + "\", \"score\": " +
                  std::to_string(i.score) + ", \"status\": \"" + i.status + "\", \"advice\": []}";
  }
  return "{\"input\": \"" + input + "\", \"schema\": \"ostrameld-assessment/1\", \"profile\": \"fair4rs\", " +
         "\"software\": {\"name\": \"" + input.substr(input.rfind('/') + 1) + "\"}, " +
         "\"overall_score\": " + std::to_string(overall) +
         ", \"compliance_level\": " + (level ? "\"" + std::string(level) + "\"" : "null") +
         ", \"indicators\": [" + indicators + "]}\n";
}

std::string failed(const std::string& input) {
  return "{\"input\": \"" + input + "\", \"schema\": \"ostrameld-assessment/1\", \"profile\": \"fair4rs\", "
         "\"errors\": [{\"indicator_id\": null, \"plugin\": null, \"message\": \"gone\"}]}\n";
}

Summary read(const std::string& text) {
  Summary s;
  std::istringstream in(text);
  read_results(in, "x.jsonl", s);
  return s;
}

const RepositoryChange* find(const Comparison& c, const std::string& name) {
  for (const auto& r : c.repositories)
    if (r.name == name) return &r;
  return nullptr;
}

TEST(Compare, EachRepositoryAndIndicatorGetsItsKind) {
  Summary before = read(line("/r/up", 4.0, "basic", {{"clear_license", "fail", 2}, {"rich_metadata", "warn", 5}}) +
                        line("/r/down", 8.0, "intermediate", {{"clear_license", "pass", 10}}) +
                        line("/r/same", 5.0, nullptr, {{"clear_license", "fail", 2}, {"rich_metadata", "fail", 0}}) +
                        line("/r/old", 5.0, nullptr, {}) + failed("/r/back") +
                        line("/r/lost", 5.0, nullptr, {}));
  Summary after = read(line("/r/up", 6.0, "intermediate", {{"clear_license", "pass", 10}, {"rich_metadata", "warn", 5.01}}) +
                       line("/r/down", 7.0, "basic", {{"clear_license", "warn", 6}, {"version_identifiers", "fail", 0}}) +
                       // An exemption is a change of standing, neither better nor worse.
                       line("/r/same", 5.02, nullptr, {{"clear_license", "exempt", 2}, {"rich_metadata", "unknown", 0}}) +
                       line("/r/fresh", 3.0, nullptr, {}) + line("/r/back", 2.0, nullptr, {}) +
                       failed("/r/lost"));
  Comparison c = compare_runs(before, after, "old.jsonl", "new.jsonl");
  struct {
    const char* name;
    const char* kind;
    std::vector<std::string> indicators;  // "key kind"
  } cases[] = {
      {"up", "improved", {"clear_license improved"}},
      {"down", "regressed", {"clear_license regressed", "version_identifiers new"}},
      {"same", "unchanged", {"clear_license changed", "rich_metadata improved"}},
      {"fresh", "new", {}},
      {"old", "gone", {}},
      {"back", "now assessed", {}},
      {"lost", "no longer assessed", {}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    const RepositoryChange* r = find(c, k.name);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->kind, k.kind);
    std::vector<std::string> got;
    for (const auto& i : r->indicators) got.push_back(i.key + " " + i.kind);
    EXPECT_EQ(got, k.indicators);
  }
  // Regressions lead; the trend is over the repositories assessed in both runs.
  EXPECT_EQ(c.repositories.front().name, "down");
  EXPECT_EQ(c.in_both, 3u);
  EXPECT_NEAR(c.old_mean, (4.0 + 8.0 + 5.0) / 3, 1e-9);
  EXPECT_NEAR(c.new_mean, (6.0 + 7.0 + 5.02) / 3, 1e-9);
  std::string md = render_comparison(c, "markdown");
  for (const char* part :
       {"**Trend:** mean overall score 5.67 → 6.01 (+0.34) over the 3 repositories assessed in both "
        "runs, up; 1 regressed, 1 no longer assessed, 1 improved, 1 now assessed, 1 new, 1 gone, 1 unchanged.",
        "| basic | 1 | 1 |", "| intermediate | 1 | 1 |",
        "| down | 8.0 → 7.0 (-1.0) | intermediate → basic | clear\\_license pass → warn (10.0 → 6.0); "
        "version\\_identifiers absent → fail |",
        "## Regressed (1)", "## Now assessed (1)",
        // Pass rates leave exempt results out; movement counted per repository.
        "| Clear licence (`clear_license`) | 33% (1 of 3) | 50% (1 of 2) | 1 | 1 |"}) {
    EXPECT_NE(md.find(part), std::string::npos) << part << "\n" << md;
  }
  std::string csv = render_comparison(c, "csv");
  EXPECT_NE(csv.find("/r/down,down,fair4rs,clear_license,regressed,pass,warn,10.00,6.00\n"), std::string::npos) << csv;
}

// From the command line: exactly two files, any format, exit 0; repository text escaped.
TEST(Compare, FromTheCommandLine) {
  TempRepo dir;
  dir.write("old.jsonl", line("/r/<i>x", 4.0, nullptr, {{"clear_license", "fail", 2}}));
  dir.write("new.jsonl", line("/r/<i>x", 6.0, nullptr, {{"clear_license", "pass", 10}}));
  std::string files = shell_quote((dir / "old.jsonl").string()) + " " + shell_quote((dir / "new.jsonl").string());
  for (const char* format : {"markdown", "html", "csv"}) {
    SCOPED_TRACE(format);
    auto r = run_cli("summary " + files + " --compare -f " + format);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("improved"), std::string::npos) << r.out;
    if (std::string(format) == "html") {
      EXPECT_EQ(r.out.find("<i>x"), std::string::npos) << r.out;
      EXPECT_NE(r.out.find("&lt;i&gt;x"), std::string::npos) << r.out;
    }
  }
  auto one = run_cli("summary " + shell_quote((dir / "old.jsonl").string()) + " --compare");
  EXPECT_EQ(one.status, 2);
  EXPECT_NE(one.err.find("--compare takes two results files"), std::string::npos) << one.err;
}

}  // namespace
}  // namespace ostrameld
