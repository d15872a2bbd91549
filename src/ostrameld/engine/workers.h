// Tasks that must not take the process down with them: each runs in a forked worker
// process bounded in wall time and memory, so that a task that hangs, grows without
// bound or crashes costs that task alone. Workers live for many tasks (a fork per
// worker, not per task) and are replaced when one is killed or dies.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace ostrameld {

struct WorkerLimits {
  // Wall time per task: a worker still on its task a second past it is killed.
  std::optional<double> task_seconds;
  std::uintmax_t max_memory = 0;  // data per worker (its children too); 0: no limit
};

enum class TaskEnd {
  Done,         // the task returned; payload is what it returned
  TimedOut,     // killed past its time
  OutOfMemory,  // an allocation failed at the memory limit
  Crashed,      // the worker died; signal says how (0: it exited)
};

struct TaskOutcome {
  TaskEnd end = TaskEnd::Done;
  std::string payload;
  int signal = 0;
};

// Runs task(i) for every i below count in up to `jobs` workers, each forked from this
// process (so a task sees everything this process holds, read-only) with TMPDIR pointed
// at a private directory removed when the worker is done. `done` is called in this
// process, in the order tasks end; a task cut short by `stop` is not reported. An
// exception from `done` stops every worker and is passed on. Throws OsError when no
// worker can be started.
void run_in_workers(std::size_t count, unsigned jobs, const WorkerLimits& limits,
                    const std::function<std::string(std::size_t)>& task,
                    const std::function<void(std::size_t, TaskOutcome)>& done,
                    const std::atomic<bool>& stop);

}  // namespace ostrameld
