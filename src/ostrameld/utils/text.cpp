#include "ostrameld/utils/text.h"

#include "pytext/pytext.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace ostrameld {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_cont(std::uint8_t b) {
  return (b & 0xC0) == 0x80;
}

// Accepted range of the second byte for a lead byte; the others are 80..BF.
// Returns the total sequence length, or 0 for a byte that cannot start one.
int sequence_length(std::uint8_t lead, std::uint8_t& lo, std::uint8_t& hi) {
  lo = 0x80;
  hi = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead == 0xE0) {
    lo = 0xA0;
    return 3;
  }
  if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) return 3;
  if (lead == 0xED) {
    hi = 0x9F;
    return 3;
  }
  if (lead == 0xF0) {
    lo = 0x90;
    return 4;
  }
  if (lead >= 0xF1 && lead <= 0xF3) return 4;
  if (lead == 0xF4) {
    hi = 0x8F;
    return 4;
  }
  return 0;
}

std::string hex_byte(std::uint8_t b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02x", b);
  return buf;
}

}  // namespace

TextDecoder::TextDecoder(ReadMode mode, std::size_t max_chars, bool translate_newlines)
    : mode_(mode), max_chars_(max_chars), translate_(translate_newlines) {}

void TextDecoder::emit(char32_t cp) {
  if (full()) return;
  if (translate_) {
    if (cr_pending_) {
      cr_pending_ = false;
      out_.push_back('\n');
      ++chars_;
      if (cp == '\n') return;
      if (full()) return;
    }
    if (cp == '\r') {
      cr_pending_ = true;
      return;
    }
  }
  append_utf8(out_, cp);
  ++chars_;
}

void TextDecoder::emit_ascii_run(std::string_view run) {
  // Fast path for plain ASCII without carriage returns.
  if (cr_pending_ || max_chars_ != kNoLimit) {
    for (char c : run) emit(static_cast<unsigned char>(c));
    return;
  }
  out_.append(run);
  chars_ += run.size();
}

void TextDecoder::invalid(std::size_t pos, std::size_t len, std::uint8_t first,
                          const char* reason) {
  switch (mode_) {
    case ReadMode::Strict: {
      std::string msg = "'utf-8' codec can't decode ";
      if (len == 1) {
        msg += "byte " + hex_byte(first) + " in position " + std::to_string(pos);
      } else {
        msg += "bytes in position " + std::to_string(pos) + "-" + std::to_string(pos + len - 1);
      }
      throw DecodeError(msg + ": " + reason);
    }
    case ReadMode::Replace:
      emit(kReplacement);
      return;
    case ReadMode::Drop:
      return;
  }
}

bool TextDecoder::feed(std::string_view chunk, bool last) {
  if (full()) return true;
  std::string joined;
  std::string_view data = chunk;
  std::size_t base = offset_;
  if (!carry_.empty()) {
    base -= carry_.size();
    joined = carry_;
    joined.append(chunk);
    data = joined;
    carry_.clear();
  }
  offset_ += chunk.size();

  std::size_t i = 0;
  const std::size_t n = data.size();
  while (i < n && !full()) {
    auto b = static_cast<std::uint8_t>(data[i]);
    if (b < 0x80) {
      std::size_t j = i;
      while (j < n && static_cast<std::uint8_t>(data[j]) < 0x80 && data[j] != '\r') ++j;
      if (j > i) {
        emit_ascii_run(data.substr(i, j - i));
        i = j;
      } else {
        emit(b);
        ++i;
      }
      continue;
    }
    std::uint8_t lo, hi;
    int len = sequence_length(b, lo, hi);
    if (len == 0) {
      invalid(base + i, 1, b, "invalid start byte");
      ++i;
      continue;
    }
    // Count the valid continuation bytes that follow (maximal subpart).
    int got = 1;
    bool bad = false;
    while (got < len) {
      if (i + got >= n) break;
      auto c = static_cast<std::uint8_t>(data[i + got]);
      bool ok = got == 1 ? (c >= lo && c <= hi) : is_cont(c);
      if (!ok) {
        bad = true;
        break;
      }
      ++got;
    }
    if (got == len) {
      char32_t cp = b & (0xFF >> (len + 1));
      for (int k = 1; k < len; ++k)
        cp = (cp << 6) | (static_cast<std::uint8_t>(data[i + k]) & 0x3F);
      emit(cp);
      i += len;
      continue;
    }
    if (!bad && !last) {
      carry_.assign(data.substr(i));  // incomplete sequence: wait for more data
      return full();
    }
    invalid(base + i, got, b, bad ? "invalid continuation byte" : "unexpected end of data");
    i += got;
  }
  if (last && cr_pending_ && !full()) {
    cr_pending_ = false;
    out_.push_back('\n');
    ++chars_;
  }
  return full();
}

std::string decode_utf8(std::string_view bytes, ReadMode mode, bool translate_newlines) {
  TextDecoder dec(mode, TextDecoder::kNoLimit, translate_newlines);
  dec.feed(bytes, true);
  return dec.take();
}

std::string sanitize_utf8(std::string_view bytes) {
  if (is_valid_utf8(bytes)) return std::string(bytes);
  return decode_utf8(bytes, ReadMode::Replace, false);
}

bool is_valid_utf8(std::string_view bytes) {
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    auto b = static_cast<std::uint8_t>(bytes[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    std::uint8_t lo, hi;
    int len = sequence_length(b, lo, hi);
    if (len == 0 || i + len > n) return false;
    auto c1 = static_cast<std::uint8_t>(bytes[i + 1]);
    if (c1 < lo || c1 > hi) return false;
    for (int k = 2; k < len; ++k)
      if (!is_cont(static_cast<std::uint8_t>(bytes[i + k]))) return false;
    i += len;
  }
  return true;
}

namespace {

std::string escape_control_points(std::string_view utf8, bool keep_lines) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t start = i;
    char32_t cp = next_code_point(utf8, i);
    // Bidirectional overrides and isolates reorder what a reader sees (a name that reads
    // as another); the line and paragraph separators break lines where no line breaks.
    bool invisible = cp == 0x061C || cp == 0x200E || cp == 0x200F ||
                     (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) ||
                     cp == 0x2028 || cp == 0x2029;
    bool control = (cp < 0x20 && !(keep_lines && (cp == '\t' || cp == '\n'))) || cp == 0x7F ||
                   (cp >= 0x80 && cp < 0xA0) || invisible;
    if (!control) {
      out.append(utf8.substr(start, i - start));
      continue;
    }
    char buf[12];
    if (cp < 0x100)
      std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(cp));
    else
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
    out += buf;
  }
  return out;
}

}  // namespace

std::string escape_controls(std::string_view utf8) {
  return escape_control_points(utf8, true);
}

std::string escape_line(std::string_view utf8) {
  return escape_control_points(utf8, false);
}

std::size_t code_points(std::string_view utf8) {
  std::size_t count = 0;
  for (char c : utf8)
    if (!is_cont(static_cast<std::uint8_t>(c))) ++count;
  return count;
}

char32_t next_code_point(std::string_view s, std::size_t& i) {
  auto b = static_cast<std::uint8_t>(s[i]);
  int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  if (i + len > s.size()) {
    ++i;
    return kReplacement;
  }
  char32_t cp = len == 1 ? b : (b & (0xFF >> (len + 1)));
  for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<std::uint8_t>(s[i + k]) & 0x3F);
  i += len;
  return cp;
}

void append_utf8(std::string& out, char32_t cp) {
  pytext::append_utf8(out, cp);
}

bool is_py_space(char32_t cp) {
  if (cp <= 0x20) return cp == 0x20 || (cp >= 0x09 && cp <= 0x0D) || (cp >= 0x1C && cp <= 0x1F);
  switch (cp) {
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return cp >= 0x2000 && cp <= 0x200A;
  }
}

std::string_view py_strip(std::string_view s) {
  std::size_t begin = 0;
  while (begin < s.size()) {
    std::size_t next = begin;
    if (!is_py_space(next_code_point(s, next))) break;
    begin = next;
  }
  std::size_t end = s.size();
  while (end > begin) {
    std::size_t start = end - 1;
    while (start > begin && is_cont(static_cast<std::uint8_t>(s[start]))) --start;
    std::size_t probe = start;
    if (!is_py_space(next_code_point(s, probe))) break;
    end = start;
  }
  return s.substr(begin, end - begin);
}

std::string fold_diacritics(std::string_view utf8) {
  // U+00C0..U+017F (Latin-1 Supplement letters and Latin Extended-A) as ASCII.
  static constexpr std::string_view kLatin[] = {"A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I", "I", "D", "N", "O", "O", "O", "O", "O", "", "O", "U", "U", "U", "U", "Y", "Th", "ss", "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i", "d", "n", "o", "o", "o", "o", "o", "", "o", "u", "u", "u", "u", "y", "th", "y", "A", "a", "A", "a", "A", "a", "C", "c", "C", "c", "C", "c", "C", "c", "D", "d", "D", "d", "E", "e", "E", "e", "E", "e", "E", "e", "E", "e", "G", "g", "G", "g", "G", "g", "G", "g", "H", "h", "H", "h", "I", "i", "I", "i", "I", "i", "I", "i", "I", "i", "IJ", "ij", "J", "j", "K", "k", "k", "L", "l", "L", "l", "L", "l", "L", "l", "L", "l", "N", "n", "N", "n", "N", "n", "n", "N", "n", "O", "o", "O", "o", "O", "o", "OE", "oe", "R", "r", "R", "r", "R", "r", "S", "s", "S", "s", "S", "s", "S", "s", "T", "t", "T", "t", "T", "t", "U", "u", "U", "u", "U", "u", "U", "u", "U", "u", "U", "u", "W", "w", "Y", "y", "Y", "Z", "z", "Z", "z", "Z", "z", "s"};
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp = next_code_point(utf8, i);
    if (cp >= 0x300 && cp <= 0x36F) continue;  // combining marks: "e" + U+0301 is "é"
    if (cp >= 0xC0 && cp <= 0x17F) {
      out += kLatin[cp - 0xC0];
      continue;
    }
    append_utf8(out, cp);
  }
  return out;
}

std::string ascii_lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string join(std::span<const std::string> items, std::string_view sep) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out.append(sep);
    out.append(items[i]);
  }
  return out;
}

std::string join(std::span<const std::string_view> items, std::string_view sep) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out.append(sep);
    out.append(items[i]);
  }
  return out;
}

bool contains(std::span<const std::string_view> table, std::string_view name) {
  for (auto entry : table)
    if (entry == name) return true;
  return false;
}

// The template engine already spells floats exactly as the reports need.
std::string py_lower(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return pytext::lower(s);
  return ascii_lower(s);
}

std::string py_float_repr(double value) {
  return pytext::float_repr(value);
}

std::string format_fixed(double value, int decimals) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  return buf;
}

std::string py_repr(std::string_view s) {
  bool has_single = s.find('\'') != std::string_view::npos;
  bool has_double = s.find('"') != std::string_view::npos;
  char quote = has_single && !has_double ? '"' : '\'';
  std::string out(1, quote);
  std::size_t i = 0;
  while (i < s.size()) {
    char32_t cp = next_code_point(s, i);
    if (cp == static_cast<char32_t>(quote) || cp == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(cp));
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp == '\r') {
      out += "\\r";
    } else if (cp == '\t') {
      out += "\\t";
    } else if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(cp));
      out += buf;
    } else {
      append_utf8(out, cp);
    }
  }
  out.push_back(quote);
  return out;
}

std::string format_seconds(double seconds) {
  std::string text = format_fixed(seconds, 3);
  while (text.find('.') != std::string::npos && (text.back() == '0' || text.back() == '.'))
    text.pop_back();
  return text;
}

}  // namespace ostrameld
