// Release versions as the schemes define them: SemVer 2.0 (exactly: no leading zeros),
// PEP 440 (canonical public versions) and CalVer (YYYY.MM[.DD][.N]); what of a tag is a
// prefix ("v", "release-", a package name as in "Plots-v1.41.7"); and their order.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrameld {

enum class VersionScheme { SemVer, Pep440, CalVer, Other };

std::string_view scheme_name(VersionScheme s);  // "semver", "pep440", "calver", "other"

struct Version {
  std::string prefix;  // "v", "Plots-v", "release-", "" ...
  std::string text;    // the version part as written, "1.2.0-rc.1"
  VersionScheme scheme = VersionScheme::Other;
  std::vector<long long> release;  // numbers of the release part
  bool prerelease = false;         // rc, alpha, dev, -beta.1 ...
  std::string pre;                 // the pre-release part, for ordering
  long long post = -1;             // PEP 440 .postN
};

// A tag that looks like a version (digits and dots after an optional prefix): what it is.
// Nothing for tags that are no version at all ("latest", "paper-submission").
std::optional<Version> version_of_tag(std::string_view tag);
// A version as a metadata file declares it ("1.2.0", "v1.2", "2024.03.1"); nothing when it
// has no version form.
std::optional<Version> parse_version(std::string_view text);

// Orders two versions: releases by their numbers (1.2 == 1.2.0), a pre-release before
// its release, a post-release after it.
int compare_versions(const Version& a, const Version& b);
bool same_version(const Version& a, const Version& b);

}  // namespace ostrameld
