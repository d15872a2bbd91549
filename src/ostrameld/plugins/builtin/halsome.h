// Development provenance (R1.2, development_provenance): is the software developed
// under git with a traceable history? Reads only the git metadata of the context.
#pragma once

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class HalsomePlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "halsome"; }
  std::string_view version() const override { return "0.1.0"; }
  std::span<const std::string_view> supported_indicators() const override;
  bool requires_git() const override { return true; }
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

}  // namespace ostrameld
