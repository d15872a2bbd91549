// Private temporary directories below TMPDIR that never outlive their use: removed by
// their owner, by the Ctrl-C watcher, and — when a run was killed outright — by the next
// run, which tells them from those of runs still going by a lock each holds while it lives.
#pragma once

#include <string_view>

#include "ostrameld/utils/files.h"

namespace ostrameld {

class TempDir {
 public:
  // Creates TMPDIR/ostrameld-KIND-XXXXXX (mode 0700) and takes its lock. Throws OsError.
  explicit TempDir(std::string_view kind);
  TempDir(TempDir&& other) noexcept;
  TempDir& operator=(TempDir&&) = delete;
  TempDir(const TempDir&) = delete;
  ~TempDir();

  const Path& path() const { return path_; }

 private:
  Path path_;
  int lock_ = -1;
};

// Removes from dir the directories of runs that were killed before they could (their
// lock is free); those of running processes and of other users stay. A TempDir does
// this once per process for TMPDIR.
void remove_abandoned_temp_dirs(const Path& dir);

// Removes every temporary directory of this process at once: for the signal watcher,
// when the process is about to end.
void remove_all_temp_dirs();

}  // namespace ostrameld
