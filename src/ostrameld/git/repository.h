// A repository's git metadata: commits, tags, their dates, the remote. The assessed
// repository is untrusted: what git keeps in plain files is read in this process, and
// git itself is started only on a git directory of our own making that lends it the
// repository's objects (git/sealed), so nothing the repository (or a parent) configures
// can make git fetch or start anything. Cloning is in git/clone.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ostrameld/core/context.h"
#include "ostrameld/git/error.h"
#include "ostrameld/utils/files.h"
#include "ostrameld/utils/process.h"

namespace ostrameld {

// Metadata of the working tree containing path (searching upward like git does).
// A path in no working tree gives is_repo = false; other failures throw GitError.
GitInfo read_git_info(const Path& path, Deadline deadline = std::nullopt,
                      const std::atomic<bool>* cancel = nullptr);

// The type ("commit", "tree", "blob", "tag") of each object id in the repository holding
// path, "missing" for one it does not have. Throws GitError.
std::vector<std::string> object_types(const Path& path, const std::vector<std::string>& oids,
                                      Deadline deadline = std::nullopt);

// The people with most commits (not merges, not bots) among the newest ten thousand from
// HEAD, most first, at most `count`: names as the commits give them. Empty outside a
// repository or without commits. Throws GitError.
std::vector<std::pair<std::string, std::size_t>> top_authors(const Path& path, std::size_t count,
                                                              Deadline deadline = std::nullopt);

// The top of the work tree holding path, when path lies in one.
std::optional<Path> work_tree_top(const Path& path);

// Whether path is itself a repository without a work tree of its own there: a bare
// repository, or a git directory.
bool is_bare_repository(const Path& path);

}  // namespace ostrameld
