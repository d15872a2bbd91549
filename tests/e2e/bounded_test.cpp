// A hostile repository costs seconds and megabytes, never hours and gigabytes: inputs of
// well under a few MB that once took minutes or gigabytes, each assessed with a timeout of
// 10 s, must end within 12 s and under 512 MiB of peak memory (the program and every
// process it starts), with a report of what could be read or one line and exit status 2.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>

#include "support/git_repo.h"
#include "support/run_cli.h"
#include "support/temp_repo.h"

extern char** environ;

namespace ostrameld {
namespace {

using testing::git;
using testing::git_history;
using testing::shell_quote;
using testing::TempRepo;

#if defined(__SANITIZE_ADDRESS__)
constexpr double kWallSeconds = 60.0;  // sanitizers slow everything down several times
constexpr long kPeakKiB = 4 << 20;     // and keep freed memory in quarantine
#else
constexpr double kWallSeconds = 12.0;
constexpr long kPeakKiB = 512 << 10;
#endif

const std::string kGenerator = std::string(OSTRAMELD_TEST_DATA) + "/../support/hostile_git.py";

struct Measured {
  int status = -1;
  double seconds = 0;
  long peak_kib = 0;  // the largest resident set of the program and what it started
  std::string out, err;
};

// Runs the program with its output in files, and reads its resource usage from wait4.
Measured run_measured(const std::string& args, const TempRepo& scratch) {
  std::string out = (scratch / "out").string(), err = (scratch / "err").string();
  std::string command = "exec " + shell_quote(OSTRAMELD_BIN) + " " + args + " >" +
                        shell_quote(out) + " 2>" + shell_quote(err) + " </dev/null";
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  Measured m;
  if (::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
    return m;
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  m.peak_kib = usage.ru_maxrss;
  m.out = testing::read_file(out);
  m.err = testing::read_file(err);
  return m;
}

void generate(const TempRepo& repo, const std::string& kind) {
  repo.sh("python3 " + shell_quote(kGenerator) + " . " + kind);
}

// 12 MB of citation file; checking it once compared every pair of keywords.
std::string million_keywords() {
  std::string cff = "cff-version: 1.2.0\nmessage: m\ntitle: t\nauthors:\n  - name: T\nkeywords:\n";
  for (int i = 0; i < 1000000; ++i) cff += "  - k" + std::to_string(i) + "\n";
  return cff;
}

TEST(Bounded, HostileInputsCostSecondsAndMegabytes) {
  struct {
    const char* name;
    std::function<void(TempRepo&)> build;
    const char* profile;
    const char* expect;  // in the report or the error line; nullptr: nothing particular
  } cases[] = {
      {"a 4,000-deep delta chain of 4 MiB objects named by 4,000 parents",
       [](TempRepo& r) {
         git(r, "init -q");
         generate(r, "delta-chain 4000 4000");
       },
       "fair4rs", nullptr},
      {"4,000 commits of 1 MiB, each the next delta of one chain, all parents of HEAD",
       [](TempRepo& r) {
         git(r, "init -q");
         generate(r, "commit-chain 4000");
       },
       "fair4rs", "objects are refused: reading them would inflate more than"},
      {"a commit made through 20 MiB of deltas",
       [](TempRepo& r) {
         git(r, "init -q");
         generate(r, "fat-deltas");
       },
       "fair4rs", "objects are refused: a delta chain holds more than 16 MiB"},
      {"reference deltas nested 8 deep claiming 4 GiB",
       [](TempRepo& r) {
         git(r, "init -q");
         generate(r, "ref-nest");
       },
       "fair4rs", "objects are refused: a delta declares"},
      {"60 sparse 64 MiB pack indexes declaring no objects",
       [](TempRepo& r) {
         git_history(r, 2);
         generate(r, "sparse-idx 60");
       },
       "fair4rs", nullptr},
      {"a 1 MiB anchored scalar aliased 4,000 times",
       [](TempRepo& r) {
         std::string cff = "cff-version: 1.2.0\ntitle: x\nmessage: m\nkeywords: &x \"" +
                           std::string(1 << 20, 'x') + "\"\nabstract: [*x";
         for (int i = 1; i < 4000; ++i) cff += ", *x";
         r.write("CITATION.cff", cff + "]\n");
       },
       "fair4rs-full", "aliases expand to more than 16 MiB"},
      {"a million keywords", [](TempRepo& r) { r.write("CITATION.cff", million_keywords()); },
       "fair4rs", "CITATION.cff"},
      {"requirements files of 1 MiB including each other",
       [](TempRepo& r) {
         std::string root, each;
         for (int i = 0; i < 45000; ++i) root += "-r requirements/a" + std::to_string(i) + ".txt\n";
         for (int i = 0; i < 90000; ++i) each += "-r a" + std::to_string(i) + ".txt\n";
         r.write("requirements.txt", root);
         for (int i = 0; i < 30; ++i) r.write("requirements/a" + std::to_string(i) + ".txt", each);
       },
       "fair4rs-full", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo, scratch;
    c.build(repo);
    auto m = run_measured("assess " + shell_quote(repo.path().string()) +
                              " --offline --timeout 10 -f json --profile " + c.profile,
                          scratch);
    EXPECT_LT(m.seconds, kWallSeconds);
    EXPECT_LT(m.peak_kib, kPeakKiB);
    ASSERT_TRUE(m.status == 0 || m.status == 2) << m.status << " " << m.err;
    if (m.status == 2) {
      EXPECT_EQ(std::count(m.err.begin(), m.err.end(), '\n'), 1) << m.err;
    } else {
      EXPECT_TRUE(nlohmann::json::accept(m.out)) << m.out;
    }
    if (c.expect) {
      EXPECT_NE((m.out + m.err).find(c.expect), std::string::npos) << m.out << m.err;
    }
  }
}

#if !defined(__SANITIZE_ADDRESS__)  // the sanitizers reserve terabytes of address space
// What nobody foresaw is held by the memory limit: one line, status 2, nothing else.
TEST(Bounded, TheMemoryLimitIsAWall) {
  TempRepo repo, scratch;
  repo.write("CITATION.cff", million_keywords());
  auto m = run_measured("assess " + shell_quote(repo.path().string()) +
                            " --offline -f json --max-memory 64M",
                        scratch);
  EXPECT_EQ(m.status, 2) << m.err;
  EXPECT_EQ(m.err, "ostrameld: error: the assessment needed more memory than --max-memory 64M allows\n");
  EXPECT_EQ(m.out, "");
}

// A batch over a hundred repositories, some of them hostile: each ends on its own within
// the timeout or the memory limit, with its one line, and the others are untouched.
TEST(Bounded, AHostileRepositoryCostsABatchOneLine) {
  TempRepo root, scratch;
  const std::vector<std::string> hostile = {"commit-chain 4000", "fat-deltas", "ref-nest",
                                            "sparse-idx 60", "delta-chain 4000 4000"};
  std::string list;
  for (std::size_t i = 0; i < hostile.size(); ++i) {
    std::string name = "hostile" + std::to_string(i);
    root.sh("mkdir " + name + " && cd " + name + " && git init -q && python3 " +
            shell_quote(kGenerator) + " . " + hostile[i]);
    list += (root / name).string() + "\n";
  }
  std::string alias = "cff-version: 1.2.0\ntitle: x\nmessage: m\nkeywords: &x \"" +
                      std::string(1 << 20, 'x') + "\"\nabstract: [*x";
  for (int i = 1; i < 4000; ++i) alias += ", *x";
  root.write("aliases/CITATION.cff", alias + "]\n");
  root.write("keywords/CITATION.cff", million_keywords());
  list += (root / "aliases").string() + "\n" + (root / "keywords").string() + "\n";
  const std::size_t kHostile = hostile.size() + 2;

  TempRepo normal;
  git_history(normal, 3);
  normal.write("LICENSE", "MIT License\n");
  std::set<std::string> normals;
  for (std::size_t i = 0; normals.size() + kHostile < 100; ++i)
    normals.insert((root / ("normal" + std::to_string(i))).string());
  std::string copies = "for d in";
  for (const auto& p : normals) copies += " " + shell_quote(p);
  root.sh(copies + "; do cp -r " + shell_quote(normal.path().string()) + " \"$d\"; done");
  for (const auto& p : normals) list += p + "\n";
  root.write("list.txt", list);

  auto m = run_measured("batch " + shell_quote((root / "list.txt").string()) +
                            " --offline --profile fair4rs-full --timeout 10 -j 2 --max-memory 64M",
                        scratch);
  EXPECT_EQ(m.status, 1) << m.err;  // some failed
  EXPECT_LT(m.seconds, kHostile * 12.0 / 2 + 30);
  std::istringstream lines(m.out);
  std::string line;
  std::set<std::string> seen;
  std::set<std::string> failed;
  std::optional<nlohmann::json> first;  // every copy of the normal repository scores alike
  while (std::getline(lines, line)) {
    auto doc = nlohmann::json::parse(line);
    std::string input = doc["input"];
    EXPECT_TRUE(seen.insert(input).second) << input;
    if (normals.count(input)) {
      EXPECT_TRUE(doc.contains("indicators")) << line;
      EXPECT_EQ(doc["errors"], nlohmann::json::array()) << line;
      nlohmann::json outputs = nlohmann::json::array();
      for (const auto& indicator : doc["indicators"]) outputs.push_back(indicator["output"]);
      if (!first) first = outputs;
      EXPECT_EQ(outputs, *first) << input;
    } else if (!doc.contains("indicators")) {
      failed.insert(input);
      std::string message = doc["errors"][0]["message"];
      EXPECT_TRUE(message == "the assessment needed more memory than --max-memory 64M allows" ||
                  message == "timed out after 10 s")
          << message;
    }
  }
  EXPECT_EQ(seen.size(), 100u);
  EXPECT_TRUE(failed.count((root / "keywords").string()));
}
#endif

}  // namespace
}  // namespace ostrameld
