// Releases and version identifiers (F1.2, version_identifiers): published releases on
// the forge and how many carry semantic versions, else the latest local tag.
#pragma once

#include <string_view>

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class ReleasesPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "releases"; }
  std::string_view version() const override { return "0.1.0"; }
  std::span<const std::string_view> supported_indicators() const override;
  // Works without forge access: it falls back to local tags.
  bool requires_forge() const override { return false; }
  bool requires_git() const override { return true; }  // remote and tags
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;

 private:
  CheckResult check_releases(const Context& ctx, std::string_view indicator_id) const;
};

// v?MAJOR.MINOR.PATCH with optional pre-release and build parts, and nothing else.
bool is_semver(std::string_view tag);

}  // namespace ostrameld
