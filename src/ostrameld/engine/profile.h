// Assessment profiles: which indicators run, in which order, with which plugin and weight.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace ostrameld {

struct IndicatorSpec {
  std::string_view key;
  std::optional<std::string_view> fair4rs_id;  // absent for informative indicators
  std::string_view plugin;
  double weight;           // 0 = informative, not part of the overall score
  std::string_view title;  // for people: reports and advice; keys stay the identifiers
};

struct Profile {
  std::string_view name;
  std::span<const IndicatorSpec> indicators;

  const IndicatorSpec* find(std::string_view key) const;
};

// The default profile: the FAIR4RS indicators plus continuous integration.
const Profile& fair4rs_profile();

}  // namespace ostrameld
