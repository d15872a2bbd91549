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
                        .evidence = "Path: " + sanitize_utf8(ctx.repo_path.native())});
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
  std::string joined = join(details, "; ");
  return make_result(indicator_id, {.score = score,
                                    .process = "Inspected git repository metadata",
                                    .output = joined,
                                    .evidence = joined});
}

}  // namespace ostrameld
