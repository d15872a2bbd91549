// A point in time after which work is abandoned; none for no limit.
#pragma once

#include <chrono>
#include <optional>

namespace ostrameld {

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

}  // namespace ostrameld
