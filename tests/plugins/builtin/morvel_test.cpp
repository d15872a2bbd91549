#include "ostrameld/plugins/builtin/morvel.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/plugin_test.h"

namespace ostrameld {
namespace {

using testing::data_file;
using testing::run;
using testing::TempRepo;

const MorvelPlugin plugin;

TEST(Morvel, CanonicalLicenceTextsAreIdentifiedByTheirTitleFirst) {
  struct {
    const char* file;
    const char* id;  // nullptr: not recognised
  } cases[] = {
      {"MIT.txt", "MIT"},
      {"Apache-2.0.txt", "Apache-2.0"},
      {"Apache-2.0-canonical-layout.txt", "Apache-2.0"},
      {"GPL-3.0-only.txt", "GPL-3.0-only"},
      {"GPL-2.0-only.txt", "GPL-2.0-only"},
      {"AGPL-3.0-only.txt", "AGPL-3.0-only"},
      {"LGPL-3.0-only.txt", "LGPL-3.0-only"},
      {"MPL-2.0.txt", "MPL-2.0"},
      {"EUPL-1.2.txt", "EUPL-1.2"},
      {"ISC.txt", "ISC"},
      {"Unlicense.txt", "Unlicense"},
      {"CC0-1.0.txt", "CC0-1.0"},
      {"BSL-1.0.txt", "MIT"},  // quotes "Permission is hereby granted"
      {"BSD-3-Clause.txt", nullptr},
      {"BSD-2-Clause.txt", nullptr},
      {"LGPL-2.1-only.txt", nullptr},
      {"EPL-2.0.txt", nullptr},
      {"Zlib.txt", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    std::string text = data_file(std::string("licenses/") + c.file);
    auto id = detect_spdx(text);
    if (c.id) {
      ASSERT_TRUE(id);
      EXPECT_EQ(*id, c.id);
    } else {
      EXPECT_FALSE(id) << *id;
    }

    TempRepo repo;
    repo.write("LICENSE", text);
    auto r = run(plugin, "clear_license", repo);
    if (c.id) {
      EXPECT_EQ(r.score, 10.0);
      EXPECT_EQ(r.status, CheckStatus::Pass);
      EXPECT_EQ(r.process, std::string("Identified SPDX license: ") + c.id);
      EXPECT_EQ(r.output, std::string("Detected ") + c.id);
      EXPECT_EQ(r.evidence, std::string("File: LICENSE, SPDX: ") + c.id);
    } else {
      EXPECT_EQ(r.score, 7.0);
      EXPECT_EQ(r.process, "Found license file but could not match SPDX identifier");
      EXPECT_EQ(r.output, "License file: LICENSE");
      EXPECT_EQ(r.evidence, "File: LICENSE, length: " + std::to_string(code_points(text)));
    }
  }
}

TEST(Morvel, DetectionRules) {
  struct {
    const char* text;
    const char* id;
  } cases[] = {
      // Title rows win over quotations further down.
      {"GNU LESSER GENERAL PUBLIC LICENSE\nVersion 3\n\nGNU General Public License version 3",
       "LGPL-3.0-only"},
      // Apache name and version on different lines do not match row 1 (no dot-all).
      {"Apache License\nVersion 2.0, January 2004\n", nullptr},
      {"Some header\nmore\nLicensed under the Apache License, Version 2.0 (the License)",
       "Apache-2.0"},
      {"Whatever\nlicence\nPermission is hereby granted, free of charge", "MIT"},
      // A plain title without "Public License" keeps the GPL rows in the body search.
      {"Project licence\n\nThis program is under the GNU General Public License,\nVersion 2",
       "GPL-2.0-only"},
      // Another public licence in the title suppresses the GPL rows in the body.
      {"Example Public License\nv1\n\nsee the GNU General Public License Version 3", nullptr},
      {"   \n\t\nMIT License\n", "MIT"},
      // Case-insensitive rows fold i, I, dotted İ and dotless ı together, as the
      // licence table's regular expressions do.
      {"M\xC4\xB0T L\xC4\xB0"
       "CENSE\n",
       "MIT"},
      {"M\xC4\xB1T L\xC4\xB1"
       "CENSE\n",
       "MIT"},
      {"Apache L\xC4\xB1"
       "cense, Vers\xC4\xB1"
       "on 2.0\n",
       "Apache-2.0"},
  };
  for (const auto& c : cases) {
    auto id = detect_spdx(c.text);
    if (c.id) {
      ASSERT_TRUE(id) << c.text;
      EXPECT_EQ(*id, c.id) << c.text;
    } else {
      EXPECT_FALSE(id) << c.text << " -> " << *id;
    }
  }
}

TEST(Morvel, ReuseDirectory) {
  struct {
    std::vector<std::string> files;
    std::vector<std::string> dirs;
    double score;
    std::string output;
    std::string evidence;
  } cases[] = {
      {{"MIT.txt", "Apache-2.0.txt", "GPL-3.0-or-later.txt"},
       {},
       10.0,
       "Detected SPDX licenses: Apache-2.0, GPL-3.0-or-later, MIT",
       "LICENSES/ contains 3 entries"},
      {{"G.txt", "F.txt", "E.md", "D.txt", "C.TXT", "B.txt", "A.txt"},
       {},
       10.0,
       "Detected SPDX licenses: A, B, C, D, E, and 2 more",
       "LICENSES/ contains 7 entries"},
      // "Apache-2.0" has the extension ".0"; a bare LICENSE counts with its own stem.
      {{"Apache-2.0", "LICENSE"},
       {},
       10.0,
       "Detected SPDX licenses: LICENSE",
       "LICENSES/ contains 1 entries"},
      // Only sub-directories and JSON files: fall through to the file search.
      {{"meta.json"}, {"MIT.txt"}, 0.0, "No license file found", ""},
  };
  for (const auto& c : cases) {
    TempRepo repo;
    repo.mkdir("LICENSES");
    for (const auto& f : c.files) repo.write("LICENSES/" + f, "text");
    for (const auto& d : c.dirs) repo.mkdir("LICENSES/" + d);
    auto r = run(plugin, "clear_license", repo);
    EXPECT_EQ(r.score, c.score);
    EXPECT_EQ(r.output, c.output);
    if (!c.evidence.empty()) {
      EXPECT_EQ(r.process, "Detected REUSE-compliant LICENSES/ directory");
      EXPECT_EQ(r.evidence, c.evidence);
    }
  }
}

TEST(Morvel, LicenceFileOutcomes) {
  struct {
    std::string name;
    std::string content;
    double score;
    CheckStatus status;
    std::string process;
    std::string output;
    std::string evidence;
  } cases[] = {
      {"LICENSE", "MIT\n", 2.0, CheckStatus::Fail, "License file exists but appears empty",
       "LICENSE: 4 chars", "File: LICENSE"},
      {"COPYING", "", 2.0, CheckStatus::Fail, "License file exists but appears empty",
       "COPYING: 0 chars", "File: COPYING"},
      // Nine characters after stripping is still empty; CRLF counts as one character.
      {"LICENSE.txt", "  123456789\r\n", 2.0, CheckStatus::Fail,
       "License file exists but appears empty", "LICENSE.txt: 12 chars", "File: LICENSE.txt"},
      {"LICENCE", "All rights reserved by nobody.", 7.0, CheckStatus::Pass,
       "Found license file but could not match SPDX identifier", "License file: LICENCE",
       "File: LICENCE, length: 30"},
      // Undecodable bytes are replaced, never an error.
      {"LICENSE.md", "MIT License\n\xFF\xFE", 10.0, CheckStatus::Pass,
       "Identified SPDX license: MIT", "Detected MIT", "File: LICENSE.md, SPDX: MIT"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    repo.write(c.name, c.content);
    auto r = run(plugin, "clear_license", repo);
    EXPECT_EQ(r.indicator_id, "clear_license");
    EXPECT_EQ(r.plugin, "morvel");
    EXPECT_EQ(r.score, c.score);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.process, c.process);
    EXPECT_EQ(r.output, c.output);
    EXPECT_EQ(r.evidence, c.evidence);
  }
}

TEST(Morvel, FirstListedNameWins) {
  TempRepo repo;
  repo.write("COPYING", "GNU GENERAL PUBLIC LICENSE\nVersion 2\n");
  repo.write("LICENSE", "MIT License and more text");
  EXPECT_EQ(run(plugin, "clear_license", repo).evidence, "File: LICENSE, SPDX: MIT");
}

TEST(Morvel, UnreadableLicenceFile) {
  TempRepo repo;
  repo.mkdir("LICENSE");  // a directory of that name exists but cannot be read
  auto r = run(plugin, "clear_license", repo);
  EXPECT_EQ(r.score, 3.0);
  EXPECT_EQ(r.status, CheckStatus::Fail);
  EXPECT_EQ(r.process, "Found LICENSE but could not read it");
  EXPECT_EQ(r.output, "[Errno 21] Is a directory: '" + (repo / "LICENSE").string() + "'");
  EXPECT_EQ(r.evidence, "File: LICENSE");

  TempRepo fifo_repo;
  fifo_repo.fifo("LICENSE");  // must not block
  EXPECT_EQ(run(plugin, "clear_license", fifo_repo).score, 3.0);
}

TEST(Morvel, NothingFound) {
  TempRepo repo;
  auto r = run(plugin, "clear_license", repo);
  EXPECT_EQ(r.score, 0.0);
  EXPECT_EQ(r.status, CheckStatus::Unknown);
  EXPECT_EQ(r.process, "Searched for license files in repository root");
  EXPECT_EQ(r.output, "No license file found");
  EXPECT_EQ(r.evidence,
            "Checked: LICENSE, LICENSE.md, LICENSE.txt, LICENSE.rst, LICENCE, LICENCE.md, "
            "LICENCE.txt, COPYING, "
            "COPYING.md");
}

TEST(Morvel, SpdxHeaders) {
  {
    // The extension is lower-cased as Python does: "Kt" with a KELVIN SIGN is ".kt".
    TempRepo repo;
    repo.write("src/main.\xE2\x84\xAAt", "// SPDX-License-Identifier: MIT\n");
    EXPECT_EQ(run(plugin, "clear_license", repo).output, "Detected MIT");
  }
  {
    TempRepo repo;
    repo.write("src/main.py", "# SPDX-License-Identifier: Apache-2.0\nprint(1)\n");
    auto r = run(plugin, "clear_license", repo);
    EXPECT_EQ(r.score, 7.0);
    EXPECT_EQ(r.status, CheckStatus::Pass);
    EXPECT_EQ(r.process, "Found SPDX-License-Identifier headers in source files");
    EXPECT_EQ(r.output, "Detected Apache-2.0");
    EXPECT_EQ(r.evidence, "SPDX header sampled from top-level source: Apache-2.0");
  }
  {
    // Headers only under skipped directories, in files of other extensions, or past
    // the first 2048 characters are never found.
    TempRepo repo;
    repo.write("node_modules/pkg/index.js", "// SPDX-License-Identifier: MIT\n");
    repo.write(".venv/lib/x.py", "# SPDX-License-Identifier: MIT\n");
    repo.write("src/notes.txt", "SPDX-License-Identifier: MIT\n");
    repo.write("src/late.c", std::string(2048, ' ') + "SPDX-License-Identifier: MIT\n");
    EXPECT_EQ(run(plugin, "clear_license", repo).status, CheckStatus::Unknown);
  }
  {
    // At most 20 files are read: a header in the 21st is not reached.
    TempRepo repo;
    repo.mkdir("src");
    for (int i = 0; i < 25; ++i) repo.write("src/f" + std::to_string(i) + ".py", "print()\n");
    EXPECT_EQ(run(plugin, "clear_license", repo).status, CheckStatus::Unknown);
  }
  {
    // Undecodable bytes in a sampled file are dropped; the identifier still counts.
    TempRepo repo;
    repo.write("lib.rs", "// SPDX-License-Identifier:\xFF MIT OR Apache-2.0\n");
    EXPECT_EQ(run(plugin, "clear_license", repo).output, "Detected MIT");
  }
}

TEST(Morvel, RepositoryBelowASkippedDirectoryNameStillScans) {
  TempRepo outer;
  outer.write("build/checkout/src/main.go", "// SPDX-License-Identifier: BSD-3-Clause\n");
  Context ctx;
  ctx.repo_path = outer / "build/checkout";
  EXPECT_EQ(plugin.check("clear_license", ctx).output, "Detected BSD-3-Clause");
}

}  // namespace
}  // namespace ostrameld
