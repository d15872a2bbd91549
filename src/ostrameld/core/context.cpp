#include "ostrameld/core/context.h"

#include <mutex>
#include <optional>
#include <stdexcept>

#include "ostrameld/metadata/model.h"

namespace ostrameld {

// A mutex, not std::call_once: an exception thrown through call_once aborts the process
// where libstdc++ is linked in statically (pthread_once cannot be unwound).
struct Context::MetadataCache {
  std::mutex mutex;
  std::optional<ProjectMetadata> metadata;
};

std::shared_ptr<Context::MetadataCache> Context::make_metadata_cache() {
  return std::make_shared<MetadataCache>();
}

const GitInfo& Context::git() const {
  if (!git_repo) {
    throw std::runtime_error(git_error.empty() ? "git metadata unavailable" : git_error);
  }
  return *git_repo;
}

const ProjectMetadata& Context::metadata() const {
  // A failed read (an unreadable directory) throws to the check that asked, and the
  // next check asks again.
  std::lock_guard lock(metadata_cache_->mutex);
  if (!metadata_cache_->metadata) metadata_cache_->metadata = read_project_metadata(repo_path);
  return *metadata_cache_->metadata;
}

const ProjectMetadata* Context::metadata_if_read() const {
  std::lock_guard lock(metadata_cache_->mutex);
  return metadata_cache_->metadata ? &*metadata_cache_->metadata : nullptr;
}

}  // namespace ostrameld
