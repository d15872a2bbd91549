#include "ostrameld/utils/commit_graph.h"

#include <cstring>

namespace ostrameld {

namespace {

constexpr std::uint32_t kNoParent = 0x70000000;
constexpr std::uint32_t kExtraEdges = 0x80000000;
constexpr std::size_t kDataEntry = CommitGraph::kOidSize + 16;

std::uint32_t be32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

std::uint64_t be64(const unsigned char* p) {
  return (std::uint64_t{be32(p)} << 32) | be32(p + 4);
}

constexpr std::uint32_t chunk_id(const char (&id)[5]) {
  return (std::uint32_t(static_cast<unsigned char>(id[0])) << 24) |
         (std::uint32_t(static_cast<unsigned char>(id[1])) << 16) |
         (std::uint32_t(static_cast<unsigned char>(id[2])) << 8) |
         std::uint32_t(static_cast<unsigned char>(id[3]));
}

}  // namespace

std::optional<CommitGraph> CommitGraph::parse(std::string_view bytes) {
  const auto* base = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  // Header: "CGPH", version 1, hash version 1 (SHA-1), chunk count, base graph count 0.
  if (size < 8 || std::memcmp(base, "CGPH", 4) != 0 || base[4] != 1 || base[5] != 1 ||
      base[7] != 0) {
    return std::nullopt;
  }
  const std::size_t chunks = base[6];
  const std::size_t table_end = 8 + (chunks + 1) * 12;
  if (table_end > size) return std::nullopt;

  CommitGraph g;
  std::size_t oidl_size = 0;
  std::size_t cdat_size = 0;
  std::size_t fanout_size = 0;
  for (std::size_t i = 0; i < chunks; ++i) {
    const unsigned char* entry = base + 8 + i * 12;
    std::uint32_t id = be32(entry);
    std::uint64_t start = be64(entry + 4);
    std::uint64_t end = be64(entry + 16);  // the next entry's offset ends this chunk
    if (start < table_end || end < start || end > size) return std::nullopt;
    const unsigned char* chunk = base + start;
    std::size_t length = static_cast<std::size_t>(end - start);
    if (id == chunk_id("OIDF")) {
      g.fanout_ = chunk;
      fanout_size = length;
    } else if (id == chunk_id("OIDL")) {
      g.oids_ = chunk;
      oidl_size = length;
    } else if (id == chunk_id("CDAT")) {
      g.data_ = chunk;
      cdat_size = length;
    } else if (id == chunk_id("EDGE")) {
      g.edges_ = chunk;
      g.edge_count_ = length / 4;
    }
  }
  if (!g.fanout_ || !g.oids_ || !g.data_ || fanout_size != 256 * 4) return std::nullopt;
  std::uint32_t previous = 0;
  for (std::size_t b = 0; b < 256; ++b) {
    std::uint32_t n = be32(g.fanout_ + b * 4);
    if (n < previous) return std::nullopt;
    previous = n;
  }
  g.count_ = previous;
  if (oidl_size != std::size_t{g.count_} * kOidSize ||
      cdat_size != std::size_t{g.count_} * kDataEntry) {
    return std::nullopt;
  }
  return g;
}

std::optional<std::uint32_t> CommitGraph::find(const unsigned char* oid) const {
  std::uint32_t lo = oid[0] == 0 ? 0 : be32(fanout_ + (oid[0] - 1) * 4);
  std::uint32_t hi = be32(fanout_ + oid[0] * 4);
  while (lo < hi) {
    std::uint32_t mid = lo + (hi - lo) / 2;
    int cmp = std::memcmp(oids_ + std::size_t{mid} * kOidSize, oid, kOidSize);
    if (cmp == 0) return mid;
    if (cmp < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return std::nullopt;
}

bool CommitGraph::parents(std::uint32_t pos, std::vector<std::uint32_t>& out) const {
  if (pos >= count_) return false;
  const unsigned char* entry = data_ + std::size_t{pos} * kDataEntry + kOidSize;
  std::uint32_t first = be32(entry);
  std::uint32_t second = be32(entry + 4);
  if (first == kNoParent) return second == kNoParent;
  if (first >= count_) return false;
  out.push_back(first);
  if (second == kNoParent) return true;
  if (!(second & kExtraEdges)) {
    if (second >= count_) return false;
    out.push_back(second);
    return true;
  }
  // An octopus merge: its further parents run through the extra edge list.
  for (std::size_t i = second & ~kExtraEdges; i < edge_count_; ++i) {
    std::uint32_t edge = be32(edges_ + i * 4);
    std::uint32_t parent = edge & ~kExtraEdges;
    if (parent >= count_) return false;
    out.push_back(parent);
    if (edge & kExtraEdges) return true;
  }
  return false;
}

}  // namespace ostrameld
