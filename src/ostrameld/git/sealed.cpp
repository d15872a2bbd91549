#include "ostrameld/git/sealed.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "ostrameld/utils/text.h"

namespace ostrameld::gitproc {

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
                        Net net) {
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
void check_object_files(const Path& objects, int level) {
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

SealedRepository::SealedRepository(const GitLayout& layout, const RepositoryState& state,
                                   Objects how, const std::vector<GitRef>& refs)
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

}  // namespace ostrameld::gitproc
