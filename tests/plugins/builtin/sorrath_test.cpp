#include "ostrameld/plugins/builtin/sorrath.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "support/plugin_test.h"

namespace ostrameld {
namespace {

using testing::run;
using testing::TempRepo;

const SorrathPlugin plugin;

const std::string kFullCff =
    "cff-version: 1.2.0\ntitle: Demo\nrepository-code: https://example.org/demo\ndoi: "
    "10.5281/zenodo.1\n";

TEST(Sorrath, EmptyRepository) {
  TempRepo repo;
  auto f3 = run(plugin, "metadata_self_reference", repo);
  EXPECT_EQ(f3.score, 0.0);
  EXPECT_EQ(f3.status, CheckStatus::Unknown);
  EXPECT_EQ(f3.process, "Searched recognised metadata files for self-reference fields");
  EXPECT_EQ(f3.output, "No self-referencing metadata detected");
  EXPECT_EQ(
      f3.evidence,
      "Checked: codemeta.json, CITATION.cff, pyproject.toml, setup.cfg, setup.py, package.json");
  auto f4 = run(plugin, "searchable_metadata", repo);
  EXPECT_EQ(f4.score, 0.0);
  EXPECT_EQ(f4.status, CheckStatus::Unknown);
  EXPECT_EQ(f4.process, "Searched for metadata files");
  EXPECT_EQ(f4.output, "No metadata files found");
  EXPECT_EQ(f4.evidence,
            "Checked: codemeta.json, .zenodo.json, pyproject.toml, package.json, DESCRIPTION, "
            "setup.py, setup.cfg, "
            "CITATION.cff");
}

TEST(Sorrath, UnhandledKey) {
  TempRepo repo;
  auto r = run(plugin, "rich_metadata", repo);
  EXPECT_EQ(r.indicator_id, "rich_metadata");
  EXPECT_EQ(r.score, 0.0);
  EXPECT_EQ(r.status, CheckStatus::Fail);
  EXPECT_EQ(r.process, "");
  EXPECT_EQ(r.output, "");
  EXPECT_EQ(r.evidence, "not handled by this plugin");
}

TEST(Sorrath, SelfReference) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    double score;
    std::string output;
  } cases[] = {
      {"citation only",
       {{"CITATION.cff", kFullCff}},
       7.0,
       "cff.title; cff.repository-code/url; cff.doi"},
      {"lower-case citation.cff", {{"citation.cff", "title: x\n"}}, 3.0, "cff.title"},
      {"indented doi without a DOI string",
       {{"CITATION.cff", "title: x\nidentifiers:\n  doi: none\n"}},
       3.0,
       "cff.title"},
      {"DOI string anywhere",
       {{"CITATION.cff", "references:\n  - see 10.1234/abc\n"}},
       2.0,
       "cff.doi"},
      {"empty codemeta object", {{"codemeta.json", "{}"}}, 4.0, "codemeta.json"},
      {"full codemeta",
       {{"codemeta.json", R"({"name":"x","codeRepository":"y","identifier":"z"})"}},
       10.0,
       "codemeta.name; codemeta.codeRepository; codemeta.identifier"},
      {"codemeta and cff capped, all labels kept",
       {{"codemeta.json", R"({"name":"x","codeRepository":"y","identifier":"z"})"},
        {"CITATION.cff", kFullCff}},
       10.0,
       "codemeta.name; codemeta.codeRepository; codemeta.identifier; cff.title; "
       "cff.repository-code/url; cff.doi"},
      {"@id stands in for an empty identifier",
       {{"codemeta.json", R"({"identifier":"","@id":"https://x"})"}},
       6.0,
       "codemeta.identifier"},
      {"falsy members",
       {{"codemeta.json", R"({"name":0,"codeRepository":[],"identifier":false,"@id":null})"}},
       4.0,
       "codemeta.json"},
      {"invalid codemeta",
       {{"codemeta.json", "{\"name\": "}},
       1.0,
       "codemeta.json present but unparseable"},
      {"codemeta array",
       {{"codemeta.json", "[1, 2]"}},
       1.0,
       "codemeta.json present but unparseable"},
      {"codemeta with invalid UTF-8",
       {{"codemeta.json", "{\"name\": \"\xFF\"}"}},
       1.0,
       "codemeta.json present but unparseable"},
      {"codemeta with a byte-order mark",
       {{"codemeta.json", "\xEF\xBB\xBF{}"}},
       1.0,
       "codemeta.json present but unparseable"},
      {"codemeta nested 10,000 deep",
       {{"codemeta.json", "{\"a\":" + std::string(10000, '[') + std::string(10000, ']') + "}"}},
       1.0,
       "codemeta.json present but unparseable"},
      {"invalid package.json",
       {{"package.json", "{nope"}},
       0.0,
       "No self-referencing metadata detected"},
      {"package.json with repository object",
       {{"package.json", R"({"name":"demo","repository":{"type":"git","url":"https://x"}})"}},
       5.0,
       "package.json.name; package.json.repository/homepage"},
      {"package.json homepage only",
       {{"package.json", R"({"homepage":"https://x"})"}},
       2.0,
       "package.json.repository/homepage"},
      {"pyproject urls without [project] stops the cascade",
       {{"pyproject.toml", "[project.urls]\nHome = 'x'\n"},
        {"setup.cfg", "[metadata]\nname = a\nurl = b\n"}},
       3.0,
       "pyproject.urls"},
      {"pyproject name pattern anywhere once [project] exists",
       {{"pyproject.toml", "[project]\nversion = '1'\n[tool.x]\n  name = 'y'\n"}},
       3.0,
       "pyproject.name"},
      {"empty pyproject falls through to setup.cfg",
       {{"pyproject.toml", "[build-system]\n"},
        {"setup.cfg", "[metadata]\nname = a\nurl = b\n"},
        {"setup.py", "setup(name='a', url='b')"}},
       6.0,
       "setup.cfg.name; setup.cfg.url"},
      {"setup.py name and url",
       {{"setup.py", "setup(\n    name = \"a\",\n    download_url='b')\n"}},
       5.0,
       "setup.py.name; setup.py.url"},
      {"rejected setup.cfg falls through to setup.py",
       {{"setup.cfg", "[metadata]\nname = a\nname = b\n"}, {"setup.py", "setup(name='a')"}},
       3.0,
       "setup.py.name"},
      {"setup.cfg with continuation lines",
       {{"setup.cfg", "[metadata]\nname = demo\ndescription =\n  long\n  text\nurl = https://x\n"}},
       6.0,
       "setup.cfg.name; setup.cfg.url"},
      {"pyproject with invalid UTF-8 scores nothing",
       {{"pyproject.toml", "[project]\nname = '\xFF'\n"}, {"setup.py", "setup(url='b')"}},
       2.0,
       "setup.py.url"},
      {"binary setup.cfg",
       {{"setup.cfg", std::string("\x00\x01\x02[metadata]", 13)}},
       0.0,
       "No self-referencing metadata detected"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [name, text] : c.files) repo.write(name, text);
    auto r = run(plugin, "metadata_self_reference", repo);
    EXPECT_EQ(r.score, c.score);
    EXPECT_EQ(r.output, c.output);
    if (c.score > 0) {
      EXPECT_EQ(r.evidence, c.output);
      EXPECT_EQ(r.process, "Tallied self-reference signals across metadata files");
    }
  }
}

TEST(Sorrath, DirectoriesAreNotMetadataForSelfReference) {
  TempRepo repo;
  repo.mkdir("codemeta.json");
  EXPECT_EQ(run(plugin, "metadata_self_reference", repo).status, CheckStatus::Unknown);
  auto f4 = run(plugin, "searchable_metadata", repo);
  EXPECT_EQ(f4.score, 7.0);
  EXPECT_EQ(f4.output, "Metadata files: codemeta.json");
}

TEST(Sorrath, Searchable) {
  struct {
    std::vector<std::string> files;
    double score;
    std::string listed;
  } cases[] = {
      {{"DESCRIPTION"}, 4.0, "DESCRIPTION"},
      {{"CITATION.cff"}, 5.5, "CITATION.cff"},
      {{"citation.cff"}, 0.0, ""},
      {{"setup.py", "setup.cfg"}, 5.0, "setup.py, setup.cfg"},
      {{"package.json", "pyproject.toml"}, 6.0, "pyproject.toml, package.json"},
      {{"codemeta.json", ".zenodo.json"}, 9.0, "codemeta.json, .zenodo.json"},
      {{"CITATION.cff", "package.json", "setup.py", "pyproject.toml", ".zenodo.json",
        "codemeta.json"},
       10.0,
       "codemeta.json, .zenodo.json, pyproject.toml, package.json, setup.py, CITATION.cff"},
  };
  for (const auto& c : cases) {
    TempRepo repo;
    for (const auto& f : c.files) repo.write(f, "");
    auto r = run(plugin, "searchable_metadata", repo);
    EXPECT_EQ(r.score, c.score) << c.listed;
    if (c.score > 0) {
      EXPECT_EQ(r.output, "Metadata files: " + c.listed);
      EXPECT_EQ(r.evidence, "Files: " + c.listed);
      EXPECT_EQ(r.process, "Found searchable metadata files");
    }
  }
}

}  // namespace
}  // namespace ostrameld
