// Text helpers shared by every module: UTF-8 decoding in the three reading modes,
// code-point lengths, whitespace stripping and number formatting with the exact
// conventions the reports promise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ostrameld {

// How undecodable UTF-8 is handled when a repository file is read as text.
enum class ReadMode { Strict, Replace, Drop };

// Raised by strict decoding; the message follows the familiar codec wording,
// e.g. "'utf-8' codec can't decode byte 0xff in position 3: invalid start byte".
class DecodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Incremental UTF-8 to UTF-8 decoder that validates, applies the reading mode and
// turns "\r\n" and lone "\r" into "\n" the way text-mode reading does.
class TextDecoder {
 public:
  static constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

  explicit TextDecoder(ReadMode mode, std::size_t max_chars = kNoLimit,
                       bool translate_newlines = true);

  // Decodes one more chunk (last = no more data follows). Returns true once
  // max_chars characters have been produced; further input is then ignored.
  bool feed(std::string_view chunk, bool last);

  // Characters (code points) produced so far.
  std::size_t chars() const { return chars_; }
  const std::string& text() const { return out_; }
  std::string take() { return std::move(out_); }

 private:
  void emit(char32_t cp);
  void emit_ascii_run(std::string_view run);
  void invalid(std::size_t pos, std::size_t len, std::uint8_t first, const char* reason);
  bool full() const { return chars_ >= max_chars_; }

  ReadMode mode_;
  std::size_t max_chars_;
  bool translate_;
  bool cr_pending_ = false;
  std::string carry_;
  std::size_t offset_ = 0;  // absolute byte offset of the next chunk
  std::size_t chars_ = 0;
  std::string out_;
};

// Decodes a whole byte string in one go (newlines translated unless told otherwise).
std::string decode_utf8(std::string_view bytes, ReadMode mode, bool translate_newlines = true);

// Valid UTF-8 for any bytes: each undecodable sequence becomes U+FFFD, nothing else changes.
std::string sanitize_utf8(std::string_view bytes);
bool is_valid_utf8(std::string_view bytes);

// Control characters (C0 but tab and line feed, DEL, C1) spelled as "\xNN", and the
// bidirectional controls and line separators as "\uNNNN", so that text from a
// repository cannot move the cursor, recolour a terminal or reorder what is shown.
std::string escape_controls(std::string_view utf8);
// The same for text that must stay on one line: line breaks and tabs escaped too.
std::string escape_line(std::string_view utf8);

// Number of code points in valid UTF-8.
std::size_t code_points(std::string_view utf8);

// Whitespace as str.isspace() defines it.
bool is_py_space(char32_t cp);
// str.strip() on valid UTF-8.
std::string_view py_strip(std::string_view utf8);

// ASCII lower-casing; other bytes pass through unchanged.
// Latin letters without their diacritics ("Prlić" -> "Prlic", "Dräger" -> "Drager"), in
// composed or decomposed form; other text unchanged.
std::string fold_diacritics(std::string_view utf8);
std::string ascii_lower(std::string_view s);
// Full Unicode lower-casing, as Python's str.lower() (KELVIN SIGN to k, İ to i̇).
std::string py_lower(std::string_view s);

std::string join(std::span<const std::string> items, std::string_view sep);
// Joins a constant name table (or its first items).
std::string join(std::span<const std::string_view> items, std::string_view sep);
// Whether a constant name table holds a name.
bool contains(std::span<const std::string_view> table, std::string_view name);

// The shortest text that reads back as the same double, spelled as repr(float) spells it
// ("10.0", "7.5", "1e-05", "inf", "nan").
std::string py_float_repr(double value);

// Fixed-point with the given number of decimals, round-half-even on the exact value.
std::string format_fixed(double value, int decimals);

// Seconds as a user writes them, without trailing zeros: "600", "2.5".
std::string format_seconds(double seconds);

// A quoted rendering of a text as repr(str) shows it, for messages that name paths.
std::string py_repr(std::string_view utf8);

// Decodes one code point of valid UTF-8 at s[i], advancing i.
char32_t next_code_point(std::string_view s, std::size_t& i);
void append_utf8(std::string& out, char32_t cp);

}  // namespace ostrameld
