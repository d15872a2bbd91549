#include "ostrameld/git/objects.h"

#include "ostrameld/git/repository.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <list>
#include <map>
#include <cstring>
#include <filesystem>

namespace ostrameld {

namespace {

constexpr std::size_t kMaxLooseBytes = 16u << 20;
constexpr int kMaxDeltaDepth = 4096;  // git's own limit for a delta chain
// All deltas held at once while one object is rebuilt, bases named by id and their own
// chains included.
constexpr std::size_t kMaxChainBytes = 16u << 20;
constexpr int kMaxAlternates = 5;     // nesting, as git allows
constexpr int kMaxNamedBases = 8;     // reference deltas whose base is itself one, nested

struct Fd {
  int fd = -1;
  explicit Fd(int f = -1) : fd(f) {}
  Fd(Fd&& o) noexcept : fd(o.fd) { o.fd = -1; }
  Fd& operator=(Fd&& o) noexcept {
    std::swap(fd, o.fd);
    return *this;
  }
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// A regular file of the object database, opened without blocking; -1 otherwise. Its type
// is looked at before it is opened: opening a device can itself do something.
Fd open_regular(const Path& p) {
  struct stat before;
  if (::stat(p.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return Fd{};
  Fd f{::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
  if (f.fd < 0) return Fd{};
  struct stat st;
  if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) return Fd{};
  return f;
}

std::optional<std::string> read_whole(const Path& p, std::size_t limit) {
  Fd f = open_regular(p);
  if (f.fd < 0) return std::nullopt;
  struct stat st;
  if (::fstat(f.fd, &st) != 0 || static_cast<std::uintmax_t>(st.st_size) > limit) return std::nullopt;
  std::string out(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t got = 0;
  while (got < out.size()) {
    ssize_t n = ::read(f.fd, out.data() + got, out.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    got += static_cast<std::size_t>(n);
  }
  return out;
}

bool pread_all(int fd, void* buf, std::size_t n, std::uint64_t at) {
  auto* p = static_cast<char*>(buf);
  while (n > 0) {
    ssize_t r = ::pread(fd, p, n, static_cast<off_t>(at));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
    at += static_cast<std::uint64_t>(r);
  }
  return true;
}

std::uint32_t be32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> hex_to_raw(std::string_view hex, std::size_t raw_len) {
  if (hex.size() != raw_len * 2) return std::nullopt;
  std::string raw(raw_len, '\0');
  for (std::size_t i = 0; i < raw_len; ++i) {
    int hi = hex_value(hex[2 * i]), lo = hex_value(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    raw[i] = static_cast<char>(hi * 16 + lo);
  }
  return raw;
}

std::string raw_to_hex(std::string_view raw) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(raw.size() * 2);
  for (unsigned char c : raw) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

// Inflates a zlib stream read from fd at `at` into exactly `size` bytes; nothing when the
// stream is malformed or holds another size.
std::optional<std::string> inflate_at(int fd, std::uint64_t at, std::size_t size) {
  std::string out(size, '\0');
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return std::nullopt;
  std::array<unsigned char, 16384> in;
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(size);
  int rc = Z_OK;
  unsigned char spare;  // a stream that inflates to more than `size` is refused
  while (rc != Z_STREAM_END) {
    if (zs.avail_in == 0) {
      ssize_t n = ::pread(fd, in.data(), in.size(), static_cast<off_t>(at));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      at += static_cast<std::uint64_t>(n);
      zs.next_in = in.data();
      zs.avail_in = static_cast<uInt>(n);
    }
    if (zs.avail_out == 0) {
      zs.next_out = &spare;
      zs.avail_out = 1;
      rc = inflate(&zs, Z_NO_FLUSH);
      if (zs.avail_out == 0 || (rc != Z_OK && rc != Z_STREAM_END)) break;  // more than announced
      continue;
    }
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
  }
  bool ok = rc == Z_STREAM_END && zs.total_out == size;
  inflateEnd(&zs);
  if (!ok) return std::nullopt;
  return out;
}

std::optional<std::string> inflate_buffer(std::string_view compressed, std::size_t limit) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return std::nullopt;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  zs.avail_in = static_cast<uInt>(compressed.size());
  std::string out;
  std::array<char, 16384> buf;
  int rc = Z_OK;
  while (rc == Z_OK) {
    zs.next_out = reinterpret_cast<Bytef*>(buf.data());
    zs.avail_out = static_cast<uInt>(buf.size());
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    out.append(buf.data(), buf.size() - zs.avail_out);
    if (out.size() > limit) break;
    if (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0) break;  // truncated
  }
  inflateEnd(&zs);
  if (rc != Z_STREAM_END || out.size() > limit) return std::nullopt;
  return out;
}

// git's delta format: the base's size, the result's size, then copy and insert orders.
std::optional<std::string> apply_delta(std::string_view base, std::string_view delta, std::size_t limit) {
  std::size_t i = 0;
  auto varint = [&]() -> std::optional<std::uint64_t> {
    std::uint64_t v = 0;
    int shift = 0;
    while (i < delta.size() && shift < 64) {
      auto c = static_cast<unsigned char>(delta[i++]);
      v |= std::uint64_t{c & 0x7fu} << shift;
      shift += 7;
      if (!(c & 0x80)) return v;
    }
    return std::nullopt;
  };
  auto src = varint(), dst = varint();
  if (!src || !dst || *src != base.size() || *dst > limit) return std::nullopt;
  std::string out;
  out.reserve(static_cast<std::size_t>(*dst));
  while (i < delta.size()) {
    auto op = static_cast<unsigned char>(delta[i++]);
    if (op & 0x80) {
      std::uint64_t off = 0, len = 0;
      for (int b = 0; b < 4; ++b)
        if (op & (1u << b)) {
          if (i >= delta.size()) return std::nullopt;
          off |= std::uint64_t{static_cast<unsigned char>(delta[i++])} << (8 * b);
        }
      for (int b = 0; b < 3; ++b)
        if (op & (0x10u << b)) {
          if (i >= delta.size()) return std::nullopt;
          len |= std::uint64_t{static_cast<unsigned char>(delta[i++])} << (8 * b);
        }
      if (len == 0) len = 0x10000;
      if (off + len > base.size() || out.size() + len > *dst) return std::nullopt;
      out.append(base.substr(static_cast<std::size_t>(off), static_cast<std::size_t>(len)));
    } else if (op != 0) {
      if (i + op > delta.size() || out.size() + op > *dst) return std::nullopt;
      out.append(delta.substr(i, op));
      i += op;
    } else {
      return std::nullopt;  // reserved
    }
  }
  if (out.size() != *dst) return std::nullopt;
  return out;
}

// The size a delta makes, from its header; nothing when the header is malformed.
std::optional<std::uint64_t> delta_result_size(std::string_view delta) {
  std::size_t i = 0;
  std::optional<std::uint64_t> last;
  for (int n = 0; n < 2; ++n) {
    std::uint64_t v = 0;
    int shift = 0;
    for (;;) {
      if (i >= delta.size() || shift >= 64) return std::nullopt;
      auto c = static_cast<unsigned char>(delta[i++]);
      v |= std::uint64_t{c & 0x7fu} << shift;
      shift += 7;
      if (!(c & 0x80)) break;
    }
    last = v;
  }
  return last;
}

const char* type_name(int type) {
  switch (type) {
    case 1: return "commit";
    case 2: return "tree";
    case 3: return "blob";
    case 4: return "tag";
    default: return nullptr;
  }
}

struct Pack {
  Path idx_path, pack_path;
  bool loaded = false, usable = false;
  std::string idx;  // the whole index, once loaded
  std::uint32_t count = 0;
  Fd pack;
};

// Type numbers of the pack format.
int type_number(std::string_view name) {
  return name == "commit" ? 1 : name == "tree" ? 2 : name == "blob" ? 3 : 4;
}

// Objects rebuilt from deltas, by place in a pack, the least recently used dropped first
// once their bytes pass the bound.
class BaseCache {
 public:
  explicit BaseCache(std::size_t bound) : bound_(bound) {}

  struct Entry {
    int type = 0;
    std::shared_ptr<const std::string> data;
  };

  std::optional<Entry> get(std::size_t pack, std::uint64_t offset) {
    auto it = entries_.find({pack, offset});
    if (it == entries_.end()) return std::nullopt;
    order_.splice(order_.begin(), order_, it->second.at);
    return it->second.entry;
  }

  void put(std::size_t pack, std::uint64_t offset, Entry e) {
    std::size_t size = e.data->size();
    if (size > bound_ / 4 || entries_.count({pack, offset})) return;
    while (!order_.empty() && held_ + size > bound_) {
      auto last = entries_.find(order_.back());
      held_ -= last->second.entry.data->size();
      entries_.erase(last);
      order_.pop_back();
    }
    order_.push_front({pack, offset});
    entries_[{pack, offset}] = {std::move(e), order_.begin()};
    held_ += size;
  }

 private:
  using Key = std::pair<std::size_t, std::uint64_t>;
  struct Slot {
    Entry entry;
    std::list<Key>::iterator at;
  };
  std::size_t bound_, held_ = 0;
  std::list<Key> order_;
  std::map<Key, Slot> entries_;
};

}  // namespace

struct ObjectStore::Impl {
  std::size_t raw_len;
  ObjectBudget budget;
  std::vector<Path> dirs;  // the object directory, then its alternates
  std::vector<Pack> packs;
  bool packs_listed = false, packs_broken = false;
  int depth = 0;                    // reference deltas read other objects: bounded
  std::size_t chain_bytes = 0;      // deltas held for the object being read
  std::uint64_t produced = 0;       // bytes inflated and rebuilt so far
  bool exhausted = false;           // the budget is spent: nothing more is read here
  std::size_t index_bytes = 0;      // indexes loaded so far
  BaseCache cache;

  Impl(const Path& objects, bool sha256, ObjectBudget b)
      : raw_len(sha256 ? 32 : 20), budget(std::move(b)), cache(budget.cache_bytes) {
    add_dir(objects, 0);
  }

  void check_deadline() const {
    if (budget.deadline && std::chrono::steady_clock::now() >= *budget.deadline)
      throw TimeoutError("git: reading objects: timed out");
  }

  // Commits and tags are small and their chains short: a store that makes them out of
  // more is built to hurt, and git is not asked to try either.
  [[noreturn]] void refuse(const std::string& why) const {
    throw GitError("git: the repository's objects are refused: " + why);
  }

  // What a delta says it makes is held to the same cap, before its base is even read.
  void check_result_size(std::string_view delta) const {
    auto made = delta_result_size(delta);
    if (made && *made > kMaxObjectBytes)
      refuse("a delta declares " + std::to_string(*made) + " bytes");
  }

  // Counts bytes made; past the budget the store is refused.
  bool spend(std::size_t bytes) {
    produced += bytes;
    if (produced > budget.produced_bytes) {
      exhausted = true;
      refuse("reading them would inflate more than " +
             std::to_string(budget.produced_bytes >> 20) + " MiB");
    }
    return true;
  }

  void add_dir(const Path& dir, int level) {
    if (level > kMaxAlternates || std::find(dirs.begin(), dirs.end(), dir) != dirs.end()) return;
    dirs.push_back(dir);
    // Anything but a regular file there (a FIFO, say) is left to git's refusal.
    struct stat st;
    if (::stat((dir / "info" / "alternates").c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      packs_broken = true;
      return;
    }
    auto text = read_whole(dir / "info" / "alternates", 1 << 20);
    if (!text) return;
    std::size_t start = 0;
    while (start < text->size()) {
      std::size_t nl = text->find('\n', start);
      if (nl == std::string::npos) nl = text->size();
      std::string line = text->substr(start, nl - start);
      start = nl + 1;
      if (line.empty() || line[0] == '#') continue;
      // Quoted alternates (C-style escapes) are not read here: every read then falls
      // back to git, which reads them.
      if (line[0] == '"') {
        packs_broken = true;
        continue;
      }
      Path p(line);
      add_dir(p.is_absolute() ? p : (dir / p).lexically_normal(), level + 1);
    }
  }

  void list_packs() {
    if (packs_listed) return;
    packs_listed = true;
    for (const auto& dir : dirs) {
      std::error_code ec;
      std::vector<std::string> names;
      for (std::filesystem::directory_iterator it(dir / "pack", ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
      std::sort(names.begin(), names.end());
      for (const auto& name : names) {
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".idx") != 0) continue;
        Pack p;
        p.idx_path = dir / "pack" / name;
        p.pack_path = dir / "pack" / (name.substr(0, name.size() - 4) + ".pack");
        packs.push_back(std::move(p));
      }
    }
  }

  // Loads an index: version 2 only, and only when its size is what its object count
  // makes it (a sparse file declaring few objects is not read); anything else makes the
  // whole store unusable here.
  bool load(Pack& p) {
    if (p.loaded) return p.usable;
    p.loaded = true;
    Fd f = open_regular(p.idx_path);
    unsigned char head[8 + 1024];
    if (f.fd < 0 || !pread_all(f.fd, head, sizeof head, 0)) return false;
    if (std::memcmp(head, "\377tOc", 4) != 0 || be32(head + 4) != 2) return false;
    std::uint32_t n = be32(head + 8 + 255 * 4);
    std::uint64_t need = 8 + 1024 + std::uint64_t{n} * (raw_len + 8) + 2 * raw_len;
    struct stat st;
    if (::fstat(f.fd, &st) != 0) return false;
    auto size = static_cast<std::uint64_t>(st.st_size);
    // Past the fixed tables come only 8-byte offsets of objects beyond 2 GiB: at most one each.
    if (size < need || size > need + 8 * std::uint64_t{n}) return false;
    if (index_bytes + size > budget.index_bytes) return false;
    std::string idx(static_cast<std::size_t>(size), '\0');
    if (!pread_all(f.fd, idx.data(), idx.size(), 0)) return false;
    p.pack = open_regular(p.pack_path);
    if (p.pack.fd < 0) return false;
    index_bytes += idx.size();
    p.idx = std::move(idx);
    p.count = n;
    p.usable = true;
    return true;
  }

  std::optional<std::uint64_t> offset_in(const Pack& p, std::string_view raw) const {
    const auto* u = reinterpret_cast<const unsigned char*>(p.idx.data());
    auto first = static_cast<unsigned char>(raw[0]);
    std::uint32_t lo = first == 0 ? 0 : be32(u + 8 + (first - 1) * 4);
    std::uint32_t hi = be32(u + 8 + first * 4);
    if (hi > p.count || lo > hi) return std::nullopt;
    const char* names = p.idx.data() + 8 + 1024;
    while (lo < hi) {
      std::uint32_t mid = lo + (hi - lo) / 2;
      int c = std::memcmp(names + std::size_t{mid} * raw_len, raw.data(), raw_len);
      if (c == 0) {
        std::size_t offsets = 8 + 1024 + std::size_t{p.count} * (raw_len + 4);
        std::uint32_t off = be32(u + offsets + std::size_t{mid} * 4);
        if (!(off & 0x80000000u)) return off;
        std::size_t large = offsets + std::size_t{p.count} * 4 + std::size_t{off & 0x7fffffffu} * 8;
        if (large + 8 > p.idx.size() - 2 * raw_len) return std::nullopt;
        return (std::uint64_t{be32(u + large)} << 32) | be32(u + large + 4);
      }
      if (c < 0) lo = mid + 1;
      else hi = mid;
    }
    return std::nullopt;
  }

  // The object at an offset of a pack, its deltas applied. Every object of the chain is
  // at most kMaxObjectBytes, the result at most max_bytes; what a chain rebuilds is kept
  // for the next object built on it.
  std::optional<GitObject> read_packed(std::size_t pi, std::uint64_t offset, std::size_t max_bytes) {
    Pack& p = packs[pi];
    struct Step {
      std::uint64_t offset;  // where the object this delta makes lies
      std::string delta;
    };
    std::vector<Step> deltas;  // outermost first
    int type = 0;
    std::shared_ptr<const std::string> data;
    std::optional<std::uint64_t> base_offset;  // a whole object of this pack, to keep
    for (int level = 0;; ++level) {
      if (level > kMaxDeltaDepth) refuse("a delta chain is deeper than git makes them");
      check_deadline();
      if (auto hit = cache.get(pi, offset)) {
        type = hit->type;
        data = hit->data;
        break;
      }
      unsigned char head[32 + 64];
      std::size_t got = 0;
      ssize_t n = ::pread(p.pack.fd, head, sizeof head, static_cast<off_t>(offset));
      if (n <= 0) return std::nullopt;
      got = static_cast<std::size_t>(n);
      std::size_t i = 0;
      unsigned char c = head[i++];
      type = (c >> 4) & 7;
      std::uint64_t size = c & 15u;
      int shift = 4;
      while (c & 0x80) {
        if (i >= got || shift > 56) return std::nullopt;
        c = head[i++];
        size |= std::uint64_t{c & 0x7fu} << shift;
        shift += 7;
      }
      // One cap for every object at every depth, checked before anything is allocated.
      if (size > kMaxObjectBytes) refuse("an object declares " + std::to_string(size) + " bytes");
      if (deltas.empty() && type < 6 && size > max_bytes) return std::nullopt;
      if (type == 6) {  // offset delta: the base lies earlier in this pack
        if (i >= got) return std::nullopt;
        c = head[i++];
        std::uint64_t back = c & 0x7fu;
        while (c & 0x80) {
          if (i >= got || back > (std::uint64_t{1} << 56)) return std::nullopt;
          c = head[i++];
          back = ((back + 1) << 7) | (c & 0x7fu);
        }
        if (back == 0 || back > offset) return std::nullopt;
        chain_bytes += static_cast<std::size_t>(size);
        if (chain_bytes > kMaxChainBytes) refuse("a delta chain holds more than 16 MiB");
        auto delta = inflate_at(p.pack.fd, offset + i, static_cast<std::size_t>(size));
        if (!delta || !spend(delta->size())) return std::nullopt;
        check_result_size(*delta);
        deltas.push_back({offset, std::move(*delta)});
        offset -= back;
        continue;
      }
      if (type == 7) {  // reference delta: the base is named
        if (i + raw_len > got) return std::nullopt;
        std::string base_raw(reinterpret_cast<const char*>(head + i), raw_len);
        chain_bytes += static_cast<std::size_t>(size);
        if (chain_bytes > kMaxChainBytes) refuse("a delta chain holds more than 16 MiB");
        if (depth >= kMaxNamedBases) refuse("delta bases named by id nest too deep");
        auto delta = inflate_at(p.pack.fd, offset + i + raw_len, static_cast<std::size_t>(size));
        if (!delta || !spend(delta->size())) return std::nullopt;
        check_result_size(*delta);
        // The delta is read; only now is its base looked up, with the same cap.
        deltas.push_back({offset, std::move(*delta)});
        ++depth;
        auto base = read_raw(base_raw, kMaxObjectBytes);
        --depth;
        if (!base) return std::nullopt;
        type = type_number(base->type);
        data = std::make_shared<const std::string>(std::move(base->data));
        break;
      }
      if (!type_name(type)) return std::nullopt;
      auto plain = inflate_at(p.pack.fd, offset + i, static_cast<std::size_t>(size));
      if (!plain || !spend(plain->size())) return std::nullopt;
      data = std::make_shared<const std::string>(std::move(*plain));
      base_offset = offset;
      break;
    }
    if (!deltas.empty() && base_offset) cache.put(pi, *base_offset, {type, data});
    for (auto it = deltas.rbegin(); it != deltas.rend(); ++it) {
      check_deadline();
      bool last = it + 1 == deltas.rend();
      auto made = apply_delta(*data, it->delta, last ? max_bytes : kMaxObjectBytes);
      if (!made || !spend(made->size())) return std::nullopt;
      data = std::make_shared<const std::string>(std::move(*made));
      cache.put(pi, it->offset, {type, data});
    }
    return GitObject{type_name(type), *data};
  }

  std::optional<GitObject> read_loose(const std::string& hex, std::size_t max_bytes) {
    for (const auto& dir : dirs) {
      auto compressed = read_whole(dir / hex.substr(0, 2) / hex.substr(2), kMaxLooseBytes);
      if (!compressed) continue;
      auto whole = inflate_buffer(*compressed, max_bytes + 64);
      if (!whole || !spend(whole->size())) return std::nullopt;
      auto nul = whole->find('\0');
      if (nul == std::string::npos) return std::nullopt;
      std::string_view header(whole->data(), nul);
      auto space = header.find(' ');
      if (space == std::string_view::npos) return std::nullopt;
      std::string type(header.substr(0, space));
      if (type != "commit" && type != "tree" && type != "blob" && type != "tag") return std::nullopt;
      std::string_view size_text = header.substr(space + 1);
      std::size_t size = 0;
      for (char c : size_text) {
        if (c < '0' || c > '9' || size > max_bytes) return std::nullopt;
        size = size * 10 + static_cast<std::size_t>(c - '0');
      }
      if (size_text.empty() || size != whole->size() - nul - 1) return std::nullopt;
      return GitObject{std::move(type), whole->substr(nul + 1)};
    }
    return std::nullopt;
  }

  std::optional<GitObject> read_raw(const std::string& raw, std::size_t max_bytes) {
    if (packs_broken || exhausted) return std::nullopt;
    check_deadline();
    list_packs();
    for (std::size_t pi = 0; pi < packs.size(); ++pi) {
      if (!load(packs[pi])) {
        packs_broken = true;
        return std::nullopt;
      }
      if (auto off = offset_in(packs[pi], raw)) return read_packed(pi, *off, max_bytes);
    }
    return read_loose(raw_to_hex(raw), max_bytes);
  }
};

ObjectStore::ObjectStore(const Path& objects_dir, bool sha256, ObjectBudget budget)
    : impl_(std::make_unique<Impl>(objects_dir, sha256, std::move(budget))) {}
ObjectStore::~ObjectStore() = default;

std::optional<GitObject> ObjectStore::read(std::string_view hex_oid, std::size_t max_bytes) {
  auto raw = hex_to_raw(hex_oid, impl_->raw_len);
  if (!raw) return std::nullopt;
  impl_->chain_bytes = 0;
  return impl_->read_raw(*raw, std::min(max_bytes, kMaxObjectBytes));
}

std::optional<std::uint64_t> ObjectStore::packed_objects() {
  impl_->list_packs();
  if (impl_->packs_broken) return std::nullopt;
  std::uint64_t total = 0;
  for (const auto& p : impl_->packs) {
    // The count is the last entry of the fan-out table: no need to load the index.
    Fd f = open_regular(p.idx_path);
    unsigned char head[8 + 1024];
    if (f.fd < 0 || !pread_all(f.fd, head, sizeof head, 0)) return std::nullopt;
    if (std::memcmp(head, "\377tOc", 4) != 0 || be32(head + 4) != 2) return std::nullopt;
    total += be32(head + 8 + 255 * 4);
  }
  return total;
}

std::vector<std::string> commit_parents(std::string_view commit) {
  std::vector<std::string> parents;
  std::size_t start = 0;
  while (start < commit.size()) {
    std::size_t nl = commit.find('\n', start);
    if (nl == std::string_view::npos) nl = commit.size();
    std::string_view line = commit.substr(start, nl - start);
    if (line.empty()) break;  // the message follows
    if (line.substr(0, 7) == "parent ") parents.emplace_back(line.substr(7));
    start = nl + 1;
  }
  return parents;
}

std::optional<std::string> tag_target(std::string_view tag) {
  if (tag.substr(0, 7) != "object ") return std::nullopt;
  std::size_t nl = tag.find('\n');
  return std::string(tag.substr(7, nl == std::string_view::npos ? std::string_view::npos : nl - 7));
}

}  // namespace ostrameld
