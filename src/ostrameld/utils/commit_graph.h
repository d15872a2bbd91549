// Git's commit-graph file: every commit's parents by position, so that a history can be
// walked without inflating a single commit object (as `git rev-list` does when it has one).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace ostrameld {

class CommitGraph {
 public:
  static constexpr std::size_t kOidSize = 20;  // SHA-1; other hashes are not read

  // A view of a single-file SHA-1 commit-graph held in memory (which must outlive the
  // graph). Nothing when the bytes are not one, are split over several files, or are
  // inconsistent in any way this reader can see.
  static std::optional<CommitGraph> parse(std::string_view bytes);

  std::uint32_t size() const { return count_; }
  // Position of a commit id (kOidSize raw bytes), if the graph holds it.
  std::optional<std::uint32_t> find(const unsigned char* oid) const;
  // Appends the parent positions of the commit at pos; false for inconsistent data.
  bool parents(std::uint32_t pos, std::vector<std::uint32_t>& out) const;

 private:
  const unsigned char* fanout_ = nullptr;
  const unsigned char* oids_ = nullptr;
  const unsigned char* data_ = nullptr;
  const unsigned char* edges_ = nullptr;
  std::size_t edge_count_ = 0;
  std::uint32_t count_ = 0;
};

}  // namespace ostrameld
