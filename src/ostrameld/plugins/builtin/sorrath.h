// Metadata check: self-reference (F3, metadata_self_reference) tallied across the
// metadata files, and searchability (F4, searchable_metadata) from which files exist.
#pragma once

#include <optional>
#include <string>
#include <string_view>
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

// Scoring of a file's text (nothing: the file exists but cannot be read as UTF-8).
Score codemeta_from_text(const std::optional<std::string>& text);
Score citation_cff_from_text(std::string_view text);
Score package_json_from_text(const std::optional<std::string>& text);
Score pyproject_from_text(const std::optional<std::string>& text);
Score setup_cfg_from_text(const std::optional<std::string>& text);
Score setup_py_from_text(const std::optional<std::string>& text);

Score score_codemeta(const Path& repo);
Score score_citation_cff(const Path& repo);
Score score_package_json(const Path& repo);
Score score_pyproject(const Path& repo);
Score score_setup_cfg(const Path& repo);
Score score_setup_py(const Path& repo);
}  // namespace sorrath

}  // namespace ostrameld
