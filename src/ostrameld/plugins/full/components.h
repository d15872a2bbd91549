// Components identified (F1.1, component_identifiers): in a workspace or multi-package
// repository (Cargo, npm/pnpm/yarn/lerna, several Python packages, Maven modules, Julia
// subpackages) each component has its own name and version. One component is skipped:
// the repository's identifier names it.
#pragma once

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class ComponentIdentifiersPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "components"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override {
    return "Each component of a multi-package repository named and versioned (F1.1)";
  }
  std::span<const std::string_view> supported_indicators() const override;
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

}  // namespace ostrameld
