#include "ostrameld/engine/interrupts.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <mutex>
#include <thread>

#include "ostrameld/engine/output.h"
#include "ostrameld/utils/process.h"
#include "ostrameld/utils/tempdir.h"

namespace ostrameld {

namespace {

// Process-wide by nature: signals belong to the process, not to one object.
struct State {
  std::atomic<bool> requested{false};
};

State& state() {
  static State s;
  return s;
}

void watch(sigset_t set) {
  int sig = 0;
  if (sigwait(&set, &sig) != 0) return;
  state().requested = true;
  // Give the work a second to stop at a safe point and clean up by itself.
  timespec grace{1, 0};
  siginfo_t info;
  int again = sigtimedwait(&set, &info, &grace);
  if (again > 0) sig = again;
  // Children first, so that none writes into a directory being removed.
  kill_all_children();
  // Helpers handed to this process by a worker just killed end with it too.
  reap_descendants(std::chrono::seconds(1));
  remove_all_temp_dirs();
  remove_unfinished_outputs();
  ::_exit(128 + sig);
}

}  // namespace

void Interrupts::install() {
  static std::once_flag once;
  std::call_once(once, [] {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(watch, set).detach();
  });
}

const std::atomic<bool>& Interrupts::flag() {
  return state().requested;
}

}  // namespace ostrameld
