// The object database read in process, compared with git's own answers: every object of
// loose, packed and deltified repositories, SHA-256, alternates; the commit count and the
// newest tag on every shape, whether read here or by git.
#include "ostrameld/git/objects.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>

#include "ostrameld/git/repository.h"
#include "support/git_repo.h"
#include "support/run_cli.h"

namespace ostrameld {
namespace {

using testing::git;
using testing::git_history;
using testing::shell_quote;
using testing::TempRepo;

std::string run(const std::string& command) { return testing::shell_output(command); }

// Every object git knows in the repository: id -> (type, content).
std::map<std::string, GitObject> all_objects(const TempRepo& repo) {
  std::string out = run("cd " + shell_quote(repo.path().string()) + " && git cat-file --batch-all-objects --batch");
  std::map<std::string, GitObject> objects;
  std::size_t at = 0;
  while (at < out.size()) {
    std::size_t nl = out.find('\n', at);
    std::string header = out.substr(at, nl - at);
    std::size_t s1 = header.find(' '), s2 = header.rfind(' ');
    std::size_t size = std::stoul(header.substr(s2 + 1));
    objects[header.substr(0, s1)] = {header.substr(s1 + 1, s2 - s1 - 1), out.substr(nl + 1, size)};
    at = nl + 1 + size + 1;
  }
  return objects;
}

// A history whose commits differ in one word of a long message, so that a repack stores
// most of them as deltas; a merge, an annotated tag, a tag of a tag, a tag of a tree.
void rich_history(TempRepo& repo, const std::string& init = "init -q") {
  git(repo, init);
  std::string message(3000, 'm');
  for (int i = 0; i < 12; ++i) {
    repo.write("f" + std::to_string(i % 3) + ".txt", "line " + std::to_string(i) + "\n" + message);
    // A large file changed a little each time: its deltas copy runs of 64 KiB, which the
    // delta format writes as a size of 0.
    if (i % 4 == 0) repo.write("big.txt", std::string(300000, 'b') + std::to_string(i));
    git(repo, "add -A");
    git(repo, "commit -q -m 'change " + std::to_string(i) + " " + message + "'", "2020-02-" + std::to_string(10 + i) + "T00:00:00Z");
  }
  git(repo, "checkout -q -b side HEAD~3");
  git(repo, "commit -q --allow-empty -m side", "2020-03-01T00:00:00Z");
  git(repo, "checkout -q main");
  git(repo, "merge -q --no-ff -m merge side", "2020-03-02T00:00:00Z");
  git(repo, "tag -a v1 -m one HEAD~2", "2020-03-03T00:00:00Z");
  git(repo, "tag -a v1-signed -m again v1", "2020-03-04T00:00:00Z");
  git(repo, "tag tree-tag HEAD^{tree}");
  git(repo, "tag v0 HEAD~5");
}

TEST(ObjectStore, ReadsEveryObjectAsGitDoes) {
  struct {
    const char* name;
    std::function<void(TempRepo&)> setup;
    bool sha256;
  } cases[] = {
      {"loose", [](TempRepo& r) { rich_history(r); }, false},
      {"packed", [](TempRepo& r) { rich_history(r); git(r, "gc -q"); }, false},
      {"deltas, aggressively", [](TempRepo& r) { rich_history(r); git(r, "repack -a -d -q -f --depth=50 --window=50"); }, false},
      {"SHA-256", [](TempRepo& r) { rich_history(r, "init -q --object-format=sha256"); git(r, "gc -q"); }, true},
      // Deltas that name their base by id, as packs from older git or some servers have.
      {"reference deltas",
       [](TempRepo& r) {
         rich_history(r);
         git(r, "-c repack.useDeltaBaseOffset=false repack -a -d -q -f --depth=50 --window=50");
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    c.setup(repo);
    auto expected = all_objects(repo);
    ASSERT_GT(expected.size(), 30u);
    ObjectStore store(repo / ".git" / "objects", c.sha256);
    for (const auto& [oid, object] : expected) {
      auto got = store.read(oid, 16u << 20);
      ASSERT_TRUE(got) << oid << " " << object.type;
      EXPECT_EQ(got->type, object.type) << oid;
      EXPECT_EQ(got->data, object.data) << oid;
    }
    std::string absent(c.sha256 ? 64 : 40, '0');
    EXPECT_FALSE(store.read(absent));
    EXPECT_FALSE(store.read("not an object id"));
    EXPECT_FALSE(store.read(expected.begin()->first.substr(1)));
  }
  // A clone sharing its source's objects reads them through the alternates file.
  TempRepo source, shared;
  rich_history(source);
  git(source, "gc -q");
  shared.sh("git clone -q --shared " + shell_quote(source.path().string()) + " .");
  ObjectStore store(shared / ".git" / "objects", false);
  for (const auto& [oid, object] : all_objects(source)) {
    auto got = store.read(oid, 16u << 20);
    ASSERT_TRUE(got) << oid;
    EXPECT_EQ(got->data, object.data);
  }
}

// read_git_info answers as git does, whether it read the objects itself or asked git.
TEST(ObjectStore, CommitCountAndNewestTagAgreeWithGit) {
  struct {
    const char* name;
    std::function<void(TempRepo&)> setup;
    const char* latest_tag;  // nullptr: as git's fetch left the tags, not compared
  } cases[] = {
      {"loose", [](TempRepo& r) { rich_history(r); }, "v1-signed"},
      {"packed with deltas", [](TempRepo& r) { rich_history(r); git(r, "repack -a -d -q -f --depth=50"); }, "v1-signed"},
      {"shallow", [](TempRepo& r) {
         TempRepo src;
         rich_history(src);
         r.sh("git clone -q --depth 3 --no-local file://" + src.path().string() + " .");
       }, nullptr},
      {"a shallow list in a full history: its commits' parents are not counted",
       [](TempRepo& r) { rich_history(r); r.sh("git rev-parse side~1 > .git/shallow"); }, "v1-signed"},
      // A commit larger than the reader reads is handed to git, never passed over.
      {"a commit too large to read here goes to git",
       [](TempRepo& r) {
         rich_history(r);
         r.write("huge-message", std::string(3 << 20, 'h'));
         git(r, "commit -q --allow-empty -F huge-message");
         git(r, "commit -q --allow-empty -m after");
       },
       "v1-signed"},
      {"grafts go to git", [](TempRepo& r) { rich_history(r); r.sh("git rev-parse HEAD~4 > .git/info/grafts"); }, "v1-signed"},
      {"replace references go to git", [](TempRepo& r) {
         rich_history(r);
         git(r, "replace HEAD~6 HEAD~8");
       }, "v1-signed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    c.setup(repo);
    GitInfo info = read_git_info(repo.path(), std::nullopt);
    std::string count = run("cd " + shell_quote(repo.path().string()) + " && git rev-list --count HEAD");
    EXPECT_EQ(std::to_string(info.commit_count) + "\n", count);
    if (c.latest_tag) {
      EXPECT_EQ(info.latest_tag, c.latest_tag);
    }
  }
}

TEST(ObjectStore, CommitAndTagFields) {
  EXPECT_EQ(commit_parents("tree t\nparent a\nparent b\nauthor x\n\nparent c\n"), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(commit_parents("tree t\nauthor x\n\nmessage").empty());
  EXPECT_EQ(tag_target("object abc\ntype commit\n"), "abc");
  EXPECT_FALSE(tag_target("type commit\nobject abc\n"));
}

}  // namespace
}  // namespace ostrameld
