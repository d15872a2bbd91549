#include "ostrameld/utils/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace ostrameld {

namespace {

bool absent_errno(int err) {
  return err == ENOENT || err == ENOTDIR || err == ELOOP || err == ENAMETOOLONG;
}

// stat() that answers false for an absent entry and throws for anything else.
bool stat_follow(const Path& p, struct stat& st) {
  if (::stat(p.c_str(), &st) == 0) return true;
  int err = errno;
  if (absent_errno(err)) return false;
  throw OsError(err, p);
}

std::string real_path(const Path& p);
bool inside(const std::string& real_root, const std::string& real_file);

// Where a path leads, confined to root: false for an absent entry and for one whose
// real location is outside root; other errors are thrown. The components below root are
// looked at one by one with lstat(): without a link among them (the usual case) the
// last one's status is the answer, one system call for root/name; only a path through a
// link has its real location worked out.
bool stat_confined(const Path& p, const Path& root, struct stat& st) {
  if (root.empty() || root == kAnywhere) return stat_follow(p, st);
  const std::string& ps = p.native();
  const std::string& rs = root.native();
  bool below = ps.size() > rs.size() && ps.compare(0, rs.size(), rs) == 0 && ps[rs.size()] == '/';
  bool link = !below;
  if (below) {
    std::string prefix;
    std::size_t pos = rs.size();
    while (!link && pos < ps.size()) {
      std::size_t next = ps.find('/', pos + 1);
      std::string_view part(ps.data() + pos + 1,
                            (next == std::string::npos ? ps.size() : next) - pos - 1);
      if (part == "..") {
        link = true;  // a link before it could make it mean anything
        break;
      }
      prefix.assign(ps, 0, next == std::string::npos ? ps.size() : next);
      if (::lstat(prefix.c_str(), &st) != 0) {
        int err = errno;
        if (absent_errno(err)) return false;
        throw OsError(err, p);
      }
      if (S_ISLNK(st.st_mode)) link = true;
      if (next == std::string::npos) break;
      pos = next;
    }
    if (!link) return true;
  }
  if (!stat_follow(p, st)) return false;
  char* resolved = ::realpath(p.c_str(), nullptr);
  if (!resolved) {
    int err = errno;
    if (absent_errno(err)) return false;
    throw OsError(err, p);
  }
  std::string real(resolved);
  std::free(resolved);
  std::string real_root = real_path(root);
  return real == real_root || inside(real_root, real);
}

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

std::string real_path(const Path& p) {
  char* resolved = ::realpath(p.c_str(), nullptr);
  if (!resolved) throw OsError(errno, p);
  std::string out(resolved);
  std::free(resolved);
  return out;
}

bool inside(const std::string& real_root, const std::string& real_file) {
  if (real_root == "/") return true;
  return real_file.size() > real_root.size() &&
         real_file.compare(0, real_root.size(), real_root) == 0 &&
         real_file[real_root.size()] == '/';
}

// Opens a file for reading after making sure that it is a regular file inside root.
// Special files are turned away before they are opened; where the opened file really
// lies is read back from the open descriptor, so a link swapped in meanwhile cannot
// lead outside the repository either.
int open_confined(const Path& file, const Path& root, struct stat& st) {
  if (::stat(file.c_str(), &st) != 0) throw OsError(errno, file);
  if (S_ISDIR(st.st_mode)) throw OsError(EISDIR, file);
  if (!S_ISREG(st.st_mode)) {
    throw OsError(EINVAL, "Not a regular file (special files are never read): " +
                              py_repr(sanitize_utf8(file.native())));
  }
  int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) throw OsError(errno, file);
  FdCloser guard{fd};
  if (::fstat(fd, &st) != 0) throw OsError(errno, file);
  if (!S_ISREG(st.st_mode)) throw OsError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, file);
  if (!root.empty()) {
    char link[PATH_MAX];
    std::string proc = "/proc/self/fd/" + std::to_string(fd);
    ssize_t n = ::readlink(proc.c_str(), link, sizeof link - 1);
    std::string real_file =
        n > 0 ? std::string(link, static_cast<std::size_t>(n)) : real_path(file);
    if (!inside(real_path(root), real_file)) {
      throw OsError(EACCES, "Refused: the file lies outside the repository: " +
                                py_repr(sanitize_utf8(file.native())));
    }
  }
  guard.fd = -1;  // handed to the caller
  return fd;
}

std::string too_large_message(const Path& file, std::uintmax_t size) {
  return "File too large to read (" + std::to_string(size) + " bytes; the limit is " +
         std::to_string(kMaxReadBytes) + "): " + py_repr(sanitize_utf8(file.native()));
}

// Feeds the file to the decoder chunk by chunk until it is satisfied or the file ends.
void pump(int fd, const Path& file, TextDecoder& dec, std::uintmax_t byte_limit,
          bool error_on_limit) {
  std::string buf(64 * 1024, '\0');
  std::uintmax_t total = 0;
  for (;;) {
    ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw OsError(errno, file);
    }
    if (n == 0) {
      dec.feed({}, true);
      return;
    }
    total += static_cast<std::uintmax_t>(n);
    if (total > byte_limit) {
      if (error_on_limit) throw OsError(EFBIG, too_large_message(file, total));
      dec.feed({}, true);
      return;
    }
    if (dec.feed(std::string_view(buf.data(), static_cast<std::size_t>(n)), false)) return;
  }
}

}  // namespace

OsError::OsError(int err, const Path& path)
    : std::runtime_error("[Errno " + std::to_string(err) + "] " + std::strerror(err) + ": " +
                         py_repr(sanitize_utf8(path.native()))),
      code_(err) {}

bool path_exists(const Path& p, const Path& root) {
  struct stat st;
  return stat_confined(p, root, st);
}

bool is_dir(const Path& p, const Path& root) {
  struct stat st;
  return stat_confined(p, root, st) && S_ISDIR(st.st_mode);
}

bool is_file(const Path& p, const Path& root) {
  struct stat st;
  return stat_confined(p, root, st) && S_ISREG(st.st_mode);
}

namespace {

template <class Test>
bool seen(Test test, const Path& p, const Path& root) noexcept {
  try {
    return test(p, root);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool path_seen(const Path& p, const Path& root) noexcept { return seen(path_exists, p, root); }
bool dir_seen(const Path& p, const Path& root) noexcept {
  return seen(static_cast<bool (*)(const Path&, const Path&)>(is_dir), p, root);
}
bool file_seen(const Path& p, const Path& root) noexcept {
  return seen(static_cast<bool (*)(const Path&, const Path&)>(is_file), p, root);
}

std::vector<std::string> list_directory_seen(const Path& dir, const Path& root) noexcept {
  try {
    return list_directory(dir, root);
  } catch (const std::exception&) {
    return {};
  }
}

bool is_file(const WalkEntry& e, const Path& root) {
  if (!e.is_link) return e.is_regular;
  return is_file(Path(e.path), root);
}

std::uintmax_t entry_size(const Path& p, const Path& root) {
  struct stat st;
  if (!stat_confined(p, root, st)) throw OsError(ENOENT, p);
  return static_cast<std::uintmax_t>(st.st_size);
}

bool leads_outside(const Path& p, const Path& root) {
  struct stat st;
  return stat_follow(p, st) && !stat_confined(p, root, st);
}

std::vector<std::string> list_directory(const Path& dir, const Path& root) {
  struct stat st;
  if (!stat_confined(dir, root, st)) throw OsError(ENOENT, dir);
  std::unique_ptr<DIR, DirCloser> d(::opendir(dir.c_str()));
  if (!d) throw OsError(errno, dir);
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    dirent* e = ::readdir(d.get());
    if (!e) {
      if (errno) throw OsError(errno, dir);
      break;
    }
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    names.emplace_back(e->d_name);
  }
  return names;
}

std::string display_name(const Path& p) {
  return sanitize_utf8(p.filename().native());
}

std::string relative_text(const Path& p, const Path& root) {
  return sanitize_utf8(p.lexically_relative(root).generic_string());
}

std::string_view file_suffix(std::string_view name) {
  auto i = name.rfind('.');
  if (i == std::string_view::npos || i == 0 || i + 1 == name.size()) return {};
  return name.substr(i);
}

std::string_view file_stem(std::string_view name) {
  auto i = name.rfind('.');
  if (i == std::string_view::npos || i == 0 || i + 1 == name.size()) return name;
  return name.substr(0, i);
}

bool shell_match(std::string_view pattern, std::string_view name) {
  return ::fnmatch(std::string(pattern).c_str(), std::string(name).c_str(), 0) == 0;
}

void walk_tree(const Path& dir, const Path& root,
               const std::function<WalkAction(const WalkEntry&)>& visit) {
  walk_tree(dir, root, visit, nullptr);
}

void walk_tree(const Path& dir, const Path& root,
               const std::function<WalkAction(const WalkEntry&)>& visit,
               const WalkErrorHandler& unlistable) {
  {
    struct stat st;
    if (!stat_confined(dir, root, st) || !S_ISDIR(st.st_mode)) return;
  }
  struct Item {
    std::string name;
    unsigned char type;
  };
  struct Frame {
    std::vector<Item> items;
    std::size_t next = 0;
    std::size_t path_len;  // length of `path` naming this directory
    std::size_t rel_len;
  };

  // Lists a directory; nullopt when it vanished or cannot be named any more.
  auto list = [](const std::string& dir) -> std::optional<std::vector<Item>> {
    std::unique_ptr<DIR, DirCloser> d(::opendir(dir.c_str()));
    if (!d) {
      int err = errno;
      if (absent_errno(err)) return std::nullopt;
      throw OsError(err, Path(dir));
    }
    std::vector<Item> items;
    for (;;) {
      errno = 0;
      dirent* e = ::readdir(d.get());
      if (!e) {
        if (errno) throw OsError(errno, Path(dir));
        break;
      }
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      items.push_back({e->d_name, e->d_type});
    }
    return items;
  };

  // Without a handler an error ends the walk; with one, it passes the directory over.
  auto list_or_report = [&](const std::string& dir,
                            std::string_view rel) -> std::optional<std::vector<Item>> {
    if (!unlistable) return list(dir);
    try {
      return list(dir);
    } catch (const OsError& e) {
      unlistable(rel, e);
      return std::nullopt;
    }
  };

  std::string path = dir.native();
  std::string rel;
  auto top = list_or_report(path, rel);
  if (!top) return;
  std::vector<Frame> stack;
  stack.push_back({std::move(*top), 0, path.size(), 0});

  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.items.size()) {
      stack.pop_back();
      continue;
    }
    Item& item = frame.items[frame.next++];
    path.resize(frame.path_len);
    rel.resize(frame.rel_len);
    if (path.empty() || path.back() != '/') path.push_back('/');
    path += item.name;
    if (!rel.empty()) rel.push_back('/');
    rel += item.name;

    bool is_dir = item.type == DT_DIR;
    bool is_link = item.type == DT_LNK;
    bool is_reg = item.type == DT_REG;
    if (item.type == DT_UNKNOWN) {
      struct stat st;
      if (::lstat(path.c_str(), &st) != 0) {
        int err = errno;
        if (absent_errno(err)) continue;
        if (!unlistable) throw OsError(err, Path(path));
        unlistable(rel, OsError(err, Path(path)));
        continue;
      }
      is_dir = S_ISDIR(st.st_mode);
      is_link = S_ISLNK(st.st_mode);
      is_reg = S_ISREG(st.st_mode);
    }
    WalkAction action = visit(WalkEntry{path, rel, item.name, is_dir, is_link, is_reg});
    if (action == WalkAction::Stop) return;
    if (action == WalkAction::Prune || !is_dir) continue;
    if (path.size() >= PATH_MAX) continue;
    auto items = list_or_report(path, rel);
    if (!items) continue;
    // `frame` may dangle after push_back; everything needed was copied above.
    stack.push_back({std::move(*items), 0, path.size(), rel.size()});
  }
}

std::string read_text(const Path& file, ReadMode mode, const Path& root) {
  struct stat st;
  FdCloser fd{open_confined(file, root, st)};
  if (static_cast<std::uintmax_t>(st.st_size) > kMaxReadBytes) {
    throw OsError(EFBIG, too_large_message(file, static_cast<std::uintmax_t>(st.st_size)));
  }
  TextDecoder dec(mode);
  pump(fd.fd, file, dec, kMaxReadBytes, true);
  return dec.take();
}

std::string read_text_prefix(const Path& file, ReadMode mode, std::size_t max_chars,
                             const Path& root) {
  struct stat st;
  FdCloser fd{open_confined(file, root, st)};
  TextDecoder dec(mode, max_chars);
  pump(fd.fd, file, dec, kMaxReadBytes, false);
  return dec.take();
}

std::string read_bytes_prefix(const Path& file, std::size_t max_bytes, const Path& root) {
  struct stat st;
  FdCloser fd{open_confined(file, root, st)};
  std::string out(max_bytes, '\0');
  std::size_t got = 0;
  while (got < max_bytes) {
    ssize_t n = ::read(fd.fd, out.data() + got, max_bytes - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw OsError(errno, file);
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  out.resize(got);
  return out;
}

std::optional<Path> find_first(const Path& root, std::span<const std::string_view> names) {
  for (auto name : names) {
    Path candidate = root / name;
    if (path_exists(candidate, root)) return candidate;
  }
  return std::nullopt;
}

std::vector<Path> find_files(const Path& root, std::span<const std::string_view> names) {
  std::vector<Path> found;
  for (auto name : names) {
    Path candidate = root / name;
    if (path_exists(candidate, root)) found.push_back(std::move(candidate));
  }
  return found;
}

bool has_component(std::string_view path, std::span<const std::string_view> names) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    std::string part = ascii_lower(path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
    if (std::find(names.begin(), names.end(), part) != names.end()) return true;
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return false;
}

}  // namespace ostrameld
