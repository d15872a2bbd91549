// Metadata archived (A2, metadata_archived): the metadata outlives the repository: an
// archive DOI, a SWHID or a package-registry record evidenced in the repository; online,
// one request per service confirms it.
#pragma once

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class MetadataArchivedPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "archives"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override { return "Metadata kept by an archive or registry (A2)"; }
  std::span<const std::string_view> supported_indicators() const override;
  bool requires_git() const override { return true; }
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

}  // namespace ostrameld
