// What a plugin may read about the repository it assesses: one Context per repository.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ostrameld/utils/deadline.h"

namespace ostrameld {

class ForgeClient;
class Lookups;
struct ProjectMetadata;

// Git metadata of the working tree, gathered once by the host before any check runs.
struct GitInfo {
  bool is_repo = false;
  std::string remote_url;         // origin, else the first remote by name; empty when none
  std::int64_t commit_count = 0;  // reachable from HEAD; 0 when HEAD is unborn
  std::string current_branch;     // empty when HEAD is unborn or detached
  std::string latest_tag;         // tag whose commit is newest; empty when there is none
  bool shallow = false;           // history cut short: commit_count counts what is present
  std::string head_commit;        // HEAD's commit id; empty when HEAD is unborn
  bool sha256 = false;            // the repository's objects are named by SHA-256
  std::vector<std::string> tags;  // every tag's name (without refs/tags/), sorted
  // The committer time (seconds since the epoch) of the commit each tag names, where known.
  std::vector<std::pair<std::string, std::int64_t>> tag_times;
  std::vector<std::string> notes;  // what was not read, for the report
};

struct Context {
  std::filesystem::path repo_path;
  // Absent when gathering the git metadata failed; git() then raises git_error.
  std::optional<GitInfo> git_repo = GitInfo{};
  std::string git_error;
  std::optional<std::string> repo_url;
  // Absent differs from empty: an empty token is a deliberate choice.
  std::optional<std::string> github_token;
  std::optional<std::string> gitlab_token;
  std::optional<std::string> gitea_token;
  // The forge client of this run; null means no forge is reachable.
  const ForgeClient* forge = nullptr;
  // When the assessment must be over: forge requests stop then too.
  Deadline deadline;

  // The online lookups of this assessment (full profile); null: nothing is asked.
  Lookups* lookups = nullptr;

  // The git metadata, or a std::runtime_error when it could not be gathered.
  const GitInfo& git() const;
  // The project's metadata, read on first use and shared by every check of the run.
  const ProjectMetadata& metadata() const;
  // The metadata if a check has read it; null otherwise (never reads).
  const ProjectMetadata* metadata_if_read() const;

 private:
  struct MetadataCache;
  std::shared_ptr<MetadataCache> metadata_cache_ = make_metadata_cache();
  static std::shared_ptr<MetadataCache> make_metadata_cache();
};

}  // namespace ostrameld
