#include "ostrameld/plugins/builtin/bellwyn.h"

#include <gtest/gtest.h>

#include <map>

#include "support/plugin_test.h"

namespace ostrameld {
namespace {

using testing::run;
using testing::TempRepo;

const BellwynPlugin plugin;

TEST(Bellwyn, Outcomes) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    double score;
    std::string output;
    std::string evidence;
  } cases[] = {
      {"no citation file",
       {},
       0.0,
       "No citation file found",
       "Checked: CITATION.cff, CITATION.bib, CITATION.md, CITATION, citation.cff, codemeta.json"},
      {"codemeta only, never opened",
       {{"codemeta.json", "not even JSON"}},
       7.0,
       "Citation files: codemeta.json",
       "Files: codemeta.json"},
      {"bib and md",
       {{"CITATION.md", "x"}, {"CITATION.bib", "@misc{}"}},
       7.0,
       "Citation files: CITATION.bib, CITATION.md",
       "Files: CITATION.bib, CITATION.md"},
      {"valid CFF beside a bib",
       {{"CITATION.cff", "cff-version: 1.2.0\ntitle: x\nauthors: []\n"}, {"CITATION.bib", ""}},
       10.0,
       "Valid CFF structure",
       "Files: CITATION.cff, CITATION.bib"},
      {"null values are present",
       {{"CITATION.cff", "cff-version:\ntitle:\nauthors:\n# padding\n"}},
       10.0,
       "Valid CFF structure",
       "Files: CITATION.cff"},
      {"missing keys",
       {{"CITATION.cff", "cff-version: 1.2.0\nmessage: cite me\n"}},
       5.0,
       "Missing keys: title, authors",
       "Files: CITATION.cff"},
      {"19 characters",
       {{"CITATION.cff", "  title: 0123456789\n\n"}},
       5.0,
       "File is too short",
       "Files: CITATION.cff"},
      {"20 characters go on to YAML",
       {{"CITATION.cff", "title: 0123456789abc\n"}},
       5.0,
       "Missing keys: cff-version, authors",
       "Files: CITATION.cff"},
      {"empty file", {{"CITATION.cff", ""}}, 5.0, "File is too short", "Files: CITATION.cff"},
      {"list root",
       {{"CITATION.cff", "- cff-version: 1\n- title: x\n"}},
       5.0,
       "CFF root must be a mapping",
       "Files: CITATION.cff"},
      {"comments only",
       {{"CITATION.cff", "# this file holds only a comment\n"}},
       5.0,
       "CFF root must be a mapping",
       "Files: CITATION.cff"},
      {"lower-case citation.cff is validated",
       {{"citation.cff", "cff-version: 1\ntitle: t\nauthors: [a]\n"}},
       10.0,
       "Valid CFF structure",
       "Files: citation.cff"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [name, text] : c.files) repo.write(name, text);
    auto r = run(plugin, "rich_metadata", repo);
    EXPECT_EQ(r.score, c.score);
    EXPECT_EQ(r.output, c.output);
    EXPECT_EQ(r.evidence, c.evidence);
  }
}

TEST(Bellwyn, MessagesThatComeFromElsewhere) {
  struct {
    const char* name;
    std::string text;
    const char* prefix;
  } cases[] = {
      {"syntax error", "cff-version: 1.2.0\ntitle: [unclosed\nauthors: x\n", "Invalid YAML: "},
      {"two documents", "cff-version: 1\ntitle: a\n---\nauthors: b\n",
       "Invalid YAML: expected a single document"},
      {"executable tag",
       "cff-version: 1\ntitle: !!python/object/apply:os.system [ls]\nauthors: x\n",
       "Invalid YAML: could not determine a constructor"},
      {"invalid UTF-8", "cff-version: 1\ntitle: \xFF\xFE\nauthors: x\n",
       "Could not read: not valid UTF-8: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    repo.write("CITATION.cff", c.text);
    auto r = run(plugin, "rich_metadata", repo);
    EXPECT_EQ(r.score, 5.0);
    EXPECT_EQ(r.process, "CITATION.cff exists but has issues");
    EXPECT_EQ(r.output.rfind(c.prefix, 0), 0u) << r.output;
  }
}

TEST(Bellwyn, UnreadableCffIsReported) {
  TempRepo repo;
  repo.mkdir("CITATION.cff");
  auto r = run(plugin, "rich_metadata", repo);
  EXPECT_EQ(r.score, 5.0);
  EXPECT_EQ(r.output, "Could not read: [Errno 21] Is a directory: '" +
                          (repo / "CITATION.cff").string() + "'");

  TempRepo fifo_repo;
  fifo_repo.fifo("CITATION.cff");  // never opened for reading, so never blocks
  EXPECT_EQ(
      run(plugin, "rich_metadata", fifo_repo).output.rfind("Could not read: Not a regular file", 0),
      0u);
}

TEST(Bellwyn, AnyKeyRunsTheSameAssessment) {
  TempRepo repo;
  repo.write("CITATION", "cite us");
  auto r = run(plugin, "metadata_self_reference", repo);
  EXPECT_EQ(r.indicator_id, "metadata_self_reference");
  EXPECT_EQ(r.score, 7.0);
}

}  // namespace
}  // namespace ostrameld
