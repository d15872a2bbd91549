#include "ostrameld/core/context.h"

#include <mutex>
#include <stdexcept>

#include "ostrameld/metadata/model.h"

namespace ostrameld {

struct Context::MetadataCache {
  std::once_flag once;
  ProjectMetadata metadata;
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
  std::call_once(metadata_cache_->once,
                 [this] { metadata_cache_->metadata = read_project_metadata(repo_path); });
  return metadata_cache_->metadata;
}

}  // namespace ostrameld
