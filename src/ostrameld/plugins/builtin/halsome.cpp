#include "ostrameld/plugins/builtin/halsome.h"

#include <array>
#include <string>
#include <vector>

#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {
using namespace std::string_view_literals;
constexpr std::array<std::string_view, 1> kIndicators{"development_provenance"sv};
}  // namespace

std::span<const std::string_view> HalsomePlugin::supported_indicators() const {
  return kIndicators;
}

CheckResult HalsomePlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const GitInfo& git = ctx.git();  // a failure to gather git metadata propagates
  if (!git.is_repo) {
    return make_result(indicator_id,
                       {.score = 0.0,
                        .process = "Check for git repository",
                        .output = "Not a git repository",
                        .evidence = "Path: " + sanitize_utf8(ctx.repo_path.native()),
                        .advice = {"Keep the project under git (git init) and publish it on a "
                                   "forge; assess the checkout, not a copy of its files."}});
  }
  std::vector<std::string> details;
  double score = 5.0;
  if (!git.remote_url.empty()) {
    details.push_back("Remote: " + git.remote_url);
    score += 2.0;
  }
  details.push_back("Commits: " + std::to_string(git.commit_count));
  if (git.commit_count >= 10) {
    score += 1.5;
  } else if (git.commit_count >= 3) {
    score += 0.5;
  }
  if (!git.current_branch.empty()) details.push_back("Branch: " + git.current_branch);
  if (!git.latest_tag.empty()) {
    details.push_back("Latest tag: " + git.latest_tag);
    score += 1.5;
  }
  std::vector<std::string> advice;
  if (git.remote_url.empty())
    advice.emplace_back("Add a remote for the public repository: git remote add origin URL.");
  if (git.commit_count < 10 && git.shallow) {
    advice.emplace_back("This checkout is shallow (" + std::to_string(git.commit_count) +
                        (git.commit_count == 1 ? " commit" : " commits") +
                        " present): fetch the whole history (fetch-depth: 0 in "
                        "actions/checkout, or git fetch --unshallow).");
  } else if (git.commit_count < 10) {
    advice.emplace_back("Commit in small steps: a history of 10 commits or more counts fully.");
  }
  if (git.latest_tag.empty()) {
    advice.emplace_back("Tag releases: git tag -a v1.0.0 -m \"Release 1.0.0\"." +
                        std::string(git.shallow ? " A shallow checkout may lack the tags: fetch "
                                                  "them with git fetch --tags."
                                                : ""));
  }
  std::string joined = join(details, "; ");
  return make_result(indicator_id, {.score = score,
                                    .process = "Inspected git repository metadata",
                                    .output = joined,
                                    .evidence = joined,
                                    .advice = std::move(advice)});
}

}  // namespace ostrameld
