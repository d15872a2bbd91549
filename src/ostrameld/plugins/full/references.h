// Qualified references (I2, qualified_references): references to other objects with
// identifiers and relations: CITATION.cff's references and preferred-citation, codemeta's
// referencePublication, citation and isBasedOn, .zenodo.json's related identifiers, a
// JOSS paper.bib.
#pragma once

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class QualifiedReferencesPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "references"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override { return "References with identifiers (I2)"; }
  std::span<const std::string_view> supported_indicators() const override;
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

}  // namespace ostrameld
