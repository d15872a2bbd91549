#include "ostrameld/git/directory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "ostrameld/git/config.h"
#include "support/git_repo.h"
#include "support/run_cli.h"

namespace ostrameld {
namespace {

using testing::git;
using testing::git_history;
using testing::shell_quote;
using testing::TempRepo;

std::string run(const std::string& command) { return testing::shell_output(command); }

// What git itself lists for a file: "name\nvalue\0" records, "name\0" for a bare key.
std::string git_listing(const std::string& file) {
  return run("git config --file " + shell_quote(file) + " -z --list 2>/dev/null");
}

std::string our_listing(const std::string& text) {
  std::string out;
  for (const auto& e : parse_git_config(text, "f")) {
    out += e.name();
    if (e.value) out += "\n" + *e.value;
    out += '\0';
  }
  return out;
}

// The parser is checked against git on the forms configuration files take.
TEST(GitConfig, ReadsEveryFileAsGitDoes) {
  const char* files[] = {
      "[core]\n\tbare = false\n",
      "[remote \"origin\"]\n\turl = https://example.org/x.git\n\tfetch = +refs/*:refs/*\n",
      "[remote \"Or\\\"ig\\\\in\"]\nurl=a\n",
      "[Remote.ORIGIN]\n  URL = x\\\n  y   z  \t# comment\n",
      "[remote \"e\"]\nurl\n[remote \"f\"] url = inline ; comment\n",
      "[a]\nb = \"quoted ; not a comment\" # a comment\n",
      "[a]\nb = one\\ttab\\nline\\bback \"\\\"\" \\\\\n",
      "\xEF\xBB\xBF[a]\r\nb = crlf\r\n",
      "# only comments\n; and more\n",
      "[a]\n\tb = trailing   \n\tc =    \n\td\n",
      "[a \"sub section\"]\n\tkey-name = v\n[a.b.c]\nx = y\n",
      "[a]b=c",
      "key = before any section\n[a]\nb=1\n",
  };
  TempRepo dir;
  for (const char* text : files) {
    SCOPED_TRACE(text);
    auto file = dir.write("config", text);
    EXPECT_EQ(our_listing(text), git_listing(file.string()));
  }
}

TEST(GitConfig, RefusesWhatGitRefuses) {
  for (const char* text : {"[a]\nb = \"x\\q\"\n", "[a]\nb = x\n[\n", "[a]\nb = \"unclosed\n",
                           "[a b]\n", "[a \"x\"y]\n", "[a]\n1b = x\n", "[a]\nb : c\n"}) {
    SCOPED_TRACE(text);
    TempRepo dir;
    auto file = dir.write("config", text);
    EXPECT_THROW(parse_git_config(text, "f"), GitConfigError);
    EXPECT_NE(
        std::system(("git config --file " + shell_quote(file.string()) + " --list >/dev/null 2>&1")
                        .c_str()),
        0);
  }
}

TEST(GitConfig, BooleansAsGitSpellsThem) {
  EXPECT_EQ(git_config_bool(std::nullopt), true);
  for (const char* t : {"true", "Yes", "on", "1", "42"}) EXPECT_EQ(git_config_bool(t), true) << t;
  for (const char* f : {"false", "NO", "off", "0", ""}) EXPECT_EQ(git_config_bool(f), false) << f;
  EXPECT_EQ(git_config_bool("maybe"), std::nullopt);
}

TEST(RefNames, GitsRules) {
  for (const char* ok : {"refs/tags/v1.0.0", "refs/heads/feature/x", "refs/tags/v1@2", "HEAD"})
    EXPECT_TRUE(valid_ref_name(ok)) << ok;
  for (const char* bad :
       {"refs/tags/a..b", "refs/tags/.hidden", "refs/tags/x.lock", "refs/tags/a b", "refs/tags/a~1",
        "refs/tags/a^", "refs/tags/a:b", "refs/tags/a?", "refs/tags/a*", "refs/tags/a[",
        "refs/tags/a\\b", "refs/tags/a\x1b[31m", "refs/tags/x/", "refs/tags/x.", "refs//tags",
        "refs/tags/a@{1}", "@", ""})
    EXPECT_FALSE(valid_ref_name(bad)) << bad;
}

// Where git finds a repository, and what it reads there, compared with git's own answers.
TEST(GitDir, AgreesWithGitOnEveryShape) {
  struct Case {
    const char* name;
    std::function<void(TempRepo&)> setup;
    const char* subdir;
  };
  const Case cases[] = {
      {"plain", [](TempRepo& r) { git_history(r, 3); }, ""},
      {"a subdirectory",
       [](TempRepo& r) {
         git_history(r, 1);
         r.mkdir("a/b");
       },
       "a/b"},
      {"unborn", [](TempRepo& r) { git(r, "init -q"); }, ""},
      {"detached",
       [](TempRepo& r) {
         git_history(r, 2);
         git(r, "checkout -q --detach HEAD~1");
       },
       ""},
      {"packed tags and branches",
       [](TempRepo& r) {
         git_history(r, 3);
         git(r, "tag -a v1 -m v HEAD~1");
         git(r, "tag v2");
         git(r, "branch side HEAD~2");
         git(r, "pack-refs --all");
         git(r, "tag v3 HEAD~2");  // loose beside packed
       },
       ""},
      {"a loose ref overriding a packed one",
       [](TempRepo& r) {
         git_history(r, 2);
         git(r, "tag moved HEAD~1");
         git(r, "pack-refs --all");
         git(r, "tag -f moved HEAD");
       },
       ""},
      {"SHA-256",
       [](TempRepo& r) {
         git(r, "init -q --object-format=sha256");
         git(r, "commit -q --allow-empty -m a");
         git(r, "tag t");
       },
       ""},
      {"a linked work tree",
       [](TempRepo& r) {
         git_history(r, 2);
         git(r, "worktree add -q -b wt linked HEAD~1");
       },
       "linked"},
      // A bare repository whose work trees are all linked ones: git reads core.bare only
      // where there is no commondir, so each linked work tree is one.
      {"a linked work tree of a bare repository",
       [](TempRepo& r) {
         git_history(r, 2);
         git(r, "tag v0.1.0");
         git(r, "clone -q --bare . store.git");
         git(r, "-C store.git worktree add -q -b wt ../wt");
         git(r, "-C wt commit -q --allow-empty -m in-wt");
       },
       "wt"},
      {"a subdirectory of a bare repository's linked work tree",
       [](TempRepo& r) {
         git_history(r, 1);
         git(r, "clone -q --bare . store.git");
         git(r, "-C store.git worktree add -q -b wt ../wt");
         r.mkdir("wt/sub/dir");
       },
       "wt/sub/dir"},
      {"a bare repository's linked work tree with a relative gitdir and an absolute commondir",
       [](TempRepo& r) {
         git_history(r, 2);
         git(r, "clone -q --bare . store.git");
         git(r, "-C store.git worktree add -q -b wt ../wt");
         r.sh("printf 'gitdir: ../store.git/worktrees/wt\\n' > wt/.git");
         r.sh("printf '%s\\n' \"$PWD/store.git\" > store.git/worktrees/wt/commondir");
       },
       "wt"},
      {"a linked work tree with a relative gitdir",
       [](TempRepo& r) {
         git_history(r, 2);
         git(r, "worktree add -q -b wt linked HEAD~1");
         r.sh("printf 'gitdir: ../.git/worktrees/linked\\n' > linked/.git");
       },
       "linked"},
      {"a separate git directory",
       [](TempRepo& r) {
         r.mkdir("work");
         r.sh("cd work && git init -q --separate-git-dir ../store.git");
         git(r, "-C work commit -q --allow-empty -m a");
         git(r, "-C work tag t");
       },
       "work"},
      {"a symbolic HEAD to a symbolic ref",
       [](TempRepo& r) {
         git_history(r, 1);
         git(r, "symbolic-ref refs/heads/alias refs/heads/main");
         git(r, "symbolic-ref HEAD refs/heads/alias");
       },
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    c.setup(repo);
    Path at = repo / c.subdir;
    auto layout = find_work_tree(at);
    ASSERT_TRUE(layout);
    auto git_says = [&](const std::string& args) {
      std::string out = run("cd " + shell_quote(at.string()) + " && git " + args + " 2>/dev/null");
      while (!out.empty() && out.back() == '\n') out.pop_back();
      return out;
    };
    EXPECT_EQ(layout->work_tree.string(), git_says("rev-parse --show-toplevel"));
    EXPECT_EQ(layout->common_dir.lexically_normal().string(),
              Path(git_says("rev-parse --path-format=absolute --git-common-dir"))
                  .lexically_normal()
                  .string());
    RepositoryState state = read_repository_state(*layout);
    EXPECT_EQ(state.head_oid, git_says("rev-parse -q --verify HEAD"));
    std::string tags;
    for (const auto& t : state.tags) tags += t.oid + " " + t.name + "\n";
    std::string git_tags = git_says("for-each-ref --format='%(objectname) %(refname)' refs/tags");
    EXPECT_EQ(tags, git_tags.empty() ? "" : git_tags + "\n");
    std::string heads;
    for (const auto& h : state.heads) heads += h.name + "\n";
    std::string git_heads = git_says("for-each-ref --format='%(refname)' refs/heads");
    EXPECT_EQ(heads, git_heads.empty() ? "" : git_heads + "\n");
    if (state.branch_exists) {
      EXPECT_EQ(state.head_ref, git_says("symbolic-ref HEAD"));
    }
    EXPECT_EQ(state.bare ? "true" : "false", git_says("rev-parse --is-bare-repository"));
  }
}

TEST(GitDir, NoWorkTreeWhereGitSeesNone) {
  TempRepo bare;
  git(bare, "init -q --bare");
  EXPECT_FALSE(find_work_tree(bare.path()));
  EXPECT_TRUE(is_git_directory(bare.path()));
  TempRepo repo;
  git_history(repo, 1);
  EXPECT_FALSE(find_work_tree(repo / ".git"));
  EXPECT_FALSE(find_work_tree(repo / ".git" / "refs"));
  TempRepo plain;
  plain.mkdir("x");
  ::setenv("GIT_CEILING_DIRECTORIES", plain.path().parent_path().c_str(), 1);
  EXPECT_FALSE(find_work_tree(plain / "x"));
  ::unsetenv("GIT_CEILING_DIRECTORIES");
  // A ceiling between the path and its repository hides the repository, as for git.
  repo.mkdir("deep/er");
  ::setenv("GIT_CEILING_DIRECTORIES", (repo / "deep").c_str(), 1);
  EXPECT_FALSE(find_work_tree(repo / "deep" / "er"));
  EXPECT_TRUE(find_work_tree(repo / "deep"));
  ::unsetenv("GIT_CEILING_DIRECTORIES");
  // The ceiling directory itself is not searched from below it, even when it is the top of
  // a work tree.
  repo.mkdir("sub");
  ::setenv("GIT_CEILING_DIRECTORIES", repo.path().c_str(), 1);
  EXPECT_FALSE(find_work_tree(repo / "sub"));
  EXPECT_NE(std::system(("cd " + shell_quote((repo / "sub").string()) +
                         " && git rev-parse --git-dir >/dev/null 2>&1")
                            .c_str()),
            0);
  EXPECT_TRUE(find_work_tree(repo.path()));
  ::unsetenv("GIT_CEILING_DIRECTORIES");
  // Include sections, whatever their case, send the remote's address to git to read.
  for (const char* section : {"include", "includeIf \"gitdir:/\"", "INCLUDEIF \"onbranch:x\""}) {
    SCOPED_TRACE(section);
    TempRepo inc;
    git_history(inc, 1);
    inc.sh(std::string("printf '[") + section + "]\\n\\tpath = other\\n' >> .git/config");
    EXPECT_TRUE(read_repository_state(*find_work_tree(inc.path())).includes);
  }
  // core.bare in the configuration: git sees no work tree.
  repo.sh("git config core.bare true");
  EXPECT_TRUE(read_repository_state(*find_work_tree(repo.path())).bare);
}

TEST(GitDir, RefusesWhatGitRefuses) {
  struct {
    const char* name;
    const char* setup;
  } cases[] = {
      {"format 2", "git config core.repositoryformatversion 2"},
      {"an unknown extension",
       "git config core.repositoryformatversion 1 && "
       "git config extensions.refStorage reftable"},
      {"a broken packed-refs", "printf 'garbage\\n' > .git/packed-refs"},
      {"a broken configuration", "printf '[core\\n' > .git/config"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    git_history(repo, 1);
    repo.sh(c.setup);
    EXPECT_THROW(read_repository_state(*find_work_tree(repo.path())), GitError);
    EXPECT_NE(std::system(("cd " + shell_quote(repo.path().string()) +
                           " && git for-each-ref >/dev/null 2>&1")
                              .c_str()),
              0);
  }
}

}  // namespace
}  // namespace ostrameld
