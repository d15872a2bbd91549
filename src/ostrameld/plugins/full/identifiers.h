// Persistent identifier (F1, persistent_identifier): a DOI or SWHID that names this
// software, from the citation and metadata files and the README; papers about the
// software are references, not identifiers. A SWHID is looked up in the local history;
// online, the DOI's registration (and for Zenodo, concept or version) is confirmed.
#pragma once

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class PersistentIdentifierPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "identifiers"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override {
    return "A DOI or SWHID naming the software (F1)";
  }
  std::span<const std::string_view> supported_indicators() const override;
  bool requires_git() const override { return true; }
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

}  // namespace ostrameld
