// Where in the repository a dashboard should point a finding: the file an indicator is
// about when it exists, else the README or another file at the root.
#pragma once

#include <string>
#include <string_view>

#include "ostrameld/core/models.h"
#include "ostrameld/utils/files.h"

namespace ostrameld {

// A "/"-separated path relative to repo that exists as a regular file, or "" when the
// repository holds no file at all.
std::string concerned_file(std::string_view indicator_id, const Path& repo);

// Fills in the location of every result short of pass (what code scanning shows).
void locate_findings(Assessment& a, const Path& repo);

}  // namespace ostrameld
