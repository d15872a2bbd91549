// Citation file check (F2, rich_metadata): a citation file, and a CITATION.cff with
// the structure the Citation File Format requires.
#pragma once

#include <string>
#include <utility>

#include "ostrameld/plugins/base.h"
#include "ostrameld/utils/files.h"

namespace ostrameld {

class BellwynPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "bellwyn"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override {
    return "Looks for CITATION.cff or codemeta.json with metadata fields.";
  }
  std::span<const std::string_view> supported_indicators() const override;
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

// (valid, message): the structural validation of a CFF file; never throws for an
// unreadable or malformed file.
std::pair<bool, std::string> basic_cff_check(const Path& path, const Path& repo);
// The same validation on text already read.
std::pair<bool, std::string> validate_cff(std::string_view text);

}  // namespace ostrameld
