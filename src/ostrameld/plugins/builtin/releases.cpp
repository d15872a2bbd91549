#include "ostrameld/plugins/builtin/releases.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "ostrameld/services/forge.h"
#include "ostrameld/utils/ecosystem.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

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

// The forge's own token, never another forge's (the client then sends it only to a
// host that takes it).
std::optional<std::string> choose_token(const Context& ctx, const std::optional<ForgeInfo>& info) {
  if (!info) return std::nullopt;
  if (info->api_style == "github") return ctx.github_token;
  if (info->api_style == "gitlab") return ctx.gitlab_token;
  if (info->api_style == "gitea") return ctx.gitea_token;
  return std::nullopt;
}

// --- Advice: which tags are no semantic versions, what would be, and why the forge
// could not be asked.

// A semantic version for a tag that is none: its first numbers, padded to three.
std::string semver_for(std::string_view tag) {
  // R writes 3.8-6, Maven's release plugin biojava-7.2.5: the numbers are what count.
  static const Regex numbers("(\\d+)(?:[._-](\\d+))?(?:[._-](\\d+))?");
  std::string out = "v";
  for (int g = 1; g <= 3; ++g) {
    auto part = numbers.search_group(tag, g);
    if (g > 1) out.push_back('.');
    if (part && !part->empty()) {
      out.append(*part);
    } else {
      out.push_back('0');
    }
  }
  return numbers.search(tag) ? out : "v1.0.0";
}

std::string not_semver_advice(std::span<const std::string> tags) {
  std::vector<std::string> shown;
  for (const auto& t : tags) {
    if (shown.size() == 3) break;
    shown.push_back(t + " (e.g. " + semver_for(t) + ")");
  }
  return std::string(tags.size() == 1 ? "Tag " : "Tags ") + join(shown, ", ") +
         (tags.size() > 3 ? " and others" : "") + (tags.size() == 1 ? " is" : " are") +
         " no semantic version: name releases vMAJOR.MINOR.PATCH (a leading lower-case v is "
         "allowed).";
}

constexpr std::string_view kTagAdvice =
    "Tag each release with a semantic version and push the tags: git tag -a v1.0.0 -m "
    "\"Release 1.0.0\" && git push --tags.";
constexpr std::string_view kShallowAdvice =
    "This checkout is shallow and may lack tags: fetch the whole history with its tags "
    "(fetch-depth: 0 in actions/checkout, or git fetch --unshallow --tags).";

std::string token_variable(const std::optional<ForgeInfo>& info) {
  if (info && info->api_style == "gitlab") return "GITLAB_TOKEN";
  if (info && info->api_style == "gitea") return "GITEA_TOKEN";
  return "GITHUB_TOKEN";
}

// Why the forge's releases were not counted, as advice; nothing for addresses that
// name no forge at all (file:// and local paths).
std::optional<std::string> forge_advice(const Context& ctx, const std::string& url,
                                        const std::optional<ForgeInfo>& info) {
  if (!ctx.forge || url.rfind("file:", 0) == 0 || url.front() == '/') return std::nullopt;
  std::string var = token_variable(info);
  switch (ctx.forge->problem(url)) {
    case ForgeProblem::Offline:
      return "Run without --offline to count the releases published on the forge.";
    case ForgeProblem::UnknownForge:
      return "The forge of " + url +
             " is not known: name its kind with --forge HOST=github|gitlab|gitea.";
    case ForgeProblem::RateLimited:
      return "The forge's API rate limit is exhausted: set " + var + " to a token to raise it.";
    case ForgeProblem::Denied:
      return "The forge refused the request: check the token in " + var + ".";
    case ForgeProblem::NotFound:
      return "The forge does not show this repository's releases: for a private repository "
             "set " +
             var + "; otherwise check the URL.";
    case ForgeProblem::Unreachable:
      return "The forge's API could not be reached: check the network and proxy settings "
             "(https_proxy), or set " +
             var + " if it limits anonymous use.";
  }
  return std::nullopt;
}

// How a build tool of the project names its tags, when that is why they are no semantic
// versions: the setting to change, never a tag to rename by hand.
std::optional<std::string> tool_tag_advice(const Context& ctx, const std::string& tag) {
  Ecosystems eco = detect_ecosystems(ctx.repo_path);
  if (eco.maven && tag.find('-') != std::string::npos && tag.front() != 'v')
    return "Maven's release plugin names tags artifactId-version by default: set its "
           "<tagNameFormat>v@{project.version}</tagNameFormat> for tags like v1.2.3.";
  if (eco.r && tag.find('-') != std::string::npos)
    return "R accepts 1.2.3 as well as 1.2-3 as a package version: a tag v1.2.3 names the "
           "same version as semantic versioning spells it.";
  return std::nullopt;
}

// Advice when only a local tag (or none) could be judged.
std::vector<std::string> tag_advice(const Context& ctx, const GitInfo& git, bool forge_counts) {
  std::vector<std::string> advice;
  if (git.latest_tag.empty()) {
    advice.emplace_back(kTagAdvice);
    if (git.shallow) advice.emplace_back(kShallowAdvice);
  } else if (!is_semver(git.latest_tag)) {
    advice.push_back(not_semver_advice(std::span(&git.latest_tag, 1)));
    add_advice(advice, [&] { return tool_tag_advice(ctx, git.latest_tag); });
  }
  if (forge_counts)
    advice.emplace_back(
        "Publish a release on the forge for each version tag: releases count "
        "more than tags.");
  return advice;
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
                          .evidence = "Local tags only",
                          .advice = [&] {
                            auto advice = tag_advice(ctx, git, false);
                            advice.emplace_back(
                                "Publish the repository on a forge (git remote add origin URL) "
                                "and its versions as releases.");
                            return advice;
                          }()});
    }
    return make_result(indicator_id, {.score = 0.0,
                                      .status = CheckStatus::Unknown,
                                      .process = "No remote URL and no git tags",
                                      .output = "Cannot check releases",
                                      .evidence = "No remote URL; no local tags",
                                      .advice = tag_advice(ctx, git, false)});
  }

  std::optional<ForgeInfo> info = ctx.forge ? ctx.forge->parse_forge_url(url) : std::nullopt;
  std::optional<std::string> token = choose_token(ctx, info);
  std::optional<std::vector<Release>> releases =
      ctx.forge ? ctx.forge->get_releases(url, token, ctx.deadline) : std::nullopt;

  if (!releases) {
    std::vector<std::string> advice = tag_advice(ctx, git, false);
    if (auto why = forge_advice(ctx, url, info)) advice.insert(advice.begin(), *why);
    if (advice.empty())
      advice.emplace_back(
          "Publish the versions as releases on a forge (GitHub, GitLab, "
          "Gitea/Forgejo): releases count more than tags.");
    const std::string& tag = git.latest_tag;
    if (!tag.empty()) {
      bool semver = is_semver(tag);
      return make_result(indicator_id,
                         {.score = semver ? 5.0 : 3.0,
                          .process = "Forge API unavailable, checked local tags",
                          .output = "Latest tag: " + tag + ", semver: " + py_bool(semver),
                          .evidence = "Remote: " + url + "; fell back to local tags",
                          .advice = std::move(advice)});
    }
    return make_result(indicator_id,
                       {.score = 0.0,
                        .status = CheckStatus::Unknown,
                        .process = "Queried forge API for " + url,
                        .output = "Could not fetch releases (forge API unavailable, no local tags)",
                        .evidence = "Source: " + url,
                        .advice = std::move(advice)});
  }

  if (releases->empty()) {
    const std::string& tag = git.latest_tag;
    if (!tag.empty()) {
      bool semver = is_semver(tag);
      return make_result(indicator_id,
                         {.score = semver ? 5.0 : 3.0,
                          .process = "Forge returned 0 releases; falling back to local tags",
                          .output = "Latest tag: " + tag + ", semver: " + py_bool(semver),
                          .evidence = "Source: " + url + "; 0 releases, local tag " + tag,
                          .advice = tag_advice(ctx, git, true)});
    }
    return make_result(indicator_id, {.score = 0.0,
                                      .process = "Queried forge API for " + url,
                                      .output = "No releases found",
                                      .evidence = "Source: " + url + "; 0 releases; no local tags",
                                      .advice = tag_advice(ctx, git, true)});
  }

  std::size_t count = releases->size();
  std::string latest = releases->front().tag_name.value_or("unknown");
  std::size_t total = 0;
  std::size_t semver_count = 0;
  std::vector<std::string> other_tags;
  for (const auto& r : *releases) {
    if (!r.tag_name || r.tag_name->empty()) continue;
    ++total;
    if (is_semver(*r.tag_name)) {
      ++semver_count;
    } else {
      other_tags.push_back(*r.tag_name);
    }
  }
  std::vector<std::string> advice;
  if (count < 3)
    advice.emplace_back("Publish a release for each version: three or more releases count fully.");
  if (!other_tags.empty()) advice.push_back(not_semver_advice(other_tags));
  if (total < count)
    advice.emplace_back("Give every release a tag: releases without one are not judged.");
  double score = count >= 3 ? 7.0 : 6.0;
  if (total > 0 && static_cast<double>(semver_count) / static_cast<double>(total) >= 0.8) {
    score += 3.0;
  } else if (semver_count > 0) {
    score += 1.5;
  }
  return make_result(
      indicator_id,
      {.score = score,
       .process = "Checked releases and version tag format",
       .output = std::to_string(count) + " release(s), latest: " + latest +
                 ", semver: " + std::to_string(semver_count) + "/" + std::to_string(total),
       .evidence = "Source: " + url,
       .advice = score >= 10.0 ? std::vector<std::string>{} : std::move(advice)});
}

}  // namespace ostrameld
