// What goes wrong reading or cloning a repository with git, in one line free of
// credentials.
#pragma once

#include <stdexcept>

namespace ostrameld {

class GitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace ostrameld
