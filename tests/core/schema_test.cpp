#include "ostrameld/core/schema.h"

#include <gtest/gtest.h>

namespace ostrameld {
namespace {

TEST(Schema, ErrorsSkippedAndNullsAreExplicit) {
  Assessment a;
  a.software.url = "https://example.org/x";
  a.compliance_level = "basic";
  CheckResult r;
  r.indicator_id = "continuous_integration";
  r.status = CheckStatus::Error;
  a.indicators = {r};
  a.skipped = {{"rich_metadata", "not selected (--indicator)"}};
  a.errors = {{"continuous_integration", "drumlet", "boom"}};
  Json doc = to_json(a);
  EXPECT_EQ(doc["software"]["url"], "https://example.org/x");
  EXPECT_EQ(doc["compliance_level"], "basic");
  EXPECT_TRUE(doc["indicators"][0]["fair4rs_id"].is_null());
  EXPECT_EQ(doc["indicators"][0]["status"], "error");
  EXPECT_EQ(doc["summary"], (Json{{"total", 1}, {"passed", 0}, {"skipped", 1}, {"errors", 1}}));
  EXPECT_EQ(doc["skipped"][0]["reason"], "not selected (--indicator)");
  EXPECT_EQ(doc["errors"][0], (Json{{"indicator_id", "continuous_integration"},
                                    {"plugin", "drumlet"},
                                    {"message", "boom"}}));
  std::vector<std::string> keys;
  for (const auto& [k, v] : doc.items()) keys.push_back(k);
  EXPECT_EQ(keys,
            (std::vector<std::string>{"schema", "ostrameld_version", "software", "git", "timestamp",
                                      "profile", "overall_score", "compliance_level", "duration_ms",
                                      "summary", "indicators", "skipped", "errors"}));
}

}  // namespace
}  // namespace ostrameld
