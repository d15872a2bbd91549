#include "ostrameld/plugins/builtin/halsome.h"

#include <gtest/gtest.h>

namespace ostrameld {
namespace {

const HalsomePlugin plugin;

Context with_git(GitInfo git) {
  Context ctx;
  ctx.repo_path = "/srv/checkouts/demo";
  ctx.git_repo = std::move(git);
  return ctx;
}

TEST(Halsome, Outcomes) {
  struct {
    GitInfo git;
    double score;
    std::string output;
  } cases[] = {
      {{.is_repo = true}, 5.0, "Commits: 0"},
      {{.is_repo = true, .commit_count = 2}, 5.0, "Commits: 2"},
      {{.is_repo = true, .commit_count = 3}, 5.5, "Commits: 3"},
      {{.is_repo = true, .commit_count = 9}, 5.5, "Commits: 9"},
      {{.is_repo = true, .commit_count = 10}, 6.5, "Commits: 10"},
      {{.is_repo = true,
        .remote_url = "https://example.org/x.git",
        .commit_count = 25,
        .current_branch = "main",
        .latest_tag = "v1.0.0"},
       10.0,
       "Remote: https://example.org/x.git; Commits: 25; Branch: main; Latest tag: v1.0.0"},
      {{.is_repo = true, .commit_count = 4, .latest_tag = "rc"}, 7.0, "Commits: 4; Latest tag: rc"},
  };
  for (const auto& c : cases) {
    auto r = plugin.check("development_provenance", with_git(c.git));
    EXPECT_EQ(r.score, c.score) << c.output;
    EXPECT_EQ(r.output, c.output);
    EXPECT_EQ(r.evidence, c.output);
    EXPECT_EQ(r.process, "Inspected git repository metadata");
  }
}

TEST(Halsome, NotARepository) {
  auto r = plugin.check("development_provenance", with_git({}));
  EXPECT_EQ(r.score, 0.0);
  EXPECT_EQ(r.status, CheckStatus::Fail);
  EXPECT_EQ(r.process, "Check for git repository");
  EXPECT_EQ(r.output, "Not a git repository");
  EXPECT_EQ(r.evidence, "Path: /srv/checkouts/demo");
}

TEST(Halsome, MissingGitMetadataIsAnError) {
  Context ctx;
  ctx.git_repo.reset();
  ctx.git_error = "git: opening repository: corrupt";
  EXPECT_THROW(plugin.check("development_provenance", ctx), std::runtime_error);
}

}  // namespace
}  // namespace ostrameld
