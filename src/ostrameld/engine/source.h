// Where an assessed repository comes from: a local directory, or a URL cloned into a
// temporary directory that is removed on every way out.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "ostrameld/utils/files.h"

namespace ostrameld {

// The argument names no usable repository (missing path, not a directory, clone failed).
class SourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OpenOptions {
  bool progress = false;  // report clone progress on stderr when it is a terminal
  // When set, clones run in a child process "HELPER __clone DEST" (URL on its standard
  // input): the memory that libgit2 leaks per clone dies with the child, and a crash on
  // a hostile remote ends only that child.
  Path clone_helper;
};

class RepositorySource {
 public:
  // Validates a local path, or clones a URL with its full history. Throws SourceError.
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
  Path temp_;  // the clone's directory, removed by the destructor
  std::optional<std::string> url_;
  std::optional<std::string> name_;
};

// The child side of OpenOptions::clone_helper: reads the URL from standard input and
// clones it into dest. Returns the process exit status (0, or 2 with a line on
// descriptor 3).
int run_clone_helper(const Path& dest, bool progress);

}  // namespace ostrameld
