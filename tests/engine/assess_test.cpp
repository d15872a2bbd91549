#include "ostrameld/engine/assess.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <stdexcept>

#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::TempRepo;

// A plugin whose answer the test chooses, or which throws.
class FakePlugin final : public BasePlugin {
 public:
  FakePlugin(std::string name, double score, bool throws = false)
      : name_(std::move(name)), score_(score), throws_(throws) {}
  std::string_view name() const override { return name_; }
  std::string_view version() const override { return "9.9.9"; }
  std::span<const std::string_view> supported_indicators() const override { return {}; }
  CheckResult check(std::string_view key, const Context&) const override {
    if (throws_) throw std::runtime_error("disk on fire");
    return make_result(key, {.score = score_});
  }

 private:
  std::string name_;
  double score_;
  bool throws_;
};

CheckResult with(std::string key, double score, CheckStatus status) {
  CheckResult r;
  r.indicator_id = std::move(key);
  r.score = score;
  r.status = status;
  return r;
}

// Unknown (nothing found) counts with its score, so that finding something can only
// raise the mean; broken and skipped checks say nothing.
TEST(OverallScore, WeightedMeanOfJudgedResults) {
  const Profile& p = fair4rs_profile();
  EXPECT_EQ(overall_score({}, p), 0.0);
  EXPECT_EQ(overall_score({with("clear_license", 10, CheckStatus::Pass),
                           with("rich_metadata", 5, CheckStatus::Warn),
                           with("searchable_metadata", 0, CheckStatus::Unknown),
                           with("community_standards", 0, CheckStatus::Error),
                           with("version_identifiers", 0, CheckStatus::Skipped),
                           with("continuous_integration", 0, CheckStatus::Fail)},
                          p),
            5.0);
  EXPECT_EQ(overall_score({with("continuous_integration", 10, CheckStatus::Pass)}, p), 0.0);
}

TEST(OverallScore, AFailedWeightedIndicatorLowersIt) {
  const Profile& p = fair4rs_profile();
  std::vector<CheckResult> results{with("clear_license", 10, CheckStatus::Pass),
                                   with("rich_metadata", 10, CheckStatus::Pass)};
  EXPECT_EQ(overall_score(results, p), 10.0);
  results.push_back(with("version_identifiers", 1, CheckStatus::Fail));
  EXPECT_EQ(overall_score(results, p), 7.0);
}

// Every indicator of the profile passing with 9.
std::vector<CheckResult> all_passing(const Profile& p) {
  std::vector<CheckResult> all_pass;
  for (const auto& spec : p.indicators)
    all_pass.push_back(with(std::string(spec.key), 9, CheckStatus::Pass));
  return all_pass;
}

TEST(Compliance, ThresholdsAreInclusive) {
  const Profile& p = fair4rs_profile();
  const auto all_pass = all_passing(p);
  EXPECT_EQ(compliance_level(all_pass, 8.0, p), "advanced");
  EXPECT_EQ(compliance_level(all_pass, std::nextafter(8.0, 0.0), p), "intermediate");
  EXPECT_EQ(compliance_level(all_pass, 6.0, p), "intermediate");
  EXPECT_EQ(compliance_level(all_pass, std::nextafter(6.0, 0.0), p), "basic");
}

TEST(Compliance, Levels) {
  const Profile& p = fair4rs_profile();
  const auto all_pass = all_passing(p);
  EXPECT_EQ(compliance_level(all_pass, 9.0, p), "advanced");
  EXPECT_EQ(compliance_level(all_pass, 7.9, p), "intermediate");
  EXPECT_EQ(compliance_level(all_pass, 5.9, p), "basic");

  // Intermediate needs the metadata, release and provenance indicators to pass or warn:
  // nothing found, or not run, is not enough.
  auto unknown_rich = all_pass;
  unknown_rich[5] = with("rich_metadata", 0, CheckStatus::Unknown);
  EXPECT_EQ(compliance_level(unknown_rich, 8.5, p), "basic");
  auto warned_releases = all_pass;
  warned_releases[6] = with("version_identifiers", 5, CheckStatus::Warn);
  EXPECT_EQ(compliance_level(warned_releases, 8.5, p), "intermediate");
  auto without_provenance = all_pass;
  without_provenance.erase(without_provenance.begin() + 7);
  EXPECT_EQ(compliance_level(without_provenance, 8.5, p), "basic");
  auto failed_provenance = all_pass;
  failed_provenance[7] = with("development_provenance", 0, CheckStatus::Fail);
  EXPECT_EQ(compliance_level(failed_provenance, 9.0, p), "basic");
  auto erred_rich = all_pass;
  erred_rich[5] = with("rich_metadata", 0, CheckStatus::Error);
  EXPECT_EQ(compliance_level(erred_rich, 9.0, p), "basic");
  auto no_licence = all_pass;
  no_licence[0] = with("clear_license", 5, CheckStatus::Warn);
  EXPECT_EQ(compliance_level(no_licence, 9.0, p), std::nullopt);
  // The informative CI indicator does not hold back "advanced".
  auto ci_fails = all_pass;
  ci_fails[8] = with("continuous_integration", 0, CheckStatus::Fail);
  EXPECT_EQ(compliance_level(ci_fails, 9.0, p), "advanced");
}

TEST(Assess, ThrowingCheckBecomesAnErrorRowAndTheRunGoesOn) {
  constexpr std::array<IndicatorSpec, 3> specs{{
      {"clear_license", "R1.1", "good", 1.0},
      {"rich_metadata", "F2", "broken", 1.0},
      {"searchable_metadata", "F4", "missing", 1.0},
  }};
  Profile profile{"test", "", specs, {}};
  PluginRegistry registry;
  registry.add(std::make_unique<FakePlugin>("good", 8.0));
  registry.add(std::make_unique<FakePlugin>("broken", 0.0, true));
  TempRepo repo;
  Assessment a = assess_repository(repo.path(), {}, registry, profile);

  ASSERT_EQ(a.indicators.size(), 2u);
  EXPECT_EQ(a.indicators[0].status, CheckStatus::Pass);
  EXPECT_EQ(a.indicators[0].fair4rs_id, "R1.1");
  EXPECT_EQ(a.indicators[0].plugin_version, "9.9.9");
  EXPECT_EQ(a.indicators[1].status, CheckStatus::Error);
  EXPECT_EQ(a.indicators[1].output, "disk on fire");
  ASSERT_EQ(a.errors.size(), 1u);
  EXPECT_EQ(a.errors[0].indicator_id, "rich_metadata");
  EXPECT_EQ(a.errors[0].plugin, "broken");
  EXPECT_EQ(a.errors[0].message, "disk on fire");
  ASSERT_EQ(a.skipped.size(), 1u);
  EXPECT_EQ(a.skipped[0].indicator_id, "searchable_metadata");
  EXPECT_EQ(a.passed_indicators, std::vector<std::string>{"clear_license"});
  EXPECT_EQ(a.overall_score, 8.0);  // the error row does not count
  EXPECT_EQ(a.profile, "test");
  EXPECT_EQ(a.software.name, repo.path().filename().string());
}

TEST(Assess, IndicatorSelectionSkipsTheRest) {
  TempRepo repo;
  AssessOptions opts;
  opts.only = {"clear_license"};
  Assessment a = assess_repository(repo.path(), opts);
  ASSERT_EQ(a.indicators.size(), 1u);
  EXPECT_EQ(a.indicators[0].indicator_id, "clear_license");
  EXPECT_EQ(a.skipped.size(), fair4rs_profile().indicators.size() - 1);
  for (const auto& s : a.skipped) EXPECT_EQ(s.reason, "not selected (--indicator)");
}

TEST(Registry, RejectsEmptyAndDuplicateNames) {
  PluginRegistry r;
  r.add(std::make_unique<FakePlugin>("one", 1));
  EXPECT_THROW(r.add(std::make_unique<FakePlugin>("one", 2)), std::invalid_argument);
  EXPECT_THROW(r.add(std::make_unique<FakePlugin>("", 2)), std::invalid_argument);
  EXPECT_NE(r.find("one"), nullptr);
  EXPECT_EQ(r.find("two"), nullptr);
}

TEST(Registry, EveryProfileIndicatorHasItsBuiltinPlugin) {
  for (const Profile* profile : profiles()) {
    SCOPED_TRACE(std::string(profile->name));
    for (const auto& spec : profile->indicators) {
      if (spec.plugin.empty()) continue;  // not built yet: listed as skipped
      const BasePlugin* plugin = builtin_registry().find(spec.plugin);
      ASSERT_NE(plugin, nullptr) << spec.key;
      auto keys = plugin->supported_indicators();
      // The CI plugin declares no indicator of its own; every other plugin declares its key.
      if (!keys.empty()) {
        EXPECT_NE(std::find(keys.begin(), keys.end(), spec.key), keys.end()) << spec.key;
      }
    }
  }
  // Every key a plugin scores belongs to a profile, with that plugin.
  for (const auto& plugin : builtin_registry().plugins()) {
    for (auto key : plugin->supported_indicators()) {
      const Profile* profile = profile_of_indicator(key);
      ASSERT_NE(profile, nullptr) << key;
      EXPECT_EQ(profile->find(key)->plugin, plugin->name()) << key;
    }
  }
}

// The profiles never share a key with two meanings: a key in both is judged by the same
// plugin with the same weight and principle.
TEST(Registry, ProfilesShareOnlyKeysOfTheSameMeaning) {
  const Profile& full = fair4rs_full_profile();
  for (const auto& spec : fair4rs_profile().indicators) {
    const IndicatorSpec* other = full.find(spec.key);
    if (!other) continue;
    EXPECT_EQ(other->plugin, spec.plugin) << spec.key;
    EXPECT_EQ(other->weight, spec.weight) << spec.key;
    EXPECT_EQ(other->fair4rs_id, spec.fair4rs_id) << spec.key;
  }
}

}  // namespace
}  // namespace ostrameld
