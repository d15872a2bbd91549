#include "ostrameld/utils/ci.h"

#include <array>
#include <string_view>
#include <utility>

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array GITLAB_FILES{".gitlab-ci.yml"sv, ".gitlab-ci.yaml"sv};

constexpr std::array<std::pair<std::string_view, std::string_view>, 6> CI_FILES{{
    {"Jenkinsfile", "Jenkins"},
    {".circleci/config.yml", "CircleCI"},
    {".travis.yml", "Travis CI"},
    {"azure-pipelines.yml", "Azure Pipelines"},
    {"bitbucket-pipelines.yml", "Bitbucket Pipelines"},
    {".woodpecker.yml", "Woodpecker CI"},
}};

}  // namespace

std::vector<CiConfig> find_ci_configs(const Path& repo) {
  std::vector<CiConfig> found;
  Path workflows = repo / ".github" / "workflows";
  if (is_dir(workflows, repo)) {
    for (const auto& name : list_directory(workflows, repo)) {
      auto suffix = file_suffix(name);
      if ((suffix == ".yml" || suffix == ".yaml") && !leads_outside(workflows / name, repo))
        found.push_back({workflows / name, "GitHub Actions"});
    }
  }
  for (auto name : GITLAB_FILES) {
    Path p = repo / name;
    if (path_exists(p, repo)) found.push_back({std::move(p), "GitLab CI"});
  }
  for (const auto& [rel, ci_name] : CI_FILES) {
    Path p = repo / rel;
    if (path_exists(p, repo)) found.push_back({std::move(p), std::string(ci_name)});
  }
  return found;
}

}  // namespace ostrameld
