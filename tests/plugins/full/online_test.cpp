// The full profile's questions to services, against local servers: confirmed, not found,
// rate-limited, unreachable, and a redirect to another host refused. A service that
// cannot answer leaves verified null and says why; it is never an error row.
#include <gtest/gtest.h>

#include <map>

#include "ostrameld/engine/assess.h"
#include "ostrameld/services/lookups.h"
#include "plugins/full/shapes.h"
#include "support/forge_server.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::ForgeServer;
using testing::TempRepo;

struct Tls {
  TempRepo dir;
  testing::TlsFiles files;
  Tls() {
    dir.sh("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
           "-keyout key.pem -out cert.pem -days 2 -subj /CN=forge.test -addext "
           "'subjectAltName=DNS:forge.test,DNS:other.test' 2>/dev/null");
    files = {(dir / "cert.pem").string(), (dir / "key.pem").string()};
  }
};

enum class Mode { Found, NotFound, RateLimited, Redirect };

std::map<std::string, CheckResult> assess_online(const TempRepo& repo, const std::string& host,
                                                 const Tls& tls, const std::string& other_host = "") {
  ForgeOptions fo;
  fo.forges[host] = "github";
  fo.resolve = {host + ":127.0.0.1"};
  if (!other_host.empty()) fo.resolve.push_back(other_host + ":127.0.0.1");
  fo.ca_file = tls.files.cert;
  fo.total_timeout = std::chrono::milliseconds(5000);
  HttpForgeClient client(fo);
  std::string base = "https://" + host;
  AssessOptions options;
  options.profile = &fair4rs_full_profile();
  options.forge = &client;
  options.services = service_urls_from("doi=" + base + "/doi/{},zenodo=" + base + "/zenodo/{},swh=" +
                                       base + "/swh/{}/,pypi=" + base + "/pypi/{}/json");
  Assessment a = assess_repository(repo.path(), options);
  std::map<std::string, CheckResult> by_key;
  for (auto& r : a.indicators) by_key[r.indicator_id] = r;
  return by_key;
}

TEST(FullProfileOnline, EachServiceAnswer) {
  Tls tls;
  Mode mode = Mode::Found;
  std::string other;  // where a redirect points
  bool is_private = false;
  ForgeServer server(
      [&](const httplib::Request& req, httplib::Response& res) {
        if (mode == Mode::NotFound) {
          res.status = 404;
          res.set_content(R"({"responseCode":100})", "application/json");
          return;
        }
        if (mode == Mode::RateLimited) {
          res.status = 429;
          res.set_header("Retry-After", "60");
          return;
        }
        if (mode == Mode::Redirect && req.path.rfind("/api/", 0) != 0) {
          res.status = 302;
          res.set_header("Location", other + req.path);
          return;
        }
        if (req.path == "/api/v3/repos/org/pkgz") {
          res.set_content(is_private ? R"({"private": true})" : R"({"private": false})", "application/json");
        } else if (req.path == "/zenodo/1234") {
          res.set_content(R"({"conceptrecid": "1234", "doi": "10.5281/zenodo.1235"})", "application/json");
        } else {
          res.set_content("{}", "application/json");
        }
      },
      &tls.files);
  ForgeServer elsewhere([](const httplib::Request&, httplib::Response& res) { res.set_content("{}", "application/json"); },
                        &tls.files);
  std::string host = "forge.test:" + std::to_string(server.port());
  std::string other_host = "other.test:" + std::to_string(elsewhere.port());
  other = "https://" + other_host;

  TempRepo repo;
  testing::python_with_zenodo(repo);
  std::string url = "https://" + host + "/org/pkgz";
  repo.write("CITATION.cff", testing::read_file(repo / "CITATION.cff").replace(
                                 testing::read_file(repo / "CITATION.cff").find("https://github.com/org/pkgz"),
                                 26, url));
  testing::git(repo, "remote set-url origin " + url + ".git");

  struct {
    const char* name;
    Mode mode;
    bool is_private;
    Json identifier_verified, zenodo_kind, archive_verified, is_public;
    const char* advice;  // in metadata_archived or persistent_identifier
    const char* note = nullptr;  // a service that could not answer: a note in the facts, no advice
  } cases[] = {
      {"confirmed", Mode::Found, false, true, "concept", true, true, nullptr},
      {"private repository", Mode::Found, true, true, "concept", true, false, "access procedure"},
      {"not found", Mode::NotFound, false, false, nullptr, false, nullptr, "not registered"},
      {"rate-limited", Mode::RateLimited, false, nullptr, nullptr, nullptr, nullptr, nullptr, "Zenodo could not confirm"},
      {"redirect to another host", Mode::Redirect, false, nullptr, nullptr, nullptr, true, nullptr, "(unreachable)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mode = c.mode;
    is_private = c.is_private;
    auto r = assess_online(repo, host, tls, other_host);
    const CheckResult& id = r["persistent_identifier"];
    ASSERT_NE(id.status, CheckStatus::Error) << id.output;
    EXPECT_EQ(id.facts["identifiers"][0]["verified"], c.identifier_verified);
    EXPECT_EQ(id.facts["identifiers"][0].value("zenodo", Json()), c.zenodo_kind);
    const CheckResult& archived = r["metadata_archived"];
    ASSERT_NE(archived.status, CheckStatus::Error) << archived.output;
    for (const auto& a : archived.facts["archives"])
      if (a["kind"] == "zenodo" || a["kind"] == "pypi") {
        EXPECT_EQ(a["verified"], c.archive_verified) << a;
      }
    EXPECT_EQ(r["open_access"].facts["public"], c.is_public);
    if (c.advice) {
      bool found = false;
      for (const CheckResult* res : std::initializer_list<const CheckResult*>{&id, &archived, &r["open_access"]})
        for (const auto& a : res->advice) found = found || a.find(c.advice) != std::string::npos;
      EXPECT_TRUE(found) << c.advice;
    }
    if (c.note) {
      bool noted = false, advised = false;
      for (const CheckResult* res : {&id, &archived}) {
        for (const auto& n : res->facts.value("notes", Json::array())) noted = noted || n.get<std::string>().find(c.note) != std::string::npos;
        for (const auto& a : res->advice) advised = advised || a.find("confirm") != std::string::npos;
      }
      EXPECT_TRUE(noted) << c.note;
      EXPECT_FALSE(advised);
    }
  }
  // The redirect's target heard nothing, and no request carried a token.
  EXPECT_TRUE(elsewhere.seen().empty());
  // One request per service and assessment, however many checks asked.
  mode = Mode::Found;
  std::size_t before = server.seen().size();
  assess_online(repo, host, tls);
  auto seen = server.seen();
  // The forge answers two questions (the repository's record, its releases); every other
  // service one.
  std::map<std::string, int> per_service;
  for (std::size_t i = before; i < seen.size(); ++i) ++per_service[seen[i].path];
  for (const auto& [path, count] : per_service) EXPECT_EQ(count, 1) << path;
  EXPECT_EQ(per_service.size(), 5u) << per_service.begin()->first;
  EXPECT_EQ(per_service.count("/api/v3/repos/org/pkgz"), 1u);
  EXPECT_EQ(per_service.count("/api/v3/repos/org/pkgz/releases"), 1u);
}

// A service that accepts and never answers: the question stays open within the
// request's time limit.
TEST(FullProfileOnline, AnUnansweringServiceLeavesTheQuestionOpen) {
  testing::SilentPort silent;
  ForgeOptions fo;
  fo.total_timeout = std::chrono::milliseconds(300);
  fo.plain_http_origins = {silent.base()};
  HttpForgeClient client(fo);
  Lookups lookups(&client, service_urls_from("swh=" + silent.base() + "/{}"), std::nullopt, false);
  auto start = std::chrono::steady_clock::now();
  Lookup l = lookups.software_heritage("https://github.com/org/x");
  EXPECT_FALSE(l.verified.has_value());
  EXPECT_EQ(l.why, "unreachable");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // Plain http to an origin nobody named is never used.
  Lookups other(&client, service_urls_from("pypi=http://127.0.0.1:9/{}"), std::nullopt, false);
  EXPECT_EQ(other.registry("pypi", "x").why, "unreachable");
  // Offline nothing is asked at all.
  Lookups offline(&client, default_service_urls(), std::nullopt, true);
  EXPECT_EQ(offline.doi("10.5281/zenodo.1").why, "offline");
}

}  // namespace
}  // namespace ostrameld
