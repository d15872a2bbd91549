// Consistent metadata (R1, metadata_consistency): version, licence, name, authors and
// repository URL agree across CITATION.cff, codemeta.json, .zenodo.json, the package
// manifests and the newest version tag, each compared in its normal form; every
// disagreement named with its sources and which to change. Unknown with fewer than two.
#pragma once

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class ConsistencyPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "consistency"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override {
    return "Version, licence, name, authors and repository agree across the metadata (R1)";
  }
  std::span<const std::string_view> supported_indicators() const override;
  bool requires_git() const override { return true; }
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

}  // namespace ostrameld
