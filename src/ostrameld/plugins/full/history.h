// Provenance (R1.2, provenance): a history of commits, a public remote (a local path or
// file:// is none), a changelog, and authors identified by ORCIDs whose check digit holds.
// A repository without a commit has no provenance at all.
#pragma once

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class HistoryPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "history"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override {
    return "Commits, a public remote, a changelog and authors' ORCIDs (R1.2)";
  }
  std::span<const std::string_view> supported_indicators() const override;
  bool requires_git() const override { return true; }
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

}  // namespace ostrameld
