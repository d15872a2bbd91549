// Release versions (F1.2, release_versions): every version tag, not only the latest: one
// scheme (SemVer 2.0 exactly, PEP 440 or CalVer; a package prefix such as "Plots-v" is the
// tag's, not the version's), each version once, and the newest release (by the scheme's
// order, not by date) the version the metadata declares. Online, the forge's releases too.
#pragma once

#include "ostrameld/plugins/base.h"

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

}  // namespace ostrameld
