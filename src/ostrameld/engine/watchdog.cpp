#include "ostrameld/engine/watchdog.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>

#include "ostrameld/engine/output.h"
#include "ostrameld/utils/process.h"
#include "ostrameld/utils/tempdir.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The work overran: nothing it holds can be trusted to unwind, so the process ends here.
[[noreturn]] void end_overrun(double seconds) {
  std::string line = "ostrameld: error: timed out after " + format_seconds(seconds) + " s\n";
  (void)!::write(STDERR_FILENO, line.data(), line.size());
  kill_all_children();
  remove_all_temp_dirs();
  remove_unfinished_outputs();
  ::_exit(2);
}

}  // namespace

bool limit_memory(std::uintmax_t bytes) {
  if (bytes == 0 || kSanitized) return false;
  // RLIMIT_DATA counts the heap and every private writable mapping, which is what a
  // runaway parse grows; the address space would also count what is merely reserved.
  rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  rlimit current{};
  if (::getrlimit(RLIMIT_DATA, &current) == 0 && current.rlim_max != RLIM_INFINITY &&
      current.rlim_max < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max = current.rlim_max;  // never above what we were given
  }
  return ::setrlimit(RLIMIT_DATA, &limit) == 0;
}

std::string memory_limit_text(std::uintmax_t bytes) {
  static constexpr const char* kUnits[] = {"", "K", "M", "G", "T"};
  int unit = 0;
  while (unit < 4 && bytes >= 1024 && bytes % 1024 == 0) {
    bytes /= 1024;
    ++unit;
  }
  return "--max-memory " + std::to_string(bytes) + kUnits[unit];
}

Watchdog::Watchdog(std::optional<double> seconds) {
  if (!seconds || *seconds <= 0) return;
  double limit = *seconds;
  auto until = std::chrono::steady_clock::now() +
               std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                   std::chrono::duration<double>(limit + 1.0));
  thread_ = std::thread([this, limit, until] {
    std::unique_lock lock(mu_);
    if (!cv_.wait_until(lock, until, [this] { return done_; })) end_overrun(limit);
  });
}

Watchdog::~Watchdog() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mu_);
    done_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

}  // namespace ostrameld
