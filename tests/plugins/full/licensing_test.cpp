// licence: licence files by their whole text in every name a project gives them, REUSE,
// SPDX headers, declared licences in each ecosystem's form, and the one expression.
#include <gtest/gtest.h>

#include <map>

#include "ostrameld/engine/assess.h"
#include "ostrameld/plugins/full/licensing.h"
#include "plugins/full/shapes.h"

namespace ostrameld {
namespace {

using testing::TempRepo;

std::string licence(const std::string& name) {
  return testing::read_file(std::filesystem::path(OSTRAMELD_TEST_DATA) / "licenses" / name);
}

CheckResult assess_licence(TempRepo& repo) {
  testing::commit_all(repo);
  AssessOptions options;
  options.profile = &fair4rs_full_profile();
  options.offline = true;
  options.only = {"licence"};
  Assessment a = assess_repository(repo.path(), options);
  return a.indicators.at(0);
}

TEST(FullLicence, TextsNamesDeclarationsAndHeaders) {
  const std::string mit = licence("MIT.txt");
  const std::string apache = licence("Apache-2.0.txt");
  // Without its notice clause MIT is MIT-0; without the right to sell copies it is no
  // standard licence at all.
  std::string mit_without_notice = mit;
  mit_without_notice.erase(mit_without_notice.find("The above copyright notice"),
                           mit_without_notice.find("THE SOFTWARE IS") - mit_without_notice.find("The above copyright notice"));
  std::string mit_clause_removed = mit;
  const std::string rights = "merge, publish, distribute, sublicense, and/or sell";
  ASSERT_NE(mit_clause_removed.find(rights), std::string::npos);
  mit_clause_removed.erase(mit_clause_removed.find(rights), rights.size());
  std::string mit_restricted = mit + "\nThe Software shall be used for Good, not Evil, and never for military purposes.\n";
  std::string julia_mit = "The Foo.jl package is licensed under the MIT \"Expat\" License:\n\n";
  for (std::size_t start = 0; start < mit.size();) {
    std::size_t end = mit.find('\n', start);
    if (end == std::string::npos) end = mit.size();
    julia_mit += "> " + mit.substr(start, end - start) + "\n";
    start = end + 1;
  }
  std::string isc_by_author = licence("ISC.txt");
  for (auto at = isc_by_author.find("ISC DISCLAIMS"); at != std::string::npos; at = isc_by_author.find("ISC DISCLAIMS"))
    isc_by_author.replace(at, 3, "THE AUTHOR");
  for (auto at = isc_by_author.find("SHALL ISC BE"); at != std::string::npos; at = isc_by_author.find("SHALL ISC BE"))
    isc_by_author.replace(at + 6, 3, "THE AUTHOR");

  struct {
    const char* name;
    std::map<std::string, std::string> files;
    const char* spdx;  // nullptr: none
    double score;
    const char* advice;  // nullptr: none expected
    const char* also = "";  // licences of parts, as "also contains" lists them
  } cases[] = {
      {"LICENSE-MIT", {{"LICENSE-MIT", mit}}, "MIT", 10.0, nullptr},
      {"MIT-LICENSE.txt", {{"MIT-LICENSE.txt", mit}}, "MIT", 10.0, nullptr},
      {"COPYING.md with the BSD text of a real project", {{"COPYING.md", licence("real/httpx-LICENSE.md")}}, "BSD-3-Clause", 10.0, nullptr},
      {"CC-BY-4.0 of a real project", {{"LICENSE", licence("real/citation-file-format-LICENSE")}}, "CC-BY-4.0", 10.0, nullptr},
      {"LGPL-2.1 of a real project", {{"LICENSE", licence("real/paramiko-LICENSE")}}, "LGPL-2.1-only", 10.0, nullptr},
      {"Julia's quoted MIT after a preamble", {{"LICENSE.md", julia_mit}}, "MIT", 10.0, nullptr},
      {"ISC naming the author for ISC", {{"LICENSE", isc_by_author}}, "ISC", 10.0, nullptr},
      {"an R GPL package names its licence in DESCRIPTION only, as CRAN asks",
       {{"DESCRIPTION", "Package: p\nVersion: 1.0\nLicense: GPL-3\n"}}, "GPL-3.0-only", 10.0, nullptr},
      {"R's MIT stub with the full text beside it",
       {{"DESCRIPTION", "Package: p\nLicense: MIT + file LICENSE\n"}, {"LICENSE", "YEAR: 2024\nCOPYRIGHT HOLDER: p authors\n"},
        {"LICENSE.md", mit}}, "MIT", 10.0, nullptr},
      {"R's MIT stub alone", {{"DESCRIPTION", "Package: p\nLicense: MIT + file LICENSE\n"}, {"LICENSE", "YEAR: 2024\nCOPYRIGHT HOLDER: p authors\n"}},
       "MIT", 10.0, nullptr},
      {"R's alternatives are OR", {{"DESCRIPTION", "Package: p\nLicense: GPL-2 | GPL-3\n"}}, "GPL-2.0-only OR GPL-3.0-only", 10.0, nullptr},
      {"a GPL text takes the declared or-later", {{"COPYING", licence("GPL-3.0-only.txt")}, {"DESCRIPTION", "Package: p\nLicense: GPL (>= 3)\n"}},
       "GPL-3.0-or-later", 10.0, nullptr},
      {"dual licence: both texts and the Cargo expression",
       {{"LICENSE-MIT", mit}, {"LICENSE-APACHE", apache}, {"Cargo.toml", "[package]\nname = \"p\"\nlicense = \"MIT OR Apache-2.0\"\n"}},
       "MIT OR Apache-2.0", 10.0, nullptr},
      {"declared MIT contradicts an Apache text", {{"LICENSE", apache}, {"pyproject.toml", "[project]\nname = \"p\"\nlicense = \"MIT\"\n"}},
       "Apache-2.0", 5.0, "pyproject.toml declares MIT but the licence text is Apache-2.0"},
      {"MIT without its notice clause is MIT-0", {{"LICENSE", mit_without_notice}}, "MIT-0", 10.0, nullptr},
      {"rights removed is no MIT", {{"LICENSE", mit_clause_removed}}, nullptr, 4.0, "no standard licence text"},
      {"a restriction added is no MIT", {{"LICENSE", mit_restricted}}, nullptr, 4.0, "no standard licence text"},
      {"a modified text beside a declaration", {{"LICENSE", mit_restricted}, {"package.json", R"({"name": "p", "license": "MIT"})"}},
       "MIT", 7.0, "LicenseRef-"},
      {"REUSE: texts in LICENSES/ and headers",
       {{"LICENSES/MIT.txt", mit}, {"LICENSES/CC0-1.0.txt", licence("CC0-1.0.txt")},
        {"src/a.py", "# SPDX-FileCopyrightText: 2024 A\n# SPDX-License-Identifier: MIT\nprint(1)\n"},
        {"docs/b.md", "x"}, {"REUSE.toml", "version = 1\n[[annotations]]\npath = \"docs/**\"\nSPDX-License-Identifier = \"CC0-1.0\"\n"}},
       "CC0-1.0 AND MIT", 10.0, nullptr},
      {"REUSE headers naming a text LICENSES/ lacks",
       {{"LICENSES/MIT.txt", mit}, {"src/a.c", "// SPDX-License-Identifier: GPL-2.0-or-later\nint x;\n"}},
       "MIT AND GPL-2.0-or-later", 10.0, "LICENSES/ has no GPL-2.0-or-later.txt"},
      {"REUSE: a choice in the headers stays a choice",
       {{"LICENSES/MIT.txt", mit}, {"LICENSES/Apache-2.0.txt", apache},
        {"src/a.rs", "// SPDX-License-Identifier: MIT OR Apache-2.0\nfn main() {}\n"}},
       "(MIT OR Apache-2.0)", 10.0, nullptr},
      {"dep5 declarations", {{"LICENSES/CC0-1.0.txt", licence("CC0-1.0.txt")}, {"LICENSE", mit},
        {".reuse/dep5", "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n\nFiles: data/*\nCopyright: 2024 A\nLicense: CC0-1.0\n"}},
       "MIT", 10.0, nullptr, "CC0-1.0"},
      {"headers only", {{"src/a.rs", "// SPDX-License-Identifier: Apache-2.0\nfn main() {}\n"}}, "Apache-2.0", 7.0, "LICENSES/"},
      {"a declaration without any text", {{"pyproject.toml", "[project]\nname = \"p\"\nlicense = \"MIT\"\n"}}, "MIT", 7.0, "Add the licence's text"},
      {"a declaration that is no SPDX expression", {{"LICENSE", mit}, {"package.json", R"({"name": "p", "license": "see the file"})"}},
       "MIT", 10.0, "no SPDX expression"},
      {"an identifier quoted in code is no header",
       {{"LICENSE", mit}, {"src/gen.py", "HEADER = \"SPDX-License-Identifier: GPL-3.0-only\"\n"}}, "MIT", 10.0, nullptr},
      {"test fixtures' headers are the fixtures'",
       {{"LICENSE", mit}, {"tests/data/x.py", "# SPDX-License-Identifier: GPL-3.0-only\n"}}, "MIT", 10.0, nullptr},
      {"nothing at all", {{"README.md", "# p\n"}}, nullptr, 0.0, "Choose a licence"},
      {"a Julia monorepo keeps a licence file in each package its workspace names",
       {{"Project.toml", "[workspace]\nprojects = [\"Plots\", \"PlotsBase\"]\n"}, {"Plots/LICENSE.md", mit},
        {"PlotsBase/LICENSE.md", mit}, {".zenodo.json", R"({"license": "MIT"})"}},
       "MIT", 10.0, nullptr},
      {"a trove classifier declares where no license field does",
       {{"COPYING", licence("GPL-3.0-only.txt")},
        {"pyproject.toml", "[project]\nname = \"p\"\nclassifiers = [\"License :: OSI Approved :: GNU General Public "
                           "License v3 or later (GPLv3+)\"]\n"}},
       "GPL-3.0-or-later", 10.0, nullptr},
      {"setup.py's license=, read and never run",
       {{"LICENSE", licence("BSD-3-Clause.txt")},
        {"setup.py", "from setuptools import setup\nsetup(name='p', version='1.0', license='BSD-3-Clause')\n"}},
       "BSD-3-Clause", 10.0, nullptr},
      {"setup.py's classifier contradicting the text",
       {{"LICENSE", mit}, {"setup.py", "setup(name='p', classifiers=['License :: OSI Approved :: Apache Software License'])\n"}},
       "MIT", 5.0, "setup.py declares Apache-2.0 but the licence text is MIT"},
      // Real files: one licence, whatever surrounds it.
      {"Julia's MIT with its holders over three lines", {{"LICENSE.md", licence("real/DataFrames.jl-LICENSE.md")}},
       "MIT", 10.0, nullptr},
      {"MIT followed by a note on a library with its own licence",
       {{"LICENSE.md", licence("real/Distributions.jl-LICENSE.md")}}, "MIT", 10.0, nullptr},
      {"Apache-2.0 ending with its last clause", {{"LICENSE.txt", licence("real/cobra-LICENSE.txt")}},
       "Apache-2.0", 10.0, nullptr},
      {"third-party files' licences listed after the project's", {{"LICENSE.adoc", licence("real/ccache-LICENSE.adoc")}},
       "GPL-3.0-or-later", 10.0, nullptr, "CC0-1.0, Apache-2.0, MIT, PSF-2.0"},
      {"the documentation's and bundled code's licences after the project's", {{"COPYING", licence("real/jq-COPYING")}},
       "MIT", 10.0, nullptr, "BSD-3-Clause"},
      {"holders as a Markdown list; a page on the terms that points to the text",
       {{"LICENSE", licence("real/ipython-LICENSE")}, {"COPYING.rst", licence("real/ipython-COPYING.rst")}},
       "BSD-3-Clause", 10.0, nullptr},
      {"a note that the project is dual-licensed beside both texts",
       {{"COPYING", licence("real/ripgrep-COPYING")}, {"LICENSE-MIT", licence("real/ripgrep-LICENSE-MIT")},
        {"UNLICENSE", licence("real/ripgrep-UNLICENSE")}},
       "MIT OR Unlicense", 10.0, nullptr},
      {"R's LICENSE.note is notes on bundled code, not the licence",
       {{"DESCRIPTION", "Package: p\nLicense: MIT + file LICENSE\n"}, {"LICENSE", "YEAR: 2025\nCOPYRIGHT HOLDER: p authors\n"},
        {"LICENSE.note", licence("real/cli-LICENSE.note")}},
       "MIT", 10.0, nullptr},
      {"MIT, then a note on a third-party dependency", {{"LICENSE", licence("real/spdlog-LICENSE")}}, "MIT", 10.0, nullptr},
      {"a choice of two licences, then a bundled file's", {{"LICENSE", licence("real/bcftools-LICENSE")}},
       "MIT OR GPL-3.0-only", 10.0, nullptr, "BSD-3-Clause"},
      {"the GPL's text names the Affero licence without adding it",
       {{"COPYING", "This program is the work of many, offered to all under the licence below, which "
                    "its authors chose after long discussion with their institutes and funders.\n\n" +
                    licence("GPL-3.0-only.txt")}},
       "GPL-3.0-only", 10.0, nullptr},
      {"two directories of the project's own code under two licences", {{"LICENSE", licence("real/htslib-LICENSE")}},
       "MIT AND BSD-3-Clause", 10.0, nullptr},
      {"a bare GNU id takes the source files' \"any later version\"",
       {{"LICENSE", licence("real/paramiko-LICENSE")}, {"pyproject.toml", "[project]\nname = \"p\"\nlicense = \"LGPL-2.1\"\n"},
        {"p/client.py", licence("real/paramiko-client.py")}, {"p/other.py", licence("real/paramiko-client.py")}},
       "LGPL-2.1-or-later", 10.0, nullptr},
      {"\"-only\" in so many words stays", {{"LICENSE", licence("real/paramiko-LICENSE")},
        {"pyproject.toml", "[project]\nname = \"p\"\nlicense = \"LGPL-2.1-only\"\n"},
        {"p/client.py", licence("real/paramiko-client.py")}}, "LGPL-2.1-only", 10.0, nullptr},
      {"REUSE: a GNU text is the licence its file name says", {{"LICENSES/GPL-3.0-or-later.txt", licence("GPL-3.0-only.txt")},
        {"src/a.py", "# SPDX-License-Identifier: GPL-3.0-or-later\nprint(1)\n"}}, "GPL-3.0-or-later", 10.0, nullptr},
      {"a licence tool's tests are full of other licences", {{"LICENSE", mit},
        {"tests/test_lint.py", "# SPDX-License-Identifier: EUPL-1.2+\nprint(1)\n"}}, "MIT", 10.0, nullptr},
      {"a vendored build helper offers a choice", {{"LICENSE", mit},
        {"support/cmake/Join.cmake", "# SPDX-License-Identifier: MIT OR CC0-1.0\nset(x 1)\n"}}, "MIT", 10.0, nullptr, "CC0-1.0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [file, text] : c.files) repo.write(file, text);
    CheckResult r = assess_licence(repo);
    EXPECT_EQ(r.facts["spdx"], c.spdx ? Json(c.spdx) : Json(nullptr)) << r.output;
    std::vector<std::string> also = r.facts.value("also_contains", std::vector<std::string>{});
    EXPECT_EQ(join(also, ", "), c.also) << r.output;
    EXPECT_DOUBLE_EQ(r.score, c.score) << r.output;
    bool found = false;
    for (const auto& line : r.advice) found = found || (c.advice && line.find(c.advice) != std::string::npos);
    EXPECT_EQ(found, c.advice != nullptr) << (r.advice.empty() ? "(no advice)" : r.advice.front());
  }
}

TEST(FullLicence, ExpressionsAndFileNames) {
  EXPECT_EQ(spdx_expression_ids("(MIT OR Apache-2.0) AND GPL-2.0-only WITH Classpath-exception-2.0"),
            (std::vector<std::string>{"MIT", "Apache-2.0", "GPL-2.0-only"}));
  struct {
    const char* declared;
    const char* expression;
  } declared[] = {
      {"GPL-2 | GPL-3", "GPL-2.0-only OR GPL-3.0-only"},
      {"MIT + file LICENSE", "MIT"},
      {"Artistic-2.0", "Artistic-2.0"},
      {"GPL (>= 2) | file LICENCE", "GPL-2.0-or-later OR file LICENCE"},
      {"https://spdx.org/licenses/Apache-2.0", "Apache-2.0"},
  };
  for (const auto& d : declared) EXPECT_EQ(declared_expression(d.declared), d.expression) << d.declared;
  for (const char* yes : {"LICENSE", "LICENCE.txt", "COPYING.LESSER", "copyright", "MIT-LICENSE.txt", "LICENSE-APACHE",
                          "license.rst", "UNLICENSE", "THIRD_PARTY_LICENSES"})
    EXPECT_TRUE(is_licence_file_name(yes)) << yes;
  for (const char* no : {"README.md", "license_check.py", "licensing.cpp", "CONTRIBUTING.md"})
    EXPECT_FALSE(is_licence_file_name(no)) << no;
}

}  // namespace
}  // namespace ostrameld
