#include "ostrameld/git/clone.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <unordered_map>

#include "ostrameld/git/directory.h"
#include "ostrameld/git/sealed.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/url.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;
using namespace gitproc;

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

void clone_repository(const std::string& url, const Path& dest, const CloneOptions& options) {
  if (is_local_source(url)) {
    clone_local(url, dest, options);
  } else {
    clone_remote(url, dest, options);
  }
}

}  // namespace ostrameld
