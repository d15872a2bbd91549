// Community-standards check (R3, community_standards): community documents, tests,
// CI and code-style configuration, with partial credit for each.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ostrameld/plugins/base.h"
#include "ostrameld/utils/files.h"

namespace ostrameld {

class QuenbyPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "community_standards"; }
  std::string_view version() const override { return "0.2.0"; }
  std::string_view description() const override {
    return "Checks for community-standard files (CONTRIBUTING, CODE_OF_CONDUCT, SECURITY, "
           "GOVERNANCE), test "
           "presence, CI configuration, and code-style configs. Awards partial credit per concern; "
           "caps at 10.";
  }
  std::span<const std::string_view> supported_indicators() const override;
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

namespace quenby {
// Test directories at the root and one level down, else root files named like tests.
std::pair<bool, std::vector<std::string>> has_tests(const Path& repo);
// Distinct CI names, sorted; any error from CI discovery counts as no CI.
std::vector<std::string> has_ci(const Path& repo);
// The first style configuration found, or pyproject.toml with a formatter section.
std::optional<std::string> has_style_config(const Path& repo);
}  // namespace quenby

}  // namespace ostrameld
