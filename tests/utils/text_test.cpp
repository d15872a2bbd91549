#include "ostrameld/utils/text.h"

#include <gtest/gtest.h>

namespace ostrameld {
namespace {

struct DecodeCase {
  std::string bytes;
  std::string replaced;      // ReadMode::Replace
  std::string dropped;       // ReadMode::Drop
  std::string strict_error;  // empty when strict decoding succeeds
};

TEST(TextDecoder, ModesAgreeWithTheReferenceCodec) {
  const std::string R = "\xEF\xBF\xBD";  // U+FFFD
  const DecodeCase cases[] = {
      {"plain", "plain", "plain", ""},
      {"caf\xC3\xA9", "caf\xC3\xA9", "caf\xC3\xA9", ""},
      {"a\xFF"
       "b",
       "a" + R + "b", "ab",
       "'utf-8' codec can't decode byte 0xff in position 1: invalid start byte"},
      {"\xE2\x82", R, "",
       "'utf-8' codec can't decode bytes in position 0-1: unexpected end of data"},
      {"\xE2\x28\xA1", R + "(" + R, "(",
       "'utf-8' codec can't decode byte 0xe2 in position 0: invalid continuation byte"},
      // A surrogate code point is three separate errors, not one.
      {"\xED\xA0\x80", R + R + R, "",
       "'utf-8' codec can't decode byte 0xed in position 0: invalid continuation byte"},
      {"\xF0\x9F\x98x", R + "x", "x",
       "'utf-8' codec can't decode bytes in position 0-2: invalid continuation byte"},
      {"\xC0\xAF", R + R, "",
       "'utf-8' codec can't decode byte 0xc0 in position 0: invalid start byte"},
      {"\xF4\x90\x80\x80", R + R + R + R, "",
       "'utf-8' codec can't decode byte 0xf4 in position 0: invalid continuation byte"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", ""},
      // Text-mode newlines: CRLF and lone CR become LF, also around dropped bytes.
      {"a\r\nb\rc\n", "a\nb\nc\n", "a\nb\nc\n", ""},
      {"a\r\xFF\n", "a\n" + R + "\n", "a\n",
       "'utf-8' codec can't decode byte 0xff in position 2: invalid start byte"},
      {"end\r", "end\n", "end\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(decode_utf8(c.bytes, ReadMode::Replace), c.replaced);
    EXPECT_EQ(decode_utf8(c.bytes, ReadMode::Drop), c.dropped);
    if (c.strict_error.empty()) {
      EXPECT_EQ(decode_utf8(c.bytes, ReadMode::Strict), c.replaced);
    } else {
      try {
        decode_utf8(c.bytes, ReadMode::Strict);
        ADD_FAILURE() << "strict decoding accepted invalid bytes";
      } catch (const DecodeError& e) {
        EXPECT_EQ(e.what(), c.strict_error);
      }
    }
  }
}

TEST(TextDecoder, ChunkBoundariesDoNotChangeTheResult) {
  const std::string bytes = "x\xC3\xA9y\r\nz\xE2\x82\xAC\xFF!";
  const std::string whole = decode_utf8(bytes, ReadMode::Replace);
  for (std::size_t split = 0; split <= bytes.size(); ++split) {
    TextDecoder dec(ReadMode::Replace);
    dec.feed(std::string_view(bytes).substr(0, split), false);
    dec.feed(std::string_view(bytes).substr(split), true);
    EXPECT_EQ(dec.text(), whole) << "split at " << split;
  }
}

TEST(TextDecoder, StopsAtTheCharacterLimit) {
  TextDecoder dec(ReadMode::Drop, 4);
  EXPECT_TRUE(
      dec.feed("a\xFF\xFF"
               "b\r\ncdef",
               false));
  EXPECT_EQ(dec.text(), "ab\nc");
  EXPECT_EQ(dec.chars(), 4u);
}

TEST(Strip, UsesTheFullWhitespaceSet) {
  struct {
    std::string in, out;
  } cases[] = {
      {"  MIT\n", "MIT"},
      {"\t\v\f\r\n\x1c\x1d\x1e\x1fX\x20", "X"},
      {"\xC2\xA0\xE3\x80\x80word\xE2\x80\xA8", "word"},  // NBSP, ideographic space, line separator
      {"\xE2\x80\x8Bword", "\xE2\x80\x8Bword"},          // zero-width space is not whitespace
      {"   ", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(py_strip(c.in), c.out) << c.in;
}

TEST(CodePoints, CountsCharactersNotBytes) {
  EXPECT_EQ(code_points("caf\xC3\xA9"), 4u);
  EXPECT_EQ(code_points("\xF0\x9F\x98\x80"), 1u);
  EXPECT_EQ(code_points(""), 0u);
}

TEST(FloatRepr, MatchesShortestRoundTripSpelling) {
  struct {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0.0"},
      {7.0, "7.0"},
      {10.0, "10.0"},
      {7.5, "7.5"},
      {0.1 + 0.2, "0.30000000000000004"},
      {20.0 / 3.0, "6.666666666666667"},
      {1e16, "1e+16"},
      {1e15, "1000000000000000.0"},
      {1e-5, "1e-05"},
      {0.0001, "0.0001"},
      {-2.5, "-2.5"},
      {123456.789, "123456.789"},
  };
  for (const auto& c : cases) EXPECT_EQ(py_float_repr(c.value), c.text);
}

TEST(FormatFixed, RoundsHalfToEvenOnTheExactValue) {
  EXPECT_EQ(format_fixed(7.25, 1), "7.2");
  EXPECT_EQ(format_fixed(7.35, 1), "7.3");  // 7.35 is stored slightly below
  EXPECT_EQ(format_fixed(10.0, 1), "10.0");
  EXPECT_EQ(format_fixed(0.05, 1), "0.1");
}

TEST(Sanitize, ReplacesOnlyInvalidSequences) {
  EXPECT_EQ(sanitize_utf8("ok\r\n"), "ok\r\n");
  EXPECT_EQ(sanitize_utf8("bad\xFFname"), "bad\xEF\xBF\xBDname");
  EXPECT_TRUE(is_valid_utf8("caf\xC3\xA9"));
  EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));
}

TEST(Repr, QuotesLikeStrRepr) {
  EXPECT_EQ(py_repr("/tmp/LICENSE"), "'/tmp/LICENSE'");
  EXPECT_EQ(py_repr("it's"), "\"it's\"");
  EXPECT_EQ(py_repr("a\nb\x1b"), "'a\\nb\\x1b'");
}

// Text from a repository can neither drive a terminal nor reorder what a reader sees.
TEST(Escape, ControlsBidiOverridesAndSeparatorsAreSpelledOut) {
  struct {
    const char* in;
    const char* line;      // escape_line
    const char* controls;  // escape_controls, which keeps line breaks and tabs
  } cases[] = {
      {"a\x1B[2Jb", "a\\x1b[2Jb", "a\\x1b[2Jb"},
      {"a\rb\nc\td", "a\\x0db\\x0ac\\x09d", "a\\x0db\nc\td"},
      {"evil\xE2\x80\xAEtxt.exe", "evil\\u202etxt.exe", "evil\\u202etxt.exe"},  // U+202E
      {"one\xE2\x80\xA8two", "one\\u2028two", "one\\u2028two"},                // U+2028
      {"\xE2\x81\xA6x\xE2\x81\xA9", "\\u2066x\\u2069", "\\u2066x\\u2069"},     // isolates
      {"\xC2\x9B" "31m", "\\x9b31m", "\\x9b31m"},                             // C1 CSI
      {"caf\xC3\xA9 \xE2\x80\x94 ok", "caf\xC3\xA9 \xE2\x80\x94 ok", "caf\xC3\xA9 \xE2\x80\x94 ok"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(escape_line(c.in), c.line);
    EXPECT_EQ(escape_controls(c.in), c.controls);
  }
}

TEST(Text, FoldDiacritics) {
  struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"Prli\u0107", "Prlic"},
      {"Se\u0301bastien", "Sebastien"},  // decomposed: e + combining acute
      {"S\u00e9bastien", "Sebastien"},   // composed
      {"Dr\u00e4ger", "Drager"},
      {"\u0141ukasz \u00d8stergaard \u00df", "Lukasz Ostergaard ss"},
      {"\u00c6sir \u0153uvre", "AEsir oeuvre"},
      {"\u5f20\u4f1f", "\u5f20\u4f1f"},  // not Latin: as it is
      {"plain", "plain"},
  };
  for (const auto& c : cases) EXPECT_EQ(fold_diacritics(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace ostrameld
