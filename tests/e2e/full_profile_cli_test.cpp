// The full profile from the command line: chosen with --profile, its JSON valid against
// the schema (facts on every result), its SARIF valid, batch and summary by profile.
#include <gtest/gtest.h>

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "plugins/full/shapes.h"
#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

const std::string kValidator = std::string(OSTRAMELD_TEST_DATA) + "/../support/validate_json.py";
const std::string kSchemas = std::string(OSTRAMELD_TEST_DATA) + "/../../schema/";

bool valid(const std::string& schema, const std::string& file, bool lines = false) {
  return std::system((shell_quote(kValidator) + " " + shell_quote(schema) + (lines ? " --lines " : " ") +
                      shell_quote(file) + " >/dev/null 2>&1")
                         .c_str()) == 0;
}

TEST(FullProfileCli, JsonAndSarifValidateOnEachShape) {
  for (auto build : {testing::python_with_zenodo, testing::r_package, testing::rust_workspace,
                     testing::npm_monorepo}) {
    TempRepo repo;
    build(repo);
    TempRepo out;
    auto json = run_cli("assess " + shell_quote(repo.path().string()) +
                        " --offline --profile fair4rs-full -f json -o " + shell_quote((out / "a.json").string()));
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(valid(kSchemas + "assessment.schema.json", (out / "a.json").string()));
    auto doc = nlohmann::json::parse(testing::read_file(out / "a.json"));
    EXPECT_EQ(doc["profile"], "fair4rs-full");
    for (const auto& i : doc["indicators"]) EXPECT_TRUE(i.contains("facts")) << i["indicator_id"];
    auto sarif = run_cli("assess " + shell_quote(repo.path().string()) +
                         " --offline --profile fair4rs-full -f sarif -o " + shell_quote((out / "a.sarif").string()));
    ASSERT_EQ(sarif.status, 0) << sarif.err;
    EXPECT_TRUE(valid(std::string(OSTRAMELD_TEST_DATA) + "/schemas/sarif-schema-2.1.0.json",
                      (out / "a.sarif").string()));
    auto s = nlohmann::json::parse(testing::read_file(out / "a.sarif"));
    EXPECT_EQ(s["runs"][0]["tool"]["driver"]["rules"].size(), 16u);  // the profile's own rules
  }
}

TEST(FullProfileCli, ChoosingAndListing) {
  TempRepo repo;
  testing::python_with_zenodo(repo);
  std::string path = shell_quote(repo.path().string());
  struct {
    const char* args;
    int status;
    const char* in_out;  // expected in stdout, or in stderr when the status is 2
  } cases[] = {
      {" --offline --profile fair4rs-full", 0, "documentation                docs"},
      {" --offline --profile fair4rs-full --indicator open_access", 0, "open_access"},
      {" --offline --indicator open_access", 2, "unknown indicator \"open_access\" in profile fair4rs"},
      {" --offline --profile fair4rs-full --indicator clear_license", 2, "in profile fair4rs-full"},
      {" --offline --profile fair4rs-ful", 2, "--profile"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    auto r = run_cli("assess " + path + c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE((c.status == 2 ? r.err : r.out).find(c.in_out), std::string::npos) << r.out << r.err;
  }
  auto list = run_cli("indicators");
  ASSERT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("Profile: fair4rs (default)"), std::string::npos);
  EXPECT_NE(list.out.find("Profile: fair4rs-full"), std::string::npos);
  EXPECT_NE(list.out.find("persistent_identifier     F1"), std::string::npos);
  EXPECT_EQ(list.out.find("(not built yet)"), std::string::npos);  // every indicator has its check
  // Services pointed elsewhere must be named correctly.
  auto bad = run_cli("assess " + path + " --profile fair4rs-full", "OSTRAMELD_SERVICES=nosuch=http://x/{} ");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("OSTRAMELD_SERVICES: unknown service \"nosuch\""), std::string::npos);
}

// With every indicator built, the full profile's levels are reachable: an R package as its
// community keeps one is "intermediate"; without a release tag only "basic"; without any
// licence none at all.
TEST(FullProfileCli, ComplianceLevels) {
  const std::string words = " This package estimates river discharge from gauge records and weather data for "
                            "hydrologists who study floods, droughts and long-term trends in catchments.";
  struct {
    const char* name;
    bool licence, tag;
    const char* level;  // nullptr: no level
  } cases[] = {
      {"complete", true, true, "intermediate"},
      {"no release tag", true, false, "basic"},
      {"no licence anywhere", false, true, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    repo.write("DESCRIPTION", std::string("Package: rivers\nTitle: River Discharge\nVersion: 1.0.0\n"
                                          "Authors@R: person(\"Jane\", \"Doe\", role = c(\"aut\", \"cre\"), "
                                          "comment = c(ORCID = \"0000-0002-1825-0097\"))\n") +
                                  (c.licence ? "License: GPL-3\n" : "") + "URL: https://github.com/org/rivers\n");
    repo.write("README.md", "# rivers\n\n" + words + words + words + words + words +
                                "\n\n## Installation\n\n    install.packages(\"rivers\")\n\n## Usage\n\n    library(rivers)\n");
    repo.write("CITATION.cff", std::string("cff-version: 1.2.0\nmessage: Please cite it\ntitle: rivers\nversion: 1.0.0\n"
                                           "doi: 10.5281/zenodo.1234\nrepository-code: https://github.com/org/rivers\n") +
                                   (c.licence ? "license: GPL-3.0-only\n" : "") +
                                   "authors:\n  - family-names: Doe\n    given-names: Jane\n"
                                   "    orcid: https://orcid.org/0000-0002-1825-0097\n");
    repo.write("NEWS.md", "# rivers 1.0.0\n\n* First release.\n");
    repo.write("tests/testthat/test-a.R", "test_that(\"a\", {})\n");
    testing::commit_all(repo, "https://github.com/org/rivers.git");
    if (c.tag) testing::git(repo, "tag v1.0.0");
    auto r = run_cli("assess " + shell_quote(repo.path().string()) + " --offline --profile fair4rs-full -f json");
    ASSERT_EQ(r.status, 0) << r.err;
    auto doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["compliance_level"], c.level ? nlohmann::json(c.level) : nlohmann::json(nullptr)) << doc["overall_score"];
  }
}

// A batch in each profile, summed up together: the summary says so and keeps them apart.
TEST(FullProfileCli, SummaryOfTwoProfiles) {
  TempRepo a, b, out;
  testing::python_with_zenodo(a);
  testing::rust_workspace(b);
  out.write("list", a.path().string() + "\n" + b.path().string() + "\n/no/such/repo\n");
  std::string list = shell_quote((out / "list").string());
  auto d = run_cli("batch " + list + " --offline -o " + shell_quote((out / "default.jsonl").string()));
  auto f = run_cli("batch " + list + " --offline --profile fair4rs-full -o " +
                   shell_quote((out / "full.jsonl").string()));
  ASSERT_EQ(d.status, 1) << d.err;  // one input cannot be assessed
  ASSERT_EQ(f.status, 1) << f.err;
  EXPECT_TRUE(valid(kSchemas + "batch-line.schema.json", (out / "full.jsonl").string(), true));
  EXPECT_NE(testing::read_file(out / "full.jsonl").find("\"profile\": \"fair4rs-full\", \"errors\""),
            std::string::npos);
  std::string files = shell_quote((out / "default.jsonl").string()) + " " + shell_quote((out / "full.jsonl").string());
  auto md = run_cli("summary " + files);
  ASSERT_EQ(md.status, 0) << md.err;
  EXPECT_NE(md.err.find("the results come from 2 profiles (fair4rs, fair4rs-full)"), std::string::npos);
  EXPECT_NE(md.out.find("## Profile `fair4rs`"), std::string::npos);
  EXPECT_NE(md.out.find("## Profile `fair4rs-full`"), std::string::npos);
  EXPECT_NE(md.out.find("(`persistent_identifier`)"), std::string::npos);
  EXPECT_NE(md.out.find("### Pass rate per indicator"), std::string::npos);
  auto csv = run_cli("summary -f csv " + files);
  ASSERT_EQ(csv.status, 0);
  EXPECT_EQ(csv.out.rfind("input,name,profile,overall_score,compliance_level,clear_license,", 0), 0u);
  EXPECT_NE(csv.out.find(",fair4rs-full,"), std::string::npos);
  // One profile alone: the summary as it always was.
  auto one = run_cli("summary " + shell_quote((out / "default.jsonl").string()));
  EXPECT_EQ(one.out.rfind("# FAIR assessment of 3 repositories", 0), 0u);
  EXPECT_TRUE(one.err.empty()) << one.err;
}

}  // namespace
}  // namespace ostrameld
