#include "jinja/lexer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>

#include "pytext/pytext.h"

namespace jinja {

namespace {

bool is_ws(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view rstrip_all(std::string_view s) {
  while (!s.empty() && is_ws(s.back())) s.remove_suffix(1);
  return s;
}

bool starts_with(std::string_view s, std::size_t pos, std::string_view prefix) {
  return s.substr(pos, prefix.size()) == prefix;
}

constexpr std::array<std::string_view, 6> kTwoCharOps{"//", "**", "==", "!=", "<=", ">="};
constexpr std::string_view kOneCharOps = "+-*/%~()[]{},.:|=<>";

// Decodes the escapes of a quoted literal; `pos` points at the opening quote.
std::string read_string(const std::string& src, std::size_t& pos) {
  char quote = src[pos];
  std::size_t start = pos;
  ++pos;
  std::string out;
  while (pos < src.size() && src[pos] != quote) {
    char c = src[pos];
    if (c == '\\' && pos + 1 < src.size()) {
      // The escapes of a Python string literal: simple ones, octal, \xhh, \uXXXX and
      // \UXXXXXXXX; an unknown escape stays as it is written.
      char n = src[pos + 1];
      pos += 2;
      auto hex = [&](std::size_t digits) {
        if (pos + digits > src.size()) throw SyntaxError("truncated \\x, \\u or \\U escape", start);
        char32_t cp = 0;
        for (std::size_t k = 0; k < digits; ++k) {
          char h = src[pos + k];
          int d = h >= '0' && h <= '9'   ? h - '0'
                  : h >= 'a' && h <= 'f' ? h - 'a' + 10
                  : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                         : -1;
          if (d < 0) throw SyntaxError("truncated \\x, \\u or \\U escape", start);
          cp = cp * 16 + static_cast<char32_t>(d);
        }
        pos += digits;
        if (cp > 0x10FFFF) throw SyntaxError("illegal Unicode character", start);
        pytext::append_utf8(out, cp);
      };
      switch (n) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'a':
          out += '\a';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'v':
          out += '\v';
          break;
        case '\\':
          out += '\\';
          break;
        case '\'':
          out += '\'';
          break;
        case '"':
          out += '"';
          break;
        case '\n':
          break;  // line continuation
        case 'x':
          hex(2);
          break;
        case 'u':
          hex(4);
          break;
        case 'U':
          hex(8);
          break;
        default:
          if (n >= '0' && n <= '7') {
            char32_t cp = static_cast<char32_t>(n - '0');
            for (int k = 0; k < 2 && pos < src.size() && src[pos] >= '0' && src[pos] <= '7'; ++k)
              cp = cp * 8 + static_cast<char32_t>(src[pos++] - '0');
            pytext::append_utf8(out, cp);
          } else {
            out += '\\';
            out += n;
          }
      }
      continue;
    }
    out += c;
    ++pos;
  }
  if (pos >= src.size()) throw SyntaxError("unexpected end of string", start);
  ++pos;
  return out;
}

}  // namespace

std::string normalise_source(std::string_view source, bool keep_trailing_newline) {
  std::string out;
  out.reserve(source.size());
  for (std::size_t i = 0; i < source.size(); ++i) {
    char c = source[i];
    if (c == '\r') {
      out += '\n';
      if (i + 1 < source.size() && source[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  if (!keep_trailing_newline && !out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::pair<std::size_t, std::size_t> line_col(const std::string& source, std::size_t pos) {
  pos = std::min(pos, source.size());
  std::size_t line = 1 + static_cast<std::size_t>(std::count(
                             source.begin(), source.begin() + static_cast<long>(pos), '\n'));
  std::size_t bol = source.rfind('\n', pos == 0 ? 0 : pos - 1);
  std::size_t col = (bol == std::string::npos || pos == 0) ? pos + 1 : pos - bol;
  if (pos > 0 && source[pos - 1] == '\n') col = 1;
  return {line, col};
}

std::vector<Token> tokenize(const std::string& src, const LexOptions& opt) {
  std::vector<Token> out;
  std::size_t pos = 0;
  bool line_starting = true;  // the next text begins at the start of a line
  bool strip_next = false;    // a "-" on the previous tag's end strips leading whitespace

  // After a tag's closing delimiter: "-" strips what follows, trim_blocks eats one newline
  // after block tags and comments unless "+" says otherwise.
  auto finish_tag = [&](std::size_t after, char end_sign, bool trims) {
    pos = after;
    if (end_sign == '-') {
      strip_next = true;
      std::size_t q = pos;
      while (q < src.size() && is_ws(src[q])) ++q;
      line_starting = q > pos && src[q - 1] == '\n';
      return;
    }
    if (trims && end_sign != '+' && opt.trim_blocks && pos < src.size() && src[pos] == '\n') ++pos;
    line_starting = pos > 0 && src[pos - 1] == '\n';
  };

  while (pos <= src.size()) {
    // Next tag start.
    std::size_t tag = std::string::npos;
    for (std::size_t i = pos; i + 1 < src.size(); ++i) {
      if (src[i] == '{' && (src[i + 1] == '{' || src[i + 1] == '%' || src[i + 1] == '#')) {
        tag = i;
        break;
      }
    }
    std::size_t text_end = tag == std::string::npos ? src.size() : tag;
    std::string_view text(src.data() + pos, text_end - pos);
    std::size_t text_pos = pos;
    if (strip_next) {
      std::size_t skip = 0;
      while (skip < text.size() && is_ws(text[skip])) ++skip;
      text.remove_prefix(skip);
      text_pos += skip;
      strip_next = false;
    }

    char kind = tag == std::string::npos ? 0 : src[tag + 1];
    char sign = tag != std::string::npos && tag + 2 < src.size() ? src[tag + 2] : 0;
    if (sign != '-' && sign != '+') sign = 0;
    if (tag != std::string::npos) {
      if (sign == '-') {
        text = rstrip_all(text);
      } else if (sign != '+' && opt.lstrip_blocks && kind != '{') {
        // Spaces and tabs alone between the line start and the tag go.
        std::size_t nl = text.rfind('\n');
        std::size_t l_pos = nl == std::string_view::npos ? 0 : nl + 1;
        if (l_pos > 0 || line_starting) {
          std::string_view tail = text.substr(l_pos);
          if (!tail.empty() && std::all_of(tail.begin(), tail.end(), is_ws))
            text = text.substr(0, l_pos);
        }
      }
    }
    if (!text.empty()) out.push_back({Tok::Text, std::string(text), text_pos});
    if (tag == std::string::npos) break;

    std::size_t p = tag + 2 + (sign ? 1 : 0);
    if (kind == '#') {
      std::size_t end = src.find("#}", p);
      if (end == std::string::npos) throw SyntaxError("missing end of comment tag", tag);
      char end_sign = end > p && (src[end - 1] == '-' || src[end - 1] == '+') ? src[end - 1] : 0;
      finish_tag(end + 2, end_sign, true);
      continue;
    }

    bool block = kind == '%';
    out.push_back({block ? Tok::BlockBegin : Tok::VarBegin, "", tag});
    const std::string_view close = block ? "%}" : "}}";
    for (;;) {
      while (p < src.size() && is_ws(src[p])) ++p;
      if (p >= src.size())
        throw SyntaxError(block ? "unexpected end of template, expected '%}'"
                                : "unexpected end of template, expected '}}'",
                          tag);
      // The end of the tag, possibly with a whitespace marker.
      char end_sign = 0;
      if ((src[p] == '-' || (block && src[p] == '+')) && starts_with(src, p + 1, close))
        end_sign = src[p];
      if (end_sign || starts_with(src, p, close)) {
        out.push_back({block ? Tok::BlockEnd : Tok::VarEnd, "", p});
        finish_tag(p + close.size() + (end_sign ? 1 : 0), end_sign, block);
        break;
      }
      char c = src[p];
      if (c == '\'' || c == '"') {
        std::size_t start = p;
        std::string s = read_string(src, p);
        out.push_back({Tok::String, std::move(s), start});
      } else if (std::isdigit(static_cast<unsigned char>(c))) {
        std::size_t start = p;
        while (p < src.size() &&
               (std::isdigit(static_cast<unsigned char>(src[p])) || src[p] == '_'))
          ++p;
        bool is_float = false;
        if (p + 1 < src.size() && src[p] == '.' &&
            std::isdigit(static_cast<unsigned char>(src[p + 1]))) {
          is_float = true;
          ++p;
          while (p < src.size() &&
                 (std::isdigit(static_cast<unsigned char>(src[p])) || src[p] == '_'))
            ++p;
        }
        if (p < src.size() && (src[p] == 'e' || src[p] == 'E')) {
          std::size_t q = p + 1;
          if (q < src.size() && (src[q] == '+' || src[q] == '-')) ++q;
          if (q < src.size() && std::isdigit(static_cast<unsigned char>(src[q]))) {
            is_float = true;
            p = q;
            while (p < src.size() && std::isdigit(static_cast<unsigned char>(src[p]))) ++p;
          }
        }
        std::string digits;
        for (std::size_t i = start; i < p; ++i)
          if (src[i] != '_') digits += src[i];
        out.push_back({is_float ? Tok::Float : Tok::Integer, digits, start});
      } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        std::size_t start = p;
        while (p < src.size() &&
               (std::isalnum(static_cast<unsigned char>(src[p])) || src[p] == '_'))
          ++p;
        out.push_back({Tok::Name, src.substr(start, p - start), start});
      } else {
        std::string op;
        for (auto two : kTwoCharOps)
          if (starts_with(src, p, two)) op = two;
        if (op.empty() && kOneCharOps.find(c) != std::string_view::npos) op = std::string(1, c);
        if (op.empty()) throw SyntaxError(std::string("unexpected char '") + c + "'", p);
        out.push_back({Tok::Op, op, p});
        p += op.size();
      }
    }
  }
  out.push_back({Tok::End, "", src.size()});
  return out;
}

}  // namespace jinja
