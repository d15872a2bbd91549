#include "ostrameld/engine/source.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "ostrameld/engine/interrupts.h"
#include "ostrameld/utils/git.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/url.h"

namespace ostrameld {

namespace {

std::string repo_name_of(const std::string& url) {
  auto parts = parse_url(url);
  std::string path = parts ? parts->path : url;
  auto slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return name.empty() ? "repository" : sanitize_utf8(name);
}

void print_progress(const CloneProgress& p) {
  static thread_local std::size_t last = static_cast<std::size_t>(-1);
  std::size_t pct = p.total_objects ? p.received_objects * 100 / p.total_objects : 0;
  if (pct == last) return;
  last = pct;
  std::fprintf(stderr, "\rCloning: %3zu%% (%zu/%zu objects, %.1f MiB)", pct, p.received_objects,
               p.total_objects, static_cast<double>(p.received_bytes) / (1024.0 * 1024.0));
  std::fflush(stderr);
}

constexpr int kHelperErrorFd = 3;

struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() {
    if (::pipe2(fd, O_CLOEXEC) != 0) throw SourceError("cannot create a pipe for the clone helper");
  }
  ~Pipe() {
    close_end(0);
    close_end(1);
  }
  void close_end(int i) {
    if (fd[i] >= 0) ::close(fd[i]);
    fd[i] = -1;
  }
};

// Runs "HELPER __clone DEST [--progress]" with the URL on its standard input (never on
// its command line, where other users could read credentials) and waits for it. The
// helper reports progress on the shared stderr and its error on descriptor 3.
void clone_in_child(const Path& helper, const std::string& url, const Path& dest, bool progress) {
  Pipe in;
  Pipe err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.fd[0], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, err.fd[1], kHelperErrorFd);
  std::string program = helper.native();
  std::string command = "__clone";
  std::string target = dest.native();
  std::string flag = "--progress";
  char* argv[] = {program.data(), command.data(), target.data(), progress ? flag.data() : nullptr,
                  nullptr};
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0)
    throw SourceError("cannot start the clone helper: " + std::string(std::strerror(rc)));
  in.close_end(0);
  err.close_end(1);
  std::string line = url + "\n";
  (void)!::write(in.fd[1], line.data(), line.size());
  in.close_end(1);

  std::string message;
  char buf[4096];
  bool killed = false;
  for (;;) {
    pollfd p{err.fd[0], POLLIN, 0};
    int ready = ::poll(&p, 1, 200);
    if (ready > 0) {
      ssize_t n = ::read(err.fd[0], buf, sizeof buf);
      if (n <= 0) break;
      if (message.size() < 65536) message.append(buf, static_cast<std::size_t>(n));
    } else if (ready < 0 && errno != EINTR) {
      break;
    }
    if (!killed && Interrupts::requested()) {
      ::kill(pid, SIGTERM);
      killed = true;
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  if (message.empty()) message = "cannot clone " + redact_url(url) + ": the clone helper failed";
  throw SourceError(sanitize_utf8(message));
}

}  // namespace

int run_clone_helper(const Path& dest, bool progress) {
  std::string url;
  std::getline(std::cin, url);
  bool show = progress && ::isatty(STDERR_FILENO);
  try {
    clone_repository(url, dest, &Interrupts::flag(),
                     show ? print_progress : std::function<void(const CloneProgress&)>{});
    if (show) std::fputs("\n", stderr);
  } catch (const GitError& e) {
    if (show) std::fputs("\n", stderr);
    std::string line = sanitize_utf8(e.what()) + "\n";
    (void)!::write(kHelperErrorFd, line.data(), line.size());
    return 2;
  }
  return 0;
}

RepositorySource RepositorySource::open(const std::string& arg, const OpenOptions& options) {
  RepositorySource src;
  if (!is_remote_address(arg)) {
    Path p(arg);
    if (!path_exists(p)) throw SourceError("no such file or directory: " + sanitize_utf8(arg));
    if (!is_dir(p)) throw SourceError("not a directory: " + sanitize_utf8(arg));
    src.path_ = p;
    return src;
  }

  src.url_ = redact_url(arg);
  src.name_ = repo_name_of(*src.url_);
  std::string tmpl = (std::filesystem::temp_directory_path() / "ostrameld-clone-XXXXXX").string();
  if (!::mkdtemp(tmpl.data()))
    throw SourceError("cannot create a temporary directory for the clone");
  src.temp_ = tmpl;
  src.path_ = src.temp_;
  Interrupts::register_temp(src.temp_);
  if (!options.clone_helper.empty()) {
    clone_in_child(options.clone_helper, arg, src.temp_,
                   options.progress);  // a SourceError removes the directory
    return src;
  }
  bool show = options.progress && ::isatty(STDERR_FILENO);
  try {
    clone_repository(arg, src.temp_, &Interrupts::flag(),
                     show ? print_progress : std::function<void(const CloneProgress&)>{});
    if (show) std::fputs("\n", stderr);
  } catch (const GitError& e) {
    if (show) std::fputs("\n", stderr);
    throw SourceError(e.what());  // the destructor of src removes the directory
  }
  return src;
}

RepositorySource::RepositorySource(RepositorySource&& other) noexcept
    : path_(std::move(other.path_)),
      temp_(std::move(other.temp_)),
      url_(std::move(other.url_)),
      name_(std::move(other.name_)) {
  other.temp_.clear();
}

RepositorySource::~RepositorySource() {
  if (temp_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(temp_, ec);
  Interrupts::unregister_temp(temp_);
}

}  // namespace ostrameld
