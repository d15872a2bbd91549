// Release versions (F1.2, release_versions): every version tag, not only the latest: one
// scheme (SemVer 2.0 exactly, PEP 440 or CalVer; a package prefix such as "Plots-v" is the
// tag's, not the version's), each version once, and the newest release (by the scheme's
// order, not by date) the version the metadata declares. Online, the forge's releases too.
#pragma once

#include <optional>
#include <vector>

#include "ostrameld/plugins/base.h"
#include "ostrameld/utils/versions.h"

namespace ostrameld {

class VersionsPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "versions"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override { return "Every release tag a version of one scheme (F1.2)"; }
  std::span<const std::string_view> supported_indicators() const override;
  bool requires_git() const override { return true; }
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

// The version the project's metadata declares, and where: the first package manifest that
// gives one, else CITATION.cff or codemeta.json. Empty when none does.
struct DeclaredVersion {
  std::string version;
  std::string source;
};
DeclaredVersion declared_version(const struct ProjectMetadata& m);

// A tag read as a version.
struct TaggedVersion {
  std::string tag;
  Version v;
};
// The tags that name releases, read as versions; `ignored` gets the others (a packager's
// or a paper's tags, Julia's documentation builds of a release, tags that are no version).
std::vector<TaggedVersion> release_tags(const std::vector<std::string>& tags, std::vector<std::string>* ignored = nullptr);
// A repository of several packages tags each by its name ("DiffEqBase-v7.18.1"): the
// package whose tags are the project's own — named as the root's manifests or the
// repository name it, or unnamed, carrying the highest version. Empty when the tags name
// one package only.
std::optional<std::string> root_package(const std::vector<TaggedVersion>& versions, const Context& ctx);
// The package a tag's prefix names: the prefix without its "v", lower case.
std::string tag_package(const Version& v);
// The newest release of the root package: the highest version that is no pre-release.
const TaggedVersion* newest_release(const std::vector<TaggedVersion>& versions, const std::optional<std::string>& root);

}  // namespace ostrameld
