// Git's object database read in this process: loose objects and packs (index version 2,
// offset and reference deltas) in a repository's object directory and its alternates.
// Nothing is started and nothing is fetched. What is not read here — an object that is
// missing, a pack index of another version, a delta chain deeper than git makes, a
// malformed object — is "not known", and the caller asks git instead; so the answers
// never differ from git's, they only come without a process.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/utils/deadline.h"
#include "ostrameld/utils/files.h"

namespace ostrameld {

struct GitObject {
  std::string type;  // "commit", "tree", "blob" or "tag"
  std::string data;
};

// What one store may spend for a repository, whatever its objects say: every limit is
// fixed before anything is read.
struct ObjectBudget {
  // Bytes produced by inflating and applying deltas, over the store's life. Past it the
  // store is refused (GitError).
  std::uint64_t produced_bytes = 1ull << 30;
  // Resolved delta bases kept for reuse, so that a chain is rebuilt once, not per read.
  std::size_t cache_bytes = 64u << 20;
  // Pack indexes held at once, all packs together.
  std::size_t index_bytes = 256u << 20;
  // Past this the reader throws TimeoutError, between any two objects of a chain.
  Deadline deadline;
};

class ObjectStore {
 public:
  // Any object at any depth of a delta chain, a base named by id included, is at most
  // this large; a larger declared size is refused before anything is allocated.
  static constexpr std::size_t kMaxObjectBytes = 16u << 20;

  // objects_dir: the repository's objects directory; sha256: object names of 64 digits.
  ObjectStore(const Path& objects_dir, bool sha256, ObjectBudget budget = {});
  ~ObjectStore();
  ObjectStore(const ObjectStore&) = delete;
  ObjectStore& operator=(const ObjectStore&) = delete;

  // The object named by a hexadecimal id, or nothing when it is not known here (git is
  // then asked). Objects larger than max_bytes (at most kMaxObjectBytes) are not read
  // (nothing). Meant for commits and tags: an object of a chain declaring more than
  // kMaxObjectBytes, a chain deeper or larger than git makes, or a store that costs more
  // than the budget is hostile, and throws GitError; TimeoutError past the deadline.
  std::optional<GitObject> read(std::string_view hex_oid, std::size_t max_bytes = 1 << 20);

  // How many objects the pack indexes list (each index's count, summed; an object in two
  // packs counts twice). Nothing when an index cannot be read here.
  std::optional<std::uint64_t> packed_objects();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The parents a commit object names, in order.
std::vector<std::string> commit_parents(std::string_view commit);
// The object a tag object names ("object <id>").
std::optional<std::string> tag_target(std::string_view tag);

}  // namespace ostrameld
