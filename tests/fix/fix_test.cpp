// Writing the metadata a repository implies: new files valid and made of what the
// repository says, lagging values synced with minimal edits, nothing written unsafely,
// and a second run with nothing left to do.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "ostrameld/engine/assess.h"
#include "ostrameld/fix/edit.h"
#include "ostrameld/fix/facts.h"
#include "ostrameld/fix/plan.h"
#include "ostrameld/metadata/cff_schema.h"
#include "ostrameld/utils/diff.h"
#include "ostrameld/utils/yaml.h"
#include "plugins/full/shapes.h"
#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::TempRepo;

std::string real(const std::string& path) {
  return testing::read_file(std::filesystem::path(OSTRAMELD_TEST_DATA) / "real" / path);
}

const fix::FileChange* change(const fix::FixPlan& plan, std::string_view path) {
  for (const auto& c : plan.changes)
    if (c.path == path) return &c;
  return nullptr;
}

std::map<std::string, double> scores(const Path& repo, const Profile* profile) {
  AssessOptions options;
  options.profile = profile;
  options.offline = true;
  std::map<std::string, double> out;
  for (const auto& r : assess_repository(repo, options).indicators) out[r.indicator_id] = r.score;
  return out;
}

// Every scalar of a YAML or JSON document, by its path.
void scalars(const Json& v, const std::string& at, std::vector<std::pair<std::string, std::string>>& out) {
  if (v.is_object()) {
    for (auto it = v.begin(); it != v.end(); ++it) scalars(it.value(), at + "." + it.key(), out);
  } else if (v.is_array()) {
    for (std::size_t i = 0; i < v.size(); ++i) scalars(v[i], at + "[" + std::to_string(i) + "]", out);
  } else if (v.is_string()) {
    out.emplace_back(at, v.get<std::string>());
  }
}

// One package of each ecosystem, as its repository keeps it: CITATION.cff and
// codemeta.json are written, valid, with no value that no source gives, and writing them
// lowers no score of either profile and leaves nothing for a second run.
TEST(Fix, EachEcosystemGetsValidFilesMadeOfWhatItSays) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;  // path in the repository -> file under tests/data/real
    const char* remote;
    const char* title;
    const char* licence;  // in CITATION.cff; nullptr: none
  } cases[] = {
      {"R", {{"DESCRIPTION", "rredlist/DESCRIPTION"}, {"LICENSE", "rredlist/LICENSE"}}, "https://github.com/ropensci/rredlist", "rredlist", "MIT"},
      {"Python (setuptools)", {{"pyproject.toml", "cartopy/pyproject.toml"}}, "https://github.com/SciTools/cartopy", "Cartopy", nullptr},
      {"Python (hatch)", {{"pyproject.toml", "httpx/pyproject.toml"}}, "https://github.com/encode/httpx", "httpx", nullptr},
      {"Python (poetry)", {{"pyproject.toml", "poetry/pyproject.toml"}}, "https://github.com/python-poetry/poetry", "poetry", nullptr},
      {"Python (flit)", {{"pyproject.toml", "flit/pyproject.toml"}, {"LICENSE", "flit/LICENSE"}}, "https://github.com/pypa/flit", "flit", "BSD-3-Clause"},
      {"Julia", {{"Project.toml", "StatsBase.jl/Project.toml"}, {"LICENSE.md", "StatsBase.jl/LICENSE.md"}}, "https://github.com/JuliaStats/StatsBase.jl", "StatsBase", "MIT"},
      {"Rust", {{"Cargo.toml", "fd/Cargo.toml"}, {"LICENSE-MIT", "fd/LICENSE-MIT"}}, "https://github.com/sharkdp/fd", "fd-find", nullptr},
      {"Maven", {{"pom.xml", "biojava/pom.xml"}, {"LICENSE", "biojava/LICENSE"}}, "https://github.com/biojava/biojava", "biojava", "LGPL-2.1"},
      {"npm", {{"package.json", "igv.js/package.json"}, {"LICENSE", "igv.js/LICENSE"}}, "https://github.com/igvteam/igv.js", "igv", "MIT"},
      {"CMake", {{"CMakeLists.txt", "spdlog/CMakeLists.txt"}, {"LICENSE", "spdlog/LICENSE"}}, "https://github.com/gabime/spdlog", "spdlog", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    std::string said = c.remote;
    for (const auto& [path, data] : c.files) {
      repo.write(path, real(data));
      said += "\n" + real(data);
    }
    testing::commit_all(repo, c.remote);
    auto full_before = scores(repo.path(), &fair4rs_full_profile());
    auto default_before = scores(repo.path(), nullptr);

    fix::FixPlan plan = fix::plan_fixes(repo.path(), {});
    const fix::FileChange* cff = change(plan, "CITATION.cff");
    const fix::FileChange* codemeta = change(plan, "codemeta.json");
    if (std::string(c.name) == "CMake") {
      // No file lists an author: the git history does, marked for review.
      ASSERT_NE(cff, nullptr);
      EXPECT_NE(cff->new_text.find("# No file lists the authors"), std::string::npos);
      said += "\nTester";  // the commits' author
    }
    {
      ASSERT_NE(cff, nullptr) << (plan.messages.empty() ? "" : plan.messages.front());
      Json doc = load_yaml(cff->new_text);
      EXPECT_EQ(cff_schema_errors(doc), std::vector<std::string>{}) << cff->new_text;
      EXPECT_EQ(doc["title"], c.title);
      EXPECT_EQ(doc["repository-code"], c.remote);
      if (c.licence) {
        EXPECT_EQ(doc["license"], c.licence);
      }
      // No value that no source gives: names, version, title and the rest are there.
      std::vector<std::pair<std::string, std::string>> values;
      scalars(doc, "", values);
      for (const auto& [at, value] : values) {
        if (at == ".cff-version" || at == ".message" || at == ".type" || at == ".license" || at.ends_with(".orcid") ||
            at.ends_with(".description") || at.ends_with(".type"))
          continue;
        EXPECT_NE(said.find(value), std::string::npos) << at << " = " << value << " is in no source";
      }
    }
    ASSERT_NE(codemeta, nullptr);
    Json meta = Json::parse(codemeta->new_text);
    EXPECT_EQ(meta["@context"], "https://w3id.org/codemeta/3.0");
    EXPECT_EQ(meta["name"], c.title);

    std::vector<std::string> refused;
    fix::apply_fixes(repo.path(), plan, refused);
    EXPECT_TRUE(refused.empty()) << refused.front();
    auto full_after = scores(repo.path(), &fair4rs_full_profile());
    auto default_after = scores(repo.path(), nullptr);
    for (const auto& [key, before] : full_before) EXPECT_GE(full_after[key], before) << "full profile: " << key;
    for (const auto& [key, before] : default_before) EXPECT_GE(default_after[key], before) << "default profile: " << key;
    EXPECT_TRUE(fix::plan_fixes(repo.path(), {}).changes.empty()) << "a second run proposes more";
  }
}

// What the other files are compared with wins: the manifest's repository address over the
// git remote, a citation file's full list of authors over a manifest's maintainers.
TEST(Fix, NewFilesAgreeWithTheFilesTheyAreComparedWith) {
  TempRepo repo;
  repo.write("pyproject.toml",
             "[project]\nname = \"p\"\nversion = \"1.0.0\"\nauthors = [{name = \"Jane Doe\"}]\n"
             "[project.urls]\nRepository = \"https://gitlab.com/group/p\"\n");
  repo.write("CITATION.cff",
             "cff-version: 1.2.0\nmessage: Cite it\ntitle: p\nauthors:\n  - family-names: Doe\n    given-names: Jane\n"
             "  - family-names: Roe\n    given-names: Rick\n");
  testing::commit_all(repo, "https://github.com/mirror/p");
  fix::FixOptions codemeta;
  codemeta.only = {"codemeta"};
  const fix::FixPlan plan = fix::plan_fixes(repo.path(), codemeta);
  const fix::FileChange* c = change(plan, "codemeta.json");
  ASSERT_NE(c, nullptr);
  Json meta = Json::parse(c->new_text);
  EXPECT_EQ(meta["codeRepository"], "https://gitlab.com/group/p");
  ASSERT_EQ(meta["author"].size(), 2u);
  EXPECT_EQ(meta["author"][1]["familyName"], "Roe");
}

// A CITATION.cff a person keeps, with comments and an order of their own, behind the
// newest release: only the version and date lines change.
TEST(Fix, SyncKeepsEverythingButTheLaggingValues) {
  const std::string cff =
      "# Please cite the paper too.\n"
      "title: 'My tool'   # the short name\n"
      "version: 1.2.0 # bumped by hand\n"
      "cff-version: 1.2.0\n"
      "message: Cite me\n"
      "date-released: 2023-01-05\n"
      "authors:\n"
      "  - family-names: Doe\n"
      "    given-names: Jane\n"
      "\n"
      "keywords: [a, b]\r\n";
  TempRepo repo;
  repo.write("CITATION.cff", cff);
  repo.write("pyproject.toml", "[project]\nname = \"mytool\"\nversion = \"1.3.0\"\n");
  testing::commit_all(repo, "https://github.com/o/mytool");
  testing::git(repo, "tag v1.3.0");
  fix::FixOptions sync;
  sync.only = {"sync"};
  fix::FixPlan plan = fix::plan_fixes(repo.path(), sync);
  ASSERT_EQ(plan.changes.size(), 1u);
  const std::string& edited = plan.changes.front().new_text;
  // Line by line: the same lines but two.
  std::vector<std::string> before, after;
  for (auto [text, lines] : {std::pair{&cff, &before}, {&edited, &after}}) {
    std::size_t pos = 0;
    while (pos < text->size()) {
      std::size_t eol = text->find('\n', pos);
      lines->push_back(text->substr(pos, eol - pos));
      pos = eol == std::string::npos ? text->size() : eol + 1;
    }
  }
  ASSERT_EQ(before.size(), after.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (i == 2) {
      EXPECT_EQ(after[i], "version: 1.3.0 # bumped by hand");
    } else if (i == 5) {
      EXPECT_EQ(after[i].substr(0, 15), "date-released: ");
    } else {
      EXPECT_EQ(after[i], before[i]) << "line " << i;
    }
  }
  EXPECT_NE(edited.find("\r\n"), std::string::npos);  // its line endings as they were
  std::vector<std::string> refused;
  fix::apply_fixes(repo.path(), plan, refused);
  EXPECT_TRUE(fix::plan_fixes(repo.path(), sync).changes.empty());
}

TEST(Fix, MinimalEdits) {
  struct {
    const char* text;
    const char* key;
    const char* value;
    const char* want;  // nullptr: not edited in place
  } yaml[] = {
      {"version: 1.0\n", "version", "1.1", "version: \"1.1\"\n"},  // a plain 1.1 is a number
      {"version: '1.0' # x\n", "version", "2.0.0", "version: '2.0.0' # x\n"},
      {"version: \"1.0\"\nother: 1\n", "version", "2.0.0-rc.1", "version: \"2.0.0-rc.1\"\nother: 1\n"},
      {"version: v1.0\n", "version", "v1.1", "version: v1.1\n"},
      {"  version: 1.0\n", "version", "2", nullptr},  // not top level
      {"version: |\n  1.0\n", "version", "2", nullptr},
      {"version: \"a\\\"b\"\n", "version", "2", nullptr},  // escapes are not edited in place
      {"version: \v1.0 # x\n", "version", "2", nullptr},       // a value led by another blank (found by fuzzing)
  };
  for (const auto& c : yaml) {
    SCOPED_TRACE(c.text);
    auto got = fix::set_yaml_top_level(c.text, c.key, c.value);
    if (!c.want) {
      EXPECT_FALSE(got.has_value());
    } else {
      EXPECT_EQ(got.value_or("(none)"), c.want);
    }
  }
  struct {
    const char* text;
    const char* want;
  } json[] = {
      {"{\"name\": \"x\", \"version\": \"1.0\"}", "{\"name\": \"x\", \"version\": \"2.0\"}"},
      {"{\"a\": {\"version\": \"0.1\"}, \"version\":\"1.0\"}", "{\"a\": {\"version\": \"0.1\"}, \"version\":\"2.0\"}"},
      {"{\"x\": \"version\", \"version\": \"1.0\"}", "{\"x\": \"version\", \"version\": \"2.0\"}"},
      {"{\"a\": {\"version\": \"0.1\"}}", nullptr},
      {"{\"version\": \"1.0\u0001\"}", nullptr},  // a raw control character: no JSON string (found by fuzzing)
  };
  for (const auto& c : json) {
    SCOPED_TRACE(c.text);
    auto got = fix::set_json_top_level(c.text, "version", "2.0");
    if (!c.want) {
      EXPECT_FALSE(got.has_value());
    } else {
      EXPECT_EQ(got.value_or("(none)"), c.want);
    }
  }
  struct {
    const char* name;
    const char* given;
    const char* particle;
    const char* family;
  } names[] = {
      {"Jane Doe", "Jane", "", "Doe"},
      {"Jane Q. van der Berg", "Jane Q.", "van der", "Berg"},
      {"Prince", "", "", "Prince"},
  };
  for (const auto& n : names) {
    fix::NameParts p = fix::split_name(n.name);
    EXPECT_EQ(p.given, n.given);
    EXPECT_EQ(p.particle, n.particle);
    EXPECT_EQ(p.family, n.family);
  }
}

TEST(Fix, UnifiedDiff) {
  EXPECT_EQ(unified_diff("a.txt", "", "x\ny\n", true), "--- /dev/null\n+++ b/a.txt\n@@ -0,0 +1,2 @@\n+x\n+y\n");
  EXPECT_EQ(unified_diff("a.txt", "1\n2\n3\n4\n5\n6\n7\n8\n9\n", "1\n2\n3\n4\nV\n6\n7\n8\n9\n", false),
            "--- a/a.txt\n+++ b/a.txt\n@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+V\n 6\n 7\n 8\n");
  EXPECT_EQ(unified_diff("a.txt", "same\n", "same\n", false), "");
  EXPECT_EQ(unified_diff("a.txt", "x", "y", false), "--- a/a.txt\n+++ b/a.txt\n@@ -1 +1 @@\n-x\n\\ No newline at end of file\n+y\n\\ No newline at end of file\n");
}

// A licence text where exactly one SPDX licence is declared and none is there: the
// standard text with its holder, R's stub for "MIT + file LICENSE"; never two licences.
TEST(Fix, LicenceTexts) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    const char* starts;  // the LICENSE written, its first line; nullptr: none
  } cases[] = {
      {"MIT from pyproject", {{"pyproject.toml", "[project]\nname = \"p\"\nlicense = \"MIT\"\nauthors = [{name = \"Jane Doe\"}]\n"}}, "MIT License"},
      {"no holder named anywhere", {{"pyproject.toml", "[project]\nname = \"p\"\nlicense = \"MIT\"\n"}}, nullptr},
      {"Apache-2.0 needs no holder", {{"Cargo.toml", "[package]\nname = \"p\"\nlicense = \"Apache-2.0\"\n"}}, "Apache License"},
      {"R's stub", {{"DESCRIPTION", "Package: p\nLicense: MIT + file LICENSE\nAuthors@R: person(\"Jane\", \"Doe\", role = c(\"aut\", \"cre\"))\n"}}, nullptr},
      {"two licences", {{"Cargo.toml", "[package]\nname = \"p\"\nlicense = \"MIT OR Apache-2.0\"\n"}}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [path, text] : c.files) repo.write(path, text);
    testing::commit_all(repo);
    fix::FixOptions only;
    only.only = {"licence"};
    const fix::FixPlan plan = fix::plan_fixes(repo.path(), only);
    const fix::FileChange* l = change(plan, "LICENSE");
    if (!c.starts) {
      // No holder, no year (R's stub without a release) or no single licence: nothing
      // made up, and one line saying why.
      EXPECT_EQ(l, nullptr) << l->new_text.substr(0, 80);
      EXPECT_FALSE(plan.messages.empty());
      continue;
    }
    ASSERT_NE(l, nullptr) << (plan.messages.empty() ? "" : plan.messages.front());
    EXPECT_EQ(l->new_text.rfind(c.starts, 0), 0u) << l->new_text.substr(0, 80);
    EXPECT_EQ(l->new_text.find("<copyright holders>"), std::string::npos);
    if (std::string(c.name) == "MIT from pyproject") {
      EXPECT_NE(l->new_text.find("Copyright (c) Jane Doe"), std::string::npos);
    }
  }
}

// Written whole or not at all, never through a link out of the repository, never over
// what is not a regular file, never over a file changed since it was read.
TEST(Fix, WritesSafely) {
  TempRepo outside;
  outside.write("victim.cff", "version: 0.1\n");
  TempRepo repo;
  repo.write("pyproject.toml", "[project]\nname = \"p\"\nversion = \"2.0.0\"\nauthors = [{name = \"Jane Doe\"}]\n");
  repo.write("CITATION.cff", "cff-version: 1.2.0\nversion: 1.0.0\n");
  testing::commit_all(repo, "https://github.com/o/p");
  testing::git(repo, "tag v2.0.0");

  fix::FixOptions sync;
  sync.only = {"sync"};
  fix::FixPlan plan = fix::plan_fixes(repo.path(), sync);
  ASSERT_EQ(plan.changes.size(), 1u);
  // Changed since it was read: left alone.
  repo.write("CITATION.cff", "cff-version: 1.2.0\nversion: 1.0.1\n");
  std::vector<std::string> refused;
  EXPECT_TRUE(fix::apply_fixes(repo.path(), plan, refused).empty());
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_NE(refused.front().find("changed since"), std::string::npos);
  EXPECT_EQ(testing::read_file(repo / "CITATION.cff"), "cff-version: 1.2.0\nversion: 1.0.1\n");

  // A link out of the repository: not written through.
  std::filesystem::remove(repo / "CITATION.cff");
  std::filesystem::create_symlink(outside / "victim.cff", repo / "CITATION.cff");
  plan = fix::plan_fixes(repo.path(), sync);
  refused.clear();
  if (!plan.changes.empty()) {
    EXPECT_TRUE(fix::apply_fixes(repo.path(), plan, refused).empty());
    EXPECT_FALSE(refused.empty());
  }
  EXPECT_EQ(testing::read_file(outside / "victim.cff"), "version: 0.1\n");

  // A FIFO where codemeta.json would go: nothing is proposed over it, nothing blocks.
  ASSERT_EQ(::mkfifo((repo / "codemeta.json").c_str(), 0600), 0);
  fix::FixOptions codemeta;
  codemeta.only = {"codemeta"};
  EXPECT_EQ(change(fix::plan_fixes(repo.path(), codemeta), "codemeta.json"), nullptr);
}

TEST(Fix, CommandLine) {
  TempRepo repo;
  repo.write("pyproject.toml", "[project]\nname = \"p\"\nversion = \"1.0.0\"\nauthors = [{name = \"Jane Doe\"}]\n");
  testing::commit_all(repo, "https://github.com/o/p");
  std::string at = testing::shell_quote(repo.path().string());
  auto check = testing::run_cli("fix " + at);
  EXPECT_EQ(check.status, 1) << check.err;
  EXPECT_NE(check.out.find("+++ b/CITATION.cff"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(repo / "CITATION.cff"));  // check mode writes nothing
  // The hook's way: show, and block only when asked.
  auto informs = testing::run_cli("fix --exit-zero " + at);
  EXPECT_EQ(informs.status, 0);
  EXPECT_EQ(informs.out, check.out);
  EXPECT_EQ(testing::run_cli("fix --exit-zero --no-exit-zero " + at).status, 1);
  auto write = testing::run_cli("fix --write " + at);
  EXPECT_EQ(write.status, 0) << write.err;
  EXPECT_NE(write.out.find("wrote CITATION.cff"), std::string::npos);
  auto again = testing::run_cli("fix " + at);
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_EQ(again.out, "");
  auto bad = testing::run_cli("fix /nonexistent/place");
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1);
  auto only = testing::run_cli("fix --only nonsense " + at);
  EXPECT_EQ(only.status, 2);
  // One value per --only, so that the path may follow it; a bad timeout is one clear line.
  EXPECT_EQ(testing::run_cli("fix --only zenodo " + at).status, 1);
  auto timeout = testing::run_cli("fix --timeout -1 " + at);
  EXPECT_EQ(timeout.status, 2);
  EXPECT_LT(timeout.err.size(), 200u) << timeout.err;
}

}  // namespace
}  // namespace ostrameld
