// The program's version, set by the build.
#pragma once

#include <string_view>

namespace ostrameld {

inline constexpr std::string_view kVersion = OSTRAMELD_VERSION_STRING;

}  // namespace ostrameld
