#include "ostrameld/plugins/builtin/releases.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "ostrameld/utils/forge.h"
#include "ostrameld/utils/regex.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;
constexpr std::array<std::string_view, 1> kIndicators{"version_identifiers"sv};

const Regex& semver_re() {
  static const Regex re("^v?(\\d+)\\.(\\d+)\\.(\\d+)(?:-[a-zA-Z0-9.]+)?(?:\\+[a-zA-Z0-9.]+)?$");
  return re;
}

const char* py_bool(bool b) {
  return b ? "True" : "False";
}

// Which token goes with the forge: the forge's own, else the first non-empty one.
std::optional<std::string> choose_token(const Context& ctx, const std::optional<ForgeInfo>& info) {
  std::optional<std::string> token;
  if (info) {
    if (info->api_style == "github")
      token = ctx.github_token;
    else if (info->api_style == "gitlab")
      token = ctx.gitlab_token;
    else if (info->api_style == "gitea")
      token = ctx.gitea_token;
  }
  if (!token) {
    // An absent token falls back; an empty one was chosen on purpose and stays.
    for (const auto* t : {&ctx.github_token, &ctx.gitlab_token})
      if (*t && !(*t)->empty()) return *t;
    return ctx.gitea_token;
  }
  return token;
}

}  // namespace

bool is_semver(std::string_view tag) {
  return semver_re().match(tag);
}

std::span<const std::string_view> ReleasesPlugin::supported_indicators() const {
  return kIndicators;
}

CheckResult ReleasesPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  return check_releases(ctx, indicator_id);
}

CheckResult ReleasesPlugin::check_releases(const Context& ctx,
                                           std::string_view indicator_id) const {
  const GitInfo& git = ctx.git();
  std::string url = ctx.repo_url && !ctx.repo_url->empty() ? *ctx.repo_url : git.remote_url;

  if (url.empty()) {
    const std::string& tag = git.latest_tag;
    if (!tag.empty()) {
      bool semver = is_semver(tag);
      return make_result(indicator_id,
                         {.score = semver ? 7.0 : 5.0,
                          .process = "No remote URL, checked local tags",
                          .output = "Latest tag: " + tag + ", semver: " + py_bool(semver),
                          .evidence = "Local tags only"});
    }
    return make_result(indicator_id, {.score = 0.0,
                                      .status = CheckStatus::Unknown,
                                      .process = "No remote URL and no git tags",
                                      .output = "Cannot check releases",
                                      .evidence = "No remote URL; no local tags"});
  }

  std::optional<ForgeInfo> info = ctx.forge ? ctx.forge->parse_forge_url(url) : std::nullopt;
  std::optional<std::string> token = choose_token(ctx, info);
  std::optional<std::vector<Release>> releases =
      ctx.forge ? ctx.forge->get_releases(url, token) : std::nullopt;

  if (!releases) {
    const std::string& tag = git.latest_tag;
    if (!tag.empty()) {
      bool semver = is_semver(tag);
      return make_result(indicator_id,
                         {.score = semver ? 5.0 : 3.0,
                          .process = "Forge API unavailable, checked local tags",
                          .output = "Latest tag: " + tag + ", semver: " + py_bool(semver),
                          .evidence = "Remote: " + url + "; fell back to local tags"});
    }
    return make_result(indicator_id,
                       {.score = 0.0,
                        .status = CheckStatus::Unknown,
                        .process = "Queried forge API for " + url,
                        .output = "Could not fetch releases (forge API unavailable, no local tags)",
                        .evidence = "Source: " + url});
  }

  if (releases->empty()) {
    const std::string& tag = git.latest_tag;
    if (!tag.empty()) {
      bool semver = is_semver(tag);
      return make_result(indicator_id,
                         {.score = semver ? 5.0 : 3.0,
                          .process = "Forge returned 0 releases; falling back to local tags",
                          .output = "Latest tag: " + tag + ", semver: " + py_bool(semver),
                          .evidence = "Source: " + url + "; 0 releases, local tag " + tag});
    }
    return make_result(indicator_id,
                       {.score = 0.0,
                        .process = "Queried forge API for " + url,
                        .output = "No releases found",
                        .evidence = "Source: " + url + "; 0 releases; no local tags"});
  }

  std::size_t count = releases->size();
  std::string latest = releases->front().tag_name.value_or("unknown");
  std::size_t total = 0;
  std::size_t semver_count = 0;
  for (const auto& r : *releases) {
    if (!r.tag_name || r.tag_name->empty()) continue;
    ++total;
    if (is_semver(*r.tag_name)) ++semver_count;
  }
  double score = count >= 3 ? 7.0 : 6.0;
  if (total > 0 && static_cast<double>(semver_count) / static_cast<double>(total) >= 0.8) {
    score += 3.0;
  } else if (semver_count > 0) {
    score += 1.5;
  }
  return make_result(indicator_id, {.score = score,
                                    .process = "Checked releases and version tag format",
                                    .output = std::to_string(count) + " release(s), latest: " +
                                              latest + ", semver: " + std::to_string(semver_count) +
                                              "/" + std::to_string(total),
                                    .evidence = "Source: " + url});
}

}  // namespace ostrameld
