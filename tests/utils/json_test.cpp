#include "ostrameld/utils/json.h"

#include <gtest/gtest.h>

namespace ostrameld {
namespace {

TEST(DumpJson, LayoutFollowsTheIndent) {
  Json doc = Json::object();
  doc["a"] = 1;
  doc["b"] = Json::array({true, nullptr});
  doc["c"] = Json::object();
  doc["d"] = Json::array();
  struct {
    std::optional<int> indent;
    const char* text;
  } cases[] = {
      {std::nullopt, R"({"a": 1, "b": [true, null], "c": {}, "d": []})"},
      {0, "{\n\"a\": 1,\n\"b\": [\ntrue,\nnull\n],\n\"c\": {},\n\"d\": []\n}"},
      {2, "{\n  \"a\": 1,\n  \"b\": [\n    true,\n    null\n  ],\n  \"c\": {},\n  \"d\": []\n}"},
      {4,
       "{\n    \"a\": 1,\n    \"b\": [\n        true,\n        null\n    ],\n    \"c\": {},\n    "
       "\"d\": []\n}"},
  };
  for (const auto& c : cases) EXPECT_EQ(dump_json(doc, c.indent), c.text);
}

TEST(DumpJson, EscapesEverythingOutsidePrintableAscii) {
  struct {
    std::string in;
    const char* out;
  } cases[] = {
      {"caf\xC3\xA9", R"("caf\u00e9")"}, {"\xF0\x9F\x98\x80", R"("\ud83d\ude00")"},
      {"q\"b\\s/", R"("q\"b\\s/")"},     {"\n\r\t\b\f\x01\x7f", R"("\n\r\t\b\f\u0001\u007f")"},
      {"bad\xFF", R"("bad\ufffd")"},
  };
  for (const auto& c : cases) EXPECT_EQ(dump_json(Json(c.in), std::nullopt), c.out);
}

TEST(DumpJson, NumbersAsTheReferenceWriterSpellsThem) {
  EXPECT_EQ(
      dump_json(Json::array({10.0, 7.5, 0.0, 1e-5, -3, 18446744073709551615ull}), std::nullopt),
      "[10.0, 7.5, 0.0, 1e-05, -3, 18446744073709551615]");
}

}  // namespace
}  // namespace ostrameld

namespace ostrameld {
namespace {

// What the metadata files' reader (Python's json module) makes of a document: nothing
// when it is no JSON, else the truth of member "a".
TEST(ReadJson, AsTheMetadataReaderReadsIt) {
  struct {
    std::string text;
    std::optional<bool> a;  // nothing: unparseable
  } cases[] = {
      {R"({"a": ""})", false},
      {R"({"a": "x"})", true},
      {R"({"a": null})", false},
      {R"({"a": 0.0})", false},
      {R"({"a": -0})", false},
      {R"({"a": -1})", true},
      {R"({"a": 0.5})", true},
      {R"({"a": [0]})", true},
      {R"({"a": []})", false},
      {R"({"a": {}})", false},
      {R"({"a": 1e400})", true},
      {R"({"a": 123456789012345678901234567890})", true},
      {R"({"a": NaN})", true},
      {R"({"a": -Infinity})", true},
      {R"({"a": "\ud800"})", true},
      {R"({"a": "\uD83D\uDE00"})", true},
      {R"({"a": true, "a": false})", false},
      {std::string(R"({"a": "x"})") + '\0' + "garbage", std::nullopt},
      {R"({"a": 01})", std::nullopt},
      {R"({"a": 1.})", std::nullopt},
      {R"({"a": .5})", std::nullopt},
      {"{\"a\": \"x\ty\"}", std::nullopt},
      {R"({"a": [1,]})", std::nullopt},
      {R"({"a": 1e})", std::nullopt},
      {R"({"a": "\x"})", std::nullopt},
      {R"({"a": 1} x)", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto doc = read_json(c.text);
    ASSERT_EQ(doc.has_value(), c.a.has_value());
    if (doc) {
      EXPECT_EQ(json_truthy((*doc)["a"]), *c.a);
    }
  }
}

TEST(ReadJson, DeepButNotTooDeep) {
  auto nested = [](int n) { return std::string(n, '[') + std::string(n, ']'); };
  EXPECT_TRUE(read_json(nested(900)));
  EXPECT_TRUE(read_json(nested(kMaxReadDepth)));
  EXPECT_FALSE(read_json(nested(kMaxReadDepth + 1)));
  EXPECT_FALSE(read_json(nested(1'000'000)));  // refused, never a crash
}

}  // namespace
}  // namespace ostrameld
