// Access to code forges (GitHub, GitLab, Gitea/Forgejo): which forge a repository URL
// belongs to, and its published releases. Plugins see only this interface.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrameld {

// What a repository URL tells about its forge.
struct ForgeInfo {
  std::string api_style;  // "github", "gitlab" or "gitea"
  std::string scheme;     // "https", or "http" for hosts registered as plain http
  std::string host;       // as written in the URL, with its port if any
  std::string project;    // owner/repo (GitLab: the full group path)
  std::string api_base;   // e.g. https://api.github.com
};

// One published release; only its tag is of interest.
struct Release {
  std::optional<std::string> tag_name;
};

class ForgeClient {
 public:
  virtual ~ForgeClient() = default;
  // Nothing when the URL belongs to no known forge.
  virtual std::optional<ForgeInfo> parse_forge_url(std::string_view url) const = 0;
  // All releases, newest first as the forge lists them; nothing when the API cannot be
  // used (unknown URL, network error, time-out, unexpected status, bad JSON, rate limit).
  virtual std::optional<std::vector<Release>> get_releases(
      std::string_view url, const std::optional<std::string>& token) const = 0;
};

}  // namespace ostrameld
