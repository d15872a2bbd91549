// The assessment as a JSON document ("ostrameld-assessment/1").
#pragma once

#include "ostrameld/core/models.h"
#include "ostrameld/utils/json.h"

namespace ostrameld {

inline constexpr std::string_view kSchemaId = "ostrameld-assessment/1";

Json to_json(const Assessment& assessment);

}  // namespace ostrameld
