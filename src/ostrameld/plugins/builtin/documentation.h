// Documentation check (R1, descriptive_attributes): README size, a documentation
// directory with pages, and a documentation-tool configuration.
#pragma once

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class DocumentationPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "documentation"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override {
    return "Checks README presence, length, and key sections like installation and usage.";
  }
  std::span<const std::string_view> supported_indicators() const override;
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

}  // namespace ostrameld
