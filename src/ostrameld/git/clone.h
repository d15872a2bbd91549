// Cloning a repository by URL or path into a directory of ours, within limits fixed
// before anything is written; the only place the program lets git use the network.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "ostrameld/git/error.h"
#include "ostrameld/utils/deadline.h"
#include "ostrameld/utils/files.h"

namespace ostrameld {

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
