// CI/CD configuration detection shared by plugins: the one place that knows where
// each CI system keeps its configuration.
#pragma once

#include <string>
#include <vector>

#include "ostrameld/utils/files.h"

namespace ostrameld {

struct CiConfig {
  Path path;            // repo joined with the entry's relative location
  std::string ci_name;  // e.g. "GitHub Actions"
};

// The CI configuration entries of a working tree, in probe order: workflow files
// (listing order), the two GitLab names, then Jenkins, CircleCI, Travis, Azure,
// Bitbucket and Woodpecker. No de-duplication. File-system errors other than an
// absent entry propagate.
std::vector<CiConfig> find_ci_configs(const Path& repo);

}  // namespace ostrameld
