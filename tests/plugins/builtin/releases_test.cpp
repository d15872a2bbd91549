#include "ostrameld/plugins/builtin/releases.h"

#include <gtest/gtest.h>

#include "ostrameld/services/forge.h"

namespace ostrameld {
namespace {

const ReleasesPlugin plugin;

// A forge that answers what the test says and remembers what it was asked.
class FakeForge final : public ForgeClient {
 public:
  std::optional<std::string> style;
  std::optional<std::vector<Release>> releases;
  mutable std::optional<std::string> asked_url;
  mutable std::optional<std::optional<std::string>> asked_token;
  mutable Deadline asked_deadline;

  std::optional<ForgeInfo> parse_forge_url(std::string_view) const override {
    if (!style) return std::nullopt;
    return ForgeInfo{.api_style = *style};
  }
  std::optional<std::vector<Release>> get_releases(std::string_view url,
                                                   const std::optional<std::string>& token,
                                                   Deadline deadline) const override {
    asked_url = std::string(url);
    asked_token = token;
    asked_deadline = deadline;
    return releases;
  }
  ForgeProblem why = ForgeProblem::Unreachable;
  ForgeProblem problem(std::string_view) const override { return why; }
};

std::vector<Release> tags(std::initializer_list<const char*> names) {
  std::vector<Release> out;
  for (const char* n : names) out.push_back(n ? Release{std::string(n)} : Release{});
  return out;
}

TEST(Semver, AnchoredMatch) {
  struct {
    const char* tag;
    bool semver;
  } cases[] = {
      {"v1.2.3-rc.1+build.5", true},
      {"1.2.3", true},
      {"v1.2.3\n", true},
      {"V1.2.3", false},
      {"1.2", false},
      {"release-1.2.3", false},
      {"1.2.3-", false},
      {"1.2.3 ", false},
      {"v1.2.3\n\n", false},
      {"10.20.30+meta", true},
  };
  for (const auto& c : cases) EXPECT_EQ(is_semver(c.tag), c.semver) << c.tag;
}

struct Case {
  const char* name;
  std::string repo_url;  // context repo_url (empty: none)
  std::string remote;    // git remote
  std::string tag;       // latest local tag
  bool forge_answers;
  std::vector<Release> releases;
  double score;
  CheckStatus status;
  std::string process, output, evidence;
};

TEST(Releases, Outcomes) {
  const std::string u = "https://github.com/o/r";
  Case cases[] = {
      {"no url, semver tag",
       "",
       "",
       "v1.0.0",
       false,
       {},
       7.0,
       CheckStatus::Pass,
       "No remote URL, checked local tags",
       "Latest tag: v1.0.0, semver: True",
       "Local tags only"},
      {"no url, other tag",
       "",
       "",
       "nightly",
       false,
       {},
       5.0,
       CheckStatus::Warn,
       "No remote URL, checked local tags",
       "Latest tag: nightly, semver: False",
       "Local tags only"},
      {"no url, no tag",
       "",
       "",
       "",
       false,
       {},
       0.0,
       CheckStatus::Unknown,
       "No remote URL and no git tags",
       "Cannot check releases",
       "No remote URL; no local tags"},
      {"forge unavailable, semver tag",
       u,
       "",
       "1.2.3",
       false,
       {},
       5.0,
       CheckStatus::Warn,
       "Forge API unavailable, checked local tags",
       "Latest tag: 1.2.3, semver: True",
       "Remote: " + u + "; fell back to local tags"},
      {"forge unavailable, other tag",
       u,
       "",
       "beta",
       false,
       {},
       3.0,
       CheckStatus::Fail,
       "Forge API unavailable, checked local tags",
       "Latest tag: beta, semver: False",
       "Remote: " + u + "; fell back to local tags"},
      {"forge unavailable, no tag",
       u,
       "",
       "",
       false,
       {},
       0.0,
       CheckStatus::Unknown,
       "Queried forge API for " + u,
       "Could not fetch releases (forge API unavailable, no local tags)",
       "Source: " + u},
      {"no releases, semver tag",
       u,
       "",
       "v2.0.0",
       true,
       {},
       5.0,
       CheckStatus::Warn,
       "Forge returned 0 releases; falling back to local tags",
       "Latest tag: v2.0.0, semver: True",
       "Source: " + u + "; 0 releases, local tag v2.0.0"},
      {"no releases, no tag",
       u,
       "",
       "",
       true,
       {},
       0.0,
       CheckStatus::Fail,
       "Queried forge API for " + u,
       "No releases found",
       "Source: " + u + "; 0 releases; no local tags"},
      {"4 of 5 semver", u, "", "", true, tags({"v5.0.0", "v4.0.0", "v3.0.0", "v2.0.0", "first"}),
       10.0, CheckStatus::Pass, "Checked releases and version tag format",
       "5 release(s), latest: v5.0.0, semver: 4/5", "Source: " + u},
      {"1 of 2 semver", u, "", "", true, tags({"v1.0.0", "alpha"}), 7.5, CheckStatus::Pass,
       "Checked releases and version tag format", "2 release(s), latest: v1.0.0, semver: 1/2",
       "Source: " + u},
      {"no tag names", u, "", "", true, tags({nullptr, nullptr, nullptr}), 7.0, CheckStatus::Pass,
       "Checked releases and version tag format", "3 release(s), latest: unknown, semver: 0/0",
       "Source: " + u},
      {"one release, no semver", u, "", "", true, tags({"stable", ""}), 6.0, CheckStatus::Warn,
       "Checked releases and version tag format", "2 release(s), latest: stable, semver: 0/1",
       "Source: " + u},
      {"remote used when repo_url is empty", "", "git@github.com:o/r.git", "", true,
       tags({"1.0.0"}), 9.0, CheckStatus::Pass, "Checked releases and version tag format",
       "1 release(s), latest: 1.0.0, semver: 1/1", "Source: git@github.com:o/r.git"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeForge forge;
    if (c.forge_answers) forge.releases = c.releases;
    Context ctx;
    if (!c.repo_url.empty()) ctx.repo_url = c.repo_url;
    ctx.git_repo = GitInfo{.is_repo = true, .remote_url = c.remote, .latest_tag = c.tag};
    ctx.forge = &forge;
    auto r = plugin.check("version_identifiers", ctx);
    EXPECT_EQ(r.score, c.score);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.process, c.process);
    EXPECT_EQ(r.output, c.output);
    EXPECT_EQ(r.evidence, c.evidence);
  }
}

// Advice names the tags that are no semantic versions, with one that would be, and why
// the forge's releases could not be counted.
TEST(Releases, Advice) {
  const std::string u = "https://github.com/o/r";
  struct {
    const char* name;
    std::string tag;
    std::optional<std::vector<Release>> releases;
    ForgeProblem why;
    std::vector<std::string> advice;
  } cases[] = {
      {"rate limited, semver tag",
       "v1.0.0",
       std::nullopt,
       ForgeProblem::RateLimited,
       {"The forge's API rate limit is exhausted: set GITHUB_TOKEN to a token to raise it."}},
      {"offline, other tag",
       "build-7",
       std::nullopt,
       ForgeProblem::Offline,
       {"Run without --offline to count the releases published on the forge.",
        "Tag build-7 (e.g. v7.0.0) is no semantic version: name releases vMAJOR.MINOR.PATCH (a "
        "leading lower-case v is allowed)."}},
      {"two releases, one odd",
       "",
       tags({"v2.0.0", "Release 1.5"}),
       ForgeProblem::Unreachable,
       {"Publish a release for each version: three or more releases count fully.",
        "Tag Release 1.5 (e.g. v1.5.0) is no semantic version: name releases vMAJOR.MINOR.PATCH "
        "(a leading lower-case v is allowed)."}},
      {"full marks", "", tags({"v3.0.0", "v2.0.0", "v1.0.0"}), ForgeProblem::Unreachable, {}},
      {"zero releases, a tag",
       "v1.0.0",
       tags({}),
       ForgeProblem::Unreachable,
       {"Publish a release on the forge for each version tag: releases count more than tags."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeForge forge;
    forge.releases = c.releases;
    forge.why = c.why;
    Context ctx;
    ctx.repo_url = u;
    ctx.git_repo = GitInfo{.is_repo = true, .latest_tag = c.tag};
    ctx.forge = &forge;
    EXPECT_EQ(plugin.check("version_identifiers", ctx).advice, c.advice);
  }
}

TEST(Releases, TokenChoice) {
  using Tok = std::optional<std::string>;
  struct {
    const char* name;
    std::optional<std::string> style;
    Tok github, gitlab, gitea;
    Tok expected;
  } cases[] = {
      {"forge's own token", "gitlab", "gh", "gl", "gt", "gl"},
      {"github's", "github", "gh", "gl", "gt", "gh"},
      {"gitea's", "gitea", "gh", "gl", "gt", "gt"},
      {"empty own token is kept", "gitlab", "gh", "", std::nullopt, ""},
      // Another forge's token never stands in: it would go to a host it is not for.
      {"absent own token: none, not another forge's", "gitea", "", "gl", std::nullopt,
       std::nullopt},
      {"absent gitlab token: not github's", "gitlab", "gh", std::nullopt, "gt", std::nullopt},
      {"unrecognised url: no token at all", std::nullopt, "gh", "gl", "gt", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeForge forge;
    forge.style = c.style;
    Context ctx;
    ctx.repo_url = "https://forge.example/o/r";
    ctx.github_token = c.github;
    ctx.gitlab_token = c.gitlab;
    ctx.gitea_token = c.gitea;
    ctx.forge = &forge;
    plugin.check("version_identifiers", ctx);
    ASSERT_TRUE(forge.asked_token.has_value());  // queried even for an unrecognised URL
    EXPECT_EQ(*forge.asked_token, c.expected);
    EXPECT_EQ(forge.asked_url, "https://forge.example/o/r");
  }
}

TEST(Releases, TheAssessmentDeadlineReachesTheForge) {
  FakeForge forge;
  forge.style = "github";
  Context ctx;
  ctx.repo_url = "https://github.com/o/r";
  ctx.forge = &forge;
  ctx.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(7);
  plugin.check("version_identifiers", ctx);
  EXPECT_EQ(forge.asked_deadline, ctx.deadline);
}

}  // namespace
}  // namespace ostrameld
