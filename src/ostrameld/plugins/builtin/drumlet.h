// CI workflow check: is there CI configuration, and does it run tests? Declares no
// indicator of its own; the host calls it with "continuous_integration".
#pragma once

#include <string_view>
#include <vector>

#include "ostrameld/plugins/base.h"
#include "ostrameld/utils/ci.h"

namespace ostrameld {

class DrumletPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "drumlet"; }
  std::string_view version() const override { return "0.1.0"; }
  std::span<const std::string_view> supported_indicators() const override { return {}; }
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;

 private:
  CheckResult check_ci(const Context& ctx, std::string_view indicator_id) const;
};

// Whether CI text names a test step: a word of its own (letters and digits) that is
// pytest, test, spec, check or unittest, optionally plural, or that begins with "test".
bool has_test_step(std::string_view text);

}  // namespace ostrameld
