// Listing an institute's repositories: every page, archived repositories and forks left
// out unless asked, the user's list when there is no such organisation, and errors as
// one line that never shows the token.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/forge_server.h"
#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

std::string server_host(const std::string& base) {
  return base.substr(base.find("://") + 3);
}

using testing::ForgeServer;
using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

struct Shape {
  const char* style;
  const char* org_path;   // the organisation's (group's) list
  const char* user_path;  // the user's list
  const char* url_key;
  const char* token_header;
  const char* token_value;  // as the header carries "tok"
};

const Shape kShapes[] = {
    {"github", "/api/v3/orgs/lab/repos", "/api/v3/users/lab/repos", "clone_url", "Authorization",
     "Bearer tok"},
    {"gitlab", "/api/v4/groups/lab/projects", "/api/v4/users/lab/projects", "http_url_to_repo",
     "PRIVATE-TOKEN", "tok"},
    {"gitea", "/api/v1/orgs/lab/repos", "/api/v1/users/lab/repos", "clone_url", "Authorization",
     "token tok"},
};

// A repository item; its clone URL on the forge's own host, as forges give them.
std::string item(const Shape& s, const std::string& base, const std::string& name, bool archived,
                 bool fork) {
  std::string fork_member =
      std::string(s.style) == "gitlab"
          ? (fork ? R"("forked_from_project": {"id": 1})" : R"("forked_from_project": null)")
          : std::string(R"("fork": )") + (fork ? "true" : "false");
  return std::string("{\"") + s.url_key + "\": \"" + base + "/lab/" + name +
         ".git\", \"archived\": " + (archived ? "true" : "false") + ", " + fork_member + "}";
}

std::string env_for(const Shape& s) {
  std::string var = std::string(s.style) == "gitlab"  ? "GITLAB_TOKEN"
                    : std::string(s.style) == "gitea" ? "GITEA_TOKEN"
                                                      : "GITHUB_TOKEN";
  return var + "=tok";
}

TEST(Repos, EveryPageOfEveryForgeShape) {
  for (const auto& shape : kShapes) {
    SCOPED_TRACE(shape.style);
    ForgeServer* self = nullptr;
    ForgeServer server([&](const httplib::Request& req, httplib::Response& res) {
      if (req.path != shape.org_path) return void(res.status = 404);
      std::string page = req.has_param("page") ? req.get_param_value("page") : "1";
      if (page == "1") {
        res.set_header("Link", "<" + self->base() + shape.org_path + "?page=2>; rel=\"next\"");
        res.set_content("[" + item(shape, self->base(), "zeta", false, false) + ", " +
                            item(shape, self->base(), "old", true, false) + "]",
                        "application/json");
      } else {
        res.set_content("[" + item(shape, self->base(), "alpha", false, false) + ", " +
                            item(shape, self->base(), "copy", false, true) + "]",
                        "application/json");
      }
    });
    self = &server;
    std::string base = "repos " + shell_quote(server.base() + "/lab") + " --forge " +
                       server.host() + "=" + shape.style;
    auto r = run_cli(base, env_for(shape));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string b = server.base() + "/lab/";
    EXPECT_EQ(r.out, b + "alpha.git\n" + b + "zeta.git\n");
    // The second time the token comes from a file, the environment holding none.
    TempRepo dir;
    dir.write("token", "tok\n");
    auto all = run_cli(base + " --include-archived --include-forks --" + shape.style +
                           "-token-file " + shell_quote((dir / "token").string()),
                       "GITHUB_TOKEN= GITLAB_TOKEN= GITEA_TOKEN=");
    EXPECT_EQ(all.out, b + "alpha.git\n" + b + "copy.git\n" + b + "old.git\n" + b + "zeta.git\n");
    for (const auto& seen : server.seen()) {
      auto h = seen.headers.find(shape.token_header);
      ASSERT_NE(h, seen.headers.end());
      EXPECT_EQ(h->second, shape.token_value);
    }
  }
}

TEST(Repos, AUserWhenThereIsNoSuchOrganisation) {
  const Shape& shape = kShapes[0];
  ForgeServer server([&](const httplib::Request& req, httplib::Response& res) {
    if (req.path != shape.user_path) return void(res.status = 404);
    res.set_content(
        "[" + item(shape, "http://" + req.get_header_value("Host"), "mine", false, false) + "]",
        "application/json");
  });
  auto r = run_cli("repos " + shell_quote(server.base() + "/lab") + " --forge " + server.host() +
                   "=github");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, server.base() + "/lab/mine.git\n");
}

// What a forge lists is checked before it becomes a line of a batch list: only clone
// URLs on the forge's own host pass; a local path there would be assessed as one.
TEST(Repos, OnlyCloneUrlsOfTheForgeItselfAreListed) {
  ForgeServer* self = nullptr;
  ForgeServer server([&](const httplib::Request& req, httplib::Response& res) {
    if (req.path != "/api/v3/orgs/lab/repos") return void(res.status = 404);
    std::string b = self->base();
    nlohmann::json page = nlohmann::json::array();
    for (const std::string& url :
         {b + "/lab/good.git", b + "/lab/two\nhttps://evil.example/x.git",
          std::string("/tmp/share/evil"), std::string("file:///tmp/share/evil"),
          std::string("https://evil.example/lab/x.git"), b + "/lab/\x1b]0;title\x07.git",
          std::string("ext::sh -c id"), "http://user:pass@" + server_host(b) + "/lab/creds.git",
          b + "/lab/sp ace.git", std::string(5000, 'a')})
      page.push_back({{"clone_url", url}, {"archived", false}, {"fork", false}});
    res.set_content(page.dump(), "application/json");
  });
  self = &server;
  auto r = run_cli("repos " + shell_quote(server.base() + "/lab") + " --forge " + server.host() +
                   "=github");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, server.base() + "/lab/good.git\n");
  EXPECT_NE(r.err.find("left out 9 addresses that are not a clone URL on " + server.host()),
            std::string::npos)
      << r.err;
}

TEST(Repos, ErrorsAreOneLineWithoutTheToken) {
  struct {
    const char* name;
    int status;
    bool rate_limited;
    const char* message;
  } cases[] = {
      {"nobody of that name", 404, false, "no organisation, group or user 127.0.0.1"},
      {"rate limit", 403, true, "rate limit of 127.0.0.1"},
      {"bad token", 401, false, "refused the request (HTTP 401); check the token in GITHUB_TOKEN"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ForgeServer server([&](const httplib::Request&, httplib::Response& res) {
      res.status = c.status;
      if (c.rate_limited) res.set_header("X-RateLimit-Remaining", "0");
    });
    auto r = run_cli(
        "repos " + shell_quote(server.base() + "/lab") + " --forge " + server.host() + "=github",
        "GITHUB_TOKEN=ghp_s3cret");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("s3cret"), std::string::npos);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
  }
  auto unknown = run_cli("repos https://example.org/lab");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("--forge HOST=STYLE"), std::string::npos) << unknown.err;
}

}  // namespace
}  // namespace ostrameld
