#include "ostrameld/engine/profile.h"

#include <array>

namespace ostrameld {

namespace {

constexpr std::array<IndicatorSpec, 9> kFair4rs{{
    {"clear_license", "R1.1", "morvel", 1.0, "Clear licence"},
    {"descriptive_attributes", "R1", "documentation", 1.0, "Documentation"},
    {"community_standards", "R3", "community_standards", 1.0, "Community standards"},
    {"metadata_self_reference", "F3", "sorrath", 1.0, "Metadata naming the software"},
    {"searchable_metadata", "F4", "sorrath", 1.0, "Searchable metadata files"},
    {"rich_metadata", "F2", "bellwyn", 1.0, "Citation file"},
    {"version_identifiers", "F1.2", "releases", 1.0, "Version identifiers"},
    {"development_provenance", "R1.2", "halsome", 1.0, "Development provenance"},
    {"continuous_integration", std::nullopt, "drumlet", 0.0, "Tests in CI"},
}};

}  // namespace

const IndicatorSpec* Profile::find(std::string_view key) const {
  for (const auto& spec : indicators)
    if (spec.key == key) return &spec;
  return nullptr;
}

const Profile& fair4rs_profile() {
  static const Profile profile{"fair4rs", kFair4rs};
  return profile;
}

}  // namespace ostrameld
