// Metadata check: self-reference (F3, metadata_self_reference) tallied across the
// metadata files, and searchability (F4, searchable_metadata) from which files exist.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ostrameld/plugins/base.h"
#include "ostrameld/utils/files.h"

namespace ostrameld {

class SorrathPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "sorrath"; }
  std::string_view version() const override { return "0.2.0"; }
  std::span<const std::string_view> supported_indicators() const override;
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;

 private:
  CheckResult check_self_reference(const Context& ctx) const;
  CheckResult check_searchable(const Context& ctx) const;
};

namespace sorrath {
// A partial score and the signal labels behind it, in emission order.
using Score = std::pair<double, std::vector<std::string>>;

Score score_codemeta(const Path& repo);
Score score_citation_cff(const Path& repo);
Score score_package_json(const Path& repo);
Score score_pyproject(const Path& repo);
Score score_setup_cfg(const Path& repo);
Score score_setup_py(const Path& repo);
}  // namespace sorrath

}  // namespace ostrameld
