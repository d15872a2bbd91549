// Git metadata and cloning; nothing else in the program talks to git. The assessed
// repository is untrusted: what git keeps in plain files is read in this process, and
// git itself is started only on a git directory of our own making that lends it the
// repository's objects, so nothing the repository (or a parent) configures can make git
// fetch or start anything.
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/core/context.h"
#include "ostrameld/utils/files.h"
#include "ostrameld/utils/process.h"

namespace ostrameld {

class GitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Metadata of the working tree containing path (searching upward like git does).
// A path in no working tree gives is_repo = false; other failures throw GitError.
GitInfo read_git_info(const Path& path, Deadline deadline = std::nullopt,
                      const std::atomic<bool>* cancel = nullptr);

// The type ("commit", "tree", "blob", "tag") of each object id in the repository holding
// path, "missing" for one it does not have. Throws GitError.
std::vector<std::string> object_types(const Path& path, const std::vector<std::string>& oids,
                                      Deadline deadline = std::nullopt);

// The top of the work tree holding path, when path lies in one.
std::optional<Path> work_tree_top(const Path& path);

// Whether path is itself a repository without a work tree of its own there: a bare
// repository, or a git directory.
bool is_bare_repository(const Path& path);

// What a clone may download and check out: enough for any real research repository,
// far too little for a repository built to fill the disk.
struct CloneLimits {
  std::uintmax_t max_files = 250'000;
  std::uintmax_t max_bytes = std::uintmax_t{2} << 30;
};

struct CloneOptions {
  bool progress = false;  // pass git's progress on to stderr
  Deadline deadline;
  const std::atomic<bool>* cancel = nullptr;
  CloneLimits limits;
};

// Clones url into dest (which must not exist or be empty) with commits and tags but
// only the trees and files of HEAD, or whole where the server cannot filter. A local
// source (file:// or a path) is lent to git through a git directory of our own. Throws
// GitError with a one-line reason free of credentials, TimeoutError past the deadline.
void clone_repository(const std::string& url, const Path& dest, const CloneOptions& options = {});

}  // namespace ostrameld
