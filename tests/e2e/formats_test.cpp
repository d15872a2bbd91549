// What other tools read: SARIF for code-scanning dashboards, the JSON against the
// project's own schema, and the README badge, checked with the official schemas and an
// XML parser.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <set>

#include "ostrameld/engine/project_config.h"
#include "ostrameld/reports/sarif.h"
#include "ostrameld/utils/text.h"
#include "support/git_repo.h"
#include "support/run_cli.h"

namespace ostrameld {
namespace {

using testing::git;
using testing::git_history;
using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

const std::string kValidator = std::string(OSTRAMELD_TEST_DATA) + "/../support/validate_json.py";
const std::string kSchemas = std::string(OSTRAMELD_TEST_DATA) + "/../../schema/";

// Runs the validator; returns what it said about invalid documents.
std::string invalid(const std::string& schema, const std::string& file, bool lines = false) {
  TempRepo out;
  std::string report = (out / "report.txt").string();
  int rc = std::system((shell_quote(kValidator) + " " + shell_quote(schema) +
                        (lines ? " --lines " : " ") + shell_quote(file) + " > " +
                        shell_quote(report) + " 2>&1")
                           .c_str());
  return rc == 0 ? "" : testing::read_file(report) + "(exit " + std::to_string(rc) + ")";
}

std::string unprivileged() {
  return ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
}

TEST(Formats, SarifAndJsonValidateForEveryKindOfAssessment) {
  struct {
    const char* name;
    std::function<void(TempRepo&)> setup;
    std::string args;
    std::string prefix;
  } cases[] = {
      {"passing",
       [](TempRepo& r) {
         r.write("LICENSE", testing::data_file("licenses/MIT.txt"));
         r.write("README.md", std::string(300, 'x'));
         r.write("docs/index.md", "# Docs");
         r.write("CITATION.cff", "cff-version: 1.2.0\ntitle: x\nauthors: []\n");
         git_history(r, 12);
         git(r, "tag v1.0.0");
       },
       "", ""},
      {"failing", [](TempRepo&) {}, "", ""},
      {"erroring",
       [](TempRepo& r) {
         r.write("docs/index.md", "");
         ::chmod((r / "docs").c_str(), 0711);
       },
       "", unprivileged()},
      {"skipped", [](TempRepo&) {}, " --indicator clear_license", ""},
      {"exempt",
       [](TempRepo& r) {
         r.write(".ostrameld.toml", "[exempt]\nversion_identifiers = \"nothing is released\"\n");
       },
       "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    c.setup(repo);
    TempRepo out;
    ::chmod(out.path().c_str(), 0777);
    for (const char* format : {"sarif", "json"}) {
      std::string file = (out / (std::string("report.") + format)).string();
      auto r = run_cli("assess " + shell_quote(repo.path().string()) + " --offline -f " + format +
                           c.args + " -o " + shell_quote(file),
                       c.prefix);
      ASSERT_EQ(r.status, 0) << r.err;
      std::string schema = std::string(format) == "sarif" ? std::string(OSTRAMELD_TEST_DATA) +
                                                                "/schemas/sarif-schema-2.1.0.json"
                                                          : kSchemas + "assessment.schema.json";
      EXPECT_EQ(invalid(schema, file), "") << format;
      std::string text = testing::read_file(file);
      if (std::string(c.name) == "erroring" && std::string(format) == "sarif") {
        EXPECT_NE(text.find("\"level\": \"error\""), std::string::npos);
        EXPECT_NE(text.find("Permission denied"), std::string::npos);
      }
      if (std::string(c.name) == "exempt") {
        EXPECT_NE(text.find("nothing is released"), std::string::npos) << format;
      }
      if (std::string(c.name) == "passing" && std::string(format) == "sarif") {
        EXPECT_EQ(text.find("\"ruleId\": \"clear_license\""), std::string::npos);  // it passed
      }
    }
  }
}

// Code scanning shows a result only at a file of the repository: every result of
// differently shaped repositories points at one that exists, relative to %SRCROOT%, at a
// line; informative indicators are notes.
TEST(Formats, SarifResultsPointAtFilesThatExist) {
  struct {
    const char* name;
    std::function<void(TempRepo&)> setup;
  } cases[] = {
      {"a README only", [](TempRepo& r) { r.write("README.md", "# x\n"); }},
      {"Python, licence under another name",
       [](TempRepo& r) {
         r.write("MIT-LICENSE.txt", testing::data_file("licenses/MIT.txt"));
         r.write("pyproject.toml", "[project]\nname = \"p\"\n");
         r.write("p/__init__.py", "");
         git_history(r, 2);
       }},
      {"R package",
       [](TempRepo& r) {
         r.write("DESCRIPTION", "Package: p\nLicense: GPL-3\n");
         r.write("R/p.R", "f <- function() 1\n");
         r.write("vignettes/intro.Rmd", "x");
       }},
      {"Maven with a workflow",
       [](TempRepo& r) {
         r.write("pom.xml", "<project/>\n");
         r.write("src/main/java/A.java", "class A {}\n");
         r.write(".github/workflows/build.yml", "on: push\njobs: {}\n");
         r.write("weird name \xC3\xA9.txt", "x");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    c.setup(repo);
    TempRepo out;
    std::string file = (out / "report.sarif").string();
    auto r = run_cli("assess " + shell_quote(repo.path().string()) + " --offline -f sarif -o " +
                     shell_quote(file));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(invalid(std::string(OSTRAMELD_TEST_DATA) + "/schemas/sarif-schema-2.1.0.json", file),
              "");
    auto doc = nlohmann::json::parse(testing::read_file(file));
    const auto& results = doc["runs"][0]["results"];
    ASSERT_FALSE(results.empty());
    for (const auto& result : results) {
      SCOPED_TRACE(result["ruleId"].get<std::string>());
      ASSERT_EQ(result["locations"].size(), 1u);
      const auto& where = result["locations"][0]["physicalLocation"];
      EXPECT_EQ(where["artifactLocation"]["uriBaseId"], "%SRCROOT%");
      std::string uri = where["artifactLocation"]["uri"];
      EXPECT_NE(uri, ".");
      EXPECT_NE(uri.front(), '/');
      // Decode the URI and check the file is there.
      std::string decoded;
      for (std::size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] == '%') {
          decoded.push_back(static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16)));
          i += 2;
        } else {
          decoded.push_back(uri[i]);
        }
      }
      EXPECT_TRUE(std::filesystem::is_regular_file(repo / decoded)) << uri;
      EXPECT_GE(where["region"]["startLine"].get<int>(), 1);
      if (result["ruleId"] == "continuous_integration" ||
          result["properties"]["status"] == "unknown") {
        EXPECT_EQ(result["level"], "note");
      } else {
        EXPECT_EQ(result["level"], result["properties"]["status"] == "warn" ? "warning" : "error");
      }
      if (result["ruleId"] == "clear_license" && std::string(c.name).find("Python") == 0) {
        EXPECT_EQ(uri, "MIT-LICENSE.txt");
      }
    }
  }
}

TEST(Formats, BatchLinesValidate) {
  TempRepo repos;
  repos.write("a/LICENSE", "MIT License\n");
  repos.write("list.txt", (repos / "a").string() + "\n" + (repos / "gone").string() + "\n");
  TempRepo out;
  std::string file = (out / "out.jsonl").string();
  auto r = run_cli("batch " + shell_quote((repos / "list.txt").string()) + " --offline -o " +
                   shell_quote(file));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(invalid(kSchemas + "batch-line.schema.json", file, true), "");
}

// Well-formed SVG for every level and the scores from 0.0 to 10.0, saying both.
TEST(Formats, BadgeIsWellFormedForEveryLevelAndScore) {
  TempRepo out;
  for (std::optional<std::string> level :
       {std::optional<std::string>(), std::optional<std::string>("basic"),
        std::optional<std::string>("intermediate"), std::optional<std::string>("advanced")}) {
    for (double score : {0.0, 0.05, 3.25, 9.99, 10.0}) {
      Assessment a;
      a.overall_score = score;
      a.compliance_level = level;
      std::string svg = BadgeRenderer().render(a);
      auto file = out.write("badge.svg", svg);
      int rc = std::system(("/usr/bin/python3 -c 'import sys, xml.etree.ElementTree as E; "
                            "E.parse(sys.argv[1])' " +
                            shell_quote(file.string()))
                               .c_str());
      EXPECT_EQ(rc, 0) << svg;
      EXPECT_NE(svg.find(">" + format_fixed(score, 1) + " " + level.value_or("none") + "<"),
                std::string::npos)
          << svg;
      // Each level its colour, the best green.
      std::string colour = level == "advanced"       ? "#2b8a3e"
                           : level == "intermediate" ? "#5c940d"
                           : level == "basic"        ? "#e67700"
                                                     : "#c92a2a";
      EXPECT_NE(svg.find("fill=\"" + colour + "\""), std::string::npos) << svg;
    }
  }
  // Beside another format in the same run.
  TempRepo repo;
  auto r = run_cli("assess " + shell_quote(repo.path().string()) + " --offline -f json --badge " +
                   shell_quote((out / "fair.svg").string()));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testing::read_file(out / "fair.svg").rfind("<svg ", 0), 0u);
}

// A result with no file to point at (an empty repository) has no location at all: an
// empty URI would point code scanning at nothing.
TEST(Formats, SarifResultsWithoutAFileHaveNoLocation) {
  TempRepo repo;
  auto r = run_cli("assess " + shell_quote(repo.path().string()) + " --offline -f sarif");
  ASSERT_EQ(r.status, 0) << r.err;
  auto doc = nlohmann::json::parse(r.out);
  std::size_t without = 0;
  for (const auto& result : doc["runs"][0]["results"]) {
    SCOPED_TRACE(result["ruleId"].get<std::string>());
    if (!result.contains("locations")) {
      ++without;
      continue;
    }
    for (const auto& where : result["locations"])
      EXPECT_NE(where["physicalLocation"]["artifactLocation"]["uri"], "");
  }
  EXPECT_GT(without, 0u);
}

// The settings file's schema says what the program accepts: the README's example is valid
// to both, each mistake the program refuses is invalid to the schema, and the indicator ids
// it lists are the program's.
TEST(Formats, SettingsSchemaAgreesWithTheProgram) {
  std::string readme = testing::read_file(std::string(OSTRAMELD_TEST_DATA) + "/../../README.md");
  auto start = readme.find("```toml\n# .ostrameld.toml\n");
  ASSERT_NE(start, std::string::npos);
  start = readme.find('\n', start) + 1;
  std::string example = readme.substr(start, readme.find("```", start) - start);
  EXPECT_NO_THROW(parse_project_config(example, ".ostrameld.toml", false));
  TempRepo dir;
  auto as_json = [&](const std::string& toml) {
    dir.write("s.toml", toml);
    std::string file = (dir / "s.json").string();
    std::system(("/usr/bin/python3 -c 'import json, sys, tomllib; "
                 "json.dump(tomllib.load(open(sys.argv[1], \"rb\")), open(sys.argv[2], \"w\"))' " +
                 shell_quote((dir / "s.toml").string()) + " " + shell_quote(file))
                    .c_str());
    return file;
  };
  std::string schema = kSchemas + "settings.schema.json";
  EXPECT_EQ(invalid(schema, as_json(example)), "");
  for (const char* bad : {"profle = \"fair4rs\"", "fail-under = 11", "[exempt]\nrelease_versions = \"\"",
                          "[exempt]\nreleases = \"x\"", "[forge]\n\"h\" = \"svn\""}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(parse_project_config(bad, ".ostrameld.toml", false), ConfigError);
    EXPECT_NE(invalid(schema, as_json(bad)), "");
  }
  auto doc = nlohmann::json::parse(testing::read_file(schema));
  std::set<std::string> listed, known;
  for (const auto& key : doc["properties"]["exempt"]["propertyNames"]["enum"]) listed.insert(key);
  for (const Profile* p : profiles())
    for (const auto& spec : p->indicators) known.insert(std::string(spec.key));
  EXPECT_EQ(listed, known);
}

}  // namespace
}  // namespace ostrameld
