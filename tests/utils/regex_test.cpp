#include "ostrameld/utils/regex.h"

#include <gtest/gtest.h>

namespace ostrameld {
namespace {

TEST(Regex, SearchMatchAndFlags) {
  struct {
    const char* pattern;
    std::uint32_t flags;
    std::string text;
    bool searched;
    bool matched;  // anchored at the start
  } cases[] = {
      {"Version 2", Regex::kNone, "Apache License, Version 2.0", true, false},
      {"apache license", Regex::kCaseless, "APACHE LICENSE", true, true},
      {"A.*B", Regex::kNone, "A\nB", false, false},
      {"A.*B", Regex::kDotAll, "A\nB", true, true},
      {"^title\\s*:", Regex::kMultiline, "cff-version: 1\ntitle: x", true, false},
      {"^title\\s*:", Regex::kNone, "cff-version: 1\ntitle: x", false, false},
      // "$" also accepts one trailing line feed, but only one.
      {"^v?\\d+$", Regex::kNone, "v1\n", true, true},
      {"^v?\\d+$", Regex::kNone, "v1\n\n", false, false},
      // Whitespace is exactly the str.isspace() set: \x1c counts, U+180E and U+200B do not.
      {"a\\sb", Regex::kNone,
       "a\x1c"
       "b",
       true, true},
      {"a\\sb", Regex::kNone,
       "a\xE1\xA0\x8E"
       "b",
       false, false},
      {"a\\Sb", Regex::kNone,
       "a\xE2\x80\x8B"
       "b",
       true, true},
      {"[\\s]", Regex::kNone, " ", true, true},
      {"\\d{4,}", Regex::kNone, "10.\xD9\xA1\xD9\xA2\xD9\xA3\xD9\xA4", true,
       false},  // Unicode digits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " on " + c.text);
    Regex re(c.pattern, c.flags);
    EXPECT_EQ(re.search(c.text), c.searched);
    EXPECT_EQ(re.match(c.text), c.matched);
  }
}

TEST(Regex, CaptureGroups) {
  Regex re("SPDX-License-Identifier:\\s*([A-Za-z0-9.+\\-]+)");
  auto id = re.search_group("// SPDX-License-Identifier:   GPL-2.0+ WITH x", 1);
  ASSERT_TRUE(id);
  EXPECT_EQ(*id, "GPL-2.0+");
  EXPECT_FALSE(re.search_group("no header", 1));
}

TEST(Regex, BadPatternsAreRejected) {
  EXPECT_THROW(Regex("(unclosed"), std::invalid_argument);
}

}  // namespace
}  // namespace ostrameld
