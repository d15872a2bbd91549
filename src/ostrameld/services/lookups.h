// The full profile's questions to public services: is this DOI registered, is this
// Zenodo record a concept or a version, does Software Heritage know this repository, does
// the registry have this package, is the repository public. At most one request per
// service and assessment, through the forge's bounded client; a service that cannot
// answer leaves the question open (null), never an error.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "ostrameld/services/forge.h"
#include "ostrameld/utils/deadline.h"
#include "ostrameld/utils/json.h"

namespace ostrameld {

struct Lookup {
  std::optional<bool> verified;  // null: not asked, or no answer
  std::string why;               // when null: why, for advice ("offline", "rate-limited", ...)
  Json record;                   // the service's JSON answer, when it gave one
};

// URL templates of the services, "{}" standing for what is asked about.
using ServiceUrls = std::map<std::string, std::string, std::less<>>;

// The public services' own addresses.
const ServiceUrls& default_service_urls();
// "name=template,name=template" (OSTRAMELD_SERVICES) over the defaults; throws
// std::invalid_argument for an unknown name or a template without "{}".
ServiceUrls service_urls_from(std::string_view spec);

class Lookups {
 public:
  Lookups(const ForgeClient* client, ServiceUrls urls, Deadline deadline, bool offline);

  Lookup doi(std::string_view doi);                  // registered at doi.org
  Lookup zenodo(std::string_view record_id);         // the record, concept or version
  Lookup software_heritage(std::string_view origin);  // the origin is archived
  // "pypi", "cran", "crates", "npm" or "conda-forge".
  Lookup registry(std::string_view service, std::string_view package);
  // verified = the repository is public.
  Lookup forge_repository(std::string_view url, const std::optional<std::string>& token);

 private:
  Lookup ask(const std::string& service, std::string_view key, bool json);

  const ForgeClient* client_;
  ServiceUrls urls_;
  Deadline deadline_;
  bool offline_;
  std::mutex mu_;
  std::map<std::string, std::pair<std::string, Lookup>> asked_;  // by service: key and answer
};

}  // namespace ostrameld
