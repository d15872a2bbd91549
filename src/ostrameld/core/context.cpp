#include "ostrameld/core/context.h"

#include <stdexcept>

namespace ostrameld {

const GitInfo& Context::git() const {
  if (!git_repo) {
    throw std::runtime_error(git_error.empty() ? "git metadata unavailable" : git_error);
  }
  return *git_repo;
}

}  // namespace ostrameld
