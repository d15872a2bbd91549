// metadata_consistency: each field in its normal form, across pairs of sources; what an
// expert would call a conflict, and what not (a development version after a release, a
// title that says more than the package's name, a vague GPL beside a precise one).
#include <gtest/gtest.h>

#include <map>

#include "ostrameld/engine/assess.h"
#include "ostrameld/licences/names.h"
#include "plugins/full/shapes.h"

namespace ostrameld {
namespace {

using testing::TempRepo;

TEST(MetadataConsistency, EachFieldAndItsNormalForm) {
  const std::string cff_head = "cff-version: 1.2.0\nmessage: m\n";
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    std::vector<std::string> tags;
    std::vector<std::string> conflicts;  // fields that differ
    const char* advice;
  } cases[] = {
      {"versions agree across spellings (v, PEP 440 and SemVer pre-releases)",
       {{"CITATION.cff", cff_head + "title: p\nversion: 1.2.0rc1\nauthors:\n  - name: T\n"},
        {"package.json", R"({"name": "p", "version": "1.2.0-rc.1"})"}},
       {"v1.1.0"}, {}, nullptr},
      {"a citation file behind the newest release",
       {{"CITATION.cff", cff_head + "title: p\nversion: 1.2.0\nauthors:\n  - name: T\n"},
        {"pyproject.toml", "[project]\nname = \"p\"\nversion = \"1.3.0\"\n"}},
       {"v1.3.0"}, {"version"}, "Change CITATION.cff to 1.3.0"},
      {"development versions after the release are no conflict",
       {{"codemeta.json", R"({"name": "p", "version": "1.1.1"})"},
        {"DESCRIPTION", "Package: p\nVersion: 1.1.1.9000\n"}},
       {"v1.1.1"}, {}, nullptr},
      {"without tags, two releases named",
       {{"CITATION.cff", cff_head + "title: p\nversion: 2.0.0\nauthors:\n  - name: T\n"},
        {"Cargo.toml", "[package]\nname = \"p\"\nversion = \"2.1.0\"\n"}},
       {}, {"version"}, "Change CITATION.cff to 2.1.0"},
      {"licences: R's GPL-3, codemeta's SPDX URL, CFF's list",
       {{"DESCRIPTION", "Package: p\nLicense: GPL-3\n"},
        {"codemeta.json", R"({"name": "p", "license": "https://spdx.org/licenses/GPL-3.0-only"})"},
        {"CITATION.cff", cff_head + "title: p\nlicense: [GPL-3.0-only]\nauthors:\n  - name: T\n"}},
       {}, {}, nullptr},
      {"a vague GPL beside a precise one is no conflict; MIT beside it is",
       {{"pyproject.toml", "[project]\nname = \"p\"\nlicense = {text = \"GPLv3\"}\n"},
        {"CITATION.cff", cff_head + "title: p\nlicense: GPL-3.0-or-later\nauthors:\n  - name: T\n"},
        {"package.json", R"({"name": "p", "license": "MIT"})"}},
       {}, {"licence"}, "The licence differs"},
      {"a title that says more than the package's name",
       {{"CITATION.cff", cff_head + "title: \"pkgz: fast things\"\nauthors:\n  - name: T\n"},
        {"pyproject.toml", "[project]\nname = \"pkgz\"\n"}},
       {}, {}, nullptr},
      {"another name",
       {{"CITATION.cff", cff_head + "title: Oldname\nauthors:\n  - name: T\n"},
        {"pyproject.toml", "[project]\nname = \"newname\"\n"}},
       {}, {"name"}, "Name the software alike"},
      {"repository addresses: scheme, .git, host case, scp-style ssh, a page below the repository",
       {{"CITATION.cff", cff_head + "title: p\nrepository-code: https://GitHub.com/org/p/tree/main\nauthors:\n  - name: T\n"},
        {"package.json", R"({"name": "p", "repository": "git+ssh://git@github.com/org/p.git"})"},
        {"Cargo.toml", "[package]\nname = \"p\"\nrepository = \"git@github.com:org/p.git\"\n"}},
       {}, {}, nullptr},
      {"another repository",
       {{"CITATION.cff", cff_head + "title: p\nrepository-code: https://github.com/old/p\nauthors:\n  - name: T\n"},
        {"pyproject.toml", "[project]\nname = \"p\"\n[project.urls]\nSource = \"https://gitlab.com/new/p\"\n"}},
       {}, {"repository"}, "Point each at the one public repository"},
      {"authors by ORCID and by name, in either order of names",
       {{"CITATION.cff", cff_head + "title: p\nauthors:\n  - family-names: Doe\n    given-names: Jane\n"
                                    "    orcid: https://orcid.org/0000-0002-1825-0097\n  - family-names: Roe\n    given-names: Max\n"},
        {".zenodo.json", R"({"title": "p", "creators": [{"name": "Doe, Jane"}, {"name": "Roe, Max"}]})"},
        {"package.json", R"({"name": "p", "author": "Jane Doe <j@x.org>"})"}},
       {}, {}, nullptr},
      {"an author missing from a citation file",
       {{"CITATION.cff", cff_head + "title: p\nauthors:\n  - family-names: Doe\n    given-names: Jane\n"},
        {"codemeta.json", R"({"name": "p", "author": [{"givenName": "Jane", "familyName": "Doe"}, {"givenName": "Ann", "familyName": "Lee"}]})"}},
       {}, {"authors"}, "Ann Lee (codemeta.json) is not in CITATION.cff"},
      {"a team as the manifest's author stands for the people the citation file lists",
       {{"CITATION.cff", cff_head + "title: p\nauthors:\n  - family-names: Doe\n    given-names: Jane\n"},
        {"pyproject.toml", "[project]\nname = \"p\"\nauthors = [{name = \"The p Developers\"}]\n"}},
       {}, {}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [file, text] : c.files) repo.write(file, text);
    testing::commit_all(repo);
    for (const auto& t : c.tags) testing::git(repo, "tag " + t);
    AssessOptions options;
    options.profile = &fair4rs_full_profile();
    options.offline = true;
    options.only = {"metadata_consistency"};
    Assessment a = assess_repository(repo.path(), options);
    ASSERT_EQ(a.indicators.size(), 1u);
    const CheckResult& r = a.indicators.front();
    std::vector<std::string> fields;
    for (const auto& conflict : r.facts["conflicts"]) fields.push_back(conflict["field"]);
    EXPECT_EQ(fields, c.conflicts) << (r.advice.empty() ? "" : r.advice.front());
    EXPECT_EQ(r.status == CheckStatus::Pass, c.conflicts.empty()) << r.score;
    if (c.advice) {
      bool found = false;
      for (const auto& line : r.advice) found = found || line.find(c.advice) != std::string::npos;
      EXPECT_TRUE(found) << (r.advice.empty() ? "" : r.advice.front());
    }
  }
}

TEST(MetadataConsistency, UnknownWithFewerThanTwoSources) {
  TempRepo repo;
  repo.write("pyproject.toml", "[project]\nname = \"p\"\nversion = \"1.0\"\n");
  testing::commit_all(repo);
  AssessOptions options;
  options.profile = &fair4rs_full_profile();
  options.offline = true;
  options.only = {"metadata_consistency"};
  Assessment a = assess_repository(repo.path(), options);
  EXPECT_EQ(a.indicators.front().status, CheckStatus::Unknown);
}

TEST(LicenceNames, DeclarationsAsSpdx) {
  struct {
    const char* declared;
    const char* spdx;
  } cases[] = {
      {"GPL (>= 2)", "GPL-2.0-or-later"},   {"MIT + file LICENSE", "MIT"},
      {"https://spdx.org/licenses/Apache-2.0.html", "Apache-2.0"},
      {"http://opensource.org/licenses/BSD-3-Clause", "BSD-3-Clause"},
      {"The Apache Software License, Version 2.0", "Apache-2.0"},
      {"GPL-3.0+", "GPL-3.0-or-later"},     {"\"MIT\"", "MIT"},
      {"LicenseRef-Proprietary", "LicenseRef-Proprietary"},
  };
  for (const auto& c : cases) EXPECT_EQ(normalize_licence(c.declared), c.spdx) << c.declared;
  EXPECT_TRUE(same_licence("GPL-3.0", "GPL-3.0-or-later"));
  EXPECT_FALSE(same_licence("GPL-3.0-only", "GPL-3.0-or-later"));
  EXPECT_FALSE(same_licence("GPL-3.0", "GPL-2.0-or-later"));
  EXPECT_TRUE(same_licence("mit", "MIT"));
}

}  // namespace
}  // namespace ostrameld
