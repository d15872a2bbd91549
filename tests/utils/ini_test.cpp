#include "ostrameld/utils/ini.h"

#include <gtest/gtest.h>

namespace ostrameld {
namespace {

TEST(ParseIni, AcceptsWhatSetupCfgFilesHold) {
  struct {
    const char* name;
    std::string text;
    bool name_option;
    bool url_option;
  } cases[] = {
      {"equals and colon", "[metadata]\nname = demo\nurl: https://x\n", true, true},
      {"option names ignore case", "[metadata]\nNAME = demo\nUrl=https://x\n", true, true},
      {"empty value counts", "[metadata]\nname =\n", true, false},
      {"continuation lines",
       "[metadata]\nname = demo\nclassifiers =\n    A\n    B\n\n    C\nurl = x\n", true, true},
      {"indented option after a header", "[metadata]\n  name = demo\n", true, false},
      {"comments anywhere", "# top\n[metadata]\n; note\n  # indented comment\nname = x\n", true,
       false},
      {"DEFAULT seen by every section", "[DEFAULT]\nurl = x\n[metadata]\nname = y\n", true, true},
      {"repeated DEFAULT is allowed", "[DEFAULT]\na = 1\n[DEFAULT]\nb = 2\n[metadata]\nname = y\n",
       true, false},
      {"section names are case-sensitive", "[Metadata]\nname = x\n", false, false},
      {"text after the closing bracket", "[metadata] trailing\nname = x\n", true, false},
      {"only comments", "# nothing here\n; at all\n", false, false},
      {"other sections only", "[options]\nname = x\n", false, false},
      {"delimiter inside the value", "[metadata]\nurl = https://x?a=b\n", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    IniDocument doc;
    ASSERT_NO_THROW(doc = parse_ini(c.text));
    EXPECT_EQ(doc.has_option("metadata", "name"), c.name_option);
    EXPECT_EQ(doc.has_option("metadata", "url"), c.url_option);
  }
}

TEST(ParseIni, RejectsWhatItCannotRead) {
  const char* cases[] = {
      "name = x\n[metadata]\n",                       // text before the first section
      "[metadata]\nname = a\n[metadata]\nurl = b\n",  // duplicate section
      "[metadata]\nname = a\nNAME = b\n",             // duplicate option (case-insensitive)
      "[metadata]\nname = a\njust words\n",           // a line that is no option
      "[metadata]\n= value\n",                        // option without a name
      "[]\nname = x\n",                               // empty header is no header
      "\xEF\xBB\xBF[metadata]\nname = x\n",           // a byte-order mark hides the header
      "[DEFAULT]\na = 1\na = 2\n[metadata]\n",        // duplicate option in DEFAULT
      // Option names are lower-cased as Python's str.lower() does, beyond ASCII.
      "[metadata]\n\xC3\x9C"
      "ber = 1\n\xC3\xBC"
      "ber = 2\n",  // Über, über
      "[metadata]\n\xE2\x84\xAA"
      "ey = 1\nkey = 2\n",  // KELVIN SIGN key, key
  };
  for (const char* text : cases) EXPECT_THROW(parse_ini(text), IniError) << text;
}

TEST(ParseIni, DefaultIsNotASection) {
  auto doc = parse_ini("[DEFAULT]\nname = x\n");
  EXPECT_FALSE(doc.has_option("metadata", "name"));
  EXPECT_FALSE(doc.has_option("DEFAULT", "name"));
}

}  // namespace
}  // namespace ostrameld
