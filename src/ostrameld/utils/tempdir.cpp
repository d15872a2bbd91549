#include "ostrameld/utils/tempdir.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace ostrameld {

namespace {

constexpr std::string_view kPrefix = "ostrameld-";

// Process-wide by nature: what the signal watcher must remove when the process ends.
struct Registry {
  std::mutex mu;
  std::set<Path> dirs;
  bool closed = false;  // the process is ending: no new directory may appear
};

Registry& registry() {
  static Registry r;
  return r;
}

// The lock is made under another name, locked, then renamed into place, so that a lock
// file another run can see is always held.
int take_lock(const Path& dir) {
  Path tmp = dir / ".lock-new";
  int fd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw OsError(errno, tmp);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(tmp.c_str(), (dir / ".lock").c_str()) != 0) {
    int err = errno;
    ::close(fd);
    throw OsError(err, dir);
  }
  return fd;
}

}  // namespace

TempDir::TempDir(std::string_view kind) {
  Path root = std::filesystem::temp_directory_path();
  static std::once_flag swept;  // once per process: a batch makes thousands
  std::call_once(swept, [&] { remove_abandoned_temp_dirs(root); });
  std::string tmpl = (root / (std::string(kPrefix) + std::string(kind) + "-XXXXXX")).native();
  if (!::mkdtemp(tmpl.data())) throw OsError(errno, Path(tmpl));
  path_ = tmpl;
  {
    std::lock_guard lock(registry().mu);
    if (registry().closed) {
      ::rmdir(path_.c_str());
      path_.clear();
      throw OsError(EINTR, std::string("the program is ending"));
    }
    registry().dirs.insert(path_);
  }
  try {
    lock_ = take_lock(path_);
  } catch (...) {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    std::lock_guard lock(registry().mu);
    registry().dirs.erase(path_);
    throw;
  }
}

TempDir::TempDir(TempDir&& other) noexcept : path_(std::move(other.path_)), lock_(other.lock_) {
  other.path_.clear();
  other.lock_ = -1;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  {
    std::lock_guard lock(registry().mu);
    registry().dirs.erase(path_);
  }
  if (lock_ >= 0) ::close(lock_);  // after the removal, so that no other run races us to it
}

void remove_abandoned_temp_dirs(const Path& root) {
  {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(root, ec), end; !ec && it != end;
         it.increment(ec)) {
      if (it->path().filename().native().rfind(kPrefix, 0) != 0) continue;
      struct stat st;
      if (::lstat(it->path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        continue;  // only our own directories, never through a link
      int fd = ::open((it->path() / ".lock").c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
      if (fd < 0) continue;  // not ours, or still being set up
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        std::error_code rm;
        std::filesystem::remove_all(it->path(), rm);
      }
      ::close(fd);
    }
  }
}

void remove_all_temp_dirs() {
  std::lock_guard lock(registry().mu);
  registry().closed = true;
  for (const auto& dir : registry().dirs) {
    // A child killed a moment ago may still be writing: try until the directory is gone.
    for (int attempt = 0; attempt < 40; ++attempt) {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
      if (!std::filesystem::exists(dir, ec)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  registry().dirs.clear();
}

}  // namespace ostrameld
