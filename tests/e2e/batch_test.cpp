// The batch command as a program: kills, resumes, stdin lists and exit statuses.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "support/forge_server.h"
#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::read_file;
using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

// Complete lines of a file that may end in a torn one.
std::size_t inputs_in_prefix(const std::string& jsonl) {
  return static_cast<std::size_t>(std::count(jsonl.begin(), jsonl.end(), '\n'));
}

// Every line must be complete JSON; returns the inputs in order.
std::vector<std::string> inputs_in(const std::string& jsonl) {
  std::vector<std::string> out;
  std::istringstream in(jsonl);
  std::string line;
  while (std::getline(in, line)) out.push_back(nlohmann::json::parse(line)["input"]);
  return out;
}

TEST(BatchCli, MixedInputsFromStdinAndExitStatus) {
  TempRepo repos;
  repos.write("ok/LICENSE", "MIT License\n");
  std::string list =
      "# repositories\n" + (repos / "ok").string() + "\n" + (repos / "gone").string() + "\n";
  repos.write("list.txt", list);
  auto r = run_cli("batch - -j 2 --offline", "", OSTRAMELD_BIN, (repos / "list.txt").string());
  EXPECT_EQ(r.status, 1) << r.err;
  auto inputs = inputs_in(r.out);
  EXPECT_EQ(std::set<std::string>(inputs.begin(), inputs.end()),
            (std::set<std::string>{(repos / "ok").string(), (repos / "gone").string()}));
  EXPECT_NE(r.err.find("1 failed"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;  // only the summary
}

TEST(BatchCli, EmptyListAndBadUsage) {
  TempRepo dir;
  dir.write("empty.txt", "# nothing\n\n");
  auto empty = run_cli("batch " + shell_quote((dir / "empty.txt").string()));
  EXPECT_EQ(empty.status, 2) << empty.err;
  EXPECT_EQ(empty.out, "");
  EXPECT_NE(empty.err.find("names no repository"), std::string::npos) << empty.err;
  for (const char* args : {"batch --shard 2/2", "batch --shard x", "batch -j 0", "batch --resume",
                           "batch /no/such/list"}) {
    auto r = run_cli(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
  }
}

TEST(BatchCli, ResumeAfterAKillLosesNothingAndDoublesNothing) {
  TempRepo dir;
  dir.write("repo/LICENSE", "MIT License\n");
  dir.write("repo/README.md", std::string(300, 'x'));
  // 10,000 distinct inputs: one in ten a link to a real repository, the rest missing.
  std::string list;
  std::vector<std::string> all;
  dir.mkdir("links");
  for (int i = 0; i < 10000; ++i) {
    std::string p = i % 10 == 0 ? (dir / ("links/r" + std::to_string(i))).string()
                                : (dir / ("missing/m" + std::to_string(i))).string();
    if (i % 10 == 0) dir.symlink((dir / "repo").string(), "links/r" + std::to_string(i));
    all.push_back(p);
    list += p + "\n";
  }
  dir.write("list.txt", list);
  std::string out = (dir / "out.jsonl").string();
  std::string cmd_args = "batch " + shell_quote((dir / "list.txt").string()) +
                         " -j 2 --offline -o " + shell_quote(out);

  // Start, kill at a random moment, resume until done.
  std::mt19937 rng(std::random_device{}());
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::string full =
        std::string("exec ") + shell_quote(OSTRAMELD_BIN) + " " + cmd_args + " 2>/dev/null";
    execl("/bin/sh", "sh", "-c", full.c_str(), nullptr);
    _exit(127);
  }
  // Kill once a random number of lines is out, so that the kill lands mid-run.
  const long target = std::uniform_int_distribution<long>(50, 3000)(rng);
  int status = 0;
  bool exited = false;
  for (int waited = 0; waited < 20000 && !exited; waited += 2) {
    std::ifstream f(out);
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (std::count(text.begin(), text.end(), '\n') >= target) break;
    exited = waitpid(pid, &status, WNOHANG) == pid;
    usleep(2000);
  }
  if (!exited) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  long before = static_cast<long>(inputs_in_prefix(read_file(out)));
  EXPECT_GE(before, target);
  EXPECT_LT(before, 10000);  // the kill came before the end

  auto resumed = run_cli(cmd_args + " --resume");
  EXPECT_EQ(resumed.status, 1) << resumed.err;  // the missing paths are failures
  auto inputs = inputs_in(read_file(out));
  EXPECT_EQ(inputs.size(), all.size());
  EXPECT_EQ(std::set<std::string>(inputs.begin(), inputs.end()),
            std::set<std::string>(all.begin(), all.end()));
  EXPECT_EQ(read_file(out).back(), '\n');
}

}  // namespace
}  // namespace ostrameld

namespace ostrameld {
namespace {

// Ctrl-C: the repository in flight is abandoned, the summary line still comes, and the
// program ends at once with status 130.
TEST(BatchCli, CtrlCPrintsTheSummaryAndExitsPromptly) {
  testing::SilentPort silent;
  TempRepo dir;
  TempRepo tmp;
  dir.write("list.txt", silent.base() + "/a.git\n" + silent.base() + "/b.git\n");
  // Ctrl-C once the first clone is under way (its directory exists), as a user would.
  std::string script =
      "TMPDIR=" + shell_quote(tmp.path().string()) + " " + shell_quote(OSTRAMELD_BIN) + " batch " +
      shell_quote((dir / "list.txt").string()) + " -j 1 2> " +
      shell_quote((dir / "err.txt").string()) + " & pid=$!; for i in $(seq 200); do " +
      "[ -n \"$(ls -A " + shell_quote(tmp.path().string()) + ")\" ] && break; sleep 0.05; done; " +
      "date +%s%N > " + shell_quote((dir / "sent.txt").string()) + "; kill -INT $pid; wait $pid; " +
      "echo $? > " + shell_quote((dir / "status.txt").string()) + "; date +%s%N > " +
      shell_quote((dir / "ended.txt").string());
  ASSERT_EQ(std::system(("bash -c " + shell_quote(script)).c_str()), 0);
  std::string err = testing::read_file(dir / "err.txt");
  EXPECT_EQ(testing::read_file(dir / "status.txt"), "130\n") << err;
  double seconds = (std::stod(testing::read_file(dir / "ended.txt")) -
                    std::stod(testing::read_file(dir / "sent.txt"))) /
                   1e9;
  EXPECT_LT(seconds, 1.2);
  EXPECT_NE(err.find("batch: "), std::string::npos) << err;
  EXPECT_NE(err.find("; interrupted"), std::string::npos) << err;
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
}

}  // namespace
}  // namespace ostrameld
