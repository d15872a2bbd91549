// The second wall behind every budget and deadline check: what nobody foresaw still ends
// in time and within memory. A watchdog ends the process when its work overruns the time
// allowed by more than a second, whatever that work is doing; a memory limit makes an
// allocation past it fail instead of taking the machine.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace ostrameld {

// The default of --max-memory: what one assessment may hold.
inline constexpr std::uintmax_t kDefaultMaxMemory = std::uintmax_t{2} << 30;

// Limits the data this process (and every process it starts from now on) may allocate,
// so that an allocation past it throws std::bad_alloc. 0: no limit. Not applied under
// the address sanitizer, whose shadow memory alone is far larger. Returns whether the
// limit is in force.
bool limit_memory(std::uintmax_t bytes);

// "--max-memory 2G": how the limit is named in messages.
std::string memory_limit_text(std::uintmax_t bytes);

class Watchdog {
 public:
  // Past `seconds` and a second's grace, prints "ostrameld: error: timed out after N s",
  // kills every child, removes every temporary directory and unfinished output, and ends
  // the process with status 2. None or 0: no watchdog.
  explicit Watchdog(std::optional<double> seconds);
  ~Watchdog();  // stands down
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace ostrameld
