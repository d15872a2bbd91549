// The metadata files written from what a repository says: CITATION.cff (CFF 1.2.0),
// codemeta.json (CodeMeta 3.0, through its crosswalk), .zenodo.json and a licence text.
// Each leaves out what no source gives.
#pragma once

#include <optional>
#include <string>

#include "ostrameld/fix/facts.h"

namespace ostrameld::fix {

// CITATION.cff, or nothing when it cannot be valid (no title or no author anywhere).
std::optional<std::string> citation_cff(const SoftwareFacts& f);
// codemeta.json, or nothing without a name.
std::optional<std::string> codemeta_json(const SoftwareFacts& f);
// .zenodo.json, or nothing without a title or creators.
std::optional<std::string> zenodo_json(const SoftwareFacts& f);
// The standard text of a licence with its year and holder filled in, or nothing when the
// program carries no text for `spdx_id`, or the text asks for a holder no source names.
std::optional<std::string> licence_text(const SoftwareFacts& f, std::string_view spdx_id);

}  // namespace ostrameld::fix
