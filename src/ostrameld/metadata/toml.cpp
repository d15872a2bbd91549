// TOML through toml++, compiled here alone: its header is large and only this file needs it.
#define TOML_HEADER_ONLY 1
#define TOML_EXCEPTIONS 1
#include <toml++/toml.h>

#include <sstream>
#include <stdexcept>

#include "ostrameld/metadata/model.h"

namespace ostrameld::metadata {

namespace {

std::string two(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

std::string date_text(const toml::date& d) {
  return std::to_string(d.year) + "-" + two(d.month) + "-" + two(d.day);
}

std::string time_text(const toml::time& t) {
  std::string s = two(t.hour) + ":" + two(t.minute) + ":" + two(t.second);
  if (t.nanosecond) {
    std::string ns = std::to_string(t.nanosecond);
    s += "." + std::string(9 - ns.size(), '0') + ns;
  }
  return s;
}

Json convert(const toml::node& node, int depth) {
  if (depth > 128) throw std::runtime_error("TOML nested too deeply");
  if (const auto* t = node.as_table()) {
    Json out = Json::object();
    for (const auto& [key, value] : *t) out[std::string(key.str())] = convert(value, depth + 1);
    return out;
  }
  if (const auto* a = node.as_array()) {
    Json out = Json::array();
    for (const auto& value : *a) out.push_back(convert(value, depth + 1));
    return out;
  }
  if (auto s = node.value<std::string>(); s && node.is_string()) return *s;
  if (node.is_integer()) return node.as_integer()->get();
  if (node.is_floating_point()) return node.as_floating_point()->get();
  if (node.is_boolean()) return node.as_boolean()->get();
  if (node.is_date()) return date_text(node.as_date()->get());
  if (node.is_time()) return time_text(node.as_time()->get());
  if (node.is_date_time()) {
    const auto& dt = node.as_date_time()->get();
    std::string s = date_text(dt.date) + "T" + time_text(dt.time);
    if (dt.offset) {
      int minutes = dt.offset->minutes;
      s += minutes < 0 ? "-" : "+";
      minutes = std::abs(minutes);
      s += two(minutes / 60) + ":" + two(minutes % 60);
    }
    return s;
  }
  return nullptr;
}

// toml++ 3.3's test for non-ASCII blanks reaches an "unreachable" point (undefined
// behaviour) for code points in three ranges, wherever the parser asks whether a character
// is a blank: after a backslash in a multi-line string, between tokens. Those code points
// are handed to it as private-use stand-ins (a marker and two digits) and restored in
// every string and key of the result, so that values keep their text and nothing else
// changes: no stand-in is a blank or a key character either.
constexpr char32_t kMarker = 0xF400;
constexpr char32_t kDigits = 0xF000;  // 1024 of them, 0xF000..0xF3FF

bool needs_stand_in(char32_t c) {
  return (c >= 0xA1 && c <= 0x499) || (c >= 0x2C5E && c <= 0x3057 && c != 0x3000) ||
         (c >= 0xFB26 && c <= 0xFEFE) || (c >= kDigits && c <= kMarker);
}

void put_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The next code point of a two- or three-byte sequence at i (others: nothing), and its length.
std::pair<char32_t, std::size_t> bmp_at(std::string_view s, std::size_t i) {
  auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  if (b(i) >= 0xC2 && b(i) <= 0xDF && i + 1 < s.size() && (b(i + 1) & 0xC0) == 0x80)
    return {static_cast<char32_t>(((b(i) & 0x1F) << 6) | (b(i + 1) & 0x3F)), 2};
  if (b(i) >= 0xE0 && b(i) <= 0xEF && i + 2 < s.size() && (b(i + 1) & 0xC0) == 0x80 &&
      (b(i + 2) & 0xC0) == 0x80) {
    char32_t c = ((b(i) & 0x0F) << 12) | ((b(i + 1) & 0x3F) << 6) | (b(i + 2) & 0x3F);
    if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) return {c, 3};
  }
  return {0, 0};
}

std::string protect(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    auto [c, n] = static_cast<unsigned char>(text[i]) < 0x80 ? std::pair<char32_t, std::size_t>{0, 0}
                                                             : bmp_at(text, i);
    if (n && needs_stand_in(c)) {
      put_utf8(out, kMarker);
      put_utf8(out, kDigits + (c >> 10));
      put_utf8(out, kDigits + (c & 0x3FF));
      i += n;
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::string restore(const std::string& s) {
  if (s.find("\xEF\x90\x80") == std::string::npos) return s;  // no marker (U+F400)
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    auto [m, n] = bmp_at(s, i);
    if (n == 3 && m == kMarker && i + 9 <= s.size()) {
      auto [hi, n1] = bmp_at(s, i + 3);
      auto [lo, n2] = bmp_at(s, i + 6);
      if (n1 == 3 && n2 == 3 && hi >= kDigits && hi < kMarker && lo >= kDigits && lo < kMarker) {
        put_utf8(out, ((hi - kDigits) << 10) | (lo - kDigits));
        i += 9;
        continue;
      }
    }
    out += s[i++];
  }
  return out;
}

Json restored(const Json& v) {
  if (v.is_string()) return restore(v.get<std::string>());
  if (v.is_array()) {
    Json out = Json::array();
    for (const auto& item : v) out.push_back(restored(item));
    return out;
  }
  if (v.is_object()) {
    Json out = Json::object();
    for (const auto& [k, item] : v.items()) out[restore(k)] = restored(item);
    return out;
  }
  return v;
}

}  // namespace

Json load_toml(std::string_view text) {
  try {
    std::string safe = protect(text);
    toml::table table = toml::parse(safe);
    return restored(convert(table, 0));
  } catch (const toml::parse_error& e) {
    const auto& where = e.source().begin;
    throw std::runtime_error(std::string(e.description()) + " (line " +
                             std::to_string(where.line) + ", column " +
                             std::to_string(where.column) + ")");
  }
}

}  // namespace ostrameld::metadata
