#include "ostrameld/engine/output.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace ostrameld {

namespace {

// Where a path leads when it is a symbolic link (also a dangling one: the file it names
// is created); the path itself otherwise.
Path final_target(const Path& path) {
  Path p = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    std::error_code ec;
    Path target = std::filesystem::read_symlink(p, ec);
    if (ec) throw OsError(ec.value(), p);
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  throw OsError(ELOOP, path);
}

int connect_socket(const Path& p) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (p.native().size() >= sizeof addr.sun_path) throw OsError(ENAMETOOLONG, p);
  std::strcpy(addr.sun_path, p.c_str());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw OsError(errno, p);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    int err = errno;
    ::close(fd);
    throw OsError(err, p);
  }
  return fd;
}

// Process-wide by nature: temporary files not yet renamed into place, for a process that
// is made to end before its owner could remove them.
struct Unfinished {
  std::mutex mu;
  std::set<std::string> temps;
};

Unfinished& unfinished() {
  static Unfinished u;
  return u;
}

void track(const Path& temp, bool pending) {
  std::lock_guard lock(unfinished().mu);
  if (pending) {
    unfinished().temps.insert(temp.native());
  } else {
    unfinished().temps.erase(temp.native());
  }
}

mode_t creation_mode() {
  // The umask is only readable by setting it; read once, before worker threads start.
  static const mode_t mask = [] {
    mode_t m = ::umask(022);
    ::umask(m);
    return m;
  }();
  return 0666 & ~mask;
}

}  // namespace

void write_all(int fd, std::string_view text, const Path& what) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw OsError(errno, what);
    }
    done += static_cast<std::size_t>(n);
  }
}

OutputFile::OutputFile(const Path& destination) {
  creation_mode();
  destination_ = final_target(destination);
  struct stat st;
  bool exists = ::stat(destination_.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) throw OsError(errno, destination);
  if (exists && S_ISDIR(st.st_mode)) throw OsError(EISDIR, destination);
  if (exists && !S_ISREG(st.st_mode)) {
    // A device, a FIFO or a socket is someone's stream: written to, never replaced.
    direct_ = true;
    if (S_ISSOCK(st.st_mode)) {
      fd_ = connect_socket(destination_);
    } else {
      fd_ = ::open(destination_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      if (fd_ < 0) throw OsError(errno, destination);
    }
    return;
  }
  Path dir = destination_.parent_path();
  if (dir.empty()) dir = ".";
  std::string pattern = (dir / ("." + destination_.filename().native() + ".XXXXXX")).native();
  fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) throw OsError(errno, destination);
  temp_ = pattern;
  track(temp_, true);
  if (exists) {
    // The replacement is the same file to its owner: same permissions, same owner.
    if (::fchown(fd_, st.st_uid, st.st_gid) != 0)
      (void)!::fchown(fd_, static_cast<uid_t>(-1), st.st_gid);
    ::fchmod(fd_, st.st_mode & 07777);
  } else {
    ::fchmod(fd_, creation_mode());
  }
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    track(temp_, false);
  }
}

void remove_unfinished_outputs() {
  std::lock_guard lock(unfinished().mu);
  for (const auto& temp : unfinished().temps) ::unlink(temp.c_str());
  unfinished().temps.clear();
}

void OutputFile::commit(std::string_view text) {
  write_all(fd_, text, destination_);
  if (direct_) {
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) throw OsError(errno, destination_);
    return;
  }
  if (::fsync(fd_) != 0) throw OsError(errno, destination_);
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw OsError(errno, destination_);
  if (::rename(temp_.c_str(), destination_.c_str()) != 0) throw OsError(errno, destination_);
  track(temp_, false);
  temp_.clear();
}

bool close_stdout() {
  std::cout.flush();
  bool ok = !std::cout.fail();
  int saved = 0;
  if (std::fflush(stdout) != 0) {
    ok = false;
    saved = errno;
  }
  if (std::ferror(stdout)) ok = false;
  // A file system may report a lost write only when the file is closed.
  if (::close(STDOUT_FILENO) != 0 && errno != EBADF) {
    ok = false;
    saved = errno;
  }
  if (!ok) errno = saved;  // 0: the stream failed earlier, for a reason no longer known
  return ok;
}

}  // namespace ostrameld
