// Ctrl-C and termination requests. The first signal asks the work to stop at its next
// safe point; temporary directories registered here are removed even if it does not
// stop in time (or a second signal arrives), and the process then exits.
#pragma once

#include <atomic>

#include "ostrameld/utils/files.h"

namespace ostrameld {

class Interrupts {
 public:
  // Call once, early in main and before any thread starts: blocks SIGINT, SIGTERM and
  // SIGHUP in every thread and lets a watcher thread receive them instead.
  static void install();
  static const std::atomic<bool>& flag();
  static bool requested() { return flag().load(); }

  static void register_temp(const Path& dir);
  static void unregister_temp(const Path& dir);
};

}  // namespace ostrameld
