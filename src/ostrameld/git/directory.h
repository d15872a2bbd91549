// The plain files in which git keeps a repository — where its git directory lies, HEAD,
// references, configuration, the shallow list — read in this process as git reads them.
// No git process is started for them, so nothing the repository configures can run or
// fetch; a file is opened only when it is a regular file (never blocking, never more
// than a bound), and what git itself would refuse is a GitError.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ostrameld/git/repository.h"
#include "ostrameld/utils/files.h"

namespace ostrameld {

struct GitLayout {
  Path work_tree;   // the top of the work tree; empty for a repository opened by its path
  Path git_dir;     // this work tree's git directory (HEAD)
  Path common_dir;  // what all work trees share (objects, references, configuration)
};

// The work tree holding `path` and its repository, searched upward as git does (at most
// to GIT_CEILING_DIRECTORIES, never across a file-system boundary, and, unless trusted,
// never to a repository above `path` that another user owns). Nothing when `path` lies
// in no work tree: outside every repository, in a bare one or in a git directory.
std::optional<GitLayout> find_work_tree(const Path& path);

// Whether the upward search takes a repository above the path that another user owns
// (such as a /tmp/.git anyone could have made). Set once, before any assessment.
void trust_parent_repositories_of_others(bool trust);

// The top of a work tree above `path` that the search passed by because another user
// owns it, so that the user can be told; nothing when there is none.
std::optional<Path> foreign_parent_repository(const Path& path);

// The repository at exactly `path` (bare, a git directory, or the top of a work tree),
// as git opens the repository of a local clone source; nothing when there is none.
std::optional<GitLayout> open_repository(const Path& path);

struct GitRef {
  std::string name;  // full, e.g. "refs/tags/v1.0.0"
  std::string oid;   // hexadecimal
};

struct RepositoryState {
  bool bare = false;    // core.bare set: git sees no work tree after all
  bool sha256 = false;  // extensions.objectFormat
  // A partial clone (extensions.partialClone, or a promisor remote): objects may be
  // missing on purpose.
  bool partial = false;
  bool shallow = false;
  std::string shallow_list;  // the shallow file as read, for git to be given
  std::string grafts;        // info/grafts, likewise
  std::string head_ref;      // the branch HEAD names, e.g. "refs/heads/main"; empty: detached
  std::string head_oid;      // empty while HEAD is unborn
  bool branch_exists = false;
  std::vector<GitRef> heads;    // refs/heads/*
  std::vector<GitRef> tags;     // refs/tags/*
  std::vector<GitRef> replace;  // refs/replace/*: git applies them to every read
  // remote.NAME.url settings in the order of the files; git reads them only when the
  // configuration includes other files (includes is then set).
  std::vector<std::pair<std::string, std::string>> remote_urls;
  bool includes = false;
  // An include names a file outside the repository's git directories (or the home
  // directory): git is then not asked to read the configuration, whose includes it would
  // follow there.
  bool includes_outside = false;
};

// Reads what the layout's repository holds. Throws GitError.
RepositoryState read_repository_state(const GitLayout& layout);

// Whether dir is a git directory: a valid HEAD, objects and references.
bool is_git_directory(const Path& dir);

// Git's rules for a reference name (check-ref-format).
bool valid_ref_name(std::string_view name);

}  // namespace ostrameld
