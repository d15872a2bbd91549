#include "ostrameld/utils/git.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ostrameld/utils/gitdir.h"
#include "ostrameld/utils/gitobjects.h"
#include "ostrameld/utils/tempdir.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/url.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

const Path& git_program() {
  static const Path path = [] {
    Path p = find_program("git");
    return p.empty() ? Path("/usr/bin/git") : p;
  }();
  return path;
}

// Variables passed on from our environment: where programs, the home directory (ssh's
// known hosts) and temporary files are, proxies, and the CA store. No GIT_* variable
// gets through, so that nothing can point git at another repository or configuration.
constexpr std::string_view kKeptVariables[] = {
    "PATH",        "HOME",       "TMPDIR",        "SSH_AUTH_SOCK", "http_proxy",
    "https_proxy", "HTTP_PROXY", "HTTPS_PROXY",   "all_proxy",     "ALL_PROXY",
    "no_proxy",    "NO_PROXY",   "SSL_CERT_FILE", "SSL_CERT_DIR",  "CURL_CA_BUNDLE",
};

std::vector<std::string> git_environment(bool network) {
  std::vector<std::string> env;
  for (auto name : kKeptVariables) {
    if (const char* v = std::getenv(std::string(name).c_str()))
      env.push_back(std::string(name) + "=" + v);
  }
  env.insert(env.end(), {
                            "LC_ALL=C",
                            "LANGUAGE=C",
                            // Neither the machine's nor the user's settings: no filter,
                            // helper or alias that anybody configured can be started.
                            "GIT_CONFIG_NOSYSTEM=1",
                            "GIT_CONFIG_GLOBAL=/dev/null",
                            "GIT_TERMINAL_PROMPT=0",  // no prompt for credentials
                            "GIT_ASKPASS=",           // and no program asking for them
                            "SSH_ASKPASS=",
                            "GIT_OPTIONAL_LOCKS=0",  // a read never writes the index
                            "GIT_LFS_SKIP_SMUDGE=1",
                            "GIT_PROTOCOL_FROM_USER=0",
                        });
  // Newer git has a switch against lazy fetching; reads never need one.
  if (!network) env.emplace_back("GIT_NO_LAZY_FETCH=1");
  return env;
}

// Settings given on the command line, which beat every file. Reads need none of them —
// their git directory is ours — but a clone writes its own and runs in it.
constexpr std::string_view kOverrides[] = {
    "core.fsmonitor=false",
    "core.hooksPath=/dev/null",
    "core.pager=cat",
    "core.askPass=",
    "submodule.recurse=false",
    "maintenance.auto=false",
    "gc.auto=0",
    "fetch.writeCommitGraph=false",
};

enum class Net { None, Remote, Local };

std::vector<std::string> git_args(std::initializer_list<std::string_view> command, Net net) {
  std::vector<std::string> args;
  for (auto o : kOverrides) {
    args.emplace_back("-c");
    args.emplace_back(o);
  }
  args.emplace_back("-c");
  args.emplace_back("protocol.allow=never");
  auto allow = [&](std::string_view scheme) {
    args.emplace_back("-c");
    args.emplace_back("protocol." + std::string(scheme) + ".allow=always");
  };
  if (net == Net::Remote)
    for (auto scheme : {"https"sv, "http"sv, "ssh"sv, "git"sv}) allow(scheme);
  if (net == Net::Local) allow("file");
  args.emplace_back("--no-pager");
  args.insert(args.end(), command.begin(), command.end());
  return args;
}

ProcessSpec git_command(const Path& cwd, std::initializer_list<std::string_view> command,
                        Net net = Net::None) {
  ProcessSpec spec;
  spec.program = git_program();
  spec.args = git_args(command, net);
  spec.env = git_environment(net != Net::None);
  spec.cwd = cwd;
  spec.supervised = net != Net::None;  // transports start helpers of their own
  return spec;
}

// The first line of what git said on failure, without its "fatal: " prefix.
std::string git_message(const ProcessResult& r) {
  std::string_view tail = r.err_tail;
  std::string_view line;
  while (!tail.empty()) {
    auto nl = tail.find_first_of("\r\n");
    std::string_view l = tail.substr(0, nl);
    if (l.substr(0, 7) == "fatal: " || l.substr(0, 7) == "error: ") {
      line = l.substr(7);
      break;
    }
    if (line.empty() && !l.empty()) line = l;
    if (nl == std::string_view::npos) break;
    tail.remove_prefix(nl + 1);
  }
  if (line.empty()) return "git exited with status " + std::to_string(r.exit_status);
  return escape_line(sanitize_utf8(line));  // a server's "remote:" text never drives a terminal
}

void check(const ProcessResult& r, std::string_view what) {
  if (r.timed_out) throw TimeoutError("git: " + std::string(what) + ": timed out");
  if (r.cancelled) throw GitError("git: " + std::string(what) + ": interrupted");
  if (r.exit_status != 0) throw GitError("git: " + std::string(what) + ": " + git_message(r));
}

std::vector<std::string_view> split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    auto at = s.find(sep);
    parts.push_back(s.substr(0, at));
    if (at == std::string_view::npos) return parts;
    s.remove_prefix(at + 1);
  }
}

std::optional<std::int64_t> parse_int(std::string_view s) {
  if (s.empty()) return std::nullopt;
  std::int64_t v = 0;
  bool negative = s.front() == '-';
  if (negative) s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  for (char c : s) {
    if (c < '0' || c > '9' || v > (INT64_MAX - 9) / 10) return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return negative ? -v : v;
}

std::string_view trim_newline(std::string_view s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

void write_file(const Path& p, std::string_view text) {
  int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw OsError(errno, p);
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      throw OsError(err, p);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) throw OsError(errno, p);
}

void make_dir(const Path& p) {
  if (::mkdir(p.c_str(), 0700) != 0) throw OsError(errno, p);
}

// Files of the object store that git opens as it reads — packs, indexes, loose objects,
// the alternates and the stores they name — must each be a regular file (or a
// directory): git would wait forever on a FIFO put in their place, and opening a device
// can itself do something. Checked before git is started, so that such a repository is
// reported broken at once.
void check_object_files(const Path& objects, int level = 0) {
  auto check = [](const Path& p) {
    struct stat st;
    if (::stat(p.c_str(), &st) != 0) return;
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
      throw GitError("git: " + sanitize_utf8(p.native()) + " is not a regular file");
  };
  auto entries = [](const Path& dir) {
    try {
      if (is_dir(dir, kAnywhere)) return list_directory(dir, kAnywhere);
    } catch (const OsError&) {
      // git reports what it cannot read itself
    }
    return std::vector<std::string>{};
  };
  std::vector<std::string> subdirs{"info", "pack", "info/commit-graphs"};
  for (const auto& name : entries(objects))
    if (name.size() == 2 && std::isxdigit(static_cast<unsigned char>(name[0])) &&
        std::isxdigit(static_cast<unsigned char>(name[1])))
      subdirs.push_back(name);
  for (const auto& sub : subdirs) {
    Path dir = objects / sub;
    check(dir);
    for (const auto& name : entries(dir)) check(dir / name);
  }
  // The stores the alternates name, as deep as git follows them.
  if (level >= 5) return;
  Path alternates = objects / "info" / "alternates";
  std::string text;
  try {
    text = read_text_prefix(alternates, ReadMode::Replace, 1 << 20, kAnywhere);
  } catch (const OsError&) {
    return;
  }
  for (auto line : split(text, '\n')) {
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '"') throw GitError("git: quoted alternates are not read: " + sanitize_utf8(line));
    Path p{std::string(line)};
    check_object_files(p.is_absolute() ? p : (objects / p).lexically_normal(), level + 1);
  }
}

// A git directory of our own for the assessed repository's objects: its configuration
// is ours (no remote, no promisor, no hook), so git can read objects there and do
// nothing else. What git honours of the repository (the shallow list, grafts, replace
// references) is copied in after we have read it ourselves.
class SealedRepository {
 public:
  enum class Objects { ByEnvironment, ByAlternates };

  SealedRepository(const GitLayout& layout, const RepositoryState& state, Objects how,
                   const std::vector<GitRef>& refs = {})
      : dir_("git"), objects_(layout.common_dir / "objects") {
    check_object_files(objects_);
    const Path& d = dir_.path();
    std::string config =
        "[core]\n\trepositoryformatversion = " + std::string(state.sha256 ? "1" : "0") +
        "\n\tbare = true\n";
    if (state.sha256) config += "[extensions]\n\tobjectFormat = sha256\n";
    write_file(d / "config", config);
    std::string head = "ref: refs/heads/none\n";
    if (!state.head_ref.empty() && state.branch_exists)
      head = "ref: " + state.head_ref + "\n";
    else if (!state.head_oid.empty())
      head = state.head_oid + "\n";
    write_file(d / "HEAD", head);
    make_dir(d / "refs");
    std::string packed;
    for (const auto* list : {&state.replace, &refs})
      for (const auto& ref : *list) packed += ref.oid + " " + ref.name + "\n";
    if (!packed.empty()) write_file(d / "packed-refs", packed);
    if (state.shallow) write_file(d / "shallow", state.shallow_list);
    if (!state.grafts.empty()) {
      make_dir(d / "info");
      write_file(d / "info" / "grafts", state.grafts);
    }
    if (how == Objects::ByAlternates) {
      make_dir(d / "objects");
      make_dir(d / "objects" / "info");
      write_file(d / "objects" / "info" / "alternates",
                 std::filesystem::absolute(objects_).native() + "\n");
    }
  }

  const Path& path() const { return dir_.path(); }

  ProcessSpec command(std::initializer_list<std::string_view> args) const {
    ProcessSpec spec = git_command(dir_.path(), args);
    spec.env.push_back("GIT_DIR=" + dir_.path().native());
    spec.env.push_back("GIT_OBJECT_DIRECTORY=" + objects_.native());
    return spec;
  }

 private:
  TempDir dir_;
  Path objects_;
};

// The tag whose commit is newest; ties go to the greater name in byte order.
struct LatestTag {
  std::optional<std::pair<std::int64_t, std::string>> best;
  void offer(std::int64_t when, std::string_view name) {
    if (!best || when > best->first || (when == best->first && name > best->second))
      best = std::make_pair(when, std::string(name));
  }
};

// The committer time in a commit's header: "committer NAME <EMAIL> TIME ZONE".
std::optional<std::int64_t> committer_time(std::string_view header) {
  for (auto line : split(header, '\n')) {
    if (line.empty()) break;
    if (line.substr(0, 10) != "committer ") continue;
    auto gt = line.rfind('>');
    if (gt == std::string_view::npos) return std::nullopt;
    for (auto f : split(line.substr(gt + 1), ' '))
      if (!f.empty()) return parse_int(f);
    return std::nullopt;
  }
  return std::nullopt;
}

// Reads `git cat-file --batch` as it streams: for each object asked for, the commit
// time of a commit (nothing otherwise). Only commit headers are kept, never whole
// objects, however large a repository made them.
class CommitTimes {
 public:
  void feed(std::string_view chunk) {
    while (!chunk.empty()) {
      if (body_left_ == 0) {
        auto nl = chunk.find('\n');
        line_.append(chunk.substr(0, nl));
        if (line_.size() > 4096) line_.resize(4096);
        if (nl == std::string_view::npos) return;
        chunk.remove_prefix(nl + 1);
        start_object();
        continue;
      }
      std::size_t take = std::min<std::size_t>(body_left_, chunk.size());
      if (keep_ && header_.size() < kHeaderLimit)
        header_.append(chunk.substr(0, std::min(take, kHeaderLimit - header_.size())));
      body_left_ -= take;
      chunk.remove_prefix(take);
      if (body_left_ == 0) finish_object();
    }
  }
  const std::vector<std::optional<std::int64_t>>& times() const { return times_; }

 private:
  static constexpr std::size_t kHeaderLimit = 64u << 10;

  void start_object() {
    auto f = split(line_, ' ');
    line_.clear();
    if (f.size() == 3) {
      if (auto size = parse_int(f[2]); size && *size >= 0) {
        keep_ = f[1] == "commit";
        body_left_ = static_cast<std::uint64_t>(*size) + 1;  // the object and a line feed
        header_.clear();
        return;
      }
    }
    times_.push_back(std::nullopt);  // "NAME missing": no commit at the end of it
  }
  void finish_object() {
    times_.push_back(keep_ ? committer_time(header_) : std::nullopt);
    header_.clear();
  }

  std::string line_;
  std::string header_;
  std::uint64_t body_left_ = 0;
  bool keep_ = false;
  std::vector<std::optional<std::int64_t>> times_;
};

// Repositories this small are read in this process: reading their commits here costs
// less than starting git. Larger histories go to git, which has its commit-graph.
constexpr std::uint64_t kInProcessObjects = 20'000;
constexpr std::size_t kInProcessCommits = 5'000;

// Commits reachable from HEAD, as `git rev-list --count` counts them (the parents of a
// shallow commit are not followed); nothing when a commit is not known here.
std::optional<std::int64_t> count_commits_here(ObjectStore& store, const RepositoryState& state,
                                              Deadline deadline) {
  std::unordered_set<std::string> shallow;
  for (auto line : split(state.shallow_list, '\n'))
    if (!line.empty()) shallow.emplace(line);
  std::unordered_set<std::string> seen{state.head_oid};
  std::vector<std::string> todo{state.head_oid};
  while (!todo.empty()) {
    if (deadline && std::chrono::steady_clock::now() >= *deadline)
      throw TimeoutError("git: counting commits: timed out");
    std::string oid = std::move(todo.back());
    todo.pop_back();
    auto commit = store.read(oid);
    if (!commit || commit->type != "commit") return std::nullopt;
    if (shallow.count(oid)) continue;
    for (auto& parent : commit_parents(commit->data)) {
      if (!seen.insert(parent).second) continue;
      if (seen.size() > kInProcessCommits) return std::nullopt;
      todo.push_back(std::move(parent));
    }
  }
  return static_cast<std::int64_t>(seen.size());
}

// The commit time of the commit each object peels to, as `git cat-file --batch` answers
// "OBJECT^{commit}" (nothing for a tag of a tree or a blob); nothing at all when an
// object is not known here.
std::optional<std::vector<std::optional<std::int64_t>>> peeled_times_here(
    ObjectStore& store, const std::vector<std::string>& objects) {
  std::vector<std::optional<std::int64_t>> times;
  for (const auto& oid : objects) {
    std::string at = oid;
    std::optional<std::int64_t> time;
    for (int hop = 0;; ++hop) {
      auto object = hop < 32 ? store.read(at) : std::nullopt;
      if (!object) return std::nullopt;
      if (object->type == "tag") {
        auto target = tag_target(object->data);
        if (!target) return std::nullopt;
        // A tag of a tree or a blob peels to no commit; its target (which may be
        // large) is not read.
        std::string_view data = object->data;
        auto type_at = data.find("\ntype ");
        std::string_view kind = type_at == std::string_view::npos ? std::string_view() : data.substr(type_at + 6);
        kind = kind.substr(0, kind.find('\n'));
        if (kind != "commit" && kind != "tag") break;
        at = *target;
        continue;
      }
      if (object->type == "commit") time = committer_time(object->data);
      break;
    }
    times.push_back(time);
  }
  return times;
}

// origin, else the first remote by name; the last setting of a remote wins.
std::string choose_remote(const std::vector<std::pair<std::string, std::string>>& settings) {
  std::map<std::string, std::string> urls;
  for (const auto& [name, url] : settings) urls[name] = url;
  if (urls.empty()) return {};
  auto chosen = urls.find("origin");
  const std::string& url = chosen != urls.end() ? chosen->second : urls.begin()->second;
  return redact_url(sanitize_utf8(url));
}

// "git config -z" records ("KEY\nVALUE\0") of remote URLs, as (remote, url).
std::vector<std::pair<std::string, std::string>> remote_records(std::string_view records) {
  std::vector<std::pair<std::string, std::string>> out;
  for (auto rec : split(records, '\0')) {
    auto nl = rec.find('\n');
    if (nl == std::string_view::npos) continue;
    std::string_view key = rec.substr(0, nl);
    constexpr auto prefix = "remote."sv;
    constexpr auto suffix = ".url"sv;
    if (key.size() <= prefix.size() + suffix.size()) continue;
    out.emplace_back(key.substr(prefix.size(), key.size() - prefix.size() - suffix.size()),
                     rec.substr(nl + 1));
  }
  return out;
}

// Every occurrence of the URL's credentials replaced, so that no message shows them.
std::string scrub(std::string message, const std::string& url) {
  std::string safe = redact_url(url);
  auto replace_all = [&](const std::string& what, const std::string& with) {
    if (what.empty()) return;
    for (std::string::size_type pos = 0; (pos = message.find(what, pos)) != std::string::npos;
         pos += with.size())
      message.replace(pos, what.size(), with);
  };
  replace_all(url, safe);
  if (auto parts = parse_url(url); parts && !parts->userinfo.empty()) {
    if (safe.find(parts->userinfo + "@") == std::string::npos) replace_all(parts->userinfo, "***");
  }
  return message;
}

std::string count_text(std::uintmax_t n, std::string_view unit) {
  return std::to_string(n) + " " + std::string(unit);
}

// Credentials of an https address, handed to git by a credential helper of ours that
// reads them from the environment (ours alone), for that scheme and host only: on no
// command line that every user can list, and never to a host git is redirected to.
struct CloneCredentials {
  std::vector<std::string> env;

  explicit CloneCredentials(const std::string& url) {
    auto parts = parse_url(url);
    if (!parts || parts->userinfo.empty() || (parts->scheme != "https" && parts->scheme != "http"))
      return;
    auto colon = parts->userinfo.find(':');
    std::string user = percent_decode(parts->userinfo.substr(0, colon));
    std::string password = colon == std::string::npos
                               ? std::string()
                               : percent_decode(parts->userinfo.substr(colon + 1));
    env = {"OSTRAMELD_GIT_USERNAME=" + user,
           "OSTRAMELD_GIT_PASSWORD=" + password,
           "GIT_CONFIG_COUNT=2",
           "GIT_CONFIG_KEY_0=credential.helper",
           "GIT_CONFIG_VALUE_0=",
           "GIT_CONFIG_KEY_1=credential." + parts->scheme + "://" + parts->host + ".helper",
           "GIT_CONFIG_VALUE_1=!f() { test \"$1\" = get && printf 'username=%s\\npassword=%s\\n' "
           "\"$OSTRAMELD_GIT_USERNAME\" \"$OSTRAMELD_GIT_PASSWORD\"; }; f"};
  }
  void add_to(ProcessSpec& spec) const { spec.env.insert(spec.env.end(), env.begin(), env.end()); }
};

// What a clone has written below its git directory so far (received packs).
std::uintmax_t downloaded_bytes(const Path& dest) {
  std::uintmax_t total = 0;
  Path pack = dest / ".git" / "objects" / "pack";
  std::vector<std::string> names;
  try {
    names = list_directory(pack, kAnywhere);
  } catch (const OsError&) {
    return 0;  // not there yet
  }
  for (const auto& name : names) {
    struct stat st;
    if (::lstat((pack / name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
      total += static_cast<std::uintmax_t>(st.st_size);
  }
  return total;
}

[[noreturn]] void too_large(const std::string& safe_url, const std::string& what,
                            std::string_view option) {
  throw GitError("cannot clone " + safe_url + ": " + what + " (raise the limit with " +
                 std::string(option) + ")");
}

// A clone made with --no-checkout, checked out within the limits: HEAD's files are
// counted and their sizes added up before a single one is written.
void check_out(const Path& dest, const std::string& safe_url, bool partial,
               const CloneCredentials& credentials, const CloneOptions& options) {
  const CloneLimits& limits = options.limits;
  // The listing fetches HEAD's trees (not its files) in one request in a partial clone.
  ProcessSpec list = git_command(dest, {"ls-tree", "-r", "-z", "--full-tree", "HEAD"},
                                 partial ? Net::Remote : Net::None);
  if (partial) credentials.add_to(list);
  std::unordered_map<std::string, std::uintmax_t> blobs;  // object -> entries
  std::uintmax_t files = 0;
  std::string pending;
  auto on_entry = [&](std::string_view entry) {
    // "MODE TYPE OID\tPATH"; submodules ("commit") are not checked out.
    auto f = split(entry.substr(0, entry.find('\t')), ' ');
    if (f.size() != 3 || f[1] != "blob") return;
    ++files;
    if (files <= limits.max_files) ++blobs[std::string(f[2])];
  };
  list.on_stdout = [&](std::string_view chunk) {
    pending.append(chunk);
    std::size_t start = 0;
    for (std::size_t end; (end = pending.find('\0', start)) != std::string::npos; start = end + 1)
      on_entry(std::string_view(pending).substr(start, end - start));
    pending.erase(0, start);
  };
  // The listing ends at the file limit, and the trees a partial clone fetches for it
  // count against the byte limit: a tree of a billion entries is never listed whole.
  list.over_limit = [&] {
    return files > limits.max_files || (partial && downloaded_bytes(dest) > limits.max_bytes);
  };
  ProcessResult listed = std::move(run_processes({list}, options.deadline, options.cancel).front());
  if (files > limits.max_files)
    too_large(safe_url,
              "HEAD has " + std::string(listed.stopped ? "more than " : "") +
                  count_text(files, "files") + ", more than " +
                  count_text(limits.max_files, "allowed"),
              "--clone-max-files");
  if (listed.stopped || (partial && downloaded_bytes(dest) > limits.max_bytes))
    too_large(safe_url, "it sends more than " + count_text(limits.max_bytes, "bytes"),
              "--clone-max-bytes");
  if (listed.exit_status != 0 && !listed.timed_out && !listed.cancelled &&
      listed.err_tail.find("Not a valid object name") != std::string::npos)
    return;  // an empty repository: nothing to check out
  check(listed, "listing files");

  std::string wanted;
  for (const auto& [oid, n] : blobs) wanted += oid + "\n";
  if (partial && !wanted.empty()) {
    // HEAD's files in one request, within the byte limit as they arrive.
    ProcessSpec fetch = git_command(
        dest,
        {"-c", "fetch.negotiationAlgorithm=noop", "fetch", "--no-tags", "--no-write-fetch-head",
         "--recurse-submodules=no", "--filter=blob:none", "--stdin", "origin"},
        Net::Remote);
    credentials.add_to(fetch);
    fetch.input = wanted;
    fetch.over_limit = [&] { return downloaded_bytes(dest) > limits.max_bytes; };
    ProcessResult r = std::move(run_processes({fetch}, options.deadline, options.cancel).front());
    if (r.stopped)
      too_large(safe_url, "it sends more than " + count_text(limits.max_bytes, "bytes"),
                "--clone-max-bytes");
    check(r, "fetching files");
  }
  if (!wanted.empty()) {
    ProcessSpec sizes =
        git_command(dest, {"cat-file", "--batch-check=%(objectname) %(objectsize)"});
    sizes.input = wanted;
    sizes.max_stdout = 256u << 20;
    ProcessResult r = std::move(run_processes({sizes}, options.deadline, options.cancel).front());
    check(r, "measuring files");
    std::uintmax_t bytes = 0;
    for (auto line : split(r.out, '\n')) {
      auto f = split(line, ' ');
      if (f.size() != 2) continue;
      auto size = parse_int(f[1]);
      auto it = blobs.find(std::string(f[0]));
      if (!size || *size < 0 || it == blobs.end()) continue;
      bytes += static_cast<std::uintmax_t>(*size) * it->second;
    }
    if (bytes > limits.max_bytes)
      too_large(safe_url,
                "HEAD's files hold " + count_text(bytes, "bytes") + ", more than " +
                    count_text(limits.max_bytes, "allowed"),
                "--clone-max-bytes");
  }
  // Files are written as stored, whatever the tree's .gitattributes ask: an encoding,
  // line-end conversion or $Id$ expansion would write several times the bytes measured
  // above. The repository's own info/attributes outranks every .gitattributes.
  if (::mkdir((dest / ".git" / "info").c_str(), 0700) != 0 && errno != EEXIST)
    throw OsError(errno, dest / ".git" / "info");
  ::unlink((dest / ".git" / "info" / "attributes").c_str());
  write_file(dest / ".git" / "info" / "attributes",
             "* -text -eol -crlf -ident -filter -working-tree-encoding\n");
  ProcessSpec checkout = git_command(dest, {"checkout", "-q", "--force", "HEAD"});
  check(std::move(run_processes({checkout}, options.deadline, options.cancel).front()),
        "checking out files");
}

bool is_local_source(std::string_view url) {
  return url.substr(0, 7) == "file://" || classify_address(url) == AddressKind::Local;
}

Path local_source_path(std::string_view url) {
  if (url.substr(0, 7) == "file://") url.remove_prefix(7);
  return Path(std::string(url));
}

void clone_local(const std::string& url, const Path& dest, const CloneOptions& options) {
  std::string safe = redact_url(url);
  auto layout = open_repository(local_source_path(url));
  if (!layout) throw GitError("cannot clone " + safe + ": not a git repository");
  RepositoryState state = read_repository_state(*layout);
  std::vector<GitRef> refs = state.heads;
  refs.insert(refs.end(), state.tags.begin(), state.tags.end());
  SealedRepository source(*layout, state, SealedRepository::Objects::ByAlternates, refs);
  std::string source_url = "file://" + source.path().native();
  ProcessSpec clone = git_command({},
                                  {"clone", "--no-checkout", "--no-recurse-submodules",
                                   "--template=", "-q", "--", source_url, dest.native()},
                                  Net::Local);
  clone.over_limit = [&] { return downloaded_bytes(dest) > options.limits.max_bytes; };
  ProcessResult r = std::move(run_processes({clone}, options.deadline, options.cancel).front());
  if (r.stopped)
    too_large(safe, "it holds more than " + count_text(options.limits.max_bytes, "bytes"),
              "--clone-max-bytes");
  if (r.timed_out) throw TimeoutError("cannot clone " + safe + ": timed out");
  if (r.cancelled) throw GitError("git: clone interrupted");
  if (r.exit_status != 0) throw GitError("cannot clone " + safe + ": " + git_message(r));
  // The clone names where it came from as the user did, not our stand-in.
  std::string origin =
      url.substr(0, 7) == "file://"
          ? url
          : "file://" + std::filesystem::absolute(Path(url)).lexically_normal().native();
  check(std::move(run_processes({git_command(dest, {"config", "remote.origin.url", origin})},
                                options.deadline, options.cancel)
                      .front()),
        "recording the origin");
  check_out(dest, safe, false, CloneCredentials(""), options);
}

void clone_remote(const std::string& url, const Path& dest, const CloneOptions& options) {
  std::string safe = redact_url(url);
  ProcessSpec spec;
  spec.program = git_program();
  spec.env = git_environment(true);
  spec.supervised = true;
  // The clone is asked for by the safe address; its credentials go by our helper.
  CloneCredentials credentials(url);
  credentials.add_to(spec);
  std::string target = safe;
  spec.args = git_args({"clone", "--no-checkout", "--filter=tree:0", "--no-recurse-submodules",
                        "--template=", options.progress ? "--progress"sv : "--quiet"sv, "--"},
                       Net::Remote);
  spec.args.push_back(target);
  spec.args.push_back(dest.native());
  if (options.progress) {
    // git's progress is passed on with its line breaks and carriage returns; everything
    // else that could drive a terminal (a server's "remote:" text may hold escape
    // sequences) is spelled out. A lead byte of a C1 control split at a chunk's end waits
    // for the next chunk.
    spec.on_stderr = [held = std::string()](std::string_view chunk) mutable {
      std::string in = held + std::string(chunk), out;
      held.clear();
      if (!in.empty() && static_cast<unsigned char>(in.back()) == 0xC2) {
        held = "\xC2";
        in.pop_back();
      }
      for (std::size_t i = 0; i < in.size(); ++i) {
        auto c = static_cast<unsigned char>(in[i]);
        unsigned code = c;
        bool c1 = c == 0xC2 && i + 1 < in.size() && static_cast<unsigned char>(in[i + 1]) >= 0x80 &&
                  static_cast<unsigned char>(in[i + 1]) < 0xA0;
        if (c1) code = static_cast<unsigned char>(in[++i]);
        if (c1 || (c < 0x20 && c != '\r' && c != '\n' && c != '\t') || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02x", code);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
      }
      (void)!::write(STDERR_FILENO, out.data(), out.size());
    };
  }
  spec.over_limit = [&] { return downloaded_bytes(dest) > options.limits.max_bytes; };
  ProcessResult r = std::move(run_processes({spec}, options.deadline, options.cancel).front());
  if (r.stopped)
    too_large(safe, "it sends more than " + count_text(options.limits.max_bytes, "bytes"),
              "--clone-max-bytes");
  if (r.timed_out) throw TimeoutError("cannot clone " + safe + ": timed out");
  if (r.cancelled) throw GitError("git: clone interrupted");
  if (r.exit_status != 0)
    throw GitError("cannot clone " + safe + ": " + scrub(git_message(r), url));
  // The server may not have filtered (then the clone is whole and nothing is fetched
  // later); the clone's own configuration says which.
  auto layout = open_repository(dest);
  bool partial = layout && read_repository_state(*layout).partial;
  try {
    check_out(dest, safe, partial, credentials, options);
  } catch (const GitError& e) {
    throw GitError(scrub(e.what(), url));
  }
}

}  // namespace

std::optional<Path> work_tree_top(const Path& path) {
  auto layout = find_work_tree(path);
  if (!layout) return std::nullopt;
  return layout->work_tree;
}

bool is_bare_repository(const Path& path) {
  return is_git_directory(path);
}

GitInfo read_git_info(const Path& path, Deadline deadline, const std::atomic<bool>* cancel) {
  GitInfo info;
  auto layout = find_work_tree(path);
  if (!layout) return info;
  RepositoryState state = read_repository_state(*layout);
  if (state.bare) return info;
  info.is_repo = true;
  info.shallow = state.shallow;
  info.head_commit = state.head_oid;
  info.sha256 = state.sha256;
  for (const auto& tag : state.tags) info.tags.push_back(sanitize_utf8(tag.name.substr(10)));
  std::sort(info.tags.begin(), info.tags.end());
  constexpr auto heads = "refs/heads/"sv;
  if (state.branch_exists && state.head_ref.substr(0, heads.size()) == heads)
    info.current_branch = sanitize_utf8(std::string_view(state.head_ref).substr(heads.size()));

  // Several tags often name one object: each object is asked for once.
  std::vector<std::string> objects;
  std::unordered_map<std::string, std::size_t> object_index;
  for (const auto& tag : state.tags)
    if (object_index.emplace(tag.oid, objects.size()).second) objects.push_back(tag.oid);

  // A small repository's objects are read here; replace references, grafts and partial
  // clones always go to git, whose rules for them are not repeated here.
  std::optional<std::int64_t> count_here;
  std::optional<std::vector<std::optional<std::int64_t>>> times_here;
  if ((!state.head_oid.empty() || !objects.empty()) && !state.partial && state.replace.empty() &&
      state.grafts.empty()) {
    if (deadline && std::chrono::steady_clock::now() >= *deadline) throw TimeoutError("git: reading the history: timed out");
    // The store checks the deadline between any two objects it reads, in every loop.
    ObjectStore store(layout->common_dir / "objects", state.sha256, ObjectBudget{.deadline = deadline});
    if (auto packed = store.packed_objects(); packed && *packed <= kInProcessObjects) {
      if (!state.head_oid.empty()) count_here = count_commits_here(store, state, deadline);
      if (!objects.empty()) times_here = peeled_times_here(store, objects);
    }
  }

  std::vector<ProcessSpec> specs;
  std::optional<SealedRepository> sealed;
  bool need_count = !state.head_oid.empty() && !count_here;
  bool need_times = !objects.empty() && !times_here;
  if (need_count || need_times) sealed.emplace(*layout, state, SealedRepository::Objects::ByEnvironment);
  std::optional<std::size_t> count_at, tags_at, config_at;
  if (need_count) {
    count_at = specs.size();
    specs.push_back(sealed->command({"rev-list", "--count", "--ignore-missing", state.head_oid}));
  }
  CommitTimes times;
  if (need_times) {
    tags_at = specs.size();
    ProcessSpec spec = sealed->command({"cat-file", "--batch"});
    for (const auto& oid : objects) spec.input += oid + "^{commit}\n";
    spec.on_stdout = [&times](std::string_view chunk) { times.feed(chunk); };
    specs.push_back(std::move(spec));
  }
  if (state.includes_outside)
    info.notes.emplace_back(
        "The repository's git configuration includes files outside it: they were not read.");
  if (state.includes && !state.includes_outside) {
    // Included files can hold remotes; git reads them (a configuration read starts
    // nothing and fetches nothing).
    config_at = specs.size();
    ProcessSpec spec =
        git_command(layout->git_dir, {"config", "-z", "--get-regexp", R"(^remote\..*\.url$)"});
    spec.env.push_back("GIT_DIR=" + layout->git_dir.native());
    specs.push_back(std::move(spec));
  }
  std::vector<ProcessResult> r;
  if (!specs.empty()) r = run_processes(specs, deadline, cancel);

  if (count_here) info.commit_count = *count_here;
  if (count_at) {
    check(r[*count_at], "counting commits");
    auto count = parse_int(trim_newline(r[*count_at].out));
    if (!count || *count < 0) throw GitError("git: counting commits: unexpected output");
    info.commit_count = *count;
  }
  if (tags_at || times_here) {
    if (tags_at) check(r[*tags_at], "reading tags");
    LatestTag latest;
    const auto& found = times_here ? *times_here : times.times();
    for (const auto& tag : state.tags) {
      std::size_t i = object_index[tag.oid];
      if (i < found.size() && found[i]) latest.offer(*found[i], tag.name.substr(10));
    }
    if (latest.best) info.latest_tag = sanitize_utf8(latest.best->second);
  }
  if (config_at) {
    // Status 1: no remote is configured.
    if (r[*config_at].exit_status != 1) check(r[*config_at], "reading remotes");
    info.remote_url = choose_remote(remote_records(r[*config_at].out));
  } else {
    info.remote_url = choose_remote(state.remote_urls);
  }
  return info;
}

std::vector<std::string> object_types(const Path& path, const std::vector<std::string>& oids,
                                      Deadline deadline) {
  std::vector<std::string> types(oids.size(), "missing");
  auto layout = find_work_tree(path);
  if (!layout || oids.empty()) return types;
  RepositoryState state = read_repository_state(*layout);
  SealedRepository sealed(*layout, state, SealedRepository::Objects::ByEnvironment);
  ProcessSpec spec = sealed.command({"cat-file", "--batch-check=%(objecttype)"});
  for (const auto& oid : oids) {
    // Only object ids: anything else could be read as a revision expression.
    bool hex = !oid.empty() && oid.find_first_not_of("0123456789abcdef") == std::string::npos;
    spec.input += (hex ? oid : std::string(40, '0')) + "\n";
  }
  auto r = run_processes({spec}, deadline, nullptr);
  check(r[0], "looking up objects");
  std::size_t i = 0, start = 0;
  const std::string& out = r[0].out;
  while (i < oids.size() && start < out.size()) {
    auto nl = out.find('\n', start);
    std::string line = out.substr(start, nl - start);
    start = nl == std::string::npos ? out.size() : nl + 1;
    types[i++] = line.find(" missing") != std::string::npos ? "missing" : line;
  }
  return types;
}

void clone_repository(const std::string& url, const Path& dest, const CloneOptions& options) {
  if (is_local_source(url)) {
    clone_local(url, dest, options);
  } else {
    clone_remote(url, dest, options);
  }
}

}  // namespace ostrameld
