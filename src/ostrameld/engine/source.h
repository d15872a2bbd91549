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

class RepositorySource {
 public:
  // Validates a local path, or clones a URL with its full history. With progress set,
  // the clone reports on stderr. Throws SourceError.
  static RepositorySource open(const std::string& arg, bool progress = false);

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

}  // namespace ostrameld
