// Dependencies declared (R2, software_dependencies): the runtime dependencies each
// ecosystem's manifests declare (PEP 508, conda, DESCRIPTION, npm, Cargo, Maven, Julia's
// [compat], go.mod, Gemfile, CMake's find_package, vcpkg, conan) and whether each has a
// version constraint or a lock file pins it. A project that declares nothing though its
// code imports packages fails; one that imports nothing passes and says so.
#pragma once

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class DependenciesPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "dependencies"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override {
    return "Dependencies declared with version constraints or locked (R2)";
  }
  std::span<const std::string_view> supported_indicators() const override;
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

}  // namespace ostrameld
