#include "ostrameld/engine/workers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <vector>

#include "ostrameld/engine/watchdog.h"
#include "ostrameld/utils/process.h"
#include "ostrameld/utils/tempdir.h"

namespace ostrameld {

namespace {

using Clock = std::chrono::steady_clock;

// What a worker sends back per task: a kind byte, a 64-bit length, the payload.
enum Kind : unsigned char { kDone = 0, kOutOfMemory = 1, kFailed = 2 };
constexpr std::size_t kHeader = 9;

bool write_exactly(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// No allocation: sent also when memory has run out.
bool send_frame(int fd, Kind kind, const char* data, std::uint64_t size) {
  unsigned char header[kHeader];
  header[0] = kind;
  std::memcpy(header + 1, &size, sizeof size);
  return write_exactly(fd, header, kHeader) && write_exactly(fd, data, size);
}

int g_result_fd = -1;  // the worker's channel, for its terminate handler

// An allocation failure where no one could catch it (a destructor, a thread) still
// reports the limit, not a bare crash.
[[noreturn]] void on_terminate() {
  if (auto e = std::current_exception()) {
    try {
      std::rethrow_exception(e);
    } catch (const std::bad_alloc&) {
      send_frame(g_result_fd, kOutOfMemory, "", 0);
      ::_exit(3);
    } catch (...) {
    }
  }
  ::signal(SIGABRT, SIG_DFL);
  ::abort();
}

[[noreturn]] void worker_main(int tasks_fd, int results_fd, pid_t parent, const std::string& tmp,
                              const WorkerLimits& limits,
                              const std::function<std::string(std::size_t)>& task) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(1);
  ::setenv("TMPDIR", tmp.c_str(), 1);
  g_result_fd = results_fd;
  std::set_terminate(on_terminate);
  limit_memory(limits.max_memory);
  for (;;) {
    std::uint64_t index = 0;
    std::size_t got = 0;
    while (got < sizeof index) {
      ssize_t n = ::read(tasks_fd, reinterpret_cast<char*>(&index) + got, sizeof index - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ::_exit(0);  // no more tasks
      got += static_cast<std::size_t>(n);
    }
    Kind kind = kDone;
    std::string payload;
    try {
      payload = task(static_cast<std::size_t>(index));
    } catch (const std::bad_alloc&) {
      kind = kOutOfMemory;
      payload.clear();
      payload.shrink_to_fit();
    } catch (const std::exception& e) {
      kind = kFailed;
      payload = e.what();
    } catch (...) {
      kind = kFailed;
      payload = "unknown error";
    }
    if (!send_frame(results_fd, kind, payload.data(), payload.size())) ::_exit(1);
    // After a failed allocation nothing in this process can be trusted: a new worker.
    if (kind == kOutOfMemory) ::_exit(3);
  }
}

struct Worker {
  pid_t pid = -1;
  int tasks = -1;    // we write task numbers here
  int results = -1;  // and read frames here
  std::optional<std::size_t> task;
  Clock::time_point since;
  std::string inbox;
  std::unique_ptr<TempDir> tmp;
};

class Pool {
 public:
  Pool(unsigned jobs, const WorkerLimits& limits,
       const std::function<std::string(std::size_t)>& task)
      : workers_(jobs), limits_(limits), task_(task) {}

  ~Pool() {
    for (auto& w : workers_) end(w, true);
  }

  std::vector<Worker>& workers() { return workers_; }

  void start(Worker& w) {
    w.tmp = std::make_unique<TempDir>("worker");
    int to_child[2];
    int from_child[2];
    if (::pipe2(to_child, O_CLOEXEC) != 0) throw OsError(errno, std::string("pipe"));
    if (::pipe2(from_child, O_CLOEXEC) != 0) {
      int err = errno;
      ::close(to_child[0]);
      ::close(to_child[1]);
      throw OsError(err, std::string("pipe"));
    }
    pid_t parent = ::getpid();
    pid_t pid = ::fork();
    if (pid < 0) {
      int err = errno;
      for (int fd : {to_child[0], to_child[1], from_child[0], from_child[1]}) ::close(fd);
      throw OsError(err, std::string("fork"));
    }
    if (pid == 0) {
      ::setpgid(0, 0);
      // Other workers' channels stay with the parent, so that each sees its own end.
      for (auto& other : workers_) {
        if (other.tasks >= 0) ::close(other.tasks);
        if (other.results >= 0) ::close(other.results);
      }
      ::close(to_child[1]);
      ::close(from_child[0]);
      worker_main(to_child[0], from_child[1], parent, w.tmp->path().native(), limits_, task_);
    }
    ::setpgid(pid, pid);  // also here: whichever runs first
    enlist_child_group(pid);
    ::close(to_child[0]);
    ::close(from_child[1]);
    w.pid = pid;
    w.tasks = to_child[1];
    w.results = from_child[0];
    w.inbox.clear();
    w.task.reset();
  }

  // Ends a worker: asked to (its channel closed) or killed with its group. Returns how
  // it ended. Its temporary directory is removed at the end of the run, once whatever
  // it started has surely gone too.
  int end(Worker& w, bool kill) {
    if (w.pid < 0) return 0;
    if (w.tasks >= 0) ::close(w.tasks);
    w.tasks = -1;
    if (kill) ::kill(-w.pid, SIGKILL), ::kill(w.pid, SIGKILL);
    int status = 0;
    while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    delist_child_group(w.pid);
    if (w.results >= 0) ::close(w.results);
    w.results = -1;
    w.pid = -1;
    w.task.reset();
    if (w.tmp) spent_.push_back(std::move(w.tmp));
    return status;
  }

 private:
  std::vector<Worker> workers_;
  const WorkerLimits& limits_;
  const std::function<std::string(std::size_t)>& task_;
  std::vector<std::unique_ptr<TempDir>> spent_;  // declared last: removed after every end()
};

}  // namespace

void run_in_workers(std::size_t count, unsigned jobs, const WorkerLimits& limits,
                    const std::function<std::string(std::size_t)>& task,
                    const std::function<void(std::size_t, TaskOutcome)>& done,
                    const std::atomic<bool>& stop) {
  if (count == 0) return;
  jobs = static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(jobs, count)));
  // A worker killed in the middle of a clone leaves git's helpers to end by themselves:
  // handed to this process, they are waited for (after the pool, declared below, has
  // ended every worker) so that none outlives the batch.
  adopt_orphans();
  struct Reaper {
    ~Reaper() { reap_descendants(std::chrono::seconds(2)); }
  } reaper;
  Pool pool(jobs, limits, task);
  // The task's own deadline ends it in order; this is for a worker that missed it.
  const bool bounded = limits.task_seconds && *limits.task_seconds > 0;
  const Clock::duration grace =
      bounded ? std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(*limits.task_seconds + 1.0))
              : Clock::duration::zero();
  std::size_t next = 0;
  std::size_t busy = 0;
  char buf[1 << 16];

  auto finish = [&](Worker& w, TaskOutcome outcome) {
    std::size_t index = *w.task;
    w.task.reset();
    --busy;
    done(index, std::move(outcome));
  };
  // A worker that went away while on a task: the task ends with how the worker did.
  auto reap = [&](Worker& w, bool kill, TaskEnd end) {
    bool had_task = w.task.has_value();
    std::optional<std::size_t> index = w.task;
    int status = pool.end(w, kill);
    if (!had_task) return;
    w.task = index;
    TaskOutcome outcome;
    outcome.end = end;
    if (end == TaskEnd::Crashed) {
      if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
      } else if (WIFEXITED(status) && WEXITSTATUS(status) == 3) {
        outcome.end = TaskEnd::OutOfMemory;
      }
    }
    finish(w, std::move(outcome));
  };

  while (!stop.load()) {
    for (auto& w : pool.workers()) {
      if (next >= count || w.task) continue;
      if (w.pid < 0) pool.start(w);
      std::uint64_t index = next;
      if (!write_exactly(w.tasks, &index, sizeof index)) {
        reap(w, true, TaskEnd::Crashed);
        continue;
      }
      w.task = next++;
      w.since = Clock::now();
      ++busy;
    }
    if (busy == 0) break;

    std::vector<pollfd> fds;
    std::vector<Worker*> polled;
    auto wait = std::chrono::milliseconds(100);  // stop is looked at this often
    auto now = Clock::now();
    for (auto& w : pool.workers()) {
      if (!w.task) continue;
      fds.push_back({w.results, POLLIN, 0});
      polled.push_back(&w);
      if (bounded) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(w.since + grace - now);
        wait = std::max(std::chrono::milliseconds(0), std::min(wait, left));
      }
    }
    int ready = ::poll(fds.data(), fds.size(), static_cast<int>(wait.count()));
    if (ready < 0 && errno != EINTR) throw OsError(errno, std::string("poll"));
    for (std::size_t k = 0; k < fds.size(); ++k) {
      Worker& w = *polled[k];
      if (ready > 0 && (fds[k].revents & (POLLIN | POLLHUP | POLLERR))) {
        ssize_t n = ::read(w.results, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          reap(w, false, TaskEnd::Crashed);
          continue;
        }
        w.inbox.append(buf, static_cast<std::size_t>(n));
        if (w.inbox.size() >= kHeader) {
          std::uint64_t size = 0;
          std::memcpy(&size, w.inbox.data() + 1, sizeof size);
          if (w.inbox.size() - kHeader >= size) {
            auto kind = static_cast<Kind>(w.inbox[0]);
            TaskOutcome outcome;
            outcome.end = kind == kDone          ? TaskEnd::Done
                          : kind == kOutOfMemory ? TaskEnd::OutOfMemory
                                                 : TaskEnd::Crashed;
            outcome.payload = w.inbox.substr(kHeader, size);
            w.inbox.clear();
            if (kind == kOutOfMemory) {
              std::optional<std::size_t> index = w.task;
              w.task.reset();
              pool.end(w, false);
              w.task = index;
            }
            finish(w, std::move(outcome));
          }
        }
        continue;
      }
      if (bounded && Clock::now() >= w.since + grace) reap(w, true, TaskEnd::TimedOut);
    }
  }
}

}  // namespace ostrameld
