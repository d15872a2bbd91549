#include "ostrameld/reports/renderers.h"

#include <gtest/gtest.h>

namespace ostrameld {
namespace {

CheckResult result(std::string key, std::string plugin, double score, CheckStatus status) {
  CheckResult r;
  r.indicator_id = std::move(key);
  r.plugin = std::move(plugin);
  r.score = score;
  r.status = status;
  return r;
}

TEST(TextRenderer, EmptyAssessmentHasEightLines) {
  Assessment a;
  a.duration_ms = 12;
  EXPECT_EQ(TextRenderer().render(a),
            "Assessment Results\n"
            "============================================================\n"
            "Indicator                    Plugin             Score  Status\n"
            "-------------------------------------------------------------\n"
            "\n"
            "0/0 passed (0 skipped, 12ms)\n"
            "Compliance: none\n"
            "Overall score: 0.0");
}

TEST(TextRenderer, RowsAlignAndNeverCut) {
  Assessment a;
  a.indicators = {
      result("clear_license", "morvel", 10, CheckStatus::Pass),
      result("descriptive_attributes", "documentation", 7, CheckStatus::Pass),
      result("an_indicator_key_longer_than_28", "p", 0.25, CheckStatus::Unknown),
      result("k", "community_standards_plugin", 4.05, CheckStatus::Skipped),
  };
  a.passed_indicators = {"clear_license", "descriptive_attributes"};
  a.skipped = {{"x", "y"}};
  a.duration_ms = 5;
  a.compliance_level = "basic";
  a.overall_score = 5.3249;
  a.indicators[2].advice = {"Add a \x1b[31mLICENSE."};
  a.indicators[2].title = "Long";
  // The table as it always was, then what to do about what is short of pass.
  EXPECT_EQ(TextRenderer().render(a, Json{{"ignored", true}}),
            "Assessment Results\n"
            "============================================================\n"
            "Indicator                    Plugin             Score  Status\n"
            "-------------------------------------------------------------\n"
            "clear_license                morvel              10.0  PASS  \n"
            "descriptive_attributes       documentation        7.0  PASS  \n"
            "an_indicator_key_longer_than_28 p                    0.2  UNKNOWN\n"
            "k                            community_standards_plugin   4.0  SKIPPED\n"
            "\n"
            "2/4 passed (1 skipped, 5ms)\n"
            "Compliance: basic\n"
            "Overall score: 5.3\n"
            "\n"
            "To improve (unknown: nothing found to judge)\n"
            "Long (an_indicator_key_longer_than_28): 0.2, unknown\n"
            "  - Add a \\x1b[31mLICENSE.");
}

TEST(TextRenderer, EmptyComplianceIsNone) {
  Assessment a;
  a.compliance_level = "";
  auto text = TextRenderer().render(a);
  EXPECT_NE(text.find("\nCompliance: none\n"), std::string::npos);
}

Assessment small_assessment() {
  Assessment a;
  a.software = {"caf\xC3\xA9", std::nullopt};
  a.timestamp = "2026-01-01T00:00:00Z";
  a.profile = "fair4rs";
  a.ostrameld_version = "0.1.0";
  auto r = result("clear_license", "morvel", 10, CheckStatus::Pass);
  r.fair4rs_id = "R1.1";
  r.plugin_version = "0.1.0";
  r.output = "Detected MIT";
  a.indicators = {r};
  a.passed_indicators = {"clear_license"};
  a.overall_score = 10.0;
  a.compliance_level = std::nullopt;
  a.duration_ms = 3;
  return a;
}

TEST(JsonRenderer, SchemaMembersInOrder) {
  EXPECT_EQ(
      JsonRenderer().render(small_assessment(), Json{{"indent", nullptr}}),
      R"({"schema": "ostrameld-assessment/1", "ostrameld_version": "0.1.0", )"
      R"("software": {"name": "caf\u00e9", "url": null}, "git": {"shallow": false}, )"
      R"("timestamp": "2026-01-01T00:00:00Z", )"
      R"("profile": "fair4rs", "overall_score": 10.0, "compliance_level": null, "duration_ms": 3, )"
      R"("summary": {"total": 1, "passed": 1, "skipped": 0, "errors": 0}, "indicators": [{"indicator_id": )"
      R"("clear_license", "fair4rs_id": "R1.1", "plugin": "morvel", "plugin_version": "0.1.0", "score": 10.0, )"
      R"("status": "pass", "process": "", "output": "Detected MIT", "evidence": "", "advice": []}], "skipped": [], )"
      R"("errors": []})");
}

TEST(JsonRenderer, IndentOption) {
  auto a = small_assessment();
  auto two = JsonRenderer().render(a);
  EXPECT_EQ(two.substr(0, 45), "{\n  \"schema\": \"ostrameld-assessment/1\",\n  \"os");
  EXPECT_NE(two.back(), '\n');
  auto four = JsonRenderer().render(a, Json{{"indent", 4}});
  EXPECT_EQ(four.substr(0, 15), "{\n    \"schema\":");
  EXPECT_THROW(JsonRenderer().render(a, Json{{"indent", "x"}}), std::invalid_argument);
}

}  // namespace
}  // namespace ostrameld
