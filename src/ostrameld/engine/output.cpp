#include "ostrameld/engine/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace ostrameld {

AtomicFile::AtomicFile(const Path& destination) : destination_(destination) {
  struct stat st;
  if (::stat(destination.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw OsError(EISDIR, destination);
  Path dir = destination.parent_path();
  if (dir.empty()) dir = ".";
  std::string pattern = (dir / ("." + destination.filename().native() + ".XXXXXX")).native();
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) throw OsError(errno, destination);
  temp_ = pattern;
  ::fchmod(fd_, 0644);
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

void AtomicFile::commit(std::string_view text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw OsError(errno, destination_);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd_) != 0) throw OsError(errno, destination_);
  ::close(fd_);
  fd_ = -1;
  if (::rename(temp_.c_str(), destination_.c_str()) != 0) throw OsError(errno, destination_);
  temp_.clear();
}

}  // namespace ostrameld
