// Git metadata and cloning through libgit2; nothing else in the program talks to git.
#pragma once

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "ostrameld/core/context.h"
#include "ostrameld/utils/files.h"

namespace ostrameld {

class GitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Metadata of the working tree containing path (searching upward like git does).
// A path in no working tree gives is_repo = false; other failures throw GitError.
GitInfo read_git_info(const Path& path);

struct CloneProgress {
  std::size_t received_objects = 0;
  std::size_t total_objects = 0;
  std::size_t received_bytes = 0;
};

// Clones url (full history) into dest, which must not exist or be empty. A set
// `cancel` flag aborts the transfer. Throws GitError with a one-line reason.
void clone_repository(const std::string& url, const Path& dest,
                      const std::atomic<bool>* cancel = nullptr,
                      const std::function<void(const CloneProgress&)>& progress = {});

}  // namespace ostrameld
