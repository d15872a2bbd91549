// Listing an institute's repositories: every page, archived repositories and forks left
// out unless asked, the user's list when there is no such organisation, and errors as
// one line that never shows the token.
#include <gtest/gtest.h>

#include "support/forge_server.h"
#include "support/run_cli.h"

namespace ostrameld {
namespace {

using testing::ForgeServer;
using testing::run_cli;
using testing::shell_quote;

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

std::string item(const Shape& s, const std::string& name, bool archived, bool fork) {
  std::string fork_member =
      std::string(s.style) == "gitlab"
          ? (fork ? R"("forked_from_project": {"id": 1})" : R"("forked_from_project": null)")
          : std::string(R"("fork": )") + (fork ? "true" : "false");
  return std::string("{\"") + s.url_key + "\": \"https://example.org/lab/" + name +
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
        res.set_content(
            "[" + item(shape, "zeta", false, false) + ", " + item(shape, "old", true, false) + "]",
            "application/json");
      } else {
        res.set_content("[" + item(shape, "alpha", false, false) + ", " +
                            item(shape, "copy", false, true) + "]",
                        "application/json");
      }
    });
    self = &server;
    std::string base = "repos " + shell_quote(server.base() + "/lab") + " --forge " +
                       server.host() + "=" + shape.style;
    auto r = run_cli(base, env_for(shape));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "https://example.org/lab/alpha.git\nhttps://example.org/lab/zeta.git\n");
    auto all = run_cli(base + " --include-archived --include-forks", env_for(shape));
    EXPECT_EQ(all.out,
              "https://example.org/lab/alpha.git\nhttps://example.org/lab/copy.git\n"
              "https://example.org/lab/old.git\nhttps://example.org/lab/zeta.git\n");
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
    res.set_content("[" + item(shape, "mine", false, false) + "]", "application/json");
  });
  auto r = run_cli("repos " + shell_quote(server.base() + "/lab") + " --forge " + server.host() +
                   "=github");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "https://example.org/lab/mine.git\n");
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
