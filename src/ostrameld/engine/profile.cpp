#include "ostrameld/engine/profile.h"

#include <array>

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

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
constexpr std::array kFair4rsBasic{"clear_license"sv, "descriptive_attributes"sv};
constexpr std::array kFair4rsIntermediate{"rich_metadata"sv, "metadata_self_reference"sv,
                                          "version_identifiers"sv, "development_provenance"sv};

// In the order of the principles. Keys that differ from the default profile's name a
// different judgment of the same principle: the profiles never share a key with two
// meanings.
constexpr std::array<IndicatorSpec, 16> kFair4rsFull{{
    {"persistent_identifier", "F1", "identifiers", 1.0, "Persistent identifier"},
    {"component_identifiers", "F1.1", "components", 1.0, "Components identified"},
    {"release_versions", "F1.2", "versions", 1.0, "Release versions"},
    {"citation_metadata", "F2", "citation", 1.0, "Citation metadata"},
    {"metadata_self_reference", "F3", "sorrath", 1.0, "Metadata naming the software"},
    {"searchable_metadata", "F4", "sorrath", 1.0, "Searchable metadata files"},
    {"open_access", "A1, A1.1, A1.2", "access", 1.0, "Open access to the source"},
    {"metadata_archived", "A2", "archives", 1.0, "Metadata archived"},
    {"standard_formats", "I1", "formats", 0.0, "Standard formats"},
    {"qualified_references", "I2", "references", 1.0, "Qualified references"},
    {"documentation", "R1", "docs", 1.0, "Documentation"},
    {"metadata_consistency", "R1", "consistency", 1.0, "Consistent metadata"},
    {"licence", "R1.1", "licensing", 1.0, "Licence"},
    {"provenance", "R1.2", "history", 1.0, "Provenance"},
    {"software_dependencies", "R2", "dependencies", 1.0, "Dependencies declared"},
    {"community", "R3", "community", 1.0, "Community and tests"},
}};
constexpr std::array kFullBasic{"licence"sv, "documentation"sv};
constexpr std::array kFullIntermediate{"persistent_identifier"sv, "citation_metadata"sv,
                                       "release_versions"sv, "provenance"sv};

}  // namespace

const IndicatorSpec* Profile::find(std::string_view key) const {
  for (const auto& spec : indicators)
    if (spec.key == key) return &spec;
  return nullptr;
}

const Profile& fair4rs_profile() {
  static const Profile profile{"fair4rs",
                               "the FAIR4RS indicators, as the default assessment judges them",
                               kFair4rs,
                               {kFair4rsBasic, kFair4rsIntermediate},
                               false};
  return profile;
}

const Profile& fair4rs_full_profile() {
  static const Profile profile{"fair4rs-full",
                               "every FAIR4RS principle, as an expert in each ecosystem judges it",
                               kFair4rsFull,
                               {kFullBasic, kFullIntermediate},
                               true};
  return profile;
}

std::span<const Profile* const> profiles() {
  static const std::array<const Profile*, 2> all{&fair4rs_profile(), &fair4rs_full_profile()};
  return all;
}

const Profile* find_profile(std::string_view name) {
  for (const Profile* p : profiles())
    if (p->name == name) return p;
  return nullptr;
}

const Profile* profile_of_indicator(std::string_view key) {
  for (const Profile* p : profiles())
    if (p->find(key)) return p;
  return nullptr;
}

}  // namespace ostrameld
