#include "ostrameld/git/directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "ostrameld/git/config.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

constexpr std::size_t kMaxSmallFile = 64u << 10;   // HEAD, a loose reference, a gitfile
constexpr std::size_t kMaxLargeFile = 256u << 20;  // packed-refs, shallow, a configuration
constexpr std::size_t kMaxReferences = 2'000'000;  // more is no repository, but an attack
constexpr int kMaxSymrefDepth = 5;                 // as git

std::string shown(const Path& p) {
  return sanitize_utf8(p.native());
}

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// A file of the git directory, whole: nothing when it does not exist. It is opened
// without blocking (a FIFO would wait forever for a writer) and must be a regular file.
std::optional<std::string> read_git_file(const Path& p, std::size_t limit) {
  // The type first: opening a device (a link to /dev/kmsg, say) can itself do something.
  struct stat before;
  if (::stat(p.c_str(), &before) == 0 && !S_ISREG(before.st_mode)) {
    if (S_ISDIR(before.st_mode)) return std::nullopt;  // a directory of references, say
    throw GitError("git: " + shown(p) + " is not a regular file");
  }
  Fd f{::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
  if (f.fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    if (errno == ENXIO) throw GitError("git: " + shown(p) + " is not a regular file");
    throw GitError("git: cannot read " + shown(p) + ": " + std::strerror(errno));
  }
  struct stat st;
  if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) return std::nullopt;  // a directory of references, say
    throw GitError("git: " + shown(p) + " is not a regular file");
  }
  if (static_cast<std::uintmax_t>(st.st_size) > limit)
    throw GitError("git: " + shown(p) + " is too large (" + std::to_string(st.st_size) + " bytes)");
  std::string out(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t got = 0;
  while (got < out.size()) {
    ssize_t n = ::read(f.fd, out.data() + got, out.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw GitError("git: cannot read " + shown(p) + ": " + std::strerror(errno));
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  out.resize(got);
  return out;
}

bool is_hex(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// A full object id at the start of s, followed by its end or white space.
std::optional<std::string> leading_oid(std::string_view s, std::size_t hex_len) {
  if (s.size() < hex_len || !is_hex(s.substr(0, hex_len))) return std::nullopt;
  if (s.size() > hex_len && !std::isspace(static_cast<unsigned char>(s[hex_len])))
    return std::nullopt;
  return std::string(s.substr(0, hex_len));
}

std::string_view trim_space(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool dir_searchable(const Path& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
}

// HEAD as git accepts it when it decides whether a directory is a repository.
bool valid_head(const Path& head) {
  struct stat st;
  if (::lstat(head.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    char buf[PATH_MAX];
    ssize_t n = ::readlink(head.c_str(), buf, sizeof buf - 1);
    return n > 5 && std::string_view(buf, static_cast<std::size_t>(n)).substr(0, 5) == "refs/";
  }
  if (!S_ISREG(st.st_mode)) return false;
  std::optional<std::string> text;
  try {
    text = read_git_file(head, kMaxSmallFile);
  } catch (const GitError&) {
    return false;
  }
  if (!text) return false;
  std::string_view t = *text;
  if (t.substr(0, 4) == "ref:") {
    t.remove_prefix(4);
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.remove_prefix(1);
    return t.substr(0, 5) == "refs/";
  }
  return t.size() >= 40 && is_hex(t.substr(0, 40));
}

Path resolve_against(const Path& base, std::string_view target) {
  Path t{std::string(target)};
  Path p = (t.is_absolute() ? t : base / t).lexically_normal();
  if (p.has_relative_path() && !p.has_filename()) p = p.parent_path();  // "a/b/.." is "a/"
  return p;
}

// The common directory of a git directory: itself, or where its "commondir" points.
Path common_dir_of(const Path& git_dir) {
  auto text = read_git_file(git_dir / "commondir", kMaxSmallFile);
  if (!text) return git_dir;
  std::string_view t = trim_space(*text);
  if (t.empty()) return git_dir;
  return resolve_against(git_dir, t);
}

}  // namespace

bool is_git_directory(const Path& dir) {
  if (!valid_head(dir / "HEAD")) return false;
  Path common;
  try {
    common = common_dir_of(dir);
  } catch (const GitError&) {
    return false;
  }
  return dir_searchable(common / "objects") && dir_searchable(common / "refs");
}

namespace {

// A ".git" file: "gitdir: PATH", relative to the file's directory. Nothing when PATH
// is no repository: git then stops with "not a git repository".
std::optional<Path> read_gitfile(const Path& file) {
  auto text = read_git_file(file, kMaxSmallFile);
  std::string_view t = text ? std::string_view(*text) : std::string_view();
  if (t.substr(0, 8) != "gitdir: ") throw GitError("git: invalid gitfile format: " + shown(file));
  t = trim_space(t.substr(8));
  Path dir = resolve_against(file.parent_path(), t);
  if (!is_git_directory(dir)) return std::nullopt;
  return dir;
}

// What the `.git` entry of a directory is.
struct DotGit {
  enum { None, Repository, Broken } kind = None;
  Path git_dir;
};

DotGit dot_git(const Path& dir) {
  Path entry = dir / ".git";
  struct stat st;
  if (::stat(entry.c_str(), &st) != 0) return {};
  if (S_ISREG(st.st_mode)) {
    auto target = read_gitfile(entry);
    return target ? DotGit{DotGit::Repository, *target} : DotGit{DotGit::Broken, {}};
  }
  if (S_ISDIR(st.st_mode) && is_git_directory(entry)) return {DotGit::Repository, entry};
  return {};
}

std::string real_path_of(const Path& p) {
  std::unique_ptr<char, decltype(&std::free)> r(::realpath(p.c_str(), nullptr), &std::free);
  if (!r) throw GitError("git: cannot resolve " + shown(p) + ": " + std::strerror(errno));
  return r.get();
}

// The longest directory of GIT_CEILING_DIRECTORIES that is a proper ancestor of dir.
std::size_t ceiling_length(const std::string& dir) {
  const char* env = std::getenv("GIT_CEILING_DIRECTORIES");
  if (!env || !*env) return 0;
  std::size_t best = 0;
  bool resolve = true;
  std::string_view list = env;
  for (;;) {
    auto colon = list.find(':');
    std::string_view item = list.substr(0, colon);
    if (item.empty()) {
      resolve = false;  // git resolves no entry after an empty one
    } else if (item.front() == '/') {
      std::string c(item);
      if (resolve) {
        std::unique_ptr<char, decltype(&std::free)> r(::realpath(c.c_str(), nullptr), &std::free);
        if (r) c = r.get();
      }
      while (c.size() > 1 && c.back() == '/') c.pop_back();
      if (c == "/") c.clear();
      if (dir.size() > c.size() && dir.compare(0, c.size(), c) == 0 && dir[c.size()] == '/')
        best = std::max(best, c.size());
    }
    if (colon == std::string_view::npos) return best;
    list.remove_prefix(colon + 1);
  }
}

// Per-work-tree references live in the work tree's git directory, all others in the
// common directory.
bool per_worktree(std::string_view name) {
  return name.substr(0, 5) != "refs/" || name.substr(0, 12) == "refs/bisect/" ||
         name.substr(0, 14) == "refs/worktree/" || name.substr(0, 15) == "refs/rewritten/";
}

struct RefStore {
  const GitLayout& layout;
  std::size_t hex_len;
  std::map<std::string, std::string> packed;  // name -> oid
  std::size_t count = 0;

  void count_one() {
    if (++count > kMaxReferences) throw GitError("git: too many references");
  }

  void read_packed() {
    Path file = layout.common_dir / "packed-refs";
    auto text = read_git_file(file, kMaxLargeFile);
    if (!text) return;
    std::string_view rest = *text;
    bool first = true;
    while (!rest.empty()) {
      auto nl = rest.find('\n');
      std::string_view line = rest.substr(0, nl);
      rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      bool header = first && line.substr(0, 1) == "#";
      first = false;
      if (header || line.empty()) continue;
      if (line.front() == '^') {
        if (!leading_oid(line.substr(1), hex_len))
          throw GitError("git: unexpected line in " + shown(file));
        continue;  // a peeled value: the commit date is read from the objects anyway
      }
      auto oid = leading_oid(line, hex_len);
      if (!oid || line.size() < hex_len + 2 || line[hex_len] != ' ')
        throw GitError("git: unexpected line in " + shown(file));
      std::string name(line.substr(hex_len + 1));
      if (!valid_ref_name(name)) continue;  // git ignores it too
      count_one();
      packed[name] = *oid;
    }
  }

  // A loose reference's contents: its target when symbolic, else its object id.
  struct Loose {
    std::string symref;
    std::string oid;
  };

  std::optional<Loose> read_loose(std::string_view name) const {
    Path base = per_worktree(name) ? layout.git_dir : layout.common_dir;
    Path file = base / std::string(name);
    struct stat st;
    if (::lstat(file.c_str(), &st) != 0) return std::nullopt;
    if (S_ISLNK(st.st_mode)) {
      // An old-style symbolic reference; any other link is no reference git follows here.
      char buf[PATH_MAX];
      ssize_t n = ::readlink(file.c_str(), buf, sizeof buf - 1);
      std::string_view target(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
      if (target.substr(0, 5) == "refs/" && valid_ref_name(target))
        return Loose{std::string(target), {}};
      return std::nullopt;
    }
    if (S_ISDIR(st.st_mode)) return std::nullopt;
    auto text = read_git_file(file, kMaxSmallFile);
    if (!text) return std::nullopt;
    std::string_view t = *text;
    if (t.substr(0, 4) == "ref:") {
      // Only a valid reference name below refs/ is followed, as git does: never
      // "refs/heads/../../../some/file".
      std::string_view target = trim_space(t.substr(4));
      if (target.substr(0, 5) != "refs/" || !valid_ref_name(target)) return Loose{};
      return Loose{std::string(target), {}};
    }
    if (auto oid = leading_oid(t, hex_len)) return Loose{{}, *oid};
    return Loose{};  // broken: neither an object id nor a reference
  }

  // The object a reference leads to, following symbolic ones; nothing when it does not
  // exist (an unborn branch) or is broken. `final_name` receives the last name.
  std::optional<std::string> resolve(std::string name, std::string* final_name) const {
    for (int depth = 0; depth <= kMaxSymrefDepth; ++depth) {
      if (final_name) *final_name = name;
      auto loose = read_loose(name);
      if (loose && !loose->symref.empty()) {
        name = loose->symref;
        continue;
      }
      if (loose) {
        if (loose->oid.empty()) return std::nullopt;
        return loose->oid;
      }
      if (auto it = packed.find(name); it != packed.end()) return it->second;
      return std::nullopt;
    }
    return std::nullopt;
  }

  // Every reference below prefix ("refs/tags/"), loose ones winning over packed ones.
  std::vector<GitRef> list(const std::string& prefix) {
    std::map<std::string, std::string> found;
    for (auto it = packed.lower_bound(prefix);
         it != packed.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
      found[it->first] = it->second;
    walk_loose(prefix, found);
    std::vector<GitRef> out;
    out.reserve(found.size());
    for (auto& [name, oid] : found) out.push_back({name, std::move(oid)});
    return out;
  }

  void walk_loose(const std::string& prefix, std::map<std::string, std::string>& found) {
    std::vector<std::string> pending{prefix};
    while (!pending.empty()) {
      std::string dir_name = std::move(pending.back());
      pending.pop_back();
      Path dir = layout.common_dir / dir_name;
      // A real directory only: refs/tags as a link to /dev is not walked.
      // (without its trailing "/", which would make lstat follow a link)
      std::string unslashed = dir.native();
      while (unslashed.size() > 1 && unslashed.back() == '/') unslashed.pop_back();
      struct stat dst;
      if (::lstat(unslashed.c_str(), &dst) != 0 || !S_ISDIR(dst.st_mode)) continue;
      std::vector<std::string> entries;
      try {
        entries = list_directory(dir, kAnywhere);
      } catch (const OsError& e) {
        throw GitError(std::string("git: cannot list references: ") + e.what());
      }
      for (const auto& entry : entries) {
        std::string name = dir_name + entry;
        count_one();
        struct stat st;
        if (::lstat((dir / entry).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
          pending.push_back(name + "/");
          continue;
        }
        if (!valid_ref_name(name)) continue;  // "x.lock", "a..b": git ignores them
        std::string target;
        if (auto oid = resolve(name, &target))
          found[name] = *oid;
        else
          found.erase(name);  // a broken loose reference hides a packed one
      }
    }
  }
};

struct Config {
  int version = 0;
  std::map<std::string, std::optional<std::string>> extensions;  // lower-cased names
  std::optional<bool> bare;
  std::vector<std::pair<std::string, std::string>> remote_urls;
  bool promisor = false;  // a remote marked as promisor: objects may be fetched lazily
  bool includes = false;
  std::vector<std::pair<Path, std::string>> include_paths;  // (the file's directory, path)
};

void read_config_file(const Path& file, Config& c) {
  auto text = read_git_file(file, kMaxLargeFile);
  if (!text) return;
  std::vector<GitConfigEntry> entries;
  try {
    entries = parse_git_config(*text, shown(file));
  } catch (const GitConfigError& e) {
    throw GitError(std::string("git: ") + e.what());
  }
  for (const auto& e : entries) {
    if (e.section == "core" && e.subsection.empty() && e.key == "repositoryformatversion") {
      std::string v = e.value.value_or("");
      if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos || v.size() > 9)
        throw GitError("git: bad numeric config value '" + sanitize_utf8(v) +
                       "' for 'core.repositoryformatversion' in file " + shown(file));
      c.version = std::stoi(v);
    } else if (e.section == "core" && e.subsection.empty() && e.key == "bare") {
      c.bare = git_config_bool(e.value);
    } else if (e.section == "extensions" && e.subsection.empty()) {
      c.extensions[e.key] = e.value;
    } else if (e.section == "remote" && !e.subsection.empty() && e.key == "url" && e.value) {
      c.remote_urls.emplace_back(e.subsection, *e.value);
    } else if (e.section == "remote" && !e.subsection.empty() && e.key == "promisor") {
      c.promisor = c.promisor || git_config_bool(e.value).value_or(false);
    } else if ((e.section == "include" && e.subsection.empty() && e.key == "path") ||
               (e.section == "includeif" && !e.subsection.empty() && e.key == "path")) {
      c.includes = true;
      if (e.value) c.include_paths.emplace_back(file.parent_path(), *e.value);
    }
  }
}

}  // namespace

bool valid_ref_name(std::string_view name) {
  if (name.empty() || name == "@" || name.back() == '/' || name.back() == '.' ||
      name.find("@{") != std::string_view::npos || name.find("..") != std::string_view::npos)
    return false;
  std::size_t start = 0;
  for (;;) {
    auto slash = name.find('/', start);
    std::string_view part =
        name.substr(start, slash == std::string_view::npos ? slash : slash - start);
    if (part.empty() || part.front() == '.') return false;
    if (part.size() >= 5 && part.substr(part.size() - 5) == ".lock") return false;
    for (unsigned char c : part) {
      if (c < 0x20 || c == 0x7F || c == ' ' || c == '~' || c == '^' || c == ':' || c == '?' ||
          c == '*' || c == '[' || c == '\\')
        return false;
    }
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

namespace {

std::atomic<bool> trust_others{false};

// As git's safe.directory check: the work tree and its git directory are the user's.
bool owned_by_user(const std::string& work_tree, const Path& git_dir) {
  const uid_t me = ::geteuid();
  struct stat st;
  return ::lstat(work_tree.c_str(), &st) == 0 && st.st_uid == me &&
         ::lstat(git_dir.c_str(), &st) == 0 && st.st_uid == me;
}

struct Search {
  std::optional<GitLayout> layout;
  std::optional<Path> passed_by;  // a repository above the path that another user owns
};

Search search_upward(const Path& path) {
  Search out;
  const std::string start = real_path_of(path);
  std::string dir = start;
  std::size_t ceiling = ceiling_length(dir);
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0) return out;
  const dev_t device = st.st_dev;
  for (;;) {
    DotGit found = dot_git(dir);
    if (found.kind == DotGit::Broken) return out;
    if (found.kind == DotGit::Repository) {
      if (dir != start && !trust_others.load(std::memory_order_relaxed) &&
          !owned_by_user(dir, found.git_dir)) {
        out.passed_by = Path(dir);
        return out;
      }
      out.layout = GitLayout{dir, found.git_dir, common_dir_of(found.git_dir)};
      return out;
    }
    if (is_git_directory(dir)) return out;  // bare, or inside a git directory
    if (dir == "/") return out;
    auto slash = dir.rfind('/');
    std::string parent = slash == 0 ? std::string("/") : dir.substr(0, slash);
    if (slash <= ceiling) return out;
    if (::stat(parent.c_str(), &st) != 0 || st.st_dev != device) return out;
    dir = std::move(parent);
  }
}

}  // namespace

std::optional<GitLayout> find_work_tree(const Path& path) {
  return search_upward(path).layout;
}

void trust_parent_repositories_of_others(bool trust) {
  trust_others.store(trust, std::memory_order_relaxed);
}

std::optional<Path> foreign_parent_repository(const Path& path) {
  return search_upward(path).passed_by;
}

std::optional<GitLayout> open_repository(const Path& path) {
  std::string base = path.native();
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  for (const char* suffix : {"/.git", "", ".git/.git", ".git"}) {
    Path candidate = base + suffix;
    struct stat st;
    if (::stat(candidate.c_str(), &st) != 0) continue;
    if (S_ISREG(st.st_mode)) {
      auto git_dir = read_gitfile(candidate);
      if (!git_dir) return std::nullopt;
      return GitLayout{{}, *git_dir, common_dir_of(*git_dir)};
    }
    if (S_ISDIR(st.st_mode) && is_git_directory(candidate))
      return GitLayout{{}, candidate, common_dir_of(candidate)};
  }
  return std::nullopt;
}

namespace {

bool lies_inside(const std::string& real, const Path& dir) {
  std::unique_ptr<char, decltype(&std::free)> r(::realpath(dir.c_str(), nullptr), &std::free);
  if (!r) return false;
  std::string_view d = r.get();
  return real.size() > d.size() && real.compare(0, d.size(), d) == 0 && real[d.size()] == '/';
}

// Where the configuration's includes lead, nested ones too, before git is let near them:
// a target that is not a regular file (a FIFO would make git wait forever) breaks the
// repository at once; one outside the git directories is not followed.
void check_includes(const GitLayout& layout, std::vector<std::pair<Path, std::string>> pending,
                    RepositoryState& state) {
  constexpr int kMaxIncludes = 16;
  for (int followed = 0; !pending.empty(); ++followed) {
    auto [from, value] = std::move(pending.back());
    pending.pop_back();
    if (followed >= kMaxIncludes || value.empty() || value.front() == '~') {
      state.includes_outside = true;
      continue;
    }
    Path target = resolve_against(from, value);
    struct stat st;
    if (::stat(target.c_str(), &st) != 0) continue;  // git passes over a missing include
    std::string real = real_path_of(target);
    if (!lies_inside(real, layout.common_dir) && !lies_inside(real, layout.git_dir)) {
      state.includes_outside = true;
      continue;
    }
    if (!S_ISREG(st.st_mode))
      throw GitError("git: the included " + shown(target) + " is not a regular file");
    Config included;
    read_config_file(target, included);
    for (auto& more : included.include_paths) pending.push_back(std::move(more));
  }
}

}  // namespace

RepositoryState read_repository_state(const GitLayout& layout) {
  RepositoryState state;
  Config config;
  read_config_file(layout.common_dir / "config", config);
  // Extensions git 2.39 knows; in format 0 the others are ignored, in 1 refused.
  static const char* const kKnown[] = {"noop",         "noop-v1",        "preciousobjects",
                                       "partialclone", "worktreeconfig", "objectformat"};
  if (config.version > 1)
    throw GitError("git: Expected git repo version <= 1, found " + std::to_string(config.version));
  bool worktree_config = false;
  for (const auto& [name, value] : config.extensions) {
    bool known = std::find(std::begin(kKnown), std::end(kKnown), name) != std::end(kKnown);
    if (config.version == 1 && !known)
      throw GitError("git: unknown repository extension found: " + sanitize_utf8(name));
    if (name == "partialclone") state.partial = true;
    if (name == "worktreeconfig") worktree_config = git_config_bool(value).value_or(false);
    if (name == "objectformat" && config.version == 1) {
      std::string v = ascii_lower(value.value_or(""));
      if (v == "sha256")
        state.sha256 = true;
      else if (v != "sha1")
        throw GitError("git: invalid value for 'extensions.objectformat': " + sanitize_utf8(v));
    }
  }
  if (worktree_config) read_config_file(layout.git_dir / "config.worktree", config);
  // A linked work tree (its git directory names a common one) is never bare, even when
  // the repository it belongs to is: git reads core.bare only where there is no
  // commondir, so the work trees of a bare repository are work trees.
  bool linked = read_git_file(layout.git_dir / "commondir", kMaxSmallFile).has_value();
  state.bare = !linked && config.bare.value_or(false);
  state.partial = state.partial || config.promisor;
  state.remote_urls = std::move(config.remote_urls);
  state.includes = config.includes;
  check_includes(layout, config.include_paths, state);

  std::size_t hex_len = state.sha256 ? 64 : 40;
  if (auto shallow = read_git_file(layout.common_dir / "shallow", kMaxLargeFile)) {
    state.shallow = true;
    state.shallow_list = std::move(*shallow);
  }
  if (auto grafts = read_git_file(layout.common_dir / "info" / "grafts", kMaxLargeFile))
    state.grafts = std::move(*grafts);

  RefStore refs{layout, hex_len, {}, 0};
  refs.read_packed();
  std::string head_target;
  auto head = refs.read_loose("HEAD");
  if (head && !head->symref.empty()) {
    if (auto oid = refs.resolve(head->symref, &head_target)) {
      state.head_oid = *oid;
      state.branch_exists = true;
    }
    state.head_ref = head_target;
  } else if (head) {
    state.head_oid = head->oid;
  }
  state.heads = refs.list("refs/heads/");
  state.tags = refs.list("refs/tags/");
  state.replace = refs.list("refs/replace/");
  return state;
}

}  // namespace ostrameld
