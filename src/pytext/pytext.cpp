#include "pytext/pytext.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>

namespace pytext {

namespace {

struct SpecialCase {
  char32_t cp;
  const char32_t* lower;
  const char32_t* upper;
  const char32_t* title;
};

constexpr SpecialCase kSpecial[] = {
#include "pytext/special_casing.inc"
};

const SpecialCase* special(char32_t c) {
  auto it = std::lower_bound(std::begin(kSpecial), std::end(kSpecial), c,
                             [](const SpecialCase& s, char32_t v) { return s.cp < v; });
  return it != std::end(kSpecial) && it->cp == c ? it : nullptr;
}

// The one-to-one mappings come from the C library's Unicode tables.
locale_t utf8_locale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return loc;
}

char32_t simple_lower(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  locale_t l = utf8_locale();
  return l ? static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), l)) : c;
}

char32_t simple_upper(char32_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 32 : c;
  locale_t l = utf8_locale();
  return l ? static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), l)) : c;
}

// Word-final: a cased letter before it and none after, looking through ignorable ones.
bool final_sigma(const std::u32string& s, std::size_t i) {
  std::size_t j = i;
  while (j > 0 && is_case_ignorable(s[j - 1])) --j;
  if (j == 0 || !is_cased(s[j - 1])) return false;
  std::size_t k = i + 1;
  while (k < s.size() && is_case_ignorable(s[k])) ++k;
  return k == s.size() || !is_cased(s[k]);
}

}  // namespace

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::u32string decode_utf8(std::string_view s) {
  std::u32string out;
  std::size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80                ? 1
              : b >= 0xC2 && b < 0xE0 ? 2
              : b >= 0xE0 && b < 0xF0 ? 3
              : b >= 0xF0 && b < 0xF5 ? 4
                                      : 0;
    if (len == 0 || i + static_cast<std::size_t>(len) > s.size()) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    char32_t cp = len == 1 ? b : (b & (0xFF >> (len + 1)));
    for (int k = 1; k < len; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0x3F);
    out.push_back(cp);
    i += static_cast<std::size_t>(len);
  }
  return out;
}

std::string encode_utf8(std::u32string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char32_t cp : s) append_utf8(out, cp);
  return out;
}

void append_case(std::u32string& out, char32_t c, char which) {
  if (const SpecialCase* sc = special(c)) {
    const char32_t* mapped = which == 'l' ? sc->lower : which == 'u' ? sc->upper : sc->title;
    if (which == 't' && !mapped) mapped = sc->upper;
    if (mapped) {
      out += mapped;
      return;
    }
  }
  out.push_back(which == 'l' ? simple_lower(c) : simple_upper(c));
}

std::string lower(std::string_view s) {
  std::u32string in = decode_utf8(s);
  std::u32string out;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == 0x03A3) {
      out.push_back(final_sigma(in, i) ? 0x03C2 : 0x03C3);
    } else {
      append_case(out, in[i], 'l');
    }
  }
  return encode_utf8(out);
}

std::string upper(std::string_view s) {
  std::u32string out;
  for (char32_t c : decode_utf8(s)) append_case(out, c, 'u');
  return encode_utf8(out);
}

bool is_cased(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  locale_t l = utf8_locale();
  if (!l) return false;
  auto w = static_cast<wint_t>(c);
  return iswupper_l(w, l) || iswlower_l(w, l) || towlower_l(w, l) != w || towupper_l(w, l) != w;
}

bool is_case_ignorable(char32_t c) {
  switch (c) {
    case '\'':
    case '.':
    case ':':
    case '^':
    case '`':
    case 0x00A8:
    case 0x00AD:
    case 0x00AF:
    case 0x00B4:
    case 0x00B7:
    case 0x00B8:
    case 0x2018:
    case 0x2019:
    case 0x2024:
    case 0x2027:
      return true;
    default:
      break;
  }
  return (c >= 0x0300 && c <= 0x036F) ||  // combining diacritical marks
         (c >= 0x02B0 && c <= 0x02FF) ||  // modifier letters
         (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
         (c >= 0x200B && c <= 0x200F) || (c >= 0x20D0 && c <= 0x20FF) ||
         (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xFE20 && c <= 0xFE2F);
}

std::string float_repr(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  // Shortest round-trip digits, laid out positionally for exponents -4..15 and
  // in scientific form with a two-digit exponent otherwise.
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string sci(buf, res.ptr);
  bool negative = sci[0] == '-';
  if (negative) sci.erase(0, 1);
  auto epos = sci.find('e');
  int exp = std::stoi(sci.substr(epos + 1));
  std::string digits;
  for (char c : sci.substr(0, epos))
    if (c != '.') digits.push_back(c);
  std::string out;
  if (exp >= -4 && exp < 16) {
    auto point = static_cast<std::size_t>(exp + 1);
    if (exp < 0) {
      out = "0." + std::string(static_cast<std::size_t>(-exp - 1), '0') + digits;
    } else if (point >= digits.size()) {
      out = digits + std::string(point - digits.size(), '0') + ".0";
    } else {
      out = digits.substr(0, point) + "." + digits.substr(point);
    }
  } else {
    out = digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    char ebuf[16];
    std::snprintf(ebuf, sizeof ebuf, "e%c%02d", exp < 0 ? '-' : '+', exp < 0 ? -exp : exp);
    out += ebuf;
  }
  return negative ? "-" + out : out;
}

namespace {

constexpr char32_t kDecimalZeros[] = {
#include "pytext/decimal_zeros.inc"
};

// The text without surrounding blanks, its digits as ASCII, its underscores checked;
// nothing when an underscore does not stand between two digits.
std::optional<std::string> normalized_number(std::string_view text) {
  std::u32string in = decode_utf8(text);
  std::size_t b = 0, e = in.size();
  while (b < e && is_space(in[b])) ++b;
  while (e > b && is_space(in[e - 1])) --e;
  std::string out;
  for (std::size_t i = b; i < e; ++i) {
    char32_t c = in[i];
    if (c == '_') {
      bool between =
          i > b && i + 1 < e && decimal_value(in[i - 1]) >= 0 && decimal_value(in[i + 1]) >= 0;
      if (!between) return std::nullopt;
      continue;
    }
    int d = decimal_value(c);
    if (d >= 0) {
      out.push_back(static_cast<char>('0' + d));
    } else if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      return std::nullopt;
    }
  }
  return out;
}

}  // namespace

int decimal_value(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c < 0x660) return -1;
  auto it = std::upper_bound(std::begin(kDecimalZeros), std::end(kDecimalZeros), c);
  if (it == std::begin(kDecimalZeros)) return -1;
  char32_t zero = *(it - 1);
  return c - zero < 10 ? static_cast<int>(c - zero) : -1;
}

bool is_space(char32_t c) {
  return c == ' ' || (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x1F) || c == 0x85 ||
         c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
         c == 0x202F || c == 0x205F || c == 0x3000;
}

std::optional<std::int64_t> parse_int(std::string_view text) {
  auto s = normalized_number(text);
  if (!s || s->empty()) return std::nullopt;
  std::string_view digits = *s;
  bool negative = digits.front() == '-';
  if (negative || digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  std::uint64_t v = 0;
  for (char c : digits) {
    if (v > (UINT64_MAX - 9) / 10) return std::nullopt;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (v > static_cast<std::uint64_t>(INT64_MAX) + (negative ? 1 : 0)) return std::nullopt;
  return negative ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
}

std::optional<double> parse_float(std::string_view text) {
  auto s = normalized_number(text);
  if (!s || s->empty()) return std::nullopt;
  std::string lower;
  for (char c : *s) lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
  std::string_view body = lower;
  bool negative = body.front() == '-';
  if (negative || body.front() == '+') body.remove_prefix(1);
  if (body == "inf" || body == "infinity")
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  if (body == "nan") return std::numeric_limits<double>::quiet_NaN();
  // digits [. digits] [e [sign] digits], with digits on at least one side of the point.
  std::size_t i = 0;
  auto run = [&] {
    std::size_t from = i;
    while (i < body.size() && body[i] >= '0' && body[i] <= '9') ++i;
    return i - from;
  };
  std::size_t whole = run();
  std::size_t fraction = 0;
  if (i < body.size() && body[i] == '.') {
    ++i;
    fraction = run();
  }
  if (whole + fraction == 0) return std::nullopt;
  if (i < body.size() && body[i] == 'e') {
    ++i;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) ++i;
    if (run() == 0) return std::nullopt;
  }
  if (i != body.size()) return std::nullopt;
  return std::strtod(lower.c_str(), nullptr);
}

std::string html_escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&#34;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace pytext
