// Standard formats (I1, standard_formats, informative): schemas, workflow languages and
// format libraries among the dependencies: what makes data and interfaces interoperable.
#pragma once

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class StandardFormatsPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "formats"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override { return "Standard formats and schemas (I1)"; }
  std::span<const std::string_view> supported_indicators() const override;
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

}  // namespace ostrameld
