#include "ostrameld/utils/git.h"

#include <fcntl.h>
#include <git2.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "ostrameld/utils/commit_graph.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/url.h"

namespace ostrameld {

namespace {

void ensure_init() {
  static const bool done = [] {
    git_libgit2_init();
    // Only metadata is read and nothing from the repository is executed, so a
    // checkout owned by another user is as safe to read as our own.
    git_libgit2_opts(GIT_OPT_SET_OWNER_VALIDATION, 0);
    return true;
  }();
  (void)done;
}

[[noreturn]] void fail(std::string_view what) {
  const git_error* e = git_error_last();
  std::string msg = "git: " + std::string(what);
  if (e && e->message) msg += ": " + sanitize_utf8(e->message);
  // libgit2 messages may quote a URL with its credentials.
  throw GitError(msg);
}

void check(int rc, std::string_view what) {
  if (rc < 0) fail(what);
}

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)>
using Handle = std::unique_ptr<T, Deleter<T, Free>>;

using RepoHandle = Handle<git_repository, git_repository_free>;
using WalkHandle = Handle<git_revwalk, git_revwalk_free>;
using RefHandle = Handle<git_reference, git_reference_free>;
using ObjectHandle = Handle<git_object, git_object_free>;
using CommitHandle = Handle<git_commit, git_commit_free>;

using ConfigHandle = Handle<git_config, git_config_free>;
using ConfigIterHandle = Handle<git_config_iterator, git_config_iterator_free>;

// Read from the configuration directly: the remote listing of this libgit2 matches
// every configuration entry against a regular expression and leaks memory on each
// entry that does not match, which adds up over a batch of repositories.
std::string remote_url(git_repository* repo) {
  git_config* raw_cfg = nullptr;
  check(git_repository_config_snapshot(&raw_cfg, repo), "reading configuration");
  ConfigHandle cfg(raw_cfg);
  git_config_iterator* raw_it = nullptr;
  check(git_config_iterator_new(&raw_it, cfg.get()), "reading configuration");
  ConfigIterHandle it(raw_it);
  std::map<std::string, std::string> urls;  // remote name -> URL, last definition wins
  git_config_entry* entry = nullptr;
  int rc;
  while ((rc = git_config_next(&entry, it.get())) == 0) {
    std::string_view name = entry->name;
    constexpr std::string_view prefix = "remote.";
    constexpr std::string_view suffix = ".url";
    if (name.size() <= prefix.size() + suffix.size() || name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - suffix.size()) != suffix || !entry->value) {
      continue;
    }
    urls[std::string(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()))] =
        entry->value;
  }
  if (rc != GIT_ITEROVER) fail("reading configuration");
  if (urls.empty()) return {};
  auto chosen = urls.find("origin");
  const std::string& url = chosen != urls.end() ? chosen->second : urls.begin()->second;
  return redact_url(sanitize_utf8(url));
}

// A read-only view of a whole file; empty when it cannot be mapped.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
      void* p =
          ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
      if (p != MAP_FAILED) {
        data_ = static_cast<const char*>(p);
        size_ = static_cast<std::size_t>(st.st_size);
      }
    }
    ::close(fd);
  }
  ~MappedFile() {
    if (data_) ::munmap(const_cast<char*>(data_), size_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  std::string_view bytes() const { return {data_, size_}; }

 private:
  const char* data_ = nullptr;
  std::size_t size_ = 0;
};

// Counts the commits reachable from HEAD through the commit-graph file, reading only
// the commits it does not hold (made since it was written). Nothing when there is no
// usable graph: no file, a split or SHA-256 graph, a shallow clone, inconsistent data.
std::optional<std::int64_t> count_with_commit_graph(git_repository* repo) {
  if (git_repository_is_shallow(repo) == 1) return std::nullopt;
  MappedFile file(std::string(git_repository_commondir(repo)) + "objects/info/commit-graph");
  auto graph = CommitGraph::parse(file.bytes());
  if (!graph) return std::nullopt;
  git_oid head;
  if (git_reference_name_to_id(&head, repo, "HEAD") < 0) return std::nullopt;

  std::vector<bool> seen(graph->size());
  std::set<std::string> seen_outside;  // raw ids of commits the graph does not hold
  std::vector<std::uint32_t> positions;
  std::vector<git_oid> outside{head};
  std::int64_t count = 0;
  auto visit_oid = [&](const git_oid& oid) {
    if (auto pos = graph->find(oid.id)) {
      positions.push_back(*pos);
    } else {
      outside.push_back(oid);
    }
  };
  while (!positions.empty() || !outside.empty()) {
    if (!outside.empty()) {
      git_oid oid = outside.back();
      outside.pop_back();
      if (auto pos = graph->find(oid.id)) {
        positions.push_back(*pos);
        continue;
      }
      if (!seen_outside.insert(std::string(reinterpret_cast<const char*>(oid.id), GIT_OID_RAWSZ))
               .second)
        continue;
      git_commit* raw = nullptr;
      if (git_commit_lookup(&raw, repo, &oid) < 0) return std::nullopt;
      CommitHandle commit(raw);
      ++count;
      for (unsigned i = 0; i < git_commit_parentcount(commit.get()); ++i)
        visit_oid(*git_commit_parent_id(commit.get(), i));
      continue;
    }
    std::uint32_t pos = positions.back();
    positions.pop_back();
    if (seen[pos]) continue;
    seen[pos] = true;
    ++count;
    if (!graph->parents(pos, positions)) return std::nullopt;
  }
  return count;
}

std::int64_t count_commits(git_repository* repo) {
  if (git_repository_head_unborn(repo) == 1) return 0;
  if (auto fast = count_with_commit_graph(repo)) return *fast;
  git_revwalk* raw = nullptr;
  check(git_revwalk_new(&raw, repo), "walking history");
  WalkHandle walk(raw);
  git_revwalk_sorting(walk.get(), GIT_SORT_NONE);
  int rc = git_revwalk_push_head(walk.get());
  if (rc == GIT_EUNBORNBRANCH || rc == GIT_ENOTFOUND) return 0;
  check(rc, "walking history");
  std::int64_t count = 0;
  git_oid oid;
  while ((rc = git_revwalk_next(&oid, walk.get())) == 0) ++count;
  if (rc != GIT_ITEROVER) fail("walking history");
  return count;
}

std::string current_branch(git_repository* repo) {
  if (git_repository_head_unborn(repo) == 1 || git_repository_head_detached(repo) == 1) return {};
  git_reference* raw = nullptr;
  int rc = git_repository_head(&raw, repo);
  if (rc == GIT_EUNBORNBRANCH || rc == GIT_ENOTFOUND) return {};
  check(rc, "reading HEAD");
  RefHandle head(raw);
  return sanitize_utf8(git_reference_shorthand(head.get()));
}

struct TagScan {
  git_repository* repo;
  std::optional<std::pair<git_time_t, std::string>> best;
};

int visit_tag(const char* name, git_oid* oid, void* payload) {
  auto* scan = static_cast<TagScan*>(payload);
  git_object* raw = nullptr;
  if (git_object_lookup(&raw, scan->repo, oid, GIT_OBJECT_ANY) < 0) return 0;
  ObjectHandle obj(raw);
  git_object* peeled_raw = nullptr;
  // Tags of trees or blobs have no commit time and cannot be the latest release.
  if (git_object_peel(&peeled_raw, obj.get(), GIT_OBJECT_COMMIT) < 0) return 0;
  ObjectHandle peeled(peeled_raw);
  git_time_t when = git_commit_time(reinterpret_cast<const git_commit*>(peeled.get()));
  std::string short_name = name;
  if (short_name.rfind("refs/tags/", 0) == 0) short_name.erase(0, std::strlen("refs/tags/"));
  if (!scan->best || when > scan->best->first ||
      (when == scan->best->first && short_name > scan->best->second)) {
    scan->best = std::make_pair(when, std::move(short_name));
  }
  return 0;
}

std::string latest_tag(git_repository* repo) {
  TagScan scan{repo, std::nullopt};
  int rc = git_tag_foreach(repo, visit_tag, &scan);
  if (rc < 0 && rc != GIT_ENOTFOUND) fail("listing tags");
  return scan.best ? sanitize_utf8(scan.best->second) : std::string();
}

struct CloneState {
  const std::atomic<bool>* cancel;
  const std::function<void(const CloneProgress&)>* progress;
};

int on_transfer(const git_indexer_progress* stats, void* payload) {
  auto* state = static_cast<CloneState*>(payload);
  if (state->cancel && state->cancel->load()) return -1;
  if (state->progress && *state->progress) {
    (*state->progress)({stats->received_objects, stats->total_objects, stats->received_bytes});
  }
  return 0;
}

}  // namespace

GitInfo read_git_info(const Path& path) {
  ensure_init();
  git_repository* raw = nullptr;
  const char* ceiling = std::getenv("GIT_CEILING_DIRECTORIES");
  int rc = git_repository_open_ext(&raw, path.c_str(), 0, ceiling);
  if (rc == GIT_ENOTFOUND) return GitInfo{};
  check(rc, "opening repository");
  RepoHandle repo(raw);
  GitInfo info;
  if (git_repository_is_bare(repo.get())) return info;  // no working tree
  info.is_repo = true;
  info.remote_url = remote_url(repo.get());
  info.commit_count = count_commits(repo.get());
  info.current_branch = current_branch(repo.get());
  info.latest_tag = latest_tag(repo.get());
  return info;
}

void clone_repository(const std::string& url, const Path& dest, const std::atomic<bool>* cancel,
                      const std::function<void(const CloneProgress&)>& progress) {
  ensure_init();
  CloneState state{cancel, &progress};
  git_clone_options opts;
  git_clone_options_init(&opts, GIT_CLONE_OPTIONS_VERSION);
  opts.fetch_opts.callbacks.transfer_progress = on_transfer;
  opts.fetch_opts.callbacks.payload = &state;
  opts.checkout_opts.progress_cb = nullptr;
  git_repository* raw = nullptr;
  int rc = git_clone(&raw, url.c_str(), dest.c_str(), &opts);
  if (rc < 0) {
    if (cancel && cancel->load()) throw GitError("git: clone interrupted");
    const git_error* e = git_error_last();
    std::string msg = e && e->message ? sanitize_utf8(e->message) : "unknown error";
    // Never echo credentials that the URL may carry.
    std::string::size_type pos;
    while ((pos = msg.find(url)) != std::string::npos)
      msg.replace(pos, url.size(), redact_url(url));
    throw GitError("cannot clone " + redact_url(url) + ": " + msg);
  }
  git_repository_free(raw);
}

}  // namespace ostrameld
