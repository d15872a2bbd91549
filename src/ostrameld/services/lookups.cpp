#include "ostrameld/services/lookups.h"

#include <stdexcept>

#include "ostrameld/utils/text.h"
#include "ostrameld/utils/url.h"

namespace ostrameld {

namespace {

std::string why_not(ServiceReply::Outcome outcome) {
  switch (outcome) {
    case ServiceReply::Outcome::RateLimited:
      return "rate-limited";
    case ServiceReply::Outcome::Unavailable:
      return "unreachable";
    default:
      return {};
  }
}

std::string fill(const std::string& tmpl, std::string_view value) {
  std::string out = tmpl;
  auto at = out.find("{}");
  out.replace(at, 2, value);
  return out;
}

}  // namespace

const ServiceUrls& default_service_urls() {
  static const ServiceUrls urls{
      {"doi", "https://doi.org/api/handles/{}"},
      {"zenodo", "https://zenodo.org/api/records/{}"},
      {"swh", "https://archive.softwareheritage.org/api/1/origin/{}/get/"},
      {"pypi", "https://pypi.org/pypi/{}/json"},
      {"cran", "https://cran.r-project.org/web/packages/{}/index.html"},
      {"crates", "https://crates.io/api/v1/crates/{}"},
      {"npm", "https://registry.npmjs.org/{}"},
      {"conda-forge", "https://api.anaconda.org/package/conda-forge/{}"},
  };
  return urls;
}

ServiceUrls service_urls_from(std::string_view spec) {
  ServiceUrls urls = default_service_urls();
  std::size_t start = 0;
  while (start < spec.size()) {
    auto comma = spec.find(',', start);
    std::string_view item = spec.substr(start, comma == spec.npos ? spec.npos : comma - start);
    start = comma == spec.npos ? spec.size() : comma + 1;
    if (item.empty()) continue;
    auto eq = item.find('=');
    std::string name(item.substr(0, eq));
    if (eq == std::string_view::npos || !urls.count(name))
      throw std::invalid_argument("unknown service \"" + name + "\"");
    std::string tmpl(item.substr(eq + 1));
    if (tmpl.find("{}") == std::string::npos)
      throw std::invalid_argument("the address of service \"" + name + "\" has no {}");
    urls[name] = tmpl;
  }
  return urls;
}

Lookups::Lookups(const ForgeClient* client, ServiceUrls urls, Deadline deadline, bool offline)
    : client_(client), urls_(std::move(urls)), deadline_(deadline), offline_(offline) {}

Lookup Lookups::ask(const std::string& service, std::string_view key, bool json) {
  if (offline_ || !client_) return {std::nullopt, "offline", nullptr};
  std::lock_guard lock(mu_);
  if (auto it = asked_.find(service); it != asked_.end()) {
    if (it->second.first == key) return it->second.second;
    return {std::nullopt, "not asked (one request per service)", nullptr};
  }
  auto tmpl = urls_.find(service);
  if (tmpl == urls_.end()) return {std::nullopt, "no such service", nullptr};
  ServiceReply reply = client_->get_service(fill(tmpl->second, key), deadline_);
  Lookup answer;
  if (reply.outcome == ServiceReply::Outcome::Found) {
    answer.verified = true;
    if (json) {
      auto doc = read_json(reply.body, 64);
      answer.record = doc ? std::move(*doc) : Json(nullptr);
    }
  } else if (reply.outcome == ServiceReply::Outcome::NotFound) {
    answer.verified = false;
  } else {
    answer.why = why_not(reply.outcome);
  }
  asked_[service] = {std::string(key), answer};
  return answer;
}

Lookup Lookups::doi(std::string_view doi) {
  Lookup l = ask("doi", doi, true);
  // The handle service answers 200 with responseCode 1 for a registered DOI.
  if (l.verified == true && l.record.is_object() && l.record.value("responseCode", 1) != 1)
    l.verified = false;
  return l;
}

Lookup Lookups::zenodo(std::string_view record_id) { return ask("zenodo", record_id, true); }

Lookup Lookups::software_heritage(std::string_view origin) {
  return ask("swh", percent_encode(origin), true);
}

Lookup Lookups::registry(std::string_view service, std::string_view package) {
  // Scoped npm names keep their "@" and encode the "/".
  std::string key;
  for (char c : package) key += c == '/' ? std::string("%2F") : std::string(1, c);
  return ask(std::string(service), key, service != "cran");
}

Lookup Lookups::forge_repository(std::string_view url, const std::optional<std::string>& token) {
  if (offline_ || !client_) return {std::nullopt, "offline", nullptr};
  std::lock_guard lock(mu_);
  if (auto it = asked_.find("forge"); it != asked_.end()) return it->second.second;
  RepositoryRecord r = client_->get_repository(url, token, deadline_);
  Lookup answer;
  if (r.outcome == ServiceReply::Outcome::Found) {
    answer.verified = r.is_public;
    if (!r.is_public) answer.why = "the forge's record does not say";
  } else if (r.outcome == ServiceReply::Outcome::NotFound) {
    answer.why = "not found on the forge (private, or gone)";
  } else {
    answer.why = why_not(r.outcome);
    if (answer.why.empty()) answer.why = "unreachable";
  }
  asked_["forge"] = {std::string(url), answer};
  return answer;
}

}  // namespace ostrameld
