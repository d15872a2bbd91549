// CITATION.cff checked against the official CFF 1.2.0 JSON Schema (draft-07, through
// valijson), each error as a short path and reason: "authors[0]: needs family-names or
// name", "doi: not a DOI".
#pragma once

#include <string>
#include <vector>

#include "ostrameld/utils/json.h"

namespace ostrameld {

// Nothing for a valid document; else its errors, the first being the one to fix first.
std::vector<std::string> cff_schema_errors(const Json& document);

}  // namespace ostrameld
