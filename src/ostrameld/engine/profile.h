// Assessment profiles: which indicators run, in which order, with which plugin and weight,
// and what each compliance level asks of them.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace ostrameld {

struct IndicatorSpec {
  std::string_view key;
  std::optional<std::string_view> fair4rs_id;  // absent for informative indicators
  std::string_view plugin;  // empty: not built yet (listed as skipped, never silently absent)
  double weight;            // 0 = informative, not part of the overall score
  std::string_view title;   // for people: reports and advice; keys stay the identifiers
};

// "basic" asks every `basic` key to pass; "intermediate" adds that every `intermediate`
// key passes or warns and the overall score reaches 6.0; "advanced" adds 8.0 and every
// weighted indicator passing.
struct ComplianceRule {
  std::span<const std::string_view> basic;
  std::span<const std::string_view> intermediate;
};

struct Profile {
  std::string_view name;
  std::string_view description;
  std::span<const IndicatorSpec> indicators;
  ComplianceRule compliance;
  bool with_facts = false;  // every result carries machine-readable facts

  const IndicatorSpec* find(std::string_view key) const;
};

// The default profile: the FAIR4RS indicators plus continuous integration.
const Profile& fair4rs_profile();
// Every FAIR4RS principle, judged as an expert in each ecosystem would (opt-in).
const Profile& fair4rs_full_profile();
// Every profile, the default first.
std::span<const Profile* const> profiles();
// Null for an unknown name.
const Profile* find_profile(std::string_view name);
// The profile whose indicators include the key; the default one first.
const Profile* profile_of_indicator(std::string_view key);

}  // namespace ostrameld
