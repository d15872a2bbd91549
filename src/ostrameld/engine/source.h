// Where an assessed repository comes from: a local directory, or a URL cloned into a
// temporary directory that is removed on every way out.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "ostrameld/git/clone.h"
#include "ostrameld/git/repository.h"
#include "ostrameld/utils/files.h"
#include "ostrameld/utils/process.h"
#include "ostrameld/utils/tempdir.h"

namespace ostrameld {

// The argument names no usable repository (missing path, not a directory, clone failed).
class SourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OpenOptions {
  bool progress = false;  // report clone progress on stderr when it is a terminal
  Deadline deadline;      // a clone still running then is stopped (TimeoutError)
  CloneLimits limits;     // what a clone may download and check out
};

class RepositorySource {
 public:
  // Validates a local path, or clones a URL or a bare repository (commits and tags,
  // the files of HEAD). Throws SourceError, or TimeoutError past the deadline.
  static RepositorySource open(const std::string& arg, const OpenOptions& options = {});

  const Path& path() const { return path_; }
  // The clone URL without credentials; absent for a local directory.
  const std::optional<std::string>& url() const { return url_; }
  // The repository's name as the URL gives it; absent for a local directory.
  const std::optional<std::string>& name() const { return name_; }

 private:
  RepositorySource() = default;
  Path path_;
  std::optional<TempDir> temp_;  // holds a clone; removed with this object
  std::optional<std::string> url_;
  std::optional<std::string> name_;
};

}  // namespace ostrameld
