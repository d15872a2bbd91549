#include "ostrameld/plugins/full/access.h"

#include <algorithm>
#include <array>

#include "ostrameld/metadata/model.h"
#include "ostrameld/plugins/full/evidence.h"
#include "ostrameld/services/forge.h"
#include "ostrameld/services/lookups.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/url.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;
using evidence::Reach;

constexpr std::array kIndicators{"open_access"sv};

struct Address {
  std::string url, source;
  Reach kind;
};

// Where each ecosystem declares the repository's address.
std::string where_to_declare(const ProjectMetadata& m) {
  std::vector<std::string> places;
  if (m.find("CITATION.cff")) places.push_back("CITATION.cff (repository-code)");
  if (m.find("codemeta.json")) places.push_back("codemeta.json (codeRepository)");
  if (m.find("pyproject.toml")) places.push_back("pyproject.toml ([project.urls] Source)");
  if (m.find("DESCRIPTION")) places.push_back("DESCRIPTION (URL)");
  if (m.find("package.json")) places.push_back("package.json (repository)");
  if (m.find("Cargo.toml")) places.push_back("Cargo.toml (repository)");
  if (m.find("pom.xml")) places.push_back("pom.xml (<scm><url>)");
  if (places.empty()) places.push_back("CITATION.cff (repository-code)");
  return join(places, ", ");
}

}  // namespace

std::span<const std::string_view> OpenAccessPlugin::supported_indicators() const {
  return kIndicators;
}

CheckResult OpenAccessPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const ProjectMetadata& m = ctx.metadata();
  std::vector<Address> declared;
  for (const auto& s : m.sources) {
    if (s.path.find('/') != std::string::npos) continue;
    for (const auto& u : s.repository_urls) {
      std::string safe = redact_url(u);
      bool seen = std::any_of(declared.begin(), declared.end(), [&](const Address& a) {
        return evidence::normalize_repository(a.url) == evidence::normalize_repository(safe);
      });
      if (!seen) declared.push_back({safe, s.name, evidence::reach_of(u)});
    }
  }
  std::optional<Address> remote;
  std::string remote_text = ctx.repo_url ? *ctx.repo_url : ctx.git().remote_url;
  if (!remote_text.empty())
    remote = Address{redact_url(remote_text), ctx.repo_url ? "clone address" : "git remote",
                     evidence::reach_of(remote_text)};

  Json urls = Json::array();
  if (remote) urls.push_back(Json{{"url", remote->url}, {"source", remote->source}});
  for (const auto& d : declared) urls.push_back(Json{{"url", d.url}, {"source", d.source}});

  auto is_open = [](Reach k) { return k == Reach::Public; };
  const Address* public_declared = nullptr;
  for (const auto& d : declared)
    if (is_open(d.kind)) {
      public_declared = &d;
      break;
    }
  bool agree = remote && std::any_of(declared.begin(), declared.end(), [&](const Address& d) {
                 return evidence::normalize_repository(d.url) ==
                        evidence::normalize_repository(remote->url);
               });

  std::vector<std::string> advice;
  double score = 0.0;
  std::string output;
  std::string declare = where_to_declare(m);
  if (!remote && declared.empty()) {
    output = "No address the source can be retrieved from";
    advice.push_back("Publish the repository on a public forge and add it as a remote: git remote "
                     "add origin https://HOST/OWNER/REPO.git; then declare that address in " +
                     declare + ".");
  } else if (remote && remote->kind == Reach::LocalPath && !public_declared) {
    score = 2.0;
    output = "The remote is a local path: nobody else can retrieve the source from it";
    advice.push_back("Push the repository to a public forge and make that the remote: git remote "
                     "set-url origin https://HOST/OWNER/REPO.git.");
  } else if (remote && remote->kind == Reach::PrivateHost && !public_declared) {
    score = 3.0;
    output = "The remote is on a private network";
    advice.push_back("Publish the source at a public address, or document how others obtain "
                     "access (A1.2), and declare the address in " + declare + ".");
  } else if (!remote || !is_open(remote->kind)) {
    bool http_only = (remote && remote->kind == Reach::PlainHttp) || !public_declared;
    if (http_only) {
      score = 4.0;
      output = "The source is reachable only over plain http";
      advice.push_back("Serve the repository over https (or ssh) and use that address as the "
                       "remote and in the metadata: plain http can be altered on the way.");
    } else {
      score = 7.0;
      output = "The metadata names a public repository; this checkout has no remote for it";
      advice.push_back("Add the public repository as the remote: git remote add origin " +
                       public_declared->url + ".");
    }
  } else if (declared.empty()) {
    score = 7.0;
    output = "Public remote; no metadata file declares it";
    advice.push_back("Declare the repository's address (" + remote->url + ") in " + declare + ".");
  } else if (!agree) {
    score = 5.0;
    output = "The metadata names another repository than the remote";
    std::vector<std::string> named;
    for (const auto& d : declared) named.push_back(d.source + " names " + d.url);
    advice.push_back(join(named, "; ") + ", but the remote is " + remote->url +
                     ": correct whichever is out of date.");
  } else {
    score = 10.0;
    output = "Public remote, declared in the metadata";
  }

  // Online: is the repository public? A private one needs its access procedure written down.
  Json is_public = nullptr;
  std::string forge_url = remote && is_open(remote->kind) ? remote->url
                          : public_declared             ? public_declared->url
                                                        : "";
  if (ctx.lookups && !forge_url.empty() && ctx.forge && ctx.forge->parse_forge_url(forge_url)) {
    auto info = ctx.forge->parse_forge_url(forge_url);
    std::optional<std::string> token = info->api_style == "github"   ? ctx.github_token
                                       : info->api_style == "gitlab" ? ctx.gitlab_token
                                                                     : ctx.gitea_token;
    Lookup l = ctx.lookups->forge_repository(forge_url, token);
    if (l.verified) is_public = *l.verified;
    if (l.verified == false) {
      score = std::min(score, 5.0);
      advice.push_back("The repository is private: document who may obtain the source and how "
                       "(an access procedure in the README), or make it public.");
    } else if (!l.verified && l.why.rfind("not found", 0) == 0) {
      score = std::min(score, 6.0);
      advice.push_back("The forge does not know " + forge_url +
                       " (private without a token, or gone): check the address.");
    }
  }
  std::vector<std::string> shown;
  for (const auto& u : urls) shown.push_back(u["url"].get<std::string>() + " (" + u["source"].get<std::string>() + ")");
  return make_result(indicator_id,
                     {.score = score,
                      .process = "Compared the remote with the addresses the metadata declares",
                      .output = output,
                      .evidence = shown.empty() ? "" : "Addresses: " + join(shown, ", "),
                      .advice = std::move(advice),
                      .facts = Json{{"urls", urls}, {"public", is_public}}});
}

}  // namespace ostrameld
