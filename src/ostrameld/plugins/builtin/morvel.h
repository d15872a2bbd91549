// Licence check (R1.1, clear_license): a REUSE LICENSES/ directory, a licence file
// matched against well-known licence texts, or SPDX headers in source files.
#pragma once

#include <optional>
#include <string>

#include "ostrameld/plugins/base.h"
#include "ostrameld/utils/files.h"

namespace ostrameld {

class MorvelPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "morvel"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override {
    return "Checks for a recognized open-source license file and SPDX identifier.";
  }
  std::span<const std::string_view> supported_indicators() const override;
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

// The SPDX id of a licence text: rows matched against the title first, then the whole text.
std::optional<std::string> detect_spdx(std::string_view content);
// The identifier of the first SPDX-License-Identifier header in a file's first characters.
std::optional<std::string> spdx_header_in(std::string_view head);
// The first SPDX-License-Identifier header among at most 20 sampled source files.
std::optional<std::string> scan_spdx_headers(const Path& repo);

}  // namespace ostrameld
