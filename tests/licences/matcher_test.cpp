#include "ostrameld/licences/matcher.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::data_file;

// The text on one line per paragraph, as the edits below need it.
std::string flowed(const std::string& text) {
  std::string out;
  bool blank = false;
  for (std::size_t pos = 0; pos <= text.size();) {
    auto eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (line.find_first_not_of(" \t\r") == std::string::npos) {
      if (!blank && !out.empty()) out += "\n\n";
      blank = true;
      continue;
    }
    if (!blank && !out.empty()) out += ' ';
    out += line.substr(line.find_first_not_of(" \t"));
    blank = false;
  }
  return out;
}

std::string wrapped(const std::string& text, std::size_t width) {
  std::string out;
  std::size_t column = 0;
  std::string word;
  auto put = [&] {
    if (word.empty()) return;
    if (column && column + 1 + word.size() > width) {
      out += '\n';
      column = 0;
    } else if (column) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    word.clear();
  };
  for (char c : flowed(text)) {
    if (c == ' ') {
      put();
    } else if (c == '\n') {
      put();
      out += '\n';
      column = 0;
    } else {
      word += c;
    }
  }
  put();
  return out;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string spdx_of(const std::string& text) {
  auto m = match_licence_text(text);
  return m ? std::string(m->spdx) : "none";
}

TEST(LicenceMatcher, IdentifiesEveryStandardText) {
  for (const char* id : {"AGPL-3.0-only", "Apache-2.0", "BSD-2-Clause", "BSD-3-Clause", "BSL-1.0",
                         "CC0-1.0", "EPL-2.0", "EUPL-1.2", "GPL-2.0-only", "GPL-3.0-only", "ISC",
                         "LGPL-2.1-only", "LGPL-3.0-only", "MIT", "MPL-2.0", "Unlicense", "Zlib"}) {
    EXPECT_EQ(spdx_of(data_file(std::string("licenses/") + id + ".txt")), id);
  }
  EXPECT_EQ(spdx_of(data_file("licenses/Apache-2.0-canonical-layout.txt")), "Apache-2.0");
}

// Copies as projects keep them: other wrapping, bullets, titles, copyright lines, Markdown,
// line ends and quotes; and the real files of public projects.
TEST(LicenceMatcher, HarmlessEditsKeepAStandardTextStandard) {
  const std::string mit = data_file("licenses/MIT.txt");
  const std::string bsd3 = data_file("licenses/BSD-3-Clause.txt");
  const std::string apache = data_file("licenses/Apache-2.0.txt");
  struct {
    const char* name;
    std::string text;
    const char* spdx;
  } cases[] = {
      {"rewrapped at 60 columns", wrapped(mit, 60), "MIT"},
      {"one line per paragraph", flowed(bsd3), "BSD-3-Clause"},
      {"a title of its own and a copyright block",
       "The MIT License (MIT)\n\nCopyright (c) 2015-2024 The foo authors\nCopyright 2013 Jane "
       "Doe\nAll rights reserved.\n\n" +
           mit.substr(mit.find("Permission")),
       "MIT"},
      {"no title", mit.substr(mit.find("Permission")), "MIT"},
      {"Markdown",
       "# MIT License\n\n**Copyright (c) 2020 Jane Doe**\n\n" +
           replaced(mit.substr(mit.find("Permission")), "THE SOFTWARE IS PROVIDED",
                    "_THE SOFTWARE IS PROVIDED"),
       "MIT"},
      {"bullets for numbers",
       replaced(replaced(replaced(bsd3, "1. ", "* "), "2. ", "* "), "3. ", "* "), "BSD-3-Clause"},
      {"CRLF line ends", std::regex_replace(bsd3, std::regex("\n"), "\r\n"), "BSD-3-Clause"},
      {"typographic quotes",
       replaced(mit, "(the \"Software\")", "(the \xE2\x80\x9CSoftware\xE2\x80\x9D)"), "MIT"},
      {"the organisation named in clause 3",
       replaced(bsd3, "Neither the name of the copyright holder",
                "Neither the name of Encode OSS Ltd"),
       "BSD-3-Clause"},
      {"Apache without its appendix", apache.substr(0, apache.find("APPENDIX")), "Apache-2.0"},
      {"British spelling", replaced(apache, "Licensor", "Licensor"), "Apache-2.0"},
      {"httpx", data_file("licenses/real/httpx-LICENSE.md"), "BSD-3-Clause"},
      {"Citation File Format", data_file("licenses/real/citation-file-format-LICENSE"),
       "CC-BY-4.0"},
      {"paramiko", data_file("licenses/real/paramiko-LICENSE"), "LGPL-2.1-only"},
      {"gwpy", data_file("licenses/real/gwpy-LICENSE"), "GPL-3.0-only"},
  };
  for (const auto& c : cases) EXPECT_EQ(spdx_of(c.text), c.spdx) << c.name;
}

// A licence changed in substance is no standard licence, however close its words: a
// clause gone, a restriction added, inside or at the end.
TEST(LicenceMatcher, AModifiedLicenceIsNotCalledStandard) {
  const std::string mit = flowed(data_file("licenses/MIT.txt"));
  const std::string bsd3 = data_file("licenses/BSD-3-Clause.txt");
  const std::string apache = data_file("licenses/Apache-2.0.txt");
  const std::string gpl3 = flowed(data_file("licenses/GPL-3.0-only.txt"));
  auto without_line = [](const std::string& text, const std::string& start) {
    auto at = text.find(start);
    EXPECT_NE(at, std::string::npos) << start;
    auto end = text.find('\n', at);
    return text.substr(0, at) + text.substr(end == std::string::npos ? text.size() : end);
  };
  struct {
    const char* name;
    std::string text;
    const char* spdx;  // what it is instead, if anything
  } cases[] = {
      {"BSD-3 without clause 2", without_line(bsd3, "2. Redistributions in binary form"), "none"},
      {"Apache without the patent grant", without_line(apache, "3. Grant of Patent License"),
       "none"},
      {"MIT with a restriction",
       replaced(mit, "subject to the following conditions:",
                "subject to the following conditions: The Software "
                "shall not be used for military purposes."),
       "none"},
      {"MIT with a restriction at its end",
       mit + "\n\nThe Software shall not be used for military purposes.", "none"},
      {"GPL-3 with a restriction in its terms",
       replaced(gpl3, "0. Definitions.",
                "The Program may not be used for military purposes. 0. Definitions."),
       "none"},
      {"Apache with the Commons Clause",
       apache.substr(0, apache.find("APPENDIX")) +
           "\n\"Commons Clause\" License Condition v1.0\n\nThe Software is provided to you by the "
           "Licensor under the License, as defined below, subject to the following condition. "
           "Without limiting other conditions in the License, the grant of rights under the "
           "License will not include, and the License does not grant to you, the right to Sell "
           "the Software.",
       "none"},
      // What is left is another standard licence: then it is that one.
      {"BSD-3 without clause 3 is BSD-2",
       without_line(bsd3, "3. Neither the name of the copyright holder"), "BSD-2-Clause"},
      {"MIT without the notice clause is MIT-0",
       replaced(mit,
                "The above copyright notice and this permission notice shall be included in all "
                "copies or substantial portions of the Software.",
                ""),
       "MIT-0"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(spdx_of(c.text), c.spdx) << c.name << "\n" << c.text.substr(0, 300);
}

TEST(LicenceMatcher, NamesTheLicencesAFileHolds) {
  std::string several =
      "= Project copyright and license\n\nThe project is licensed under the GNU General Public "
      "License as published by the Free Software Foundation; either version 3 of the License, or "
      "(at your option) any later version.\n\n== third_party/fmt\n\nPermission is hereby granted, "
      "free of charge, to any person obtaining a copy...\n\n== third_party/blake3\n\nLicensed "
      "under the Apache License, Version 2.0 (the \"License\");\n";
  EXPECT_EQ(spdx_of(several), "none");
  EXPECT_EQ(licences_named(several),
            (std::vector<std::string>{"GPL-3.0-or-later", "MIT", "Apache-2.0"}));
  EXPECT_EQ(licences_named("GNU Lesser General Public License, version 2.1"),
            std::vector<std::string>{"LGPL-2.1-only"});
  EXPECT_EQ(licences_named("under the GNU General Public License, version 2. No later version may be used."),
            std::vector<std::string>{"GPL-2.0-only"});
  EXPECT_TRUE(licences_named("Some words about nothing").empty());
  EXPECT_EQ(spdx_identifiers_in("// SPDX-License-Identifier: GPL-3.0-or-later\n"
                                "/* SPDX-License-Identifier: MIT OR Apache-2.0 */\n"
                                "# SPDX-License-Identifier: GPL-3.0-or-later\n"),
            (std::vector<std::string>{"GPL-3.0-or-later", "MIT OR Apache-2.0"}));
  EXPECT_FALSE(spdx_list_version().empty());
}

}  // namespace
}  // namespace ostrameld
