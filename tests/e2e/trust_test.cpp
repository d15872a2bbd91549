// What a user trusts the program with: the files at the paths it writes, a full disk
// said out loud, a night's results never overwritten, nothing left running or lying
// about after Ctrl-C, a torn results file still summed up.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "support/forge_server.h"
#include "support/git_repo.h"
#include "support/run_cli.h"

namespace ostrameld {
namespace {

using testing::git_history;
using testing::read_file;
using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

std::string bin() {
  return shell_quote(OSTRAMELD_BIN);
}

int sh(const std::string& script) {
  int raw = std::system(("bash -c " + shell_quote(script)).c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

struct stat stat_of(const std::filesystem::path& p) {
  struct stat st {};
  ::lstat(p.c_str(), &st);
  return st;
}

// -o, --badge and summary -o write what stands at the path the way its owner expects.
TEST(Trust, OutputPathsKeepWhatStandsThere) {
  TempRepo repo;
  repo.write("README.md", "# x\n");
  std::string assess = "assess " + shell_quote(repo.path().string()) + " --offline -f json ";
  TempRepo dir;

  // A device is written to, never replaced (as root, a rename would turn it into a file).
  for (const char* option : {"-o", "--badge"}) {
    auto r = run_cli(assess + option + " /dev/null");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(S_ISCHR(stat_of("/dev/null").st_mode)) << option;
  }
  // A FIFO is written through, to whoever reads it.
  dir.fifo("pipe");
  std::string captured = (dir / "captured").string();
  EXPECT_EQ(sh("cat " + shell_quote((dir / "pipe").string()) + " > " + shell_quote(captured) +
               " & reader=$!; " + bin() + " " + assess + "-o " +
               shell_quote((dir / "pipe").string()) + "; status=$?; wait $reader; exit $status"),
            0);
  EXPECT_NE(read_file(captured).find("\"schema\""), std::string::npos);
  EXPECT_TRUE(S_ISFIFO(stat_of(dir / "pipe").st_mode));
  // A link is followed: its target is replaced whole, the link stays, the mode stays.
  dir.write("real.json", "old\n");
  ::chmod((dir / "real.json").c_str(), 0600);
  dir.symlink("real.json", "link.json");
  auto linked = run_cli(assess + "-o " + shell_quote((dir / "link.json").string()));
  EXPECT_EQ(linked.status, 0) << linked.err;
  EXPECT_TRUE(S_ISLNK(stat_of(dir / "link.json").st_mode));
  EXPECT_NE(read_file(dir / "real.json").find("\"schema\""), std::string::npos);
  EXPECT_EQ(stat_of(dir / "real.json").st_mode & 07777, 0600u);
  // A dangling link gets its target made.
  dir.symlink("made.json", "dangling.json");
  EXPECT_EQ(run_cli(assess + "-o " + shell_quote((dir / "dangling.json").string())).status, 0);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "made.json"));
  // An existing file keeps its owner, when we may keep it.
  if (::geteuid() == 0) {
    dir.write("owned.json", "old\n");
    ASSERT_EQ(::chown((dir / "owned.json").c_str(), 65534, 65534), 0);
    EXPECT_EQ(run_cli(assess + "-o " + shell_quote((dir / "owned.json").string())).status, 0);
    EXPECT_EQ(stat_of(dir / "owned.json").st_uid, 65534u);
  }
  // A directory is refused in one line, and left alone.
  dir.mkdir("a-directory");
  auto refused = run_cli(assess + "-o " + shell_quote((dir / "a-directory").string()));
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
  EXPECT_TRUE(std::filesystem::is_directory(dir / "a-directory"));
  // The same writer serves summary -o.
  dir.write("r.jsonl", "");
  EXPECT_EQ(run_cli("summary " + shell_quote((dir / "r.jsonl").string()) + " -o /dev/null").status,
            0);
  EXPECT_TRUE(S_ISCHR(stat_of("/dev/null").st_mode));
}

// As another user, in a directory of that user's: the mode of an existing file is kept.
TEST(Trust, AnUnprivilegedUserKeepsModesToo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  TempRepo dir;
  ::chmod(dir.path().c_str(), 0777);
  dir.write("README.md", "# x\n");
  dir.write("report.txt", "old\n");
  ::chown((dir / "report.txt").c_str(), 65534, 65534);
  ::chmod((dir / "report.txt").c_str(), 0600);
  auto r = run_cli("assess " + shell_quote(dir.path().string()) + " --offline -o " +
                       shell_quote((dir / "report.txt").string()),
                   "setpriv --reuid=65534 --regid=65534 --clear-groups");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(stat_of(dir / "report.txt").st_mode & 07777, 0600u);
  EXPECT_NE(read_file(dir / "report.txt").find("Assessment Results"), std::string::npos);
}

// A full disk on standard output is an error, for every command that writes there.
TEST(Trust, AFailedWriteToStandardOutputIsAnError) {
  TempRepo repo;
  repo.write("README.md", "# x\n");
  TempRepo dir;
  dir.write("r.jsonl", "");
  dir.write("list.txt", repo.path().string() + "\n");
  testing::ForgeServer server([](const httplib::Request& req, httplib::Response& res) {
    res.set_content("[{\"clone_url\": \"http://" + req.get_header_value("Host") + "/lab/x.git\"}]",
                    "application/json");
  });
  std::string r = shell_quote(repo.path().string());
  struct {
    std::string args;
    const char* message;
  } cases[] = {
      {"assess " + r + " --offline", "cannot write to standard output"},
      {"assess " + r + " --offline -f json", "cannot write to standard output"},
      {"assess " + r + " --offline -f markdown", "cannot write to standard output"},
      {"summary " + shell_quote((dir / "r.jsonl").string()), "cannot write to standard output"},
      {"summary " + shell_quote((dir / "r.jsonl").string()) + " -f csv",
       "cannot write to standard output"},
      {"indicators", "cannot write to standard output"},
      {"plugins", "cannot write to standard output"},
      {"--help", "cannot write to standard output"},
      {"assess --help", "cannot write to standard output"},
      {"repos " + shell_quote(server.base() + "/lab") + " --forge " + server.host() + "=github",
       "cannot write to standard output"},
      {"batch " + shell_quote((dir / "list.txt").string()) + " --offline",
       "cannot write the batch output (standard output): No space left on device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    std::string err = (dir / "err").string();
    int status = sh(bin() + " " + c.args + " > /dev/full 2> " + shell_quote(err));
    EXPECT_EQ(status, 2);
    std::string said = read_file(err);
    EXPECT_NE(said.find(c.message), std::string::npos) << said;
    // One line, naming the output once.
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
}

TEST(Trust, ABatchNeverOverwritesResultsUnasked) {
  TempRepo dir;
  dir.write("list.txt", "/nonexistent/a\n");
  std::string out = (dir / "out.jsonl").string();
  std::string batch =
      "batch " + shell_quote((dir / "list.txt").string()) + " -o " + shell_quote(out);
  dir.write("out.jsonl", "my notes, not yours\n");
  auto refused = run_cli(batch);
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("--resume continues it, --overwrite replaces it"), std::string::npos)
      << refused.err;
  EXPECT_EQ(read_file(out), "my notes, not yours\n");
  auto replaced = run_cli(batch + " --overwrite");
  EXPECT_EQ(replaced.status, 1) << replaced.err;  // the one input does not exist
  EXPECT_NE(read_file(out).find("/nonexistent/a"), std::string::npos);
  dir.write("out.jsonl", "");  // an empty file holds nothing to lose
  EXPECT_EQ(run_cli(batch).status, 1);
  EXPECT_EQ(run_cli(batch + " --resume --overwrite").status, 2);
}

bool process_named(const std::string& marker) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    try {
      if (read_file(entry.path() / "cmdline").find(marker) != std::string::npos) return true;
    } catch (const std::exception&) {
    }
  }
  return false;
}

// Ctrl-C, SIGTERM (once or twice) during a batch of clones: every clone directory goes
// and no git process stays; a run killed outright leaves its directories to the next run.
TEST(Trust, InterruptedBatchesLeaveNothing) {
  testing::SilentPort silent;
  for (const char* signals : {"INT", "TERM", "INT INT"}) {
    SCOPED_TRACE(signals);
    TempRepo dir;
    TempRepo tmp;
    std::string marker = silent.base() + "/" + std::to_string(::getpid()) + "-" + signals[0];
    std::string list;
    for (int i = 0; i < 4; ++i) list += marker + "/r" + std::to_string(i) + ".git\n";
    dir.write("list.txt", list);
    std::string kills;
    for (std::string_view s = signals; !s.empty();) {
      auto space = s.find(' ');
      kills += "kill -" + std::string(s.substr(0, space)) + " $pid; sleep 0.05; ";
      s.remove_prefix(space == std::string_view::npos ? s.size() : space + 1);
    }
    std::string script = "TMPDIR=" + shell_quote(tmp.path().string()) + " " + bin() + " batch " +
                         shell_quote((dir / "list.txt").string()) + " -j 2 >/dev/null 2>" +
                         shell_quote((dir / "err").string()) +
                         " & pid=$!; for i in $(seq 200); do [ $(ls -A " +
                         shell_quote(tmp.path().string()) +
                         " | wc -l) -ge 2 ] && break; sleep 0.05; done; sleep 0.2; " + kills +
                         "wait $pid; echo $? > " + shell_quote((dir / "status").string());
    ASSERT_EQ(sh(script), 0);
    std::string status = read_file(dir / "status");
    EXPECT_TRUE(status == "130\n" || status == "143\n") << status;
    std::string err = read_file(dir / "err");
    // A clone stopped by the user is no failure of the repository.
    if (!err.empty()) {
      EXPECT_NE(err.find(", 0 failed, "), std::string::npos) << err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
    EXPECT_FALSE(process_named(marker));
  }
}

TEST(Trust, AKilledRunLeavesItsClonesToTheNextRun) {
  testing::SilentPort silent;
  TempRepo tmp;
  TempRepo dir;
  std::string marker = silent.base() + "/killed-" + std::to_string(::getpid());
  std::string script = "TMPDIR=" + shell_quote(tmp.path().string()) + " " + bin() + " assess " +
                       shell_quote(marker + "/r.git") +
                       " >/dev/null 2>&1 & pid=$!; for i in $(seq " + "200); do [ -n \"$(ls -A " +
                       shell_quote(tmp.path().string()) +
                       ")\" ] && break; sleep 0.05; done; sleep 0.2; kill -KILL $pid; wait $pid";
  sh(script);
  EXPECT_FALSE(std::filesystem::is_empty(tmp.path()));  // nobody could clean up
  // The program's own child dies with it; its children lose their parent and end.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(process_named(marker));
  dir.write("README.md", "# x\n");
  auto next = run_cli("assess " + shell_quote(dir.path().string()) + " --offline",
                      "TMPDIR=" + shell_quote(tmp.path().string()));
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
}

TEST(Trust, ASummaryOfATornFileAndOfNothing) {
  TempRepo dir;
  std::string line =
      R"({"input": "a", "schema": "ostrameld-assessment/1", "software": {"name": "a"}, )"
      R"("overall_score": 5.0, "compliance_level": null, "indicators": []})";
  dir.write("torn.jsonl", line + "\n" + line.substr(0, 30));
  auto torn = run_cli("summary " + shell_quote((dir / "torn.jsonl").string()));
  EXPECT_EQ(torn.status, 0) << torn.err;
  EXPECT_NE(torn.err.find("torn.jsonl:2: skipped a torn last line"), std::string::npos) << torn.err;
  EXPECT_NE(torn.out.find("# FAIR assessment of 1 repositories"), std::string::npos);
  dir.write("middle.jsonl", line.substr(0, 30) + "\n" + line + "\n");
  EXPECT_EQ(run_cli("summary " + shell_quote((dir / "middle.jsonl").string())).status, 2);
  dir.write("empty.jsonl", "");
  auto empty = run_cli("summary " + shell_quote((dir / "empty.jsonl").string()));
  EXPECT_EQ(empty.status, 0);
  EXPECT_NE(empty.out.find("None: the results hold no repositories."), std::string::npos);
  EXPECT_EQ(empty.out.find("every indicator passed"), std::string::npos);
}

TEST(Trust, ASubdirectoryIsAssessedWithANoteNamingTheRoot) {
  TempRepo repo;
  git_history(repo, 2);
  repo.write("src/main.py", "");
  auto r = run_cli("assess " + shell_quote((repo / "src").string()) + " --offline -f json");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("is a directory inside the repository at " + repo.path().string()),
            std::string::npos)
      << r.err;
  auto root = run_cli("assess " + shell_quote(repo.path().string()) + " --offline -f json");
  EXPECT_EQ(root.err, "");
}

}  // namespace
}  // namespace ostrameld
