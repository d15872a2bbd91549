// Licence (R1.1, licence): which licence the software is under, told by the whole text of
// every licence file (root variants and REUSE's LICENSES/), REUSE.toml and .reuse/dep5,
// the SPDX headers of every source file and the licences the manifests declare, brought
// to one SPDX expression; a declaration that contradicts the texts is named.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class LicensingPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "licensing"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override {
    return "Licence texts, SPDX headers and declared licences as one SPDX expression (R1.1)";
  }
  std::span<const std::string_view> supported_indicators() const override;
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

// The licence identifiers an SPDX expression names, once each, in order ("MIT OR
// Apache-2.0" -> MIT, Apache-2.0); exceptions after WITH are not licences.
std::vector<std::string> spdx_expression_ids(std::string_view expression);

// A declared licence as one SPDX expression: R's forms ("GPL-2 | GPL-3", "MIT + file
// LICENSE"), SPDX URLs and the usual long names included.
std::string declared_expression(std::string_view declared);

// Whether a root file name is a licence file's: LICENSE*, LICENCE*, COPYING*, COPYRIGHT*,
// UNLICENSE*, and *-LICENSE* / *_LICENSE* (MIT-LICENSE.txt, LICENSE-APACHE).
bool is_licence_file_name(std::string_view name);

}  // namespace ostrameld
