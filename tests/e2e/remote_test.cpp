// Git provenance, forge releases and URL assessment through the whole program.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/forge_server.h"
#include "support/git_repo.h"
#include "support/run_cli.h"

namespace ostrameld {
namespace {

using testing::ForgeServer;
using testing::git;
using testing::git_history;
using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

nlohmann::json by_key(const std::string& out) {
  auto doc = nlohmann::json::parse(out);
  nlohmann::json keyed = nlohmann::json::object();
  for (const auto& i : doc["indicators"]) keyed[i["indicator_id"].get<std::string>()] = i;
  keyed["_software"] = doc["software"];
  return keyed;
}

bool empty_dir(const std::filesystem::path& p) {
  return std::filesystem::is_empty(p);
}

TEST(Remote, BareRepositoryByFileUrlLeavesNothingBehind) {
  TempRepo work;
  git_history(work, 12);
  work.write("LICENSE", "MIT License\n");
  git(work, "add LICENSE");
  git(work, "commit -q -m licence", "2020-02-01T00:00:00Z");
  git(work, "tag v1.2.3");
  TempRepo bare;
  git(bare, "clone -q --bare " + shell_quote(work.path().string()) + " repo.git");
  TempRepo tmp;

  std::string url = "file://" + (bare / "repo.git").string();
  auto r = run_cli("assess " + shell_quote(url) + " -f json",
                   "TMPDIR=" + shell_quote(tmp.path().string()));
  ASSERT_EQ(r.status, 0) << r.err;
  auto doc = by_key(r.out);
  EXPECT_EQ(doc["_software"]["name"], "repo");
  EXPECT_EQ(doc["_software"]["url"], url);
  EXPECT_EQ(doc["development_provenance"]["output"],
            "Remote: " + url + "; Commits: 13; Branch: main; Latest tag: v1.2.3");
  EXPECT_EQ(doc["development_provenance"]["score"], 10.0);
  EXPECT_EQ(doc["clear_license"]["output"], "Detected MIT");
  // file:// is no forge: the local tag answers.
  EXPECT_EQ(doc["version_identifiers"]["output"], "Latest tag: v1.2.3, semver: True");
  EXPECT_EQ(doc["version_identifiers"]["evidence"], "Remote: " + url + "; fell back to local tags");
  EXPECT_TRUE(empty_dir(tmp.path()));

  auto bad = run_cli("assess " + shell_quote("file://" + (bare / "missing.git").string()),
                     "TMPDIR=" + shell_quote(tmp.path().string()));
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_NE(bad.err.find("cannot clone"), std::string::npos) << bad.err;
  EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1);
  EXPECT_TRUE(empty_dir(tmp.path()));
}

TEST(Remote, ReleasesFromAForgeWithTheTokenOnlyInItsHeader) {
  ForgeServer server([](const httplib::Request& req, httplib::Response& res) {
    if (req.path != "/api/v1/repos/team/tool/releases") return void(res.status = 404);
    res.set_content(
        R"([{"tag_name":"v2.0.0"},{"tag_name":"v1.1.0"},{"tag_name":"v1.0.0"},{"tag_name":"beta"}])",
        "application/json");
  });
  TempRepo repo;
  git_history(repo, 4);
  git(repo, "remote add origin " + server.base() + "/team/tool.git");
  auto r = run_cli("assess " + shell_quote(repo.path().string()) + " -f json --forge " +
                       server.host() + "=gitea",
                   "GITEA_TOKEN=tok-9f8e7d GITHUB_TOKEN= ");
  ASSERT_EQ(r.status, 0) << r.err;
  auto doc = by_key(r.out);
  EXPECT_EQ(doc["version_identifiers"]["output"], "4 release(s), latest: v2.0.0, semver: 3/4");
  EXPECT_EQ(doc["version_identifiers"]["score"], 8.5);
  EXPECT_EQ(doc["version_identifiers"]["evidence"], "Source: " + server.base() + "/team/tool.git");
  EXPECT_EQ(r.out.find("tok-9f8e7d"), std::string::npos);
  EXPECT_EQ(r.err.find("tok-9f8e7d"), std::string::npos);
  auto seen = server.seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].headers.find("Authorization")->second, "token tok-9f8e7d");
  EXPECT_EQ(seen[0].query.find("tok-9f8e7d"), std::string::npos);

  auto offline = run_cli("assess " + shell_quote(repo.path().string()) +
                         " -f json --offline --forge " + server.host() + "=gitea");
  EXPECT_EQ(by_key(offline.out)["version_identifiers"]["status"], "unknown");
  EXPECT_EQ(server.seen().size(), 1u);  // offline: no request at all
}

TEST(Remote, ProvenanceOfALocalCheckout) {
  TempRepo repo;
  git_history(repo, 3);
  repo.mkdir("sub");
  auto r = run_cli("assess " + shell_quote((repo / "sub").string()) + " -f json --offline");
  ASSERT_EQ(r.status, 0) << r.err;
  auto doc = by_key(r.out);
  EXPECT_EQ(doc["development_provenance"]["output"], "Commits: 3; Branch: main");
  EXPECT_EQ(doc["development_provenance"]["score"], 5.5);
  EXPECT_EQ(doc["version_identifiers"]["output"], "Cannot check releases");

  TempRepo plain;
  auto p = run_cli("assess " + shell_quote(plain.path().string()) + " -f json --offline");
  auto pdoc = by_key(p.out);
  EXPECT_EQ(pdoc["development_provenance"]["output"], "Not a git repository");
  EXPECT_EQ(pdoc["development_provenance"]["evidence"], "Path: " + plain.path().string());
}

TEST(Remote, InterruptedCloneLeavesNothingBehind) {
  TempRepo origin;
  // A history long enough that the clone is still running when the signal comes.
  origin.sh(
      "git init -q -b main . && awk 'BEGIN { for (i = 1; i <= 4000; i++) printf \"commit "
      "refs/heads/main\\n"
      "committer T <t@e> %d +0000\\ndata 1\\nc\\nM 644 inline f%d\\ndata 2\\n%d\\n\\n\", "
      "1600000000 + i, i % 500, "
      "i % 10 }' | git fast-import --quiet");
  TempRepo tmp;
  std::string cmd =
      "TMPDIR=" + shell_quote(tmp.path().string()) + " " + shell_quote(OSTRAMELD_BIN) + " assess " +
      shell_quote("file://" + origin.path().string()) + " --offline >/dev/null 2>&1 & pid=$!; " +
      "sleep 0.1; kill -INT $pid; wait $pid; echo $? > " + shell_quote((tmp / "status").string());
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::string status = testing::read_file(tmp / "status");
  EXPECT_TRUE(status == "130\n" || status == "0\n") << status;  // interrupted, or done just before
  std::filesystem::remove(tmp / "status");
  EXPECT_TRUE(empty_dir(tmp.path()));
}

TEST(Remote, BadForgeSpecIsUsage) {
  auto r = run_cli("assess . --forge nonsense");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--forge"), std::string::npos);
}

// A CI checkout is shallow: assessed, not an error, and the JSON says history was cut.
TEST(Remote, ShallowCheckoutIsAssessed) {
  TempRepo origin;
  git_history(origin, 12);
  git(origin, "tag v1.0.0");
  TempRepo dir;
  dir.sh("git clone -q --depth 1 file://" + origin.path().string() + " r");
  auto r = run_cli("assess " + shell_quote((dir / "r").string()) + " -f json --offline");
  ASSERT_EQ(r.status, 0) << r.err;
  auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["git"]["shallow"], true);
  EXPECT_TRUE(doc["errors"].empty()) << doc["errors"];
  auto keyed = by_key(r.out);
  EXPECT_EQ(keyed["development_provenance"]["output"],
            "Remote: file://" + origin.path().string() +
                "; Commits: 1; Branch: main; Latest tag: v1.0.0");
  EXPECT_EQ(keyed["version_identifiers"]["output"], "Latest tag: v1.0.0, semver: True");
}

// A repository whose configuration would make git fetch a missing object through a
// command of its choosing, start hooks, pagers and helpers: by every way in (its path,
// a directory below it, file://, as a bare repository, a batch list), owned by another
// user when the tests run as root, nothing of it runs.
TEST(Remote, HostileRepositoryStartsNothingByAnyRoute) {
  TempRepo root;
  std::string trace = (root / "trace").string();
  auto make = [&](const std::string& name, bool broken_tag, bool bare) {
    root.sh("git init -q " + std::string(bare ? "--bare " : "") + name);
    std::string dir = (root / name).string();
    std::string gd = bare ? dir : dir + "/.git";
    if (bare) {
      root.sh("git clone -q " + dir + " " + dir + "-w && cd " + dir +
              "-w && git -c user.name=a -c user.email=a@b commit -q --allow-empty -m a && "
              "git push -q origin HEAD:refs/heads/main && cd .. && rm -rf " +
              dir +
              "-w && "
              "git -C " +
              dir + " symbolic-ref HEAD refs/heads/main");
    } else {
      root.sh("cd " + dir +
              " && git -c user.name=a -c user.email=a@b commit -q --allow-empty "
              "-m a && mkdir -p sub");
    }
    if (broken_tag)
      root.sh("echo 1234567890123456789012345678901234567890 > " + gd + "/refs/tags/missing");
    root.sh("cd " + gd +
            " && git config core.repositoryformatversion 1 && "
            "git config extensions.partialClone origin && git config remote.origin.promisor true "
            "&& git config protocol.ext.allow always && git config protocol.file.allow always && "
            "git config remote.origin.url 'ext::sh -c touch% " +
            trace +
            "-ext' && "
            "git config uploadpack.packObjectsHook 'touch " +
            trace +
            "-hook' && "
            "git config core.fsmonitor 'touch " +
            trace +
            "-fsmonitor' && "
            "git config core.hooksPath " +
            gd +
            "/hooks && mkdir -p hooks && "
            "printf '#!/bin/sh\\ntouch " +
            trace +
            "-h\\n' > hooks/post-checkout && "
            "chmod +x hooks/post-checkout && cp hooks/post-checkout hooks/reference-transaction");
    return dir;
  };
  std::string broken = make("broken", true, false);
  std::string intact = make("intact", false, false);
  std::string bare = make("bare.git", false, true);
  std::string bare_broken = make("bare-broken.git", true, true);
  if (::geteuid() == 0) root.sh("chown -R nobody " + root.path().string());
  TempRepo tmp;
  std::string env = "TMPDIR=" + shell_quote(tmp.path().string());
  struct {
    std::string arg;
    int status;  // a repository with a broken tag cannot be cloned, as git cannot
  } routes[] = {
      {broken, 0},           {broken + "/sub", 0},    {"file://" + broken, 2},
      {intact, 0},           {"file://" + intact, 0}, {bare, 0},
      {"file://" + bare, 0}, {bare_broken, 2},
  };
  std::string list;
  for (const auto& r : routes) {
    SCOPED_TRACE(r.arg);
    list += r.arg + "\n";
    auto out = run_cli("assess " + shell_quote(r.arg) + " --offline -f json", env);
    EXPECT_EQ(out.status, r.status) << out.err;
    if (r.status == 2) {
      EXPECT_EQ(std::count(out.err.begin(), out.err.end(), '\n'), 1) << out.err;
    }
  }
  TempRepo lists;
  lists.write("list.txt", list);
  auto batch = run_cli("batch " + shell_quote((lists / "list.txt").string()) + " --offline", env);
  EXPECT_EQ(batch.status, 1) << batch.err;  // the two that cannot be cloned
  EXPECT_EQ(std::count(batch.out.begin(), batch.out.end(), '\n'), 8);
  for (const auto& entry : std::filesystem::directory_iterator(root.path()))
    EXPECT_NE(entry.path().filename().string().substr(0, 5), "trace") << entry.path();
  EXPECT_TRUE(empty_dir(tmp.path()));
}

TEST(Remote, AddressesThatCannotBeClonedFailAtOnce) {
  for (const char* arg :
       {"ftp://example.org/x.git", "foo://bar", "https://", "ext::sh", "https://:443/x"}) {
    auto r = run_cli(std::string("assess ") + shell_quote(arg));
    EXPECT_EQ(r.status, 2) << arg;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("accepted: a directory, or https://, http://, ssh://, git://, file:// or "
                         "host:path"),
              std::string::npos)
        << r.err;
  }
}

TEST(Remote, TimeoutStopsAServerThatNeverAnswers) {
  testing::SilentPort silent;
  TempRepo tmp;
  std::string url = silent.base() + "/owner/repo.git";
  std::string env = "TMPDIR=" + shell_quote(tmp.path().string());
  auto started = std::chrono::steady_clock::now();
  auto r = run_cli("assess " + shell_quote(url) + " --timeout 1", env);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "ostrameld: error: timed out after 1 s\n");
  TempRepo list;
  list.write("list.txt", url + "\n");
  auto b = run_cli("batch " + shell_quote((list / "list.txt").string()) + " --timeout 0.5", env);
  EXPECT_EQ(b.status, 1);
  EXPECT_NE(b.out.find("\"message\": \"timed out after 0.5 s\""), std::string::npos) << b.out;
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_TRUE(empty_dir(tmp.path()));
}

// A token in the address travels in git's environment (ours alone), never on a command
// line that every user of the machine can read in /proc.
TEST(Remote, ATokenNeverAppearsOnACommandLine) {
  testing::SilentPort silent;
  std::string url = silent.base();
  url.insert(url.find("//") + 2, "oauth2:glpat-S3CRET@");
  TempRepo tmp;
  std::string cmd = "TMPDIR=" + shell_quote(tmp.path().string()) + " " +
                    shell_quote(OSTRAMELD_BIN) + " assess " + shell_quote(url + "/g/p.git") +
                    " --timeout 3 >/dev/null 2>&1 &";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  bool saw_git = false;
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
  while (std::chrono::steady_clock::now() < until) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      std::string cmdline;
      try {
        cmdline = testing::read_file(entry.path() / "cmdline");
      } catch (const std::exception&) {
        continue;
      }
      // Git and its helpers; our own command line holds what the user typed.
      std::string program = cmdline.substr(0, cmdline.find('\0'));
      program = program.substr(program.rfind('/') + 1);
      if (program.rfind("git", 0) != 0 || cmdline.find("p.git") == std::string::npos) continue;
      if (cmdline.find("clone") != std::string::npos) saw_git = true;
      EXPECT_EQ(cmdline.find("S3CRET"), std::string::npos) << cmdline;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(saw_git);  // the clone was running while we looked
  std::this_thread::sleep_for(std::chrono::seconds(1));
}

// The credentials of an https address still reach its server, by git's own Basic
// authentication, and nothing else shows them.
TEST(Remote, CredentialsInTheAddressReachItsServerOnly) {
  ForgeServer server([](const httplib::Request& req, httplib::Response& res) {
    if (!req.has_header("Authorization")) {
      res.status = 401;
      res.set_header("WWW-Authenticate", "Basic realm=\"git\"");
      return;
    }
    res.status = 404;
  });
  std::string url = server.base() + "/g/p.git";
  url.insert(url.find("//") + 2, "oauth2:glpat-S3CRET@");
  TempRepo tmp;
  auto r = run_cli("assess " + shell_quote(url) + " --offline",
                   "TMPDIR=" + shell_quote(tmp.path().string()));
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.find("S3CRET"), std::string::npos) << r.err;
  bool authorised = false;
  for (const auto& seen : server.seen()) {
    auto h = seen.headers.find("Authorization");
    if (h == seen.headers.end()) continue;
    EXPECT_EQ(h->second, "Basic b2F1dGgyOmdscGF0LVMzQ1JFVA==");  // oauth2:glpat-S3CRET
    authorised = true;
  }
  EXPECT_TRUE(authorised);
  EXPECT_TRUE(empty_dir(tmp.path()));
}

}  // namespace
}  // namespace ostrameld
