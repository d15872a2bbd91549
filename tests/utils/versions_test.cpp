#include "ostrameld/utils/versions.h"

#include <gtest/gtest.h>

namespace ostrameld {
namespace {

TEST(Versions, TagsReadByTheirScheme) {
  struct {
    const char* tag;
    const char* prefix;  // nullptr: no version at all
    VersionScheme scheme;
    bool prerelease;
  } cases[] = {
      {"v1.2.3", "v", VersionScheme::SemVer, false},
      {"1.2.3-rc.1+build.5", "", VersionScheme::SemVer, true},
      {"v01.2.3", "v", VersionScheme::Other, false},  // SemVer has no leading zeros
      {"1.2", "", VersionScheme::Pep440, false},
      {"v2.0.0rc1", "v", VersionScheme::Pep440, true},
      {"1.0.post2", "", VersionScheme::Pep440, false},
      {"3.1.dev4", "", VersionScheme::Pep440, true},
      {"2024.03", "", VersionScheme::CalVer, false},
      {"v2023.12.31.2", "v", VersionScheme::CalVer, false},
      {"2024.13.1", "", VersionScheme::SemVer, false},  // no month 13: a SemVer version
      {"Plots-v1.41.7", "Plots-v", VersionScheme::SemVer, false},
      {"git-5.10.1", "git-", VersionScheme::SemVer, false},
      {"@org/core@2.1.0", "@org/core@", VersionScheme::SemVer, false},
      {"release-3.8-6", "release-", VersionScheme::Pep440, false},  // R's 3.8-6, PEP 440's 3.8.post6
      // PEP 440 as pip reads it, after normalisation.
      {"v2022.06.0rc0", "v", VersionScheme::CalVer, true},
      {"0.2.0alpha", "", VersionScheme::Pep440, true},
      {"3.10-RC1", "", VersionScheme::Pep440, true},
      {"1.0.0-alpha-1", "", VersionScheme::SemVer, true},
      {"2.0-RC1", "", VersionScheme::Pep440, true},
      // Julia's documentation builds of a release are no release of their own.
      {"v1.2.3+docs", "v", VersionScheme::SemVer, false},
      {"paper-submission", nullptr, VersionScheme::Other, false},
      {"latest", nullptr, VersionScheme::Other, false},
      {"v1", nullptr, VersionScheme::Other, false},  // one number is no version form here
      {"python3.8-compat", nullptr, VersionScheme::Other, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    auto v = version_of_tag(c.tag);
    ASSERT_EQ(v.has_value(), c.prefix != nullptr);
    if (!v) continue;
    EXPECT_EQ(v->prefix, c.prefix);
    EXPECT_EQ(v->scheme, c.scheme);
    EXPECT_EQ(v->prerelease, c.prerelease);
  }
}

TEST(Versions, OrderOfEachScheme) {
  struct {
    const char* a;
    const char* b;
    int order;
  } cases[] = {
      {"1.2", "1.2.0", 0},          {"v1.10.0", "1.9.9", 1},     {"1.0.0-rc.2", "1.0.0-rc.10", -1},
      {"1.0.0-alpha", "1.0.0-alpha.1", -1}, {"1.0.0-rc.1", "1.0.0", -1},   {"1.0.0rc1", "1.0.0", -1},
      {"1.0.dev1", "1.0a1", -1},    {"1.0.post1", "1.0", 1},     {"2024.03", "2023.12.5", 1},
      // Forms PEP 440 normalises: the same version as their normal form.
      {"0.2.0alpha", "0.2.0a0", 0}, {"0.2.0alpha", "0.2.0", -1}, {"3.10-RC1", "3.10rc1", 0},
      {"3.10-RC1", "3.10rc2", -1},  {"1.1-7", "1.1.post7", 0},  {"1.1-7", "1.1-10", -1},
      {"2022.06.0rc0", "2022.06.0", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    auto a = parse_version(c.a), b = parse_version(c.b);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(compare_versions(*a, *b), c.order);
    EXPECT_EQ(compare_versions(*b, *a), -c.order);
  }
}

}  // namespace
}  // namespace ostrameld
