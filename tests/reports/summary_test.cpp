#include "ostrameld/reports/summary.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

// A batch line with the given overall score, level and per-indicator statuses.
std::string line(const std::string& input, double overall, const char* level,
                 std::vector<std::pair<const char*, const char*>> statuses,
                 const char* advice = "Add a LICENSE.") {
  std::string indicators;
  for (const auto& [key, status] : statuses) {
    if (!indicators.empty()) indicators += ", ";
    indicators += std::string("{\"indicator_id\": \"") + key +
                  "\", \"score\": " + (std::string(status) == "pass" ? "10.0" : "2.0") +
                  ", \"status\": \"" + status + "\", \"advice\": [\"" +
                  (std::string(status) == "pass" ? "" : advice) + "\"]}";
  }
  return "{\"input\": \"" + input + "\", \"schema\": \"ostrameld-assessment/1\", " +
         "\"software\": {\"name\": \"" + input.substr(input.rfind('/') + 1) + "\"}, " +
         "\"overall_score\": " + std::to_string(overall) +
         ", \"compliance_level\": " + (level ? "\"" + std::string(level) + "\"" : "null") +
         ", \"indicators\": [" + indicators + "]}\n";
}

std::string sample() {
  return line("/r/a", 8.5, "advanced", {{"clear_license", "pass"}, {"rich_metadata", "pass"}}) +
         line("/r/b", 3.25, nullptr, {{"clear_license", "fail"}, {"rich_metadata", "pass"}}) +
         line("/r/c", 9.99, "basic", {{"clear_license", "pass"}, {"rich_metadata", "warn"}}) +
         R"({"input": "/r/d", "schema": "ostrameld-assessment/1", "errors": [{"indicator_id": null, "plugin": null, "message": "no such file, or directory"}]})"
         "\n" +
         line("/r/a", 1.0, nullptr, {});  // a shard merged twice: counted once
}

Summary read(const std::string& text) {
  Summary s;
  std::istringstream in(text);
  read_results(in, "results.jsonl", s);
  return s;
}

TEST(Summary, CsvHoldsTheNumbersOfTheLines) {
  std::string csv = summary_csv(read(sample()));
  EXPECT_EQ(csv,
            "input,name,overall_score,compliance_level,clear_license,descriptive_attributes,"
            "community_standards,metadata_self_reference,searchable_metadata,rich_metadata,"
            "version_identifiers,development_provenance,continuous_integration,errors\n"
            "/r/a,a,8.50,advanced,10.0,,,,,10.0,,,,\n"
            "/r/b,b,3.25,none,2.0,,,,,10.0,,,,\n"
            "/r/c,c,9.99,basic,10.0,,,,,2.0,,,,\n"
            "/r/d,,,,,,,,,,,,,\"no such file, or directory\"\n");
}

TEST(Summary, MarkdownCountsRatesLevelsAndAdvice) {
  std::string md = summary_markdown(read(sample()));
  for (const char* part : {
           "# FAIR assessment of 4 repositories\n",
           "3 assessed, 1 could not be assessed, 1 repeated lines counted once.",
           "| Clear licence (`clear_license`) | R1.1 | 2 of 3 | 67% |",
           "| Citation file (`rich_metadata`) | F2 | 2 of 3 | 67% |",
           "| Documentation (`descriptive_attributes`) | R1 | 0 of 0 | 0% |",
           "| none | 1 |\n| basic | 1 |\n| intermediate | 0 |\n| advanced | 1 |",
           "| 3–4 | 1 |",
           "| 8–9 | 1 |",
           "| 9–10 | 1 |",
           "- 2 × Add a LICENSE.",
           "| 1 | c | 10.0 | basic |\n| 2 | a | 8.5 | advanced |\n| 3 | b | 3.2 | none |",
           "- /r/d: no such file, or directory",
       }) {
    EXPECT_NE(md.find(part), std::string::npos) << part << "\n" << md;
  }
}

TEST(Summary, AForeignLineIsReportedWithItsFileAndLine) {
  for (const std::string& bad :
       {std::string("not json"), std::string(R"({"input": "x"})"),
        std::string(R"({"input": 1, "schema": "ostrameld-assessment/1"})")}) {
    try {
      read(line("/r/a", 1, nullptr, {}) + bad + "\n");
      ADD_FAILURE() << bad;
    } catch (const SummaryError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("results.jsonl:2: ", 0), 0u) << e.what();
    }
  }
}

TEST(Summary, HtmlIsOneSelfContainedPageThatEscapesItsText) {
  std::string page = summary_html(read(sample() + line("/r/<script>", 5, nullptr, {}) +
                                       R"({"input": "/r/<img onerror=1>", "schema": )"
                                       R"("ostrameld-assessment/1", "errors": [{"message": )"
                                       R"("<b>no</b>"}]})"
                                       "\n"));
  EXPECT_EQ(page.find("<img"), std::string::npos);
  EXPECT_EQ(page.find("<b>no"), std::string::npos);
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  // The page's own sorter is its one script; a repository's text never makes another.
  auto script = page.find("<script");
  ASSERT_NE(script, std::string::npos);
  EXPECT_EQ(page.find("<script", script + 1), std::string::npos);
  EXPECT_EQ(page.compare(script, 22, "<script>\n(function(){\n"), 0);
  EXPECT_NE(page.find("&lt;script&gt;"), std::string::npos);
  for (const char* external : {"src=", "href=", "@import", "url("})
    EXPECT_EQ(page.find(external), std::string::npos) << external;
  EXPECT_EQ(std::count(page.begin(), page.end(), '<') - std::count(page.begin(), page.end(), '>'),
            0);
  // Raw control characters and overrides never reach the page.
  std::string hostile = summary_html(
      read(line("/r/a\\u001b[2J\\r\\u202eb", 5, nullptr, {{"clear_license", "fail"}})));
  for (const char* raw : {"\x1B", "\r", "\xE2\x80\xAE"})
    EXPECT_EQ(hostile.find(raw), std::string::npos);
  EXPECT_NE(hostile.find("\\x1b[2J"), std::string::npos);
}

// The page as a person sees it: rendered by headless Chromium, the picture holds the
// charts and the table, not a blank page.
TEST(Summary, HtmlRendersInABrowser) {
  TempRepo dir;
  dir.write("results.jsonl", sample());
  auto r = run_cli("summary " + shell_quote((dir / "results.jsonl").string()) + " -f html -o " +
                   shell_quote((dir / "summary.html").string()));
  ASSERT_EQ(r.status, 0) << r.err;
  dir.write("blank.html", "<!DOCTYPE html><html><body></body></html>");
  auto shot = [&](const char* page, const char* png) {
    return std::system(("cd " + shell_quote(dir.path().string()) +
                        " && HOME=$PWD timeout 120 chromium --headless --no-sandbox --disable-gpu "
                        "--window-size=1000,900 --screenshot=" +
                        png + " " + page + " >/dev/null 2>&1")
                           .c_str());
  };
  ASSERT_EQ(shot("summary.html", "summary.png"), 0) << "chromium could not render the page";
  ASSERT_EQ(shot("blank.html", "blank.png"), 0);
  auto size = [&](const char* png) { return std::filesystem::file_size(dir / png); };
  // A blank page compresses to almost nothing; bars, text and a table do not.
  EXPECT_GT(size("summary.png"), 8 * size("blank.png"));
}

// Cells carry repository text: each format quotes or escapes what would break its table,
// and an input that two results files both hold is one repository.
TEST(Summary, CellsAreQuotedAndInputsCountedOnceAcrossFiles) {
  Summary s;
  std::istringstream first(line("/r/a", 5.0, nullptr, {{"clear_license", "fail"}}));
  std::istringstream second(line("/r/a", 5.0, nullptr, {{"clear_license", "fail"}}) +
                            line("/r/b", 4.0, nullptr, {{"clear_license", "fail"}}));
  read_results(first, "one.jsonl", s);
  read_results(second, "two.jsonl", s);
  EXPECT_EQ(s.rows.size(), 2u);
  EXPECT_EQ(s.duplicates, 1u);
  EXPECT_NE(summary_markdown(s).find("# FAIR assessment of 2 repositories"), std::string::npos);

  struct {
    const char* name;  // a repository's name, as its path ends
    const char* csv;   // its CSV cell
    const char* md;    // how the Markdown ranking shows it
  } cases[] = {
      {"say \\\"hi\\\"", "\"say \"\"hi\"\"\"", nullptr},
      {"a,b", "\"a,b\"", nullptr},
      {"pipe|name", nullptr, "pipe\\|name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Summary one = read(line(std::string("/r/") + c.name, 5.0, nullptr, {{"clear_license", "fail"}}));
    if (c.csv) {
      std::string csv = summary_csv(one);
      EXPECT_NE(csv.find(std::string(",") + c.csv + ","), std::string::npos) << csv;
    }
    if (c.md) {
      std::string md = summary_markdown(one);
      EXPECT_NE(md.find(std::string("| ") + c.md + " |"), std::string::npos) << md;
    }
  }
}

}  // namespace
}  // namespace ostrameld
