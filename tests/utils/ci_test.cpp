#include "ostrameld/utils/ci.h"

#include <gtest/gtest.h>

#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::TempRepo;

std::vector<std::string> describe(const std::vector<CiConfig>& configs, const Path& repo) {
  std::vector<std::string> out;
  for (const auto& c : configs) out.push_back(relative_text(c.path, repo) + "=" + c.ci_name);
  return out;
}

TEST(FindCiConfigs, ProbesInFixedOrder) {
  TempRepo repo;
  repo.write("Jenkinsfile", "");
  repo.write(".travis.yml", "");
  repo.write(".github/workflows/ci.yml", "");
  repo.write(".gitlab-ci.yaml", "");
  repo.write(".gitlab-ci.yml", "");
  repo.write(".circleci/config.yml", "");
  repo.write("azure-pipelines.yml", "");
  repo.write("bitbucket-pipelines.yml", "");
  repo.write(".woodpecker.yml", "");
  EXPECT_EQ(describe(find_ci_configs(repo.path()), repo.path()),
            (std::vector<std::string>{
                ".github/workflows/ci.yml=GitHub Actions", ".gitlab-ci.yml=GitLab CI",
                ".gitlab-ci.yaml=GitLab CI", "Jenkinsfile=Jenkins", ".circleci/config.yml=CircleCI",
                ".travis.yml=Travis CI", "azure-pipelines.yml=Azure Pipelines",
                "bitbucket-pipelines.yml=Bitbucket Pipelines", ".woodpecker.yml=Woodpecker CI"}));
}

TEST(FindCiConfigs, WorkflowSuffixRules) {
  TempRepo repo;
  for (auto name :
       {"ci.yml", "release.yaml", "notes.md", "old.YML", ".yml", "build.tar.yml", "ci.yml.bak"})
    repo.write(std::string(".github/workflows/") + name, "");
  repo.mkdir(".github/workflows/x.yaml");             // a directory named like a workflow counts
  repo.write(".github/workflows/nested/ci.yml", "");  // files below sub-directories do not
  auto found = describe(find_ci_configs(repo.path()), repo.path());
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{".github/workflows/build.tar.yml=GitHub Actions",
                                             ".github/workflows/ci.yml=GitHub Actions",
                                             ".github/workflows/release.yaml=GitHub Actions",
                                             ".github/workflows/x.yaml=GitHub Actions"}));
}

TEST(FindCiConfigs, AbsentAndOddEntries) {
  TempRepo repo;
  EXPECT_TRUE(find_ci_configs(repo.path()).empty());
  repo.write(".github/workflows", "a file, not a directory");
  repo.symlink("nowhere", ".travis.yml");  // dangling: does not exist
  repo.mkdir("Jenkinsfile");               // a directory: exists
  for (auto name :
       {".circleci/config.yaml", ".travis.yaml", "azure-pipelines.yaml", ".woodpecker/x.yml"})
    repo.write(name, "");
  EXPECT_EQ(describe(find_ci_configs(repo.path()), repo.path()),
            std::vector<std::string>{"Jenkinsfile=Jenkins"});
}

TEST(FindCiConfigs, RelativeRootGivesRelativePaths) {
  TempRepo repo;
  repo.write("Jenkinsfile", "");
  auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(repo.path().parent_path());
  Path rel = repo.path().filename();
  auto found = find_ci_configs(rel);
  std::filesystem::current_path(cwd);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].path, rel / "Jenkinsfile");
}

}  // namespace
}  // namespace ostrameld
