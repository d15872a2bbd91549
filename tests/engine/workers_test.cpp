// The second wall: a task that hangs, grows without bound or crashes costs that task
// alone, and a watchdog ends work that overran whatever it was doing.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

#include "ostrameld/engine/output.h"
#include "ostrameld/engine/watchdog.h"
#include "ostrameld/engine/workers.h"
#include "ostrameld/utils/tempdir.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using Clock = std::chrono::steady_clock;
using testing::TempRepo;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Points TMPDIR somewhere the test can look into for what was left behind.
struct TmpDirFor {
  explicit TmpDirFor(const Path& dir) {
    const char* old = std::getenv("TMPDIR");
    if (old) saved = old;
    had = old != nullptr;
    ::setenv("TMPDIR", dir.c_str(), 1);
  }
  ~TmpDirFor() {
    if (had) {
      ::setenv("TMPDIR", saved.c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }
  std::string saved;
  bool had = false;
};

std::size_t entries(const Path& dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

TEST(Workers, EachTaskEndsAloneWhateverItDoes) {
  enum Kind { kFine, kHang, kGrow, kCrash, kThrow };
  struct Case {
    Kind kind;
    TaskEnd end;
    int signal;
    const char* payload;
  };
  std::vector<Case> cases = {
      {kFine, TaskEnd::Done, 0, "fine"},     {kHang, TaskEnd::TimedOut, 0, ""},
      {kFine, TaskEnd::Done, 0, "fine"},     {kCrash, TaskEnd::Crashed, SIGSEGV, ""},
      {kFine, TaskEnd::Done, 0, "fine"},     {kThrow, TaskEnd::Crashed, 0, "broken"},
      {kFine, TaskEnd::Done, 0, "fine"},
  };
  if (!kSanitized) cases.push_back({kGrow, TaskEnd::OutOfMemory, 0, ""});
  cases.push_back({kFine, TaskEnd::Done, 0, "fine"});

  TempRepo scratch;
  TmpDirFor tmp(scratch.path());
  std::map<std::size_t, TaskOutcome> seen;
  std::atomic<bool> stop{false};
  auto started = Clock::now();
  run_in_workers(
      cases.size(), 2, {.task_seconds = 0.3, .max_memory = std::uintmax_t{256} << 20},
      [&](std::size_t i) -> std::string {
        switch (cases[i].kind) {
          case kHang:
            std::this_thread::sleep_for(std::chrono::seconds(60));
            return "late";
          case kGrow: {
            std::vector<std::vector<char>> held;
            for (;;) held.emplace_back(std::size_t{16} << 20, 'x');
          }
          case kCrash:
            ::raise(SIGSEGV);
            return "survived";
          case kThrow:
            throw std::runtime_error("broken");
          case kFine:
            break;
        }
        // Each worker has a private TMPDIR inside the caller's.
        const char* own = std::getenv("TMPDIR");
        return own && Path(own).parent_path() == scratch.path() ? "fine" : "shared TMPDIR";
      },
      [&](std::size_t i, TaskOutcome outcome) { seen[i] = std::move(outcome); }, stop);
  double seconds = std::chrono::duration<double>(Clock::now() - started).count();

  ASSERT_EQ(seen.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(seen[i].end, cases[i].end);
    EXPECT_EQ(seen[i].signal, cases[i].signal);
    EXPECT_EQ(seen[i].payload, cases[i].payload);
  }
  // The hanging task was killed a second past its time, not waited for.
  EXPECT_LT(seconds, 10.0);
  // Every worker's directory went with it.
  EXPECT_EQ(entries(scratch.path()), 0u);
}

TEST(Workers, AStopEndsEveryWorkerAndReportsNothingMore) {
  TempRepo scratch;
  TmpDirFor tmp(scratch.path());
  std::atomic<bool> stop{false};
  std::size_t reported = 0;
  auto started = Clock::now();
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop = true;
  });
  run_in_workers(
      4, 2, {},
      [](std::size_t) -> std::string {
        std::this_thread::sleep_for(std::chrono::seconds(60));
        return "late";
      },
      [&](std::size_t, TaskOutcome) { ++reported; }, stop);
  stopper.join();
  EXPECT_EQ(reported, 0u);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - started).count(), 5.0);
  EXPECT_EQ(entries(scratch.path()), 0u);
}

// A watchdog past its time ends the process with one line, and leaves neither its
// temporary directories nor an output file's unfinished replacement behind.
TEST(Watchdog, AnOverrunEndsTheProcessCleanly) {
  TempRepo scratch;
  Path work = scratch / "tmp";
  std::filesystem::create_directory(work);
  int err[2];
  ASSERT_EQ(::pipe(err), 0);
  auto started = Clock::now();
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(err[1], STDERR_FILENO);
    ::setenv("TMPDIR", work.c_str(), 1);
    TempDir dir("test");
    OutputFile out(scratch / "report.json");
    Watchdog watchdog(0.2);
    std::this_thread::sleep_for(std::chrono::seconds(30));
    ::_exit(0);
  }
  ::close(err[1]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  std::string message(256, '\0');
  ssize_t n = ::read(err[0], message.data(), message.size());
  ::close(err[0]);
  message.resize(n > 0 ? static_cast<std::size_t>(n) : 0);

  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(message, "ostrameld: error: timed out after 0.2 s\n");
  EXPECT_GT(seconds, 1.0);  // a second of grace for the orderly stop
  EXPECT_LT(seconds, 5.0);
  EXPECT_EQ(entries(work), 0u);
  EXPECT_EQ(entries(scratch.path()), 1u);  // tmp/ alone: no half-written report
}

TEST(Watchdog, StandsDownWhenTheWorkEndsInTime) {
  auto started = Clock::now();
  { Watchdog watchdog(30); }
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - started).count(), 1.0);
}

}  // namespace
}  // namespace ostrameld
