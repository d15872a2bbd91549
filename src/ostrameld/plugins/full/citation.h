// Citation metadata (F2, citation_metadata): CITATION.cff loaded as YAML 1.1 and validated
// against the official CFF 1.2.0 JSON Schema, plus what Zenodo needs of it (names for every
// author, valid ORCID check digits, one licence, a version not older than the newest
// release); codemeta.json's completeness.
#pragma once

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class CitationPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "citation"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override {
    return "CITATION.cff valid against the CFF schema; codemeta.json complete (F2)";
  }
  std::span<const std::string_view> supported_indicators() const override;
  bool requires_git() const override { return true; }
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

}  // namespace ostrameld
