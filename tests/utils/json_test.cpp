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
