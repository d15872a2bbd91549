// A point in time after which work is abandoned; none for no limit.
#pragma once

#include <chrono>
#include <optional>
#include <stdexcept>

namespace ostrameld {

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

// Work stopped because its deadline passed.
class TimeoutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace ostrameld
