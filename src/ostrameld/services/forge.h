// Access to code forges (GitHub, GitLab, Gitea/Forgejo): which forge a repository URL
// belongs to, and its published releases. Plugins see only this interface.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/utils/deadline.h"

namespace ostrameld {

// What a repository URL tells about its forge.
struct ForgeInfo {
  std::string api_style;  // "github", "gitlab" or "gitea"
  std::string scheme;     // "https", or "http" for hosts registered as plain http
  std::string host;       // as written in the URL, with its port if any
  std::string project;    // owner/repo (GitLab: the full group path)
  std::string api_base;   // e.g. https://api.github.com
  // The forge's own host (github.com, gitlab.com, codeberg.org, gitea.com) or one the
  // user named with --forge: only these receive a token. A host taken for a forge by
  // its name alone (gitlab.example.org) is asked without one.
  bool takes_token = false;
};

// One published release; only its tag is of interest.
struct Release {
  std::optional<std::string> tag_name;
};

// Why a forge gave no releases, so that advice can say what to change.
enum class ForgeProblem { Offline, UnknownForge, RateLimited, Denied, NotFound, Unreachable };

// What one request to a service (or the forge's record of a repository) gave.
struct ServiceReply {
  enum class Outcome { Found, NotFound, RateLimited, Unavailable };
  Outcome outcome = Outcome::Unavailable;
  long status = 0;   // the HTTP status, 0 when there was none
  std::string body;  // when Found
};

// Whether the public can read a repository, as its forge says.
struct RepositoryRecord {
  ServiceReply::Outcome outcome = ServiceReply::Outcome::Unavailable;
  std::optional<bool> is_public;  // when Found
};

class ForgeClient {
 public:
  virtual ~ForgeClient() = default;
  // Nothing when the URL belongs to no known forge.
  virtual std::optional<ForgeInfo> parse_forge_url(std::string_view url) const = 0;
  // All releases, newest first as the forge lists them; nothing when the API cannot be
  // used (unknown URL, network error, time-out, unexpected status, bad JSON, rate limit).
  // Throws TimeoutError once the deadline has passed: the assessment is over. The token
  // goes only to a host that takes it.
  virtual std::optional<std::vector<Release>> get_releases(
      std::string_view url, const std::optional<std::string>& token,
      Deadline deadline = std::nullopt) const = 0;
  // Why get_releases gave nothing for this URL, as far as the client knows.
  virtual ForgeProblem problem(std::string_view /*url*/) const { return ForgeProblem::Unreachable; }
  // The forge's record of the repository: public or private. The token goes only to a
  // host that takes it. Throws TimeoutError once the deadline has passed.
  virtual RepositoryRecord get_repository(std::string_view /*url*/,
                                          const std::optional<std::string>& /*token*/,
                                          Deadline /*deadline*/ = std::nullopt) const {
    return {};
  }
  // One GET of a public service (Software Heritage, a DOI resolver, a package registry):
  // never a token, redirects only within the origin, the body bounded. Https only, but
  // for origins the user named. Throws TimeoutError once the deadline has passed.
  virtual ServiceReply get_service(std::string_view /*url*/, Deadline /*deadline*/ = std::nullopt) const {
    return {};
  }
};

}  // namespace ostrameld

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>

namespace ostrameld {

struct ForgeOptions {
  bool offline = false;  // no network at all: releases are never available
  // Self-hosted forges by host as written in URLs (with port): "github", "gitlab" or
  // "gitea". Plain http is allowed for these hosts only.
  std::map<std::string, std::string> forges;
  // Forges a repository's own settings name: asked in their style, but over https only
  // and never with a token (the repository's word is not the user's).
  std::map<std::string, std::string> claimed_forges;
  std::chrono::milliseconds connect_timeout{10'000};
  std::chrono::milliseconds total_timeout{30'000};  // per request
  int max_pages = 100;
  int max_concurrent_per_host = 4;
  // Where a host's name leads ("HOST:PORT:ADDRESS", as curl's --resolve) and which CA
  // certificates to trust instead of the system's: for tests and private networks.
  std::vector<std::string> resolve;
  std::string ca_file;
  // Origins ("http://127.0.0.1:8080") that services may be asked at over plain http:
  // those the user pointed a service at.
  std::set<std::string> plain_http_origins;
};

// The forge client of a run, over HTTPS (libcurl). Thread-safe: one client serves all
// workers of a batch, reusing connections and remembering exhausted rate limits.
// A listing that cannot be had: one line saying why, never with a token.
class ForgeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ListOptions {
  bool include_archived = false;
  bool include_forks = false;
  Deadline deadline;  // the whole listing, every page
};

// The clone URLs of an owner's repositories, sorted, and how many addresses the forge
// gave that are no clone URL on its own host (left out).
struct RepositoryList {
  std::vector<std::string> urls;
  std::size_t refused = 0;
  std::string host;
};

// The environment variable whose token goes with a forge style.
std::string token_variable(std::string_view style);

class HttpForgeClient final : public ForgeClient {
 public:
  explicit HttpForgeClient(ForgeOptions options = {});
  ~HttpForgeClient() override;

  std::optional<ForgeInfo> parse_forge_url(std::string_view url) const override;
  std::optional<std::vector<Release>> get_releases(std::string_view url,
                                                   const std::optional<std::string>& token,
                                                   Deadline deadline = std::nullopt) const override;
  ForgeProblem problem(std::string_view url) const override;
  RepositoryRecord get_repository(std::string_view url, const std::optional<std::string>& token,
                                  Deadline deadline = std::nullopt) const override;
  ServiceReply get_service(std::string_view url, Deadline deadline = std::nullopt) const override;

  // The clone URLs of every repository of an organisation, group (with its subgroups)
  // or user, every page, sorted; archived repositories and forks only when asked. Pages
  // are read as they come, keeping only the addresses. Throws ForgeError.
  RepositoryList list_repositories(std::string_view owner_url,
                                   const std::optional<std::string>& token,
                                   const ListOptions& list = {}) const;

 private:
  // The forge behind an address: of a repository (owner/repo), or of its owner.
  std::optional<ForgeInfo> resolve(std::string_view url, bool repository) const;

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Parses "HOST=STYLE"; throws std::invalid_argument for anything else.
std::pair<std::string, std::string> parse_forge_spec(std::string_view spec);

}  // namespace ostrameld
