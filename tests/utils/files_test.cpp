#include "ostrameld/utils/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::TempRepo;

TEST(FileTests, FollowLinksAndAnswerNoForAbsentEntries) {
  TempRepo repo;
  TempRepo outside;
  outside.write("secret", "s");
  outside.mkdir("tree");
  outside.write("tree/page.md", "p");
  repo.symlink((outside / "secret").string(), "out-file");
  repo.symlink((outside / "tree").string(), "out-dir");
  repo.symlink("../" + outside.path().filename().string() + "/secret", "out-relative");
  repo.symlink((repo / "file").string(), "absolute-inside");
  repo.mkdir("sub");
  repo.symlink("../dir", "sub/up-inside");
  repo.write("file", "x");
  repo.mkdir("dir");
  repo.symlink("file", "link-to-file");
  repo.symlink("dir", "link-to-dir");
  repo.symlink("missing", "dangling");
  repo.symlink("loop-b", "loop-a");
  repo.symlink("loop-a", "loop-b");
  repo.fifo("pipe");

  struct {
    const char* rel;
    bool exists, dir, file;
  } cases[] = {
      {"file", true, false, true},
      {"dir", true, true, false},
      {"link-to-file", true, false, true},
      {"link-to-dir", true, true, false},
      {"dangling", false, false, false},
      {"loop-a", false, false, false},
      {"pipe", true, false, false},
      {"absent", false, false, false},
      {"file/below", false, false, false},  // a file as a directory component
      // Links out of the repository lead nowhere; links within it are followed.
      {"out-file", false, false, false},
      {"out-dir", false, false, false},
      {"out-dir/page.md", false, false, false},
      {"out-relative", false, false, false},
      {"absolute-inside", true, false, true},
      {"sub/up-inside", true, true, false},
      {"link-to-dir/../file", true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rel);
    EXPECT_EQ(path_exists(repo / c.rel, repo.path()), c.exists);
    EXPECT_EQ(is_dir(repo / c.rel, repo.path()), c.dir);
    EXPECT_EQ(is_file(repo / c.rel, repo.path()), c.file);
    // Paths a user names are followed anywhere.
    if (std::string_view(c.rel).substr(0, 3) == "out") {
      EXPECT_TRUE(path_exists(repo / c.rel, kAnywhere));
    }
  }
  EXPECT_FALSE(path_exists(repo / std::string(5000, 'n'), repo.path()));  // name too long
  EXPECT_THROW(list_directory(repo / "out-dir", repo.path()), OsError);
  std::size_t walked = 0;
  walk_tree(repo / "out-dir", repo.path(), [&](const WalkEntry&) {
    ++walked;
    return WalkAction::Continue;
  });
  EXPECT_EQ(walked, 0u);
}

TEST(Names, SuffixAndStemFollowTheDotRules) {
  struct {
    const char* name;
    const char* suffix;
    const char* stem;
  } cases[] = {
      {"MIT.txt", ".txt", "MIT"}, {"Apache-2.0", ".0", "Apache-2"}, {".yml", "", ".yml"},
      {"LICENSE", "", "LICENSE"}, {"a.tar.gz", ".gz", "a.tar"},     {"trailing.", "", "trailing."},
      {"..", "", ".."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(file_suffix(c.name), c.suffix) << c.name;
    EXPECT_EQ(file_stem(c.name), c.stem) << c.name;
  }
}

TEST(Names, ShellPatternsAreCaseSensitiveAndMatchHiddenNames) {
  EXPECT_TRUE(shell_match("test_*.py", "test_a.py"));
  EXPECT_TRUE(shell_match("*.md", ".md"));
  EXPECT_TRUE(shell_match("*Test.java", "FooTest.java"));
  EXPECT_FALSE(shell_match("*Test.java", "Footest.java"));
  EXPECT_FALSE(shell_match("test_*.py", "sub/test_a.py"));
}

std::vector<std::string> walk_all(const Path& root, const std::vector<std::string>& prune = {}) {
  std::vector<std::string> seen;
  walk_tree(root, root, [&](const WalkEntry& e) {
    seen.emplace_back(e.rel);
    for (const auto& p : prune)
      if (e.name == p) return WalkAction::Prune;
    return WalkAction::Continue;
  });
  return seen;
}

TEST(Walk, EntersDirectoriesRightAfterThemAndNeverThroughLinks) {
  TempRepo repo;
  repo.write("a/one.txt", "1");
  repo.write("a/b/two.txt", "2");
  repo.symlink("..", "a/up");  // would loop if followed
  repo.symlink("a", "alias");  // a linked directory is listed but not entered
  auto seen = walk_all(repo.path());
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen,
            (std::vector<std::string>{"a", "a/b", "a/b/two.txt", "a/one.txt", "a/up", "alias"}));

  // Pre-order: every entry's parent directory was visited before it.
  auto order = walk_all(repo.path());
  for (std::size_t i = 0; i < order.size(); ++i) {
    auto slash = order[i].rfind('/');
    if (slash == std::string::npos) continue;
    auto parent = order[i].substr(0, slash);
    auto it = std::find(order.begin(), order.end(), parent);
    ASSERT_NE(it, order.end());
    EXPECT_LT(it - order.begin(), static_cast<long>(i));
  }
}

TEST(Walk, PrunedDirectoriesAreNotEntered) {
  TempRepo repo;
  repo.write("node_modules/x/y.js", "");
  repo.write("src/main.c", "");
  auto seen = walk_all(repo.path(), {"node_modules"});
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"node_modules", "src", "src/main.c"}));
}

TEST(Walk, StopEndsTheWalk) {
  TempRepo repo;
  for (int i = 0; i < 10; ++i) repo.write("f" + std::to_string(i), "");
  int visits = 0;
  walk_tree(repo.path(), repo.path(), [&](const WalkEntry&) {
    return ++visits == 3 ? WalkAction::Stop : WalkAction::Continue;
  });
  EXPECT_EQ(visits, 3);
}

TEST(Walk, DeepChainsEndWithoutExhaustingDescriptors) {
  TempRepo repo;
  repo.deep_chain("d", 3000);  // the full path exceeds PATH_MAX
  std::size_t count = 0;
  walk_tree(repo.path(), repo.path(), [&](const WalkEntry&) {
    ++count;
    return WalkAction::Continue;
  });
  EXPECT_GT(count, 1000u);
  EXPECT_LT(count, 3001u);
}

TEST(ReadText, ModesAndNewlines) {
  TempRepo repo;
  auto f = repo.write("f.txt", "caf\xC3\xA9\r\n\xFFok");
  EXPECT_EQ(read_text(f, ReadMode::Replace, repo.path()), "caf\xC3\xA9\n\xEF\xBF\xBDok");
  EXPECT_EQ(read_text(f, ReadMode::Drop, repo.path()), "caf\xC3\xA9\nok");
  EXPECT_THROW(read_text(f, ReadMode::Strict, repo.path()), DecodeError);
  EXPECT_EQ(read_text_prefix(f, ReadMode::Drop, 4, repo.path()), "caf\xC3\xA9");
}

TEST(ReadText, UnreadableEntriesRaiseOsErrorsWithoutBlocking) {
  TempRepo repo;
  repo.mkdir("dir");
  repo.fifo("pipe");
  repo.write("outside-target", "secret");
  TempRepo other;
  auto secret = other.write("secret.txt", "top secret");
  repo.symlink(secret.string(), "escape");
  repo.symlink("/dev/zero", "zero");

  struct {
    const char* rel;
    const char* message_part;
  } cases[] = {
      {"dir", "[Errno 21] Is a directory: '"},
      {"pipe", "Not a regular file"},
      {"zero", "Not a regular file"},
      {"escape", "outside the repository"},
      {"absent", "[Errno 2] No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rel);
    try {
      read_text(repo / c.rel, ReadMode::Replace, repo.path());
      ADD_FAILURE() << "read succeeded";
    } catch (const OsError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find("top secret"), std::string::npos);
    }
  }
  // A link that stays inside the repository is fine.
  repo.symlink("outside-target", "inside-link");
  EXPECT_EQ(read_text(repo / "inside-link", ReadMode::Strict, repo.path()), "secret");
}

// "repo-evil" starts with "repo" but is another directory: confinement compares whole
// path components, not text prefixes.
TEST(ReadText, ASiblingWhoseNameExtendsTheRootIsOutside) {
  TempRepo base;
  base.mkdir("repo");
  base.write("repo-evil/secret.txt", "top secret");
  base.symlink((base / "repo-evil/secret.txt").string(), "repo/LICENSE");
  base.symlink("../repo-evil/secret.txt", "repo/relative");
  for (const char* rel : {"repo/LICENSE", "repo/relative"}) {
    SCOPED_TRACE(rel);
    try {
      read_text(base / rel, ReadMode::Replace, base / "repo");
      ADD_FAILURE() << "read a file of the sibling";
    } catch (const OsError& e) {
      EXPECT_NE(std::string(e.what()).find("outside the repository"), std::string::npos);
    }
  }
}

TEST(ReadText, RefusesFilesOverTheSizeLimitButPrefixesReadOnlyTheStart) {
  TempRepo repo;
  auto big = repo / "big.md";
  repo.sh("truncate -s 20M big.md && printf 'SPDX' | dd of=big.md conv=notrunc 2>/dev/null");
  try {
    read_text(big, ReadMode::Replace, repo.path());
    ADD_FAILURE() << "a 20 MiB file was read whole";
  } catch (const OsError& e) {
    EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos);
  }
  EXPECT_EQ(read_text_prefix(big, ReadMode::Drop, 4, repo.path()), "SPDX");
}

TEST(FindFiles, ReturnsNamesInListOrder) {
  using namespace std::string_view_literals;
  TempRepo repo;
  repo.write("COPYING", "x");
  repo.mkdir("LICENSE.md");  // any kind of entry counts
  const std::string_view names[] = {"LICENSE"sv, "LICENSE.md"sv, "COPYING"sv};
  auto first = find_first(repo.path(), names);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->filename(), "LICENSE.md");
  auto all = find_files(repo.path(), names);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].filename(), "LICENSE.md");
  EXPECT_EQ(all[1].filename(), "COPYING");
}

}  // namespace
}  // namespace ostrameld
