// The assessment as a JSON document ("ostrameld-assessment/1").
#pragma once

#include "ostrameld/core/models.h"
#include "ostrameld/utils/json.h"

namespace ostrameld {

inline constexpr std::string_view kSchemaId = "ostrameld-assessment/1";
// Every version of the schema starts with this; a line of ours carries one.
inline constexpr std::string_view kSchemaPrefix = "ostrameld-assessment/";

Json to_json(const Assessment& assessment);

}  // namespace ostrameld
