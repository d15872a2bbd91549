#include "ostrameld/utils/git.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

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

// Variables passed on from our environment: where programs, the home directory and
// temporary files are, proxies, and the CA store. Every GIT_* variable but the
// discovery ceiling stays behind, so that nothing can point git at another repository
// or configuration.
constexpr std::string_view kKeptVariables[] = {
    "PATH",
    "HOME",
    "TMPDIR",
    "XDG_CONFIG_HOME",
    "SSH_AUTH_SOCK",
    "http_proxy",
    "https_proxy",
    "HTTP_PROXY",
    "HTTPS_PROXY",
    "all_proxy",
    "ALL_PROXY",
    "no_proxy",
    "NO_PROXY",
    "SSL_CERT_FILE",
    "SSL_CERT_DIR",
    "CURL_CA_BUNDLE",
    "GIT_CEILING_DIRECTORIES",
};

std::vector<std::string> git_environment() {
  std::vector<std::string> env;
  for (auto name : kKeptVariables) {
    if (const char* v = std::getenv(std::string(name).c_str()))
      env.push_back(std::string(name) + "=" + v);
  }
  env.insert(env.end(), {
                            "LC_ALL=C",
                            "LANGUAGE=C",
                            "GIT_TERMINAL_PROMPT=0",  // no prompt for credentials
                            "GIT_ASKPASS=",           // and no program asking for them
                            "SSH_ASKPASS=",
                            "GIT_OPTIONAL_LOCKS=0",   // a read never writes the index
                            "GIT_LFS_SKIP_SMUDGE=1",  // no large-file download on checkout
                            "GIT_PROTOCOL_FROM_USER=0",
                        });
  return env;
}

// Overrides, as "-c" options, for every setting through which a repository's
// configuration could start a program; repositories of other owners are read as they
// are (we only read, and run nothing of theirs).
constexpr std::string_view kSafetyOverrides[] = {
    "safe.directory=*",
    "core.fsmonitor=false",
    "core.hooksPath=/dev/null",
    "core.pager=cat",
    "core.askPass=",
    "core.editor=false",
    "core.gitProxy=",
    "core.alternateRefsCommand=",
    "credential.helper=",
    "diff.external=",
    "gpg.program=false",
    "sequence.editor=false",
    "uploadpack.packObjectsHook=",
    "submodule.recurse=false",
};

std::vector<std::string> git_args(std::initializer_list<std::string_view> command,
                                  bool network = false) {
  std::vector<std::string> args;
  for (auto o : kSafetyOverrides) {
    args.emplace_back("-c");
    args.emplace_back(o);
  }
  args.emplace_back("-c");
  // Reads never use the network: a partial clone asking its promisor for a missing
  // object would start ssh or a helper of the repository's choosing.
  args.emplace_back("protocol.allow=never");
  if (network) {
    for (auto scheme : {"https"sv, "http"sv, "ssh"sv, "git"sv, "file"sv}) {
      args.emplace_back("-c");
      args.emplace_back("protocol." + std::string(scheme) + ".allow=always");
    }
  }
  args.emplace_back("--no-pager");
  args.insert(args.end(), command.begin(), command.end());
  return args;
}

ProcessSpec git_command(const Path& cwd, std::initializer_list<std::string_view> command) {
  ProcessSpec spec;
  spec.program = git_program();
  spec.args = git_args(command);
  spec.env = git_environment();
  spec.cwd = cwd;
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
  return sanitize_utf8(line);
}

void check(const ProcessResult& r, std::string_view what) {
  if (r.timed_out) throw TimeoutError("git: " + std::string(what) + ": timed out");
  if (r.cancelled) throw GitError("git: " + std::string(what) + ": interrupted");
  if (r.exit_status != 0) throw GitError("git: " + std::string(what) + ": " + git_message(r));
}

// Git looks for a ".git" entry in the directory and its parents; where there is none,
// no repository can be found and no process needs to be started.
bool may_be_in_work_tree(const Path& path) {
  Path dir = std::filesystem::absolute(path).lexically_normal();
  for (;;) {
    if (::access((dir / ".git").c_str(), F_OK) == 0) return true;
    Path parent = dir.parent_path();
    if (parent == dir) return false;
    dir = parent;
  }
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

// The tag whose commit is newest; ties go to the greater name in byte order.
struct LatestTag {
  std::optional<std::pair<std::int64_t, std::string>> best;
  void offer(std::int64_t when, std::string_view name) {
    if (!best || when > best->first || (when == best->first && name > best->second))
      best = std::make_pair(when, std::string(name));
  }
};

// The committer time of a raw commit object: "committer NAME <EMAIL> TIME ZONE".
std::optional<std::int64_t> committer_time(std::string_view commit) {
  for (auto line : split(commit, '\n')) {
    if (line.empty()) break;  // end of the header
    if (line.substr(0, 10) != "committer ") continue;
    auto gt = line.rfind('>');
    if (gt == std::string_view::npos) return std::nullopt;
    auto fields = split(line.substr(gt + 1), ' ');
    for (auto f : fields)
      if (!f.empty()) return parse_int(f);
    return std::nullopt;
  }
  return std::nullopt;
}

// Tags of tags: the commit at the end of each chain, read through one cat-file.
void peel_nested_tags(const Path& cwd, const std::vector<std::string>& names, LatestTag& latest,
                      Deadline deadline, const std::atomic<bool>* cancel) {
  ProcessSpec spec = git_command(cwd, {"cat-file", "--batch"});
  for (const auto& n : names) spec.input += "refs/tags/" + n + "^{commit}\n";
  spec.max_stdout = 64u << 20;
  ProcessResult r = std::move(run_processes({spec}, deadline, cancel).front());
  check(r, "reading tags");
  std::string_view out = r.out;
  for (const auto& name : names) {
    auto nl = out.find('\n');
    if (nl == std::string_view::npos) break;
    auto header = split(out.substr(0, nl), ' ');
    out.remove_prefix(nl + 1);
    if (header.size() != 3) continue;  // "NAME missing": not a commit in the end
    auto size = parse_int(header[2]);
    if (!size || *size < 0 || static_cast<std::size_t>(*size) + 1 > out.size()) break;
    std::string_view body = out.substr(0, static_cast<std::size_t>(*size));
    out.remove_prefix(static_cast<std::size_t>(*size) + 1);
    if (header[1] != "commit") continue;
    if (auto when = committer_time(body)) latest.offer(*when, name);
  }
}

// The remote URL from "git config -z" records ("KEY\nVALUE\0"): origin, else the
// first remote by name; the last definition of a key wins.
std::string choose_remote(std::string_view records) {
  std::map<std::string, std::string> urls;
  for (auto rec : split(records, '\0')) {
    auto nl = rec.find('\n');
    if (nl == std::string_view::npos) continue;
    std::string_view key = rec.substr(0, nl);
    constexpr auto prefix = "remote."sv;
    constexpr auto suffix = ".url"sv;
    if (key.size() <= prefix.size() + suffix.size()) continue;
    urls[std::string(key.substr(prefix.size(), key.size() - prefix.size() - suffix.size()))] =
        std::string(rec.substr(nl + 1));
  }
  if (urls.empty()) return {};
  auto chosen = urls.find("origin");
  const std::string& url = chosen != urls.end() ? chosen->second : urls.begin()->second;
  return redact_url(sanitize_utf8(url));
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

}  // namespace

GitInfo read_git_info(const Path& path, Deadline deadline, const std::atomic<bool>* cancel) {
  GitInfo info;
  if (!may_be_in_work_tree(path)) return info;

  LatestTag latest;
  std::vector<std::string> nested;  // tags of tags, peeled afterwards
  std::string pending;
  std::string refs_error;
  auto on_ref_line = [&](std::string_view line) {
    // %(HEAD) NUL refname NUL objecttype NUL *objecttype NUL date NUL *date
    auto f = split(line, '\0');
    if (f.size() != 6) {
      refs_error = "unexpected for-each-ref output";
      return;
    }
    if (f[1].substr(0, 11) == "refs/heads/") {
      if (f[0] == "*") info.current_branch = sanitize_utf8(f[1].substr(11));
      return;
    }
    if (f[1].substr(0, 10) != "refs/tags/") return;
    std::string_view name = f[1].substr(10);
    if (f[2] == "commit") {
      if (auto when = parse_int(f[4])) latest.offer(*when, name);
    } else if (f[2] == "tag" && f[3] == "commit") {
      if (auto when = parse_int(f[5])) latest.offer(*when, name);
    } else if (f[2] == "tag" && f[3] == "tag") {
      nested.emplace_back(name);
    }  // tags of trees or blobs have no commit time and are no releases
  };

  std::vector<ProcessSpec> specs{
      git_command(path, {"rev-parse", "--is-inside-work-tree", "--is-shallow-repository"}),
      git_command(path, {"rev-list", "--count", "--ignore-missing", "HEAD"}),
      git_command(path, {"for-each-ref",
                         "--format=%(HEAD)%00%(refname)%00%(objecttype)%00%(*objecttype)%00%("
                         "committerdate:unix)%00%(*committerdate:unix)",
                         "refs/heads", "refs/tags"}),
      git_command(path, {"config", "-z", "--get-regexp", R"(^remote\..*\.url$)"}),
  };
  specs[2].on_stdout = [&](std::string_view chunk) {
    pending.append(chunk);
    std::size_t start = 0;
    for (std::size_t nl; (nl = pending.find('\n', start)) != std::string::npos; start = nl + 1)
      on_ref_line(std::string_view(pending).substr(start, nl - start));
    pending.erase(0, start);
  };
  std::vector<ProcessResult> r = run_processes(specs, deadline, cancel);

  // Outside any work tree (or in a bare repository, or inside .git) there is nothing
  // to read, whatever the other commands said.
  if (r[0].timed_out || r[0].cancelled) check(r[0], "opening repository");
  if (r[0].exit_status != 0) {
    if (r[0].err_tail.find("not a git repository") != std::string::npos) return GitInfo{};
    check(r[0], "opening repository");
  }
  auto lines = split(trim_newline(r[0].out), '\n');
  if (lines.size() != 2) throw GitError("git: opening repository: unexpected rev-parse output");
  if (lines[0] != "true") return GitInfo{};
  info.is_repo = true;
  info.shallow = lines[1] == "true";

  check(r[1], "counting commits");
  auto count = parse_int(trim_newline(r[1].out));
  if (!count || *count < 0) throw GitError("git: counting commits: unexpected output");
  info.commit_count = *count;

  check(r[2], "listing tags");
  if (!pending.empty()) on_ref_line(pending);
  if (!refs_error.empty()) throw GitError("git: listing tags: " + refs_error);
  if (!nested.empty()) peel_nested_tags(path, nested, latest, deadline, cancel);
  if (latest.best) info.latest_tag = sanitize_utf8(latest.best->second);

  // Status 1: no remote is configured.
  if (r[3].exit_status != 1) check(r[3], "reading remotes");
  info.remote_url = choose_remote(r[3].out);
  return info;
}

void clone_repository(const std::string& url, const Path& dest, const CloneOptions& options) {
  ProcessSpec spec;
  spec.program = git_program();
  spec.env = git_environment();
  std::string safe = redact_url(url);
  std::string target = url;
  if (safe != url) {
    // Credentials travel in the environment (readable by us alone), never on a command
    // line that every user of the machine can list: git rewrites the safe address to
    // the real one, and the clone's configuration keeps only the safe address.
    spec.env.push_back("GIT_CONFIG_COUNT=1");
    spec.env.push_back("GIT_CONFIG_KEY_0=url." + url + ".insteadOf");
    spec.env.push_back("GIT_CONFIG_VALUE_0=" + safe);
    target = safe;
  }
  spec.args = git_args({"clone", "--filter=tree:0", "--no-recurse-submodules",
                        options.progress ? "--progress"sv : "--quiet"sv, "--"},
                       true);
  spec.args.push_back(target);
  spec.args.push_back(dest.native());
  if (options.progress)
    spec.on_stderr = [](std::string_view chunk) {
      (void)!::write(STDERR_FILENO, chunk.data(), chunk.size());
    };
  ProcessResult r = std::move(run_processes({spec}, options.deadline, options.cancel).front());
  if (r.timed_out) throw TimeoutError("cannot clone " + safe + ": timed out");
  if (r.cancelled) throw GitError("git: clone interrupted");
  if (r.exit_status != 0)
    throw GitError("cannot clone " + safe + ": " + scrub(git_message(r), url));
}

}  // namespace ostrameld
