#include "ostrameld/engine/interrupts.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <thread>

namespace ostrameld {

namespace {

// Process-wide by nature: signals belong to the process, not to one object.
struct State {
  std::atomic<bool> requested{false};
  std::mutex mu;
  std::set<Path> temps;
};

State& state() {
  static State s;
  return s;
}

void remove_temps() {
  std::lock_guard lock(state().mu);
  for (const auto& dir : state().temps) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  state().temps.clear();
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
  remove_temps();
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

void Interrupts::register_temp(const Path& dir) {
  std::lock_guard lock(state().mu);
  state().temps.insert(dir);
}

void Interrupts::unregister_temp(const Path& dir) {
  std::lock_guard lock(state().mu);
  state().temps.erase(dir);
}

}  // namespace ostrameld
