// Child processes: started with an explicit program, arguments and environment (never
// through a shell), their output read concurrently, bounded in time and size, and
// killed with their whole process group when the deadline passes, work is cancelled,
// or this process dies.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/utils/deadline.h"
#include "ostrameld/utils/files.h"

namespace ostrameld {

// A deadline `seconds` from now, or none for nothing (or zero).
Deadline deadline_after(std::optional<double> seconds);

class ProcessError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ProcessSpec {
  Path program;                   // an absolute path: PATH is not searched after the fork
  std::vector<std::string> args;  // argv[1..]
  std::vector<std::string> env;   // the whole environment, "NAME=value"
  Path cwd;                       // empty: this process's directory
  std::string input;              // written to standard input; empty: /dev/null
  // Standard output: passed on in chunks when set, otherwise collected up to the limit
  // (more is an error: nothing a child says is read without bound).
  std::function<void(std::string_view)> on_stdout;
  std::size_t max_stdout = 16u << 20;
  // Standard error is passed on when set; its last few KiB are kept for messages.
  std::function<void(std::string_view)> on_stderr;
  // Asked several times a second while the child runs: true stops it (what it writes
  // to disk has grown past a bound, say).
  std::function<bool()> over_limit;
  // For programs that start programs of their own (a clone's transport helpers): run
  // under a small supervisor that kills them all should this process die even by
  // SIGKILL. Costs a fork of this process; a program that starts nothing needs none,
  // since it dies with this process anyway.
  bool supervised = false;
};

struct ProcessResult {
  int exit_status = -1;  // the exit code, or 128 + signal
  std::string out;       // when no on_stdout was given
  std::string err_tail;  // the end of standard error
  bool timed_out = false;
  bool cancelled = false;
  bool stopped = false;  // over_limit said so
  bool ok() const { return exit_status == 0 && !timed_out && !cancelled && !stopped; }
};

// Runs the children concurrently and waits for all of them. Past the deadline or once
// `cancel` is set, every child still running is killed with its process group. Throws
// ProcessError when a child cannot be started or says more than it may.
std::vector<ProcessResult> run_processes(const std::vector<ProcessSpec>& specs,
                                         Deadline deadline = std::nullopt,
                                         const std::atomic<bool>* cancel = nullptr);

// Kills the process group of every child still running: for the signal watcher, when
// this process is about to end (a child's own children are in its group).
void kill_all_children();

// Makes this process the one that orphans below it are handed to (a subreaper), so that
// the helpers of a worker that was killed can be waited for before the program ends.
void adopt_orphans();

// Waits, at most `limit`, until every process below this one has ended (those handed to
// it included); returns whether none is left.
bool reap_descendants(std::chrono::milliseconds limit);

// For a child started by other means (a forked worker leading its own process group):
// enlisted, kill_all_children ends it with the others; delisted before it is reaped.
void enlist_child_group(int group);
void delist_child_group(int group);

// The absolute path of a program found on PATH; empty when there is none.
Path find_program(std::string_view name);

}  // namespace ostrameld
