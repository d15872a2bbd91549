// The full profile's checks on repositories shaped like real projects of each ecosystem,
// offline: what each finds (its facts), its status and score, and its advice.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "ostrameld/engine/assess.h"
#include "plugins/full/shapes.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::TempRepo;

std::map<std::string, CheckResult> assess_full(const TempRepo& repo) {
  AssessOptions options;
  options.profile = &fair4rs_full_profile();
  options.offline = true;
  Assessment a = assess_repository(repo.path(), options);
  std::map<std::string, CheckResult> by_key;
  for (auto& r : a.indicators) by_key[r.indicator_id] = r;
  return by_key;
}

bool any_advice(const CheckResult& r, std::string_view text) {
  for (const auto& a : r.advice)
    if (a.find(text) != std::string::npos) return true;
  return false;
}

TEST(FullProfile, EachEcosystemShape) {
  struct Expect {
    const char* key;
    CheckStatus status;
    double score;
    std::function<void(const CheckResult&)> more;
  };
  struct {
    const char* name;
    std::function<void(TempRepo&)> build;
    std::vector<Expect> expect;
  } cases[] = {
      {"Python package: Zenodo concept DOI in CITATION.cff and a badge, a JOSS paper",
       testing::python_with_zenodo,
       {{"persistent_identifier", CheckStatus::Pass, 10.0,
         [](const CheckResult& r) {
           ASSERT_EQ(r.facts["identifiers"].size(), 1u);
           EXPECT_EQ(r.facts["identifiers"][0]["value"], "10.5281/zenodo.1234");
           EXPECT_EQ(r.facts["identifiers"][0]["scheme"], "doi");
           EXPECT_TRUE(r.facts["identifiers"][0]["verified"].is_null());  // offline
           EXPECT_EQ(r.facts["papers"].size(), 0u);  // the paper is a reference, not named here
         }},
        {"open_access", CheckStatus::Pass, 10.0,
         [](const CheckResult& r) { EXPECT_TRUE(r.facts["public"].is_null()); }},
        {"metadata_archived", CheckStatus::Pass, 8.0,
         [](const CheckResult& r) {
           std::string kinds;
           for (const auto& a : r.facts["archives"]) kinds += a["kind"].get<std::string>() + ";";
           EXPECT_EQ(kinds, "zenodo;pypi;");
         }},
        {"qualified_references", CheckStatus::Pass, 8.0,
         [](const CheckResult& r) {
           EXPECT_EQ(r.facts["references"], 3);
           EXPECT_EQ(r.facts["with_identifier"], 2);
           EXPECT_TRUE(any_advice(r, "A book without an identifier"));
         }},
        {"component_identifiers", CheckStatus::Skipped, 0.0, nullptr},
        {"standard_formats", CheckStatus::Pass, 10.0,
         [](const CheckResult& r) { EXPECT_EQ(r.facts["formats"], Json::array({"HDF5"})); }}}},
      {"R package with ORCIDs in Authors@R, no identifier", testing::r_package,
       {{"persistent_identifier", CheckStatus::Fail, 0.0,
         [](const CheckResult& r) {
           EXPECT_TRUE(any_advice(r, "Zenodo's GitHub integration"));
           EXPECT_TRUE(any_advice(r, "swh:1:rev:"));
           EXPECT_TRUE(any_advice(r, "archive.softwareheritage.org/save"));
         }},
        {"open_access", CheckStatus::Pass, 10.0, nullptr},  // scp-style remote = declared URL
        {"metadata_archived", CheckStatus::Pass, 8.0,
         [](const CheckResult& r) {
           ASSERT_EQ(r.facts["archives"].size(), 1u);
           EXPECT_EQ(r.facts["archives"][0]["kind"], "cran");
           EXPECT_EQ(r.facts["archives"][0]["value"], "rpkg");
         }},
        {"standard_formats", CheckStatus::Pass, 10.0, nullptr},
        {"qualified_references", CheckStatus::Fail, 0.0, nullptr}}},
      {"Rust workspace: a crate without a version", testing::rust_workspace,
       {{"component_identifiers", CheckStatus::Warn, 6.7,
         [](const CheckResult& r) {
           std::set<std::string> names;
           for (const auto& c : r.facts["components"])
             names.insert(c["name"].get<std::string>() + "@" + c["version"].get<std::string>());
           EXPECT_EQ(names, (std::set<std::string>{"ws-cli@0.4.1", "ws-core@0.4.0", "ws-extra@"}));
           EXPECT_TRUE(any_advice(r, "crates/extra/Cargo.toml a version"));
         }},
        {"metadata_archived", CheckStatus::Fail, 0.0,
         [](const CheckResult& r) { EXPECT_TRUE(any_advice(r, "crates.io")); }}}},
      {"npm monorepo under lerna", testing::npm_monorepo,
       {{"component_identifiers", CheckStatus::Pass, 10.0,
         [](const CheckResult& r) { EXPECT_EQ(r.facts["components"].size(), 2u); }},
        {"open_access", CheckStatus::Pass, 10.0, nullptr}}},
      {"C++ project whose only identifier is a SWHID of its history",
       [](TempRepo& repo) { testing::cpp_with_swhid(repo, true); },
       {{"persistent_identifier", CheckStatus::Pass, 8.0,
         [](const CheckResult& r) {
           ASSERT_EQ(r.facts["identifiers"].size(), 1u);
           EXPECT_EQ(r.facts["identifiers"][0]["scheme"], "swhid");
           EXPECT_EQ(r.facts["identifiers"][0]["in_history"], true);
           EXPECT_TRUE(any_advice(r, "type: swh"));  // only in the README
         }},
        {"metadata_archived", CheckStatus::Pass, 8.0, nullptr},
        {"open_access", CheckStatus::Pass, 7.0,
         [](const CheckResult& r) { EXPECT_TRUE(any_advice(r, "Declare the repository's address")); }},
        {"standard_formats", CheckStatus::Pass, 10.0,
         [](const CheckResult& r) { EXPECT_EQ(r.facts["formats"], Json::array({"HDF5"})); }}}},
      {"C++ project with a SWHID of an object it does not have",
       [](TempRepo& repo) { testing::cpp_with_swhid(repo, false); },
       {{"persistent_identifier", CheckStatus::Warn, 5.0,
         [](const CheckResult& r) {
           EXPECT_EQ(r.facts["identifiers"][0]["in_history"], false);
           EXPECT_TRUE(any_advice(r, "does not hold"));
         }}}},
      {"a local path as the remote",
       [](TempRepo& repo) {
         repo.write("README.md", "# x\n");
         testing::commit_all(repo, "/srv/git/x.git");
       },
       {{"open_access", CheckStatus::Fail, 2.0, nullptr}}},
      {"plain http only",
       [](TempRepo& repo) {
         repo.write("CITATION.cff", "cff-version: 1.2.0\ntitle: x\nrepository-code: http://git.example.org/a/x\n");
         testing::commit_all(repo, "http://git.example.org/a/x.git");
       },
       {{"open_access", CheckStatus::Warn, 4.0, nullptr}}},
      {"metadata naming another repository than the remote",
       [](TempRepo& repo) {
         repo.write("codemeta.json", "{\"codeRepository\": \"https://github.com/old/x\"}");
         testing::commit_all(repo, "https://github.com/new/x.git");
       },
       {{"open_access", CheckStatus::Warn, 5.0,
         [](const CheckResult& r) { EXPECT_TRUE(any_advice(r, "codemeta.json names https://github.com/old/x")); }}}},
      {"no remote at all",
       [](TempRepo& repo) { testing::commit_all(repo); },
       {{"open_access", CheckStatus::Fail, 0.0, nullptr}}},
      {"a paper's DOI where the software's belongs",
       [](TempRepo& repo) {
         repo.write("CITATION.cff",
                    "cff-version: 1.2.0\ntitle: x\ndoi: 10.1371/journal.pcbi.1004668\n"
                    "preferred-citation:\n  type: article\n  title: P\n  doi: 10.1371/journal.pcbi.1004668\n");
         repo.write("README.md", "Please cite https://doi.org/10.1371/journal.pcbi.1004668 and "
                                 "https://doi.org/10.21105/joss.00001.\n");
         testing::commit_all(repo, "https://github.com/org/x.git");
       },
       {{"persistent_identifier", CheckStatus::Fail, 0.0,
         [](const CheckResult& r) {
           EXPECT_EQ(r.facts["identifiers"].size(), 0u);
           EXPECT_EQ(r.facts["papers"], Json::array({"10.1371/journal.pcbi.1004668"}));
           EXPECT_TRUE(any_advice(r, "the DOI of a paper about the software"));
         }},
        {"metadata_archived", CheckStatus::Fail, 0.0, nullptr}}},
      {"malformed identifiers and the wrong DOI forms for each file",
       [](TempRepo& repo) {
         repo.write("CITATION.cff",
                    "cff-version: 1.2.0\ntitle: x\ndoi: https://doi.org/10.5281/zenodo.77\n"
                    "identifiers:\n  - type: swh\n    value: swh:1:rev:123\n");
         repo.write("codemeta.json", "{\"identifier\": \"10.5281/zenodo.77\"}");
         testing::commit_all(repo);
       },
       {{"persistent_identifier", CheckStatus::Pass, 10.0,
         [](const CheckResult& r) {
           EXPECT_TRUE(any_advice(r, "Write the DOI bare in CITATION.cff: doi: 10.5281/zenodo.77"));
           EXPECT_TRUE(any_advice(r, "\"https://doi.org/10.5281/zenodo.77\""));
           EXPECT_TRUE(any_advice(r, "swh:1:rev:123"));
           EXPECT_EQ(r.facts["malformed"].size(), 1u);
         }}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    c.build(repo);
    auto results = assess_full(repo);
    for (const auto& e : c.expect) {
      SCOPED_TRACE(e.key);
      ASSERT_TRUE(results.count(e.key));
      const CheckResult& r = results[e.key];
      EXPECT_EQ(r.status, e.status) << r.output;
      EXPECT_DOUBLE_EQ(r.score, e.score) << r.output;
      EXPECT_TRUE(r.facts.is_object());
      // Every result short of pass says what to do.
      if (r.status != CheckStatus::Pass && r.status != CheckStatus::Skipped) {
        EXPECT_FALSE(r.advice.empty());
      }
      if (e.more) e.more(r);
    }
  }
}

// The profile's frame: unbuilt indicators are skipped with the reason, never absent; every
// result carries facts; the compliance rule is the profile's own.
TEST(FullProfile, FrameSkippedFactsAndCompliance) {
  TempRepo repo;
  testing::python_with_zenodo(repo);
  AssessOptions options;
  options.profile = &fair4rs_full_profile();
  options.offline = true;
  Assessment a = assess_repository(repo.path(), options);
  EXPECT_EQ(a.profile, "fair4rs-full");
  std::size_t listed = a.indicators.size() + a.skipped.size();
  EXPECT_EQ(listed, fair4rs_full_profile().indicators.size());
  for (const auto& s : a.skipped) EXPECT_EQ(s.reason, "not built yet") << s.indicator_id;
  for (const auto& r : a.indicators) EXPECT_TRUE(r.facts.is_object()) << r.indicator_id;
  // basic needs licence and documentation, which are not built yet.
  EXPECT_FALSE(a.compliance_level);
  // The rule itself: with both passing and the four pass or warn, the score decides.
  std::vector<CheckResult> results;
  for (const auto& spec : fair4rs_full_profile().indicators) {
    CheckResult r;
    r.indicator_id = spec.key;
    r.status = CheckStatus::Pass;
    r.score = 10.0;
    results.push_back(r);
  }
  EXPECT_EQ(compliance_level(results, 10.0, fair4rs_full_profile()), "advanced");
  results[2].status = CheckStatus::Warn;  // release_versions
  EXPECT_EQ(compliance_level(results, 9.0, fair4rs_full_profile()), "intermediate");
  results[2].status = CheckStatus::Fail;
  EXPECT_EQ(compliance_level(results, 9.0, fair4rs_full_profile()), "basic");
  results[12].status = CheckStatus::Warn;  // licence
  EXPECT_FALSE(compliance_level(results, 9.0, fair4rs_full_profile()));
}

}  // namespace
}  // namespace ostrameld
