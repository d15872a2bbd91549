#include "ostrameld/utils/process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace ostrameld {
namespace {

using Clock = std::chrono::steady_clock;

ProcessSpec shell(const std::string& script) {
  ProcessSpec spec;
  spec.program = "/bin/sh";
  spec.args = {"-c", script};
  spec.env = {"PATH=/usr/bin:/bin"};
  return spec;
}

// Gone, or a zombie waiting for whoever adopted it.
bool ended(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  auto close = line.rfind(')');
  return close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z';
}

bool ends_within(pid_t pid, std::chrono::milliseconds limit) {
  auto until = Clock::now() + limit;
  while (Clock::now() < until) {
    if (ended(pid)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ended(pid);
}

TEST(RunProcesses, WhatAChildLeavesBehindIsKilledWithIt) {
  auto r = run_processes({shell("sleep 30 >/dev/null 2>&1 & echo $!")}).front();
  EXPECT_EQ(r.exit_status, 0);
  pid_t grandchild = std::stoi(r.out);
  EXPECT_TRUE(ends_within(grandchild, std::chrono::milliseconds(2000))) << grandchild;
}

TEST(RunProcesses, TheDeadlineHoldsForAChildThatClosedItsOutput) {
  auto started = Clock::now();
  auto r = run_processes({shell("exec >/dev/null 2>&1; sleep 30")}, deadline_after(0.5)).front();
  EXPECT_TRUE(r.timed_out);
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(3));
}

TEST(RunProcesses, ExitStatusesAndSignalsPassThrough) {
  EXPECT_EQ(run_processes({shell("exit 3")}).front().exit_status, 3);
  EXPECT_EQ(run_processes({shell("kill -TERM $$")}).front().exit_status, 128 + SIGTERM);
  auto out = run_processes({shell("printf 'a\\0b'; printf err >&2")}).front();
  EXPECT_EQ(out.out, std::string("a\0b", 3));
  EXPECT_EQ(out.err_tail, "err");
  ProcessSpec missing = shell("");
  missing.program = "/nonexistent/program";
  EXPECT_THROW(run_processes({missing}), ProcessError);
}

TEST(RunProcesses, LimitsStopAChild) {
  ProcessSpec chatty = shell("yes");
  chatty.max_stdout = 1 << 20;
  EXPECT_THROW(run_processes({chatty}), ProcessError);
  ProcessSpec growing = shell("sleep 30");
  auto asked = Clock::now();
  growing.over_limit = [&] { return Clock::now() - asked > std::chrono::milliseconds(300); };
  auto r = run_processes({growing}).front();
  EXPECT_TRUE(r.stopped);
  EXPECT_FALSE(r.ok());
}

// The program dying in any way, SIGKILL included, ends what a supervised child started:
// a helper process stands in for the program here.
TEST(RunProcesses, ChildrenDieWithTheProgram) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t program = ::fork();
  if (program == 0) {
    ::close(ready[0]);
    std::thread([&] {
      ProcessSpec spec = shell("sleep 30 & echo $!; sleep 30");
      spec.supervised = true;
      spec.on_stdout = [&](std::string_view chunk) {
        (void)!::write(ready[1], chunk.data(), chunk.size());
      };
      run_processes({spec});
    }).join();
    ::_exit(0);
  }
  ::close(ready[1]);
  char buf[32] = {};
  ASSERT_GT(::read(ready[0], buf, sizeof buf - 1), 0);
  pid_t grandchild = std::atoi(buf);
  ::kill(program, SIGKILL);
  ::waitpid(program, nullptr, 0);
  EXPECT_TRUE(ends_within(grandchild, std::chrono::milliseconds(2000))) << grandchild;
  ::close(ready[0]);
}

}  // namespace
}  // namespace ostrameld
