#include "ostrameld/utils/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

namespace ostrameld {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kErrTail = 4096;

// Process-wide by nature: the groups the signal watcher must end. A child leaves the
// set before it is reaped, so that its number can never name another process here.
struct Children {
  std::mutex mu;
  std::set<pid_t> groups;
};

Children& children() {
  static Children c;
  return c;
}

void enlist(pid_t pid) {
  std::lock_guard lock(children().mu);
  children().groups.insert(pid);
}

void delist(pid_t pid) {
  std::lock_guard lock(children().mu);
  children().groups.erase(pid);
}

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  Fd& operator=(Fd&& o) noexcept {
    reset();
    fd_ = o.fd_;
    o.fd_ = -1;
    return *this;
  }
  ~Fd() { reset(); }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

void make_pipe(Fd& read_end, Fd& write_end) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0)
    throw ProcessError("cannot create a pipe: " + std::string(std::strerror(errno)));
  read_end = Fd(fds[0]);
  write_end = Fd(fds[1]);
}

// Everything the child needs, prepared before the fork: after it, only calls that are
// safe in a forked child of a threaded process are made.
struct Prepared {
  std::vector<std::string> strings;
  std::vector<char*> argv;
  std::vector<char*> envp;
};

Prepared prepare(const ProcessSpec& spec) {
  Prepared p;
  p.strings.reserve(1 + spec.args.size() + spec.env.size());
  p.strings.push_back(spec.program.native());
  for (const auto& a : spec.args) p.strings.push_back(a);
  for (const auto& e : spec.env) p.strings.push_back(e);
  for (std::size_t i = 0; i <= spec.args.size(); ++i) p.argv.push_back(p.strings[i].data());
  p.argv.push_back(nullptr);
  for (std::size_t i = spec.args.size() + 1; i < p.strings.size(); ++i)
    p.envp.push_back(p.strings[i].data());
  p.envp.push_back(nullptr);
  return p;
}

struct Running {
  pid_t pid = -1;
  Fd report;  // closed by a successful exec; carries errno otherwise
  Fd in;
  std::size_t written = 0;  // of the input
  Fd out;
  Fd err;
  ProcessResult result;
  bool exited = false;
};

// The supervisor's answer to this process's death (PR_SET_PDEATHSIG): the whole group,
// the program and everything it started, goes too. kill() is safe in a handler.
void on_parent_death(int) {
  ::kill(0, SIGKILL);
}

[[noreturn]] void report_and_exit(int report_fd) {
  int e = errno;
  (void)!::write(report_fd, &e, sizeof e);
  ::_exit(127);
}

// Every child runs in a session of its own: one group that a kill reaches whole, and no
// terminal, so that nothing started (ssh, a credential prompt) can wait for a keyboard.
// A supervised child is a small supervisor that runs the program as its own child and,
// should this process die in any way (even SIGKILL), kills the whole group, grandchildren
// included; otherwise it passes the program's exit on. Only calls that are safe after
// fork in a threaded process.
// A child without supervisor: in a session of its own, killed when this process dies.
[[noreturn]] void plain_child(const Prepared& p, const ProcessSpec& spec, pid_t parent, int in_fd,
                              int out_fd, int err_fd, int report_fd) {
  ::setsid();
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(127);  // the parent died before the line above
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);  // the parent blocks its signals for a watcher
  ::signal(SIGPIPE, SIG_DFL);
  if (::dup2(in_fd, STDIN_FILENO) < 0 || ::dup2(out_fd, STDOUT_FILENO) < 0 ||
      ::dup2(err_fd, STDERR_FILENO) < 0)
    report_and_exit(report_fd);
  if (!spec.cwd.empty() && ::chdir(spec.cwd.c_str()) != 0) report_and_exit(report_fd);
  ::execve(p.argv[0], p.argv.data(), p.envp.data());
  report_and_exit(report_fd);
}

[[noreturn]] void supervised_child(const Prepared& p, const ProcessSpec& spec, pid_t parent,
                                   int in_fd, int out_fd, int err_fd, int report_fd) {
  ::setsid();
  struct sigaction death {};
  death.sa_handler = on_parent_death;
  ::sigaction(SIGUSR1, &death, nullptr);
  ::prctl(PR_SET_PDEATHSIG, SIGUSR1);
  if (::getppid() != parent) ::_exit(127);  // the parent died before the line above
  if (::dup2(in_fd, STDIN_FILENO) < 0 || ::dup2(out_fd, STDOUT_FILENO) < 0 ||
      ::dup2(err_fd, STDERR_FILENO) < 0)
    report_and_exit(report_fd);
  if (!spec.cwd.empty() && ::chdir(spec.cwd.c_str()) != 0) report_and_exit(report_fd);
  sigset_t none;
  sigemptyset(&none);
  pid_t program = ::fork();
  if (program < 0) report_and_exit(report_fd);
  if (program == 0) {
    ::signal(SIGUSR1, SIG_DFL);
    ::signal(SIGPIPE, SIG_DFL);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);  // the parent blocks its signals for a watcher
    ::execve(p.argv[0], p.argv.data(), p.envp.data());
    report_and_exit(report_fd);
  }
  // The supervisor holds no pipe, so that the program's end is seen at once, and no
  // descriptor of another thread's child either.
  ::close_range(0, ~0u, 0);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  int status = 0;
  while (::waitpid(program, &status, 0) < 0) {
    if (errno != EINTR) ::_exit(127);
  }
  if (WIFEXITED(status)) ::_exit(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    ::signal(WTERMSIG(status), SIG_DFL);
    ::kill(::getpid(), WTERMSIG(status));
    ::_exit(128 + WTERMSIG(status));
  }
  ::_exit(127);
}

void start(const ProcessSpec& spec, Running& r) {
  Prepared p = prepare(spec);
  Fd in_r, in_w, out_r, out_w, err_r, err_w, rep_r, rep_w;
  make_pipe(out_r, out_w);
  make_pipe(err_r, err_w);
  make_pipe(rep_r, rep_w);
  if (spec.input.empty()) {
    in_r = Fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (in_r.get() < 0) throw ProcessError("cannot open /dev/null");
  } else {
    make_pipe(in_r, in_w);
    ::fcntl(in_w.get(), F_SETFL, O_NONBLOCK);
  }
  pid_t parent = ::getpid();
  // A supervisor never execs, so it needs fork; a plain child borrows our memory until
  // it execs (vfork), which spares copying the page tables. Both only make system calls
  // on data prepared above.
  pid_t pid = spec.supervised ? ::fork() : ::vfork();
  if (pid < 0)
    throw ProcessError("cannot start " + spec.program.string() + ": " + std::strerror(errno));
  if (pid == 0) {
    if (spec.supervised)
      supervised_child(p, spec, parent, in_r.get(), out_w.get(), err_w.get(), rep_w.get());
    plain_child(p, spec, parent, in_r.get(), out_w.get(), err_w.get(), rep_w.get());
  }
  r.pid = pid;
  enlist(pid);
  r.report = std::move(rep_r);
  r.in = std::move(in_w);
  r.out = std::move(out_r);
  r.err = std::move(err_r);
}

// A write to a pipe whose reader is gone fails with EPIPE instead of killing us.
ssize_t write_quietly(int fd, const char* data, std::size_t size) {
  sigset_t pipe_set, old;
  sigemptyset(&pipe_set);
  sigaddset(&pipe_set, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipe_set, &old);
  ssize_t n = ::write(fd, data, size);
  if (n < 0 && errno == EPIPE) {
    timespec zero{0, 0};
    ::sigtimedwait(&pipe_set, nullptr, &zero);
  }
  int saved = errno;
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = saved;
  return n;
}

int decode_status(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

Deadline deadline_after(std::optional<double> seconds) {
  if (!seconds || *seconds <= 0) return std::nullopt;
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*seconds));
}

void enlist_child_group(int group) {
  enlist(group);
}

void delist_child_group(int group) {
  delist(group);
}

void kill_all_children() {
  std::lock_guard lock(children().mu);
  for (pid_t group : children().groups) ::kill(-group, SIGKILL);
}

void adopt_orphans() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }

bool reap_descendants(std::chrono::milliseconds limit) {
  auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    pid_t pid = ::waitpid(-1, &status, WNOHANG);
    if (pid > 0) continue;
    if (pid < 0 && errno == EINTR) continue;
    if (pid < 0) return true;  // no child left
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

Path find_program(std::string_view name) {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    auto colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    if (!dir.empty()) {
      Path candidate = Path(std::string(dir)) / std::string(name);
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    if (colon == std::string_view::npos) return {};
    dirs.remove_prefix(colon + 1);
  }
}

std::vector<ProcessResult> run_processes(const std::vector<ProcessSpec>& specs, Deadline deadline,
                                         const std::atomic<bool>* cancel) {
  std::vector<Running> running(specs.size());
  auto kill_all = [&](bool timed_out) {
    for (auto& r : running) {
      if (r.pid > 0 && !r.exited) {
        ::kill(-r.pid, SIGKILL);
        (timed_out ? r.result.timed_out : r.result.cancelled) = true;
      }
    }
  };
  try {
    // All children are started before any is waited for, so that they run together.
    for (std::size_t i = 0; i < specs.size(); ++i) start(specs[i], running[i]);
    for (std::size_t i = 0; i < specs.size(); ++i) {
      int e = 0;
      ssize_t n;
      while ((n = ::read(running[i].report.get(), &e, sizeof e)) < 0 && errno == EINTR) {
      }
      running[i].report.reset();
      if (n == sizeof e)
        throw ProcessError("cannot run " + specs[i].program.string() + ": " + std::strerror(e));
    }
  } catch (...) {
    kill_all(false);
    for (auto& r : running) {
      if (r.pid <= 0) continue;
      delist(r.pid);
      ::waitpid(r.pid, nullptr, 0);
    }
    throw;
  }

  std::string overflow;
  bool stopped = false;
  char buf[65536];
  for (;;) {
    std::vector<pollfd> fds;
    std::vector<std::pair<std::size_t, int>> owners;  // (child, 0 stdin / 1 stdout / 2 stderr)
    for (std::size_t i = 0; i < running.size(); ++i) {
      if (running[i].in.get() >= 0) {
        fds.push_back({running[i].in.get(), POLLOUT, 0});
        owners.emplace_back(i, 0);
      }
      if (running[i].out.get() >= 0) {
        fds.push_back({running[i].out.get(), POLLIN, 0});
        owners.emplace_back(i, 1);
      }
      if (running[i].err.get() >= 0) {
        fds.push_back({running[i].err.get(), POLLIN, 0});
        owners.emplace_back(i, 2);
      }
    }
    if (fds.empty() ||
        std::all_of(owners.begin(), owners.end(), [](const auto& o) { return o.second == 0; }))
      break;
    int wait_ms = 200;
    if (deadline && !stopped) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
      wait_ms = static_cast<int>(std::clamp<long long>(left.count(), 0, 200));
    }
    int ready = ::poll(fds.data(), fds.size(), wait_ms);
    if (ready < 0 && errno != EINTR) break;
    for (std::size_t k = 0; ready > 0 && k < fds.size(); ++k) {
      if (!fds[k].revents) continue;
      auto [i, stream] = owners[k];
      Running& r = running[i];
      const ProcessSpec& spec = specs[i];
      if (stream == 0) {
        ssize_t n =
            write_quietly(r.in.get(), spec.input.data() + r.written, spec.input.size() - r.written);
        if (n > 0) r.written += static_cast<std::size_t>(n);
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || r.written == spec.input.size())
          r.in.reset();  // all said, or the child stopped listening
        continue;
      }
      bool is_out = stream == 1;
      ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        (is_out ? r.out : r.err).reset();
        continue;
      }
      std::string_view chunk(buf, static_cast<std::size_t>(n));
      if (is_out) {
        if (spec.on_stdout) {
          spec.on_stdout(chunk);
        } else if (r.result.out.size() + chunk.size() > spec.max_stdout) {
          overflow = spec.program.filename().string() + " said more than " +
                     std::to_string(spec.max_stdout >> 20) + " MiB";
          kill_all(false);
          stopped = true;
          r.out.reset();
        } else {
          r.result.out.append(chunk);
        }
      } else {
        if (spec.on_stderr) spec.on_stderr(chunk);
        r.result.err_tail.append(chunk);
        if (r.result.err_tail.size() > 2 * kErrTail)
          r.result.err_tail.erase(0, r.result.err_tail.size() - kErrTail);
      }
    }
    if (!stopped && cancel && cancel->load()) {
      kill_all(false);
      stopped = true;
    }
    for (std::size_t i = 0; !stopped && i < running.size(); ++i) {
      if (specs[i].over_limit && specs[i].over_limit()) {
        kill_all(false);
        for (auto& r : running) r.result.cancelled = false;
        running[i].result.stopped = true;
        stopped = true;
      }
    }
    if (!stopped && deadline && Clock::now() >= *deadline) {
      kill_all(true);
      stopped = true;
    }
  }
  for (auto& r : running) {
    // A child that closed its output may still run: the deadline and cancellation hold
    // until it has exited.
    auto pause = std::chrono::microseconds(20);
    for (;;) {
      siginfo_t info{};
      int rc = ::waitid(P_PID, static_cast<id_t>(r.pid), &info, WEXITED | WNOWAIT | WNOHANG);
      if (rc < 0 && errno == EINTR) continue;
      if (rc < 0 || info.si_pid == r.pid) break;
      if (!stopped && ((cancel && cancel->load()) || (deadline && Clock::now() >= *deadline))) {
        bool timed_out = !(cancel && cancel->load());
        kill_all(timed_out);
        stopped = true;
      }
      std::this_thread::sleep_for(pause);  // the child is usually gone within microseconds
      pause = std::min(pause * 2, std::chrono::microseconds(5000));
    }
    // What the group left behind (a grandchild holding no pipe) goes with it; the child
    // is not reaped yet, so its number cannot name another group.
    ::kill(-r.pid, SIGKILL);
    delist(r.pid);
    int status = 0;
    while (::waitpid(r.pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.exited = true;
    r.result.exit_status = decode_status(status);
  }
  if (!overflow.empty()) throw ProcessError(overflow);
  std::vector<ProcessResult> results;
  results.reserve(running.size());
  for (auto& r : running) results.push_back(std::move(r.result));
  return results;
}

}  // namespace ostrameld
