#include "ostrameld/services/forge.h"

#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>

#include "ostrameld/core/version.h"
#include "ostrameld/services/curl_api.h"
#include "ostrameld/utils/json.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/url.h"

#include <nlohmann/json.hpp>

namespace ostrameld {

namespace {

constexpr std::size_t kMaxPageBytes = 16u << 20;
constexpr int kMaxRedirects = 5;
constexpr int kMaxJsonDepth = 64;

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

std::string host_without_port(std::string_view host) {
  if (!host.empty() && host.front() == '[') return std::string(host.substr(0, host.find(']') + 1));
  return std::string(host.substr(0, host.find(':')));
}

// The forges' own hosts: the only ones (beside those named with --forge) that are sent
// a token.
bool canonical_host(std::string_view hostname) {
  return hostname == "github.com" || hostname == "gitlab.com" || hostname == "codeberg.org" ||
         hostname == "gitea.com";
}

std::string known_style(std::string_view hostname) {
  if (hostname == "github.com") return "github";
  if (hostname == "gitlab.com" || starts_with(hostname, "gitlab.")) return "gitlab";
  if (hostname == "codeberg.org" || hostname == "gitea.com" || starts_with(hostname, "gitea.") ||
      starts_with(hostname, "forgejo."))
    return "gitea";
  return {};
}

// scheme://host[:port] of an absolute URL, lower-cased, for same-origin tests.
std::string origin_of(std::string_view url) {
  auto sep = url.find("://");
  if (sep == std::string_view::npos) return {};
  auto end = url.find('/', sep + 3);
  return ascii_lower(url.substr(0, end));
}

struct Response {
  long status = 0;
  std::string body;
  std::map<std::string, std::string> headers;  // lower-cased names, last value wins
  bool too_large = false;
};

std::size_t on_body(char* data, std::size_t size, std::size_t n, void* user) {
  auto* r = static_cast<Response*>(user);
  std::size_t len = size * n;
  if (r->body.size() + len > kMaxPageBytes) {
    r->too_large = true;
    return 0;  // aborts the transfer
  }
  r->body.append(data, len);
  return len;
}

std::size_t on_header(char* data, std::size_t size, std::size_t n, void* user) {
  auto* r = static_cast<Response*>(user);
  std::string_view line(data, size * n);
  auto colon = line.find(':');
  if (colon != std::string_view::npos) {
    std::string name = ascii_lower(line.substr(0, colon));
    std::string value(py_strip(line.substr(colon + 1)));
    r->headers[name] = value;
  } else if (starts_with(line, "HTTP/")) {
    r->headers.clear();  // a new response (after a 100 Continue, say)
  }
  return size * n;
}

// The rel="next" target of a Link header, if any.
std::string next_link(const std::string& link) {
  std::size_t pos = 0;
  while (pos < link.size()) {
    auto open = link.find('<', pos);
    auto close = link.find('>', open);
    if (open == std::string::npos || close == std::string::npos) break;
    auto end = link.find(',', close);
    std::string params =
        link.substr(close + 1, end == std::string::npos ? std::string::npos : end - close - 1);
    if (params.find("rel=\"next\"") != std::string::npos ||
        params.find("rel=next") != std::string::npos) {
      return link.substr(open + 1, close - open - 1);
    }
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return {};
}

bool rate_limit_exhausted(const Response& r) {
  for (const char* name : {"x-ratelimit-remaining", "ratelimit-remaining"}) {
    auto it = r.headers.find(name);
    if (it != r.headers.end() && it->second == "0") return true;
  }
  return r.status == 429 || (r.status == 403 && r.headers.count("retry-after"));
}

// What a page of a list held: more may follow, it was the last (empty), or no list.
enum class PageResult { More, Last, Invalid };

// A page of releases: each item's tag name.
PageResult release_page(const std::string& body, std::vector<Release>& releases) {
  auto doc = read_json(body, kMaxJsonDepth);
  if (!doc || !doc->is_array()) return PageResult::Invalid;
  for (const auto& item : *doc) {
    Release rel;
    if (item.is_object()) {
      auto it = item.find("tag_name");
      if (it != item.end() && it->is_string()) rel.tag_name = it->get<std::string>();
    }
    releases.push_back(std::move(rel));
  }
  return doc->empty() ? PageResult::Last : PageResult::More;
}

// Reads a page of repositories as it is parsed, without building it: only the few
// members of each item that the listing needs are kept.
class RepositoryPage : public nlohmann::json_sax<Json> {
 public:
  struct Item {
    bool archived = false;
    bool fork = false;
    std::optional<std::string> url;
    bool too_long = false;  // no clone URL is this long; not kept
  };

  RepositoryPage(std::string_view url_key, bool gitlab) : url_key_(url_key), gitlab_(gitlab) {}

  std::vector<Item> items;
  bool top_is_array = false;

  bool null() override { return scalar(Value::Null, false); }
  bool boolean(bool v) override { return scalar(v ? Value::True : Value::False, false); }
  bool number_integer(number_integer_t) override { return scalar(Value::Other, false); }
  bool number_unsigned(number_unsigned_t) override { return scalar(Value::Other, false); }
  bool number_float(number_float_t, const string_t&) override {
    return scalar(Value::Other, false);
  }
  bool string(string_t& v) override {
    if (depth_ == 2 && key_ == url_key_ && !items.empty()) {
      if (v.size() <= kMaxUrl)
        items.back().url = v;
      else
        items.back().too_long = true;
    }
    return scalar(Value::Other, false);
  }
  bool binary(binary_t&) override { return scalar(Value::Other, false); }
  bool start_object(std::size_t) override {
    if (depth_ == 0) return false;  // a page of repositories is a list
    if (depth_ == 1) items.emplace_back();
    if (depth_ == 2) scalar(Value::Other, true);
    ++depth_;
    return true;
  }
  bool end_object() override {
    --depth_;
    return true;
  }
  bool start_array(std::size_t) override {
    if (depth_ == 0) top_is_array = true;
    if (depth_ == 2) scalar(Value::Other, true);
    ++depth_;
    return true;
  }
  bool end_array() override {
    --depth_;
    return true;
  }
  bool key(string_t& k) override {
    if (depth_ == 2) key_ = k.size() <= 64 ? k : std::string();
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  static constexpr std::size_t kMaxUrl = 2048;
  enum class Value { Null, True, False, Other };

  bool scalar(Value v, bool container) {
    if (depth_ != 2 || items.empty()) return true;
    if (key_ == "archived") items.back().archived = v == Value::True;
    if (gitlab_ && key_ == "forked_from_project") items.back().fork = container || v != Value::Null;
    if (!gitlab_ && key_ == "fork") items.back().fork = v == Value::True;
    return true;
  }

  std::string url_key_;
  bool gitlab_;
  int depth_ = 0;
  std::string key_;
};

// A clone URL as the forge should give it: https (http on a host registered for it) on
// the forge's own host, no credentials, no control characters or spaces.
bool acceptable_clone_url(std::string_view url, const ForgeInfo& info) {
  for (unsigned char c : url)
    if (c <= 0x20 || c == 0x7F) return false;
  auto parts = parse_url(url);
  if (!parts || !parts->userinfo.empty()) return false;
  if (parts->scheme != "https" && !(parts->scheme == "http" && info.scheme == "http")) return false;
  return parts->host == info.host && !parts->path.empty();
}

// The forge's headers for a request, and its token in the forge's own header when the
// host takes one.
std::vector<std::string> request_headers(const ForgeInfo& info,
                                         const std::optional<std::string>& token) {
  std::vector<std::string> headers{"Accept: application/json"};
  bool send = info.takes_token && token && !token->empty();
  if (info.api_style == "github") {
    headers = {"Accept: application/vnd.github+json", "X-GitHub-Api-Version: 2022-11-28"};
    if (send) headers.push_back("Authorization: Bearer " + *token);
  } else if (info.api_style == "gitlab") {
    if (send) headers.push_back("PRIVATE-TOKEN: " + *token);
  } else if (send) {
    headers.push_back("Authorization: token " + *token);
  }
  return headers;
}

// Bounds the number of requests in flight to one host.
class HostGate {
 public:
  explicit HostGate(int limit) : limit_(limit) {}

  // Holds one of the host's places for its lifetime.
  class Pass {
   public:
    Pass(HostGate& gate, std::string host, Deadline deadline)
        : gate_(gate), host_(std::move(host)) {
      held_ = gate_.acquire(host_, deadline);
    }
    ~Pass() {
      if (held_) gate_.release(host_);
    }
    bool held() const { return held_; }
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;

   private:
    HostGate& gate_;
    std::string host_;
    bool held_ = false;
  };

  // False when the deadline passed before a place was free.
  bool acquire(const std::string& host, Deadline deadline) {
    std::unique_lock lock(mu_);
    auto free = [&] { return in_flight_[host] < limit_; };
    if (deadline) {
      if (!cv_.wait_until(lock, *deadline, free)) return false;
    } else {
      cv_.wait(lock, free);
    }
    ++in_flight_[host];
    return true;
  }
  void release(const std::string& host) {
    {
      std::lock_guard lock(mu_);
      --in_flight_[host];
    }
    cv_.notify_all();
  }

 private:
  int limit_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::map<std::string, int> in_flight_;
};

}  // namespace

std::pair<std::string, std::string> parse_forge_spec(std::string_view spec) {
  auto eq = spec.find('=');
  if (eq == std::string_view::npos || eq == 0) throw std::invalid_argument("expected HOST=STYLE");
  std::string host = ascii_lower(spec.substr(0, eq));
  std::string style(spec.substr(eq + 1));
  if (style != "github" && style != "gitlab" && style != "gitea") {
    throw std::invalid_argument("forge style must be github, gitlab or gitea, not \"" + style +
                                "\"");
  }
  return {host, style};
}

struct HttpForgeClient::Impl {
  ForgeOptions options;
  const CurlApi* curl = nullptr;  // loaded with the first request
  CURLSH* share = nullptr;
  std::once_flag loaded;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> share_locks;
  HostGate gate;
  mutable std::mutex exhausted_mu;
  std::set<std::string> exhausted_hosts;
  std::map<std::string, ForgeProblem> last_problem;  // by host, under exhausted_mu

  explicit Impl(ForgeOptions o)
      : options(std::move(o)), gate(std::max(1, options.max_concurrent_per_host)) {}
  ~Impl() {
    if (share) curl->share_cleanup(share);
  }

  // The library and the connection cache that all requests of the run share.
  bool load() {
    std::call_once(loaded, [this] {
      const CurlApi* api = curl_api();
      if (!api) return;
      CURLSH* sh = api->share_init();
      if (!sh) return;
      api->share_setopt(sh, CURLSHOPT_LOCKFUNC, &Impl::lock);
      api->share_setopt(sh, CURLSHOPT_UNLOCKFUNC, &Impl::unlock);
      api->share_setopt(sh, CURLSHOPT_USERDATA, this);
      api->share_setopt(sh, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
      api->share_setopt(sh, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
      api->share_setopt(sh, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
      curl = api;
      share = sh;
    });
    return share != nullptr;
  }

  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<Impl*>(self)->share_locks[static_cast<std::size_t>(data)].lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<Impl*>(self)->share_locks[static_cast<std::size_t>(data)].unlock();
  }

  bool plain_http_allowed(const std::string& host) const { return options.forges.count(host) > 0; }

  bool is_exhausted(const std::string& host) const {
    std::lock_guard lock(exhausted_mu);
    return exhausted_hosts.count(host) > 0;
  }
  void mark_exhausted(const std::string& host) {
    std::lock_guard lock(exhausted_mu);
    exhausted_hosts.insert(host);
  }
  void note(const std::string& host, ForgeProblem p) {
    std::lock_guard lock(exhausted_mu);
    last_problem[host] = p;
  }
  std::optional<ForgeProblem> noted(const std::string& host) const {
    std::lock_guard lock(exhausted_mu);
    auto it = last_problem.find(host);
    return it == last_problem.end() ? std::nullopt : std::optional(it->second);
  }

  // One GET; nullopt on a transport failure (time-out, refused, too large, ...).
  std::optional<Response> get(const std::string& url, const std::vector<std::string>& headers,
                              bool allow_http, std::chrono::milliseconds timeout) {
    if (!load()) return std::nullopt;
    CURL* easy = curl->easy_init();
    if (!easy) return std::nullopt;
    Response r;
    curl_slist* list = nullptr;
    for (const auto& h : headers) list = curl->slist_append(list, h.c_str());
    curl_slist* resolve = nullptr;
    for (const auto& r : options.resolve) resolve = curl->slist_append(resolve, r.c_str());
    if (resolve) curl->easy_setopt(easy, CURLOPT_RESOLVE, resolve);
    if (!options.ca_file.empty()) curl->easy_setopt(easy, CURLOPT_CAINFO, options.ca_file.c_str());
    curl->easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl->easy_setopt(easy, CURLOPT_HTTPHEADER, list);
    curl->easy_setopt(easy, CURLOPT_SHARE, share);
    curl->easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl->easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);  // redirects are checked by hand
    curl->easy_setopt(easy, CURLOPT_PROTOCOLS_STR, allow_http ? "http,https" : "https");
    curl->easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                      static_cast<long>(options.connect_timeout.count()));
    curl->easy_setopt(easy, CURLOPT_TIMEOUT_MS,
                      static_cast<long>(std::max<long long>(1, timeout.count())));
    curl->easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    std::string agent = "ostrameld/" + std::string(kVersion);
    curl->easy_setopt(easy, CURLOPT_USERAGENT, agent.c_str());
    curl->easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
    curl->easy_setopt(easy, CURLOPT_WRITEDATA, &r);
    curl->easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header);
    curl->easy_setopt(easy, CURLOPT_HEADERDATA, &r);
    CURLcode rc = curl->easy_perform(easy);
    curl->easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &r.status);
    curl->easy_cleanup(easy);
    curl->slist_free_all(list);
    curl->slist_free_all(resolve);
    if (rc != CURLE_OK || r.too_large) return std::nullopt;
    return r;
  }

  // What a walk through the pages of a list ended with.
  struct Pages {
    bool ok = false;
    long status = 0;  // the HTTP status that ended it, 0 for a transport failure
    ForgeProblem problem = ForgeProblem::Unreachable;
    bool timed_out = false;  // the deadline passed
  };

  // GETs every page of a JSON list, following the Link header's rel="next" or GitLab's
  // X-Next-Page, on the first page's origin only (the token never travels elsewhere),
  // and hands each item to on_item.
  // The time one request may take: the per-request limit, cut to what is left of the
  // deadline; nothing when the deadline has passed.
  std::optional<std::chrono::milliseconds> time_left(Deadline deadline) const {
    auto limit = options.total_timeout;
    if (!deadline) return limit;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        *deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    return std::min(limit, left);
  }

  // One GET with redirects followed within its origin: what it gave, without a token
  // unless the headers carry one for this host.
  ServiceReply single(const std::string& url, const std::vector<std::string>& headers,
                      bool allow_http, const std::string& host, Deadline deadline) {
    using Outcome = ServiceReply::Outcome;
    const std::string origin = origin_of(url);
    std::string target = url;
    std::optional<Response> r;
    for (int hops = 0;; ++hops) {
      auto timeout = time_left(deadline);
      if (!timeout) throw TimeoutError("assessment timed out");
      {
        HostGate::Pass pass(gate, host, deadline);
        if (!pass.held()) throw TimeoutError("assessment timed out");
        r = get(target, headers, allow_http, *timeout);
      }
      if (!r) {
        if (deadline && std::chrono::steady_clock::now() + std::chrono::milliseconds(100) >= *deadline)
          throw TimeoutError("assessment timed out");
        return {Outcome::Unavailable, 0, {}};
      }
      if (r->status < 300 || r->status >= 400 || hops == kMaxRedirects) break;
      auto loc = r->headers.find("location");
      if (loc == r->headers.end()) break;
      std::string next = loc->second;
      if (!next.empty() && next.front() == '/') next = origin + next;  // relative to the origin
      if (origin_of(next) != origin) return {Outcome::Unavailable, r->status, {}};  // refused
      target = next;
    }
    if (rate_limit_exhausted(*r)) return {Outcome::RateLimited, r->status, {}};
    if (r->status == 200) return {Outcome::Found, 200, std::move(r->body)};
    if (r->status == 404 || r->status == 410) return {Outcome::NotFound, r->status, {}};
    return {Outcome::Unavailable, r->status, {}};
  }

  Pages fetch_pages(const std::string& first, const std::vector<std::string>& headers,
                    bool allow_http, const std::string& host, Deadline deadline,
                    const std::function<PageResult(const std::string&)>& on_page) {
    const std::string origin = origin_of(first);
    std::string next = first;
    for (int pages = 0; !next.empty(); ++pages) {
      if (pages >= options.max_pages) break;
      std::optional<Response> r;
      std::string target = next;
      for (int hops = 0;; ++hops) {
        auto timeout = time_left(deadline);
        if (!timeout) return {false, 0, ForgeProblem::Unreachable, true};
        {
          HostGate::Pass pass(gate, host, deadline);
          if (!pass.held()) return {false, 0, ForgeProblem::Unreachable, true};
          r = get(target, headers, allow_http, *timeout);
        }
        if (!r) {
          // Cut short by the deadline (not by the request's own limit, nor refused): the
          // run is over.
          bool late =
              *timeout < options.total_timeout &&
              std::chrono::steady_clock::now() + std::chrono::milliseconds(100) >= *deadline;
          if (!late) note(host, ForgeProblem::Unreachable);
          return {false, 0, ForgeProblem::Unreachable, late};
        }
        if (r->status < 300 || r->status >= 400 || hops == kMaxRedirects) break;
        auto loc = r->headers.find("location");
        if (loc == r->headers.end() || origin_of(loc->second) != origin) return {false, r->status};
        target = loc->second;
      }
      if (rate_limit_exhausted(*r)) mark_exhausted(host);
      if (r->status != 200) {
        ForgeProblem p = rate_limit_exhausted(*r)               ? ForgeProblem::RateLimited
                         : r->status == 401 || r->status == 403 ? ForgeProblem::Denied
                         : r->status == 404                     ? ForgeProblem::NotFound
                                                                : ForgeProblem::Unreachable;
        note(host, p);
        return {false, r->status, p};
      }
      std::map<std::string, std::string> headers_of_page = std::move(r->headers);
      PageResult page = on_page(r->body);
      r.reset();  // one page in memory at a time
      if (page == PageResult::Invalid) return {false, 200};
      if (page == PageResult::Last) break;

      next.clear();
      auto link = headers_of_page.find("link");
      if (link != headers_of_page.end()) {
        std::string candidate = next_link(link->second);
        if (!candidate.empty() && origin_of(candidate) == origin) next = candidate;
      } else if (auto np = headers_of_page.find("x-next-page");
                 np != headers_of_page.end() && !np->second.empty() &&
                 np->second.find_first_not_of("0123456789") == std::string::npos) {
        next = first + "&page=" + np->second;
      }
    }
    return {true, 200};
  }
};

HttpForgeClient::HttpForgeClient(ForgeOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}
HttpForgeClient::~HttpForgeClient() = default;

std::optional<ForgeInfo> HttpForgeClient::parse_forge_url(std::string_view url) const {
  return resolve(url, true);
}

std::optional<ForgeInfo> HttpForgeClient::resolve(std::string_view url, bool repository) const {
  auto parts = parse_url(url);
  if (!parts || parts->host.empty()) return std::nullopt;
  const std::string& scheme = parts->scheme;
  bool web = scheme == "https" || scheme == "http";
  if (!web && scheme != "ssh" && scheme != "git+ssh" && scheme != "git") return std::nullopt;

  // The API lives on the web host: an ssh port says nothing about it.
  std::string host = web ? parts->host : host_without_port(parts->host);
  std::string style;
  bool named = true;  // by the user, with --forge
  if (auto it = impl_->options.forges.find(parts->host); it != impl_->options.forges.end()) {
    style = it->second;
  } else if (auto it2 = impl_->options.forges.find(host); it2 != impl_->options.forges.end()) {
    style = it2->second;
  } else {
    style = known_style(host_without_port(parts->host));
    named = false;
    if (style.empty()) {
      const auto& claimed = impl_->options.claimed_forges;
      if (auto it3 = claimed.find(parts->host); it3 != claimed.end()) {
        style = it3->second;
      } else if (auto it4 = claimed.find(host); it4 != claimed.end()) {
        style = it4->second;
      }
    }
  }
  if (style.empty()) return std::nullopt;

  std::string path = parts->path;
  if (style == "gitlab") {
    auto web_part = path.find("/-/");
    if (web_part != std::string::npos) path.resize(web_part);
  } else if (repository) {
    auto first = path.find('/');
    if (first == std::string::npos) return std::nullopt;
    auto second = path.find('/', first + 1);
    if (second != std::string::npos) path.resize(second);  // owner/repo of a deeper web URL
  } else if (path.find('/') != std::string::npos) {
    path.resize(path.find('/'));  // the owner of a deeper web URL
  }
  if (path.empty() || path.front() == '/' || path.back() == '/') return std::nullopt;
  if (repository && path.find('/') == std::string::npos) return std::nullopt;

  ForgeInfo info;
  info.api_style = style;
  info.takes_token = named || canonical_host(host_without_port(host));
  info.scheme = scheme == "http" && impl_->plain_http_allowed(host) ? "http" : "https";
  info.host = host;
  info.project = path;
  if (style == "github") {
    info.api_base =
        host == "github.com" ? "https://api.github.com" : info.scheme + "://" + host + "/api/v3";
  } else if (style == "gitlab") {
    info.api_base = info.scheme + "://" + host + "/api/v4";
  } else {
    info.api_base = info.scheme + "://" + host + "/api/v1";
  }
  return info;
}

std::optional<std::vector<Release>> HttpForgeClient::get_releases(
    std::string_view url, const std::optional<std::string>& token, Deadline deadline) const {
  if (impl_->options.offline) return std::nullopt;
  auto info = parse_forge_url(url);
  if (!info) return std::nullopt;
  if (impl_->is_exhausted(info->host)) return std::nullopt;

  std::string first;
  if (info->api_style == "github") {
    first = info->api_base + "/repos/" + info->project + "/releases?per_page=100";
  } else if (info->api_style == "gitlab") {
    first =
        info->api_base + "/projects/" + percent_encode(info->project) + "/releases?per_page=100";
  } else {
    first = info->api_base + "/repos/" + info->project + "/releases?limit=50";
  }
  std::vector<Release> releases;
  auto pages = impl_->fetch_pages(
      first, request_headers(*info, token), info->scheme == "http", info->host, deadline,
      [&](const std::string& body) { return release_page(body, releases); });
  if (!pages.ok) return std::nullopt;
  return releases;
}

ForgeProblem HttpForgeClient::problem(std::string_view url) const {
  if (impl_->options.offline) return ForgeProblem::Offline;
  auto info = parse_forge_url(url);
  if (!info) return ForgeProblem::UnknownForge;
  if (impl_->is_exhausted(info->host)) return ForgeProblem::RateLimited;
  return impl_->noted(info->host).value_or(ForgeProblem::Unreachable);
}

RepositoryRecord HttpForgeClient::get_repository(std::string_view url,
                                                const std::optional<std::string>& token,
                                                Deadline deadline) const {
  if (impl_->options.offline) return {};
  auto info = parse_forge_url(url);
  if (!info || impl_->is_exhausted(info->host)) return {};
  std::string target = info->api_style == "gitlab"
                           ? info->api_base + "/projects/" + percent_encode(info->project)
                           : info->api_base + "/repos/" + info->project;
  ServiceReply reply = impl_->single(target, request_headers(*info, token), info->scheme == "http",
                                     info->host, deadline);
  RepositoryRecord record;
  record.outcome = reply.outcome;
  if (reply.outcome == ServiceReply::Outcome::RateLimited) impl_->mark_exhausted(info->host);
  if (reply.outcome != ServiceReply::Outcome::Found) return record;
  auto doc = read_json(reply.body, kMaxJsonDepth);
  if (!doc || !doc->is_object()) {
    record.outcome = ServiceReply::Outcome::Unavailable;
    return record;
  }
  if (auto v = doc->find("visibility"); v != doc->end() && v->is_string()) {
    record.is_public = v->get<std::string>() == "public";
  } else if (auto p = doc->find("private"); p != doc->end() && p->is_boolean()) {
    record.is_public = !p->get<bool>();
  }
  return record;
}

ServiceReply HttpForgeClient::get_service(std::string_view url, Deadline deadline) const {
  if (impl_->options.offline) return {};
  std::string u(url);
  std::string origin = origin_of(u);
  bool http = starts_with(u, "http://") && impl_->options.plain_http_origins.count(origin) > 0;
  if (!starts_with(u, "https://") && !http) return {};
  return impl_->single(u, {"Accept: application/json"}, http, origin, deadline);
}

std::string token_variable(std::string_view style) {
  return style == "gitlab" ? "GITLAB_TOKEN" : style == "gitea" ? "GITEA_TOKEN" : "GITHUB_TOKEN";
}

RepositoryList HttpForgeClient::list_repositories(std::string_view owner_url,
                                                  const std::optional<std::string>& token,
                                                  const ListOptions& list) const {
  auto info = resolve(owner_url, false);
  if (!info) {
    throw ForgeError("not the address of an organisation, group or user on a known forge: " +
                     redact_url(owner_url) +
                     " (register a self-hosted one with --forge HOST=STYLE)");
  }
  std::string owner = info->project;
  std::vector<std::string> firsts;  // the organisation's list, then the user's
  if (info->api_style == "github") {
    firsts = {info->api_base + "/orgs/" + owner + "/repos?per_page=100&type=all",
              info->api_base + "/users/" + owner + "/repos?per_page=100&type=owner"};
  } else if (info->api_style == "gitlab") {
    firsts = {info->api_base + "/groups/" + percent_encode(owner) +
                  "/projects?include_subgroups=true&per_page=100",
              info->api_base + "/users/" + percent_encode(owner) + "/projects?per_page=100"};
  } else {
    firsts = {info->api_base + "/orgs/" + owner + "/repos?limit=50",
              info->api_base + "/users/" + owner + "/repos?limit=50"};
  }
  bool gitlab = info->api_style == "gitlab";
  std::set<std::string> urls;
  std::size_t refused = 0;
  auto take = [&](const std::string& body) {
    RepositoryPage page(gitlab ? "http_url_to_repo" : "clone_url", gitlab);
    if (!nlohmann::json::sax_parse(body, &page) || !page.top_is_array) return PageResult::Invalid;
    for (const auto& item : page.items) {
      if ((item.archived && !list.include_archived) || (item.fork && !list.include_forks)) continue;
      if (!item.too_long && (!item.url || item.url->empty())) continue;
      if (item.too_long || !acceptable_clone_url(*item.url, *info)) {
        ++refused;
        continue;
      }
      urls.insert(*item.url);
    }
    return page.items.empty() ? PageResult::Last : PageResult::More;
  };
  Impl::Pages pages;
  for (const auto& first : firsts) {
    urls.clear();
    refused = 0;
    pages = impl_->fetch_pages(first, request_headers(*info, token), info->scheme == "http",
                               info->host, list.deadline, take);
    if (pages.ok || pages.status != 404) break;  // not an organisation: try the user
  }
  if (!pages.ok) {
    std::string where = info->host + "/" + owner;
    if (pages.timed_out) throw ForgeError("listing " + where + " timed out");
    switch (pages.problem) {
      case ForgeProblem::RateLimited:
        throw ForgeError("the API rate limit of " + info->host + " is exhausted; set " +
                         token_variable(info->api_style) + " to a token to raise it");
      case ForgeProblem::Denied:
        throw ForgeError(info->host + " refused the request (HTTP " + std::to_string(pages.status) +
                         "); check the token in " + token_variable(info->api_style));
      case ForgeProblem::NotFound:
        throw ForgeError("no organisation, group or user " + where);
      default:
        throw ForgeError(pages.status ? "unexpected answer from " + info->host + " (HTTP " +
                                            std::to_string(pages.status) + ")"
                                      : "cannot reach the API of " + info->host);
    }
  }
  return {{urls.begin(), urls.end()}, refused, info->host};
}

}  // namespace ostrameld
