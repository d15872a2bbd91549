// Ctrl-C and termination requests. The first signal asks the work to stop at its next
// safe point; if it has not stopped within a second (or a second signal arrives), every
// child process group is killed, every temporary directory removed, and the process
// exits.
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
};

}  // namespace ostrameld
