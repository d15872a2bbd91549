#include "ostrameld/git/repository.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ostrameld/git/directory.h"
#include "ostrameld/git/objects.h"
#include "ostrameld/git/sealed.h"
#include "ostrameld/utils/tempdir.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/url.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;
using namespace gitproc;

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
  std::optional<ObjectStore> store;
  if ((!state.head_oid.empty() || !objects.empty()) && !state.partial && state.replace.empty() &&
      state.grafts.empty()) {
    if (deadline && std::chrono::steady_clock::now() >= *deadline) throw TimeoutError("git: reading the history: timed out");
    // The store checks the deadline between any two objects it reads, in every loop.
    store.emplace(layout->common_dir / "objects", state.sha256, ObjectBudget{.deadline = deadline});
    auto packed = store->packed_objects();
    if (!packed) {
      store.reset();
    } else if (*packed <= kInProcessObjects && !state.head_oid.empty()) {
      // Counting is left to git past the bound, where its commit-graph beats a walk here.
      count_here = count_commits_here(*store, state, deadline);
    }
  }

  std::vector<ProcessSpec> specs;
  std::optional<SealedRepository> sealed;
  auto seal = [&] {
    if (!sealed) sealed.emplace(*layout, state, SealedRepository::Objects::ByEnvironment);
  };
  std::optional<std::size_t> count_at, config_at;
  if (!state.head_oid.empty() && !count_here) {
    seal();
    count_at = specs.size();
    specs.push_back(sealed->command({"rev-list", "--count", "--ignore-missing", state.head_oid}));
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
  // Tags are few at any size: their dates are read here while git counts a long history,
  // so that it starts one git process, not two. Only tags not known here go to git after.
  std::future<std::vector<ProcessResult>> running;
  if (!specs.empty())
    running = std::async(std::launch::async, [&] { return run_processes(specs, deadline, cancel); });
  if (store && !objects.empty()) times_here = peeled_times_here(*store, objects);
  std::vector<ProcessResult> r;
  if (running.valid()) r = running.get();
  CommitTimes times;
  if (!objects.empty() && !times_here) {
    seal();
    ProcessSpec spec = sealed->command({"cat-file", "--batch"});
    for (const auto& oid : objects) spec.input += oid + "^{commit}\n";
    spec.on_stdout = [&times](std::string_view chunk) { times.feed(chunk); };
    check(run_processes({spec}, deadline, cancel).front(), "reading tags");
  }

  if (count_here) info.commit_count = *count_here;
  if (count_at) {
    check(r[*count_at], "counting commits");
    auto count = parse_int(trim_newline(r[*count_at].out));
    if (!count || *count < 0) throw GitError("git: counting commits: unexpected output");
    info.commit_count = *count;
  }
  if (!objects.empty()) {
    LatestTag latest;
    const auto& found = times_here ? *times_here : times.times();
    for (const auto& tag : state.tags) {
      std::size_t i = object_index[tag.oid];
      if (i < found.size() && found[i]) {
        latest.offer(*found[i], tag.name.substr(10));
        info.tag_times.emplace_back(sanitize_utf8(tag.name.substr(10)), *found[i]);
      }
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


std::vector<std::pair<std::string, std::size_t>> top_authors(const Path& path, std::size_t count, Deadline deadline) {
  std::vector<std::pair<std::string, std::size_t>> out;
  auto layout = find_work_tree(path);
  if (!layout) return out;
  RepositoryState state = read_repository_state(*layout);
  if (state.head_oid.empty() ||
      state.head_oid.find_first_not_of("0123456789abcdef") != std::string::npos)
    return out;
  SealedRepository sealed(*layout, state, SealedRepository::Objects::ByEnvironment);
  // The newest ten thousand commits tell who does the work; no mailmap is read (the
  // sealed directory has no work tree).
  ProcessSpec spec = sealed.command({"log", "--no-merges", "-n", "10000", "--format=%aN", state.head_oid});
  auto r = run_processes({spec}, deadline, nullptr);
  check(r[0], "reading authors");
  std::map<std::string, std::size_t> commits;
  std::size_t start = 0;
  const std::string& text = r[0].out;
  while (start < text.size()) {
    auto nl = text.find('\n', start);
    std::string name = sanitize_utf8(text.substr(start, nl - start));
    start = nl == std::string::npos ? text.size() : nl + 1;
    if (!name.empty() && name.find("[bot]") == std::string::npos && name.find("dependabot") == std::string::npos) ++commits[name];
  }
  for (auto& [name, n] : commits) out.emplace_back(name, n);
  std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  if (out.size() > count) out.resize(count);
  return out;
}

}  // namespace ostrameld
