#include "ostrameld/plugins/builtin/documentation.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/plugin_test.h"

namespace ostrameld {
namespace {

using testing::run;
using testing::TempRepo;

const DocumentationPlugin plugin;

TEST(Documentation, Outcomes) {
  struct {
    const char* name;
    std::function<void(TempRepo&)> setup;
    double score;
    std::string output;
  } cases[] = {
      {"empty", [](TempRepo&) {}, 0.0, "No README found"},
      {"200 bytes", [](TempRepo& r) { r.write("README.md", std::string(200, 'x')); }, 4.0,
       "README: README.md (200 bytes)"},
      {"199 bytes", [](TempRepo& r) { r.write("README.md", std::string(199, 'x')); }, 1.5,
       "README: README.md (199 bytes); README is short"},
      {"size in bytes, not characters",
       [](TempRepo& r) { r.write("README", std::string(100, '\xC3')); }, 1.5,
       "README: README (100 bytes); README is short"},
      {"md before rst",
       [](TempRepo& r) {
         r.write("README.rst", std::string(300, 'x'));
         r.write("README.md", "short");
       },
       1.5, "README: README.md (5 bytes); README is short"},
      {"lower-case readme is not a README",
       [](TempRepo& r) { r.write("readme.md", std::string(300, 'x')); }, 0.0, "No README found"},
      {"docs with only txt, doc with one nested rst",
       [](TempRepo& r) {
         r.write("docs/a.txt", "");
         r.write("doc/sub/deeper/page.rst", "");
       },
       3.0, "No README found; Docs directory: doc/ (1 files)"},
      {"hidden pages and directories named *.md count",
       [](TempRepo& r) {
         r.write("docs/.hidden/.md", "");
         r.mkdir("docs/notes.md");
         r.write("docs/x.MD", "");  // case-sensitive: not a page
       },
       3.0, "No README found; Docs directory: docs/ (2 files)"},
      {"root config wins over docs config",
       [](TempRepo& r) {
         r.write("docs/index.md", "");
         r.write("docs/conf.py", "");
         r.write("mkdocs.yml", "");
       },
       5.0, "No README found; Docs directory: docs/ (1 files); Doc tool config: mkdocs.yml"},
      {"config inside another doc dir",
       [](TempRepo& r) {
         r.write("docs/index.md", "");
         r.write("doc/conf.py", "");
       },
       5.0, "No README found; Docs directory: docs/ (1 files); Doc tool config: doc/conf.py"},
      {"earlier config name inside docs beats later name in root",
       [](TempRepo& r) {
         r.write("docs/index.md", "");
         r.write("docs/mkdocs.yml", "");
         r.write("book.toml", "");
       },
       5.0, "No README found; Docs directory: docs/ (1 files); Doc tool config: docs/mkdocs.yml"},
      {"config in a docs dir without pages is not seen",
       [](TempRepo& r) { r.write("docs/conf.py", ""); }, 0.0, "No README found"},
      {"everything",
       [](TempRepo& r) {
         r.write("README.md", std::string(2048, 'x'));
         for (int i = 0; i < 12; ++i) r.write("docs/p" + std::to_string(i) + ".md", "");
         r.write("mkdocs.yml", "");
       },
       9.0,
       "README: README.md (2048 bytes); Docs directory: docs/ (12 files); Doc tool config: "
       "mkdocs.yml"},
      {"dangling links are absent, directories count",
       [](TempRepo& r) {
         r.symlink("nowhere", "README.md");
         r.mkdir("README");
       },
       -1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    c.setup(repo);
    auto r = run(plugin, "descriptive_attributes", repo);
    if (c.score < 0) {
      EXPECT_EQ(r.output.rfind("README: README (", 0), 0u) << r.output;
      continue;
    }
    EXPECT_EQ(r.score, c.score);
    EXPECT_EQ(r.output, c.output);
    EXPECT_EQ(r.process, "Checked for README, docs directory, and doc tooling");
    EXPECT_EQ(r.evidence, "Checked: README, docs dirs, mkdocs/sphinx/rtd configs");
  }
}

TEST(Documentation, LinkedDirectoriesInsideDocsAreNotFollowed) {
  TempRepo repo;
  repo.write("docs/a.md", "");
  repo.symlink("..", "docs/loop");  // a loop if followed
  repo.write("elsewhere/b.md", "");
  repo.symlink("../elsewhere", "docs/other");
  EXPECT_EQ(run(plugin, "descriptive_attributes", repo).output,
            "No README found; Docs directory: docs/ (1 files)");
}

}  // namespace
}  // namespace ostrameld
