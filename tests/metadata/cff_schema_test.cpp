// The citation-file schema check: the same answers as a reference JSON Schema validator on
// real and example citation files, and short, right reasons for the usual mistakes.
#include "ostrameld/metadata/cff_schema.h"

#include <gtest/gtest.h>

#include <chrono>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "ostrameld/utils/yaml.h"
#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::shell_quote;

const std::string kData = OSTRAMELD_TEST_DATA;

// The key an error line is about: "authors[0].orcid: ..." -> "authors".
std::string top_key(const std::string& line) {
  auto colon = line.find(": ");
  std::string path = line.substr(0, colon);
  return path.substr(0, path.find_first_of(".["));
}

TEST(CffSchema, AgreesWithTheReferenceValidatorOnRealFiles) {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(kData + "/cff"))
    if (e.path().extension() == ".cff") files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  ASSERT_GE(files.size(), 40u);
  std::string command = shell_quote(kData + "/../support/cff_reference.py") + " " +
                        shell_quote(kData + "/schemas/cff-1.2.0.schema.json");
  for (const auto& f : files) command += " " + shell_quote(f);
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string answers;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) answers.append(buf, n);
  ASSERT_EQ(::pclose(pipe), 0);
  std::istringstream lines(answers);
  std::size_t valid = 0;
  for (const auto& f : files) {
    SCOPED_TRACE(f);
    std::string reference;
    ASSERT_TRUE(std::getline(lines, reference));
    auto errors = cff_schema_errors(load_yaml(testing::read_file(f)));
    EXPECT_EQ(errors.empty(), reference == "valid") << (errors.empty() ? "" : errors.front());
    if (errors.empty() || reference == "valid") {
      ++valid;
      continue;
    }
    // The first error is about a key the reference also names.
    std::istringstream keys(reference.substr(8));
    std::set<std::string> named{std::istream_iterator<std::string>(keys), {}};
    EXPECT_TRUE(named.count(top_key(errors.front()))) << errors.front() << " vs " << reference;
  }
  EXPECT_GE(valid, 20u);  // both kinds are there
}

TEST(CffSchema, ShortReasonsForTheUsualMistakes) {
  const std::string head = "cff-version: 1.2.0\nmessage: Cite it\n";
  struct {
    const char* name;
    std::string text;
    std::vector<std::string> errors;
  } cases[] = {
      {"valid", head + "title: t\nauthors:\n  - family-names: Doe\n", {}},
      {"a number for a title, a name for a list", head + "title: 123\nauthors: bob\n",
       {"authors: must be a list", "title: must be text"}},
      {"an author given as text", head + "title: t\nauthors:\n  - Jane Doe\n",
       {"authors[0]: needs family-names or name"}},
      {"the orcid without its URL, a DOI with its resolver",
       head + "title: t\nauthors:\n  - family-names: D\n    orcid: 0000-0002-1825-0097\n"
              "doi: https://doi.org/10.5281/zenodo.1\n",
       {"authors[0].orcid: not an ORCID URL (https://orcid.org/NNNN-NNNN-NNNN-NNNX)", "doi: not a DOI"}},
      {"an R licence name in a list", head + "title: t\nauthors:\n  - name: T\nlicense: [MIT, GPL-3]\n",
       {"license[1]: not an SPDX licence identifier"}},
      {"keys misspelt or missing", head + "title: t\nauthor:\n  - name: T\n",
       {"author: not a CFF key", "authors: missing"}},
      {"an older version", "cff-version: 1.1.0\nmessage: m\ntitle: t\nauthors:\n  - name: T\n",
       {"cff-version: not a CFF version"}},
      {"a keyword that is a number, a title that is a list",
       head + "title: [t]\nauthors:\n  - name: T\nkeywords: [a, 12]\n",
       {"keywords[1]: must be text", "title: must be text"}},
      {"an identifier with a key its form does not have is that, not a wrong type",
       head + "title: t\nauthors:\n  - name: T\nidentifiers:\n  - type: doi\n    value: 10.5281/zenodo.1162057\n"
              "    relation: isPartOf\n  - type: url\n    value: https://example.org/x\n",
       {"identifiers[0].relation: not a CFF key"}},
      {"a date that is text", head + "title: t\nauthors:\n  - name: T\ndate-released: 2021-13\n",
       {"date-released: not a date (YYYY-MM-DD)"}},
      {"repeated keywords and authors, objects equal in any key order",
       head + "title: t\nauthors:\n  - {name: T, email: a@b.org}\n  - {email: a@b.org, name: T}\n"
              "keywords: [a, b, a]\n",
       {"authors: has repeated items", "keywords: has repeated items"}},
      {"a repeated author in a reference, a repeated licence",
       head + "title: t\nauthors:\n  - name: T\nlicense: [MIT, MIT]\nreferences:\n"
              "  - {type: software, title: r, authors: [{name: A}, {name: A}]}\n",
       {"license: has repeated items", "references[0].authors: has repeated items"}},
      {"a list where an ORCID, a URL or a date is text: said, never a crash",
       head + "title: t\nauthors:\n  - family-names: D\n    orcid: [a, 12]\n"
              "url: [https://example.org]\ndate-released: 12\n",
       {"authors[0].orcid: has the wrong type", "date-released: not a date (YYYY-MM-DD)",
        "url: has the wrong type"}},
      {"the same items in different places are no repetition",
       head + "title: t\nauthors:\n  - name: T\nkeywords: [T]\n"
              "preferred-citation: {type: article, title: p, authors: [{name: T}], keywords: [T]}\n",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cff_schema_errors(load_yaml(c.text)), c.errors);
  }
}

// Every pair of items was once compared: a list of a million keywords took hours.
TEST(CffSchema, LongListsAreCheckedInOnePass) {
  std::string text = "cff-version: 1.2.0\nmessage: m\ntitle: t\nauthors:\n  - name: T\nkeywords:\n";
  for (int i = 0; i < 200000; ++i) text += "  - k" + std::to_string(i) + "\n";
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(cff_schema_errors(load_yaml(text)), std::vector<std::string>{});
  text += "  - k7\n  - 12\n";
  EXPECT_EQ(cff_schema_errors(load_yaml(text)),
            (std::vector<std::string>{"keywords[200001]: must be text", "keywords: has repeated items"}));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 20.0);
}

}  // namespace
}  // namespace ostrameld
