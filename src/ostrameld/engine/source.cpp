#include "ostrameld/engine/source.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

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

constexpr std::string_view kClonePrefix = "ostrameld-clone-";

// The clone's lock: made under another name, locked, then renamed into place, so that
// a lock file another run can see is always held.
int take_lock(const Path& dir) {
  Path tmp = dir / ".lock-new";
  int fd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) throw SourceError("cannot create the clone's lock file");
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(tmp.c_str(), (dir / ".lock").c_str()) != 0) {
    ::close(fd);
    throw SourceError("cannot lock the clone's directory");
  }
  return fd;
}

// A local path that looks like a forge address without its scheme.
bool looks_like_host_path(std::string_view arg) {
  auto slash = arg.find('/');
  if (slash == std::string_view::npos || slash == 0) return false;
  std::string_view first = arg.substr(0, slash);
  return first.find('.') != std::string_view::npos && first.front() != '.' &&
         first.find_first_not_of(
             "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:") ==
             std::string_view::npos;
}

}  // namespace

void remove_abandoned_clones(const Path& dir) {
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.rfind(kClonePrefix, 0) != 0) continue;
    int fd = ::open((it->path() / ".lock").c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;  // not ours, or still being set up
    bool abandoned = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (abandoned) {
      std::error_code rm;
      std::filesystem::remove_all(it->path(), rm);
    }
    ::close(fd);
  }
}

RepositorySource RepositorySource::open(const std::string& arg, const OpenOptions& options) {
  RepositorySource src;
  Path p(arg);
  // An existing path is local even when it could be read as an address, as git does.
  AddressKind kind = path_exists(p) ? AddressKind::Local : classify_address(arg);
  if (kind == AddressKind::Unsupported) {
    throw SourceError("unsupported repository address " + sanitize_utf8(redact_url(arg)) +
                      " (accepted: a directory, or " + std::string(kAcceptedAddresses) + ")");
  }
  if (kind == AddressKind::Local) {
    if (!path_exists(p)) {
      std::string msg = "no such file or directory: " + sanitize_utf8(arg);
      if (looks_like_host_path(arg))
        msg += " (for a repository on a forge, give its URL: https://" + sanitize_utf8(arg) + ")";
      throw SourceError(msg);
    }
    if (!is_dir(p)) throw SourceError("not a directory: " + sanitize_utf8(arg));
    src.path_ = p;
    return src;
  }

  src.url_ = redact_url(arg);
  src.name_ = repo_name_of(*src.url_);
  Path tmp_root = std::filesystem::temp_directory_path();
  static std::once_flag swept;  // once per process: a batch opens many clones
  std::call_once(swept, [&] { remove_abandoned_clones(tmp_root); });
  std::string tmpl = (tmp_root / (std::string(kClonePrefix) + "XXXXXX")).string();
  if (!::mkdtemp(tmpl.data()))
    throw SourceError("cannot create a temporary directory for the clone");
  src.temp_ = tmpl;
  Interrupts::register_temp(src.temp_);
  src.lock_ = take_lock(src.temp_);  // on failure the destructor removes the directory
  src.path_ = src.temp_ / "repo";
  try {
    clone_repository(arg, src.path_,
                     {.progress = options.progress && ::isatty(STDERR_FILENO),
                      .deadline = options.deadline,
                      .cancel = &Interrupts::flag()});
  } catch (const GitError& e) {
    throw SourceError(e.what());  // the destructor of src removes the directory
  }
  return src;
}

RepositorySource::RepositorySource(RepositorySource&& other) noexcept
    : path_(std::move(other.path_)),
      temp_(std::move(other.temp_)),
      lock_(other.lock_),
      url_(std::move(other.url_)),
      name_(std::move(other.name_)) {
  other.temp_.clear();
  other.lock_ = -1;
}

RepositorySource::~RepositorySource() {
  if (temp_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(temp_, ec);
  Interrupts::unregister_temp(temp_);
  if (lock_ >= 0) ::close(lock_);  // after the removal, so no other run races us to it
}

}  // namespace ostrameld
