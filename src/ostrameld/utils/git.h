// Git metadata and cloning through the git program; nothing else in the program talks
// to git. The assessed repository is untrusted: git runs in a clean environment, with
// overrides that keep anything its configuration names from ever being started.
#pragma once

#include <atomic>
#include <stdexcept>
#include <string>
#include <string_view>

#include "ostrameld/core/context.h"
#include "ostrameld/utils/files.h"
#include "ostrameld/utils/process.h"

namespace ostrameld {

class GitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Work stopped because its deadline passed.
class TimeoutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Metadata of the working tree containing path (searching upward like git does).
// A path in no working tree gives is_repo = false; other failures throw GitError.
GitInfo read_git_info(const Path& path, Deadline deadline = std::nullopt,
                      const std::atomic<bool>* cancel = nullptr);

struct CloneOptions {
  bool progress = false;  // pass git's progress on to stderr
  Deadline deadline;
  const std::atomic<bool>* cancel = nullptr;
};

// Clones url into dest (which must not exist or be empty) with commits and tags but
// only the trees and files of HEAD, or whole where the server cannot filter. Throws
// GitError with a one-line reason free of credentials, TimeoutError past the deadline.
void clone_repository(const std::string& url, const Path& dest, const CloneOptions& options = {});

}  // namespace ostrameld
