// Where an assessed repository comes from: a local directory, or a URL cloned into a
// temporary directory that is removed on every way out.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "ostrameld/utils/files.h"
#include "ostrameld/utils/process.h"

namespace ostrameld {

// The argument names no usable repository (missing path, not a directory, clone failed).
class SourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OpenOptions {
  bool progress = false;  // report clone progress on stderr when it is a terminal
  Deadline deadline;      // a clone still running then is stopped (TimeoutError)
};

class RepositorySource {
 public:
  // Validates a local path, or clones a URL (commits and tags, the files of HEAD).
  // Throws SourceError, or TimeoutError past the deadline.
  static RepositorySource open(const std::string& arg, const OpenOptions& options = {});

  RepositorySource(RepositorySource&& other) noexcept;
  RepositorySource& operator=(RepositorySource&&) = delete;
  RepositorySource(const RepositorySource&) = delete;
  ~RepositorySource();

  const Path& path() const { return path_; }
  // The clone URL without credentials; absent for a local directory.
  const std::optional<std::string>& url() const { return url_; }
  // The repository's name as the URL gives it; absent for a local directory.
  const std::optional<std::string>& name() const { return name_; }

 private:
  RepositorySource() = default;
  Path path_;
  Path temp_;      // holds the clone and its lock; removed by the destructor
  int lock_ = -1;  // held while the clone is in use, so that later runs leave it alone
  std::optional<std::string> url_;
  std::optional<std::string> name_;
};

// Removes the clone directories in dir that runs killed before they could clean up
// (their lock is free); directories of running processes are left alone.
void remove_abandoned_clones(const Path& dir);

}  // namespace ostrameld
