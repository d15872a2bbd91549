#include "ostrameld/utils/json.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

void write_string(std::string& out, const std::string& raw) {
  // Invalid UTF-8 never reaches the output: it becomes U+FFFD first.
  std::string valid = sanitize_utf8(raw);
  out.push_back('"');
  std::size_t i = 0;
  while (i < valid.size()) {
    char32_t cp = next_code_point(valid, i);
    switch (cp) {
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\t':
        out += "\\t";
        continue;
      case '\b':
        out += "\\b";
        continue;
      case '\f':
        out += "\\f";
        continue;
      default:
        break;
    }
    if (cp >= 0x20 && cp < 0x7F) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    char buf[16];
    if (cp >= 0x10000) {
      char32_t v = cp - 0x10000;
      std::snprintf(buf, sizeof buf, "\\u%04x\\u%04x", 0xD800 + static_cast<unsigned>(v >> 10),
                    0xDC00 + static_cast<unsigned>(v & 0x3FF));
    } else {
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
    }
    out += buf;
  }
  out.push_back('"');
}

void write_float(std::string& out, double v) {
  if (v != v) {
    out += "NaN";
  } else if (v == std::numeric_limits<double>::infinity()) {
    out += "Infinity";
  } else if (v == -std::numeric_limits<double>::infinity()) {
    out += "-Infinity";
  } else {
    out += py_float_repr(v);
  }
}

void newline(std::string& out, std::optional<int> indent, int level) {
  out.push_back('\n');
  out.append(static_cast<std::size_t>(*indent) * static_cast<std::size_t>(level), ' ');
}

void write(std::string& out, const Json& v, std::optional<int> indent, int level) {
  switch (v.type()) {
    case Json::value_t::null:
      out += "null";
      return;
    case Json::value_t::boolean:
      out += v.get<bool>() ? "true" : "false";
      return;
    case Json::value_t::number_integer:
      out += std::to_string(v.get<std::int64_t>());
      return;
    case Json::value_t::number_unsigned:
      out += std::to_string(v.get<std::uint64_t>());
      return;
    case Json::value_t::number_float:
      write_float(out, v.get<double>());
      return;
    case Json::value_t::string:
      write_string(out, v.get_ref<const std::string&>());
      return;
    case Json::value_t::array: {
      if (v.empty()) {
        out += "[]";
        return;
      }
      out.push_back('[');
      bool first = true;
      for (const auto& item : v) {
        if (!first) out += indent ? "," : ", ";
        first = false;
        if (indent) newline(out, indent, level + 1);
        write(out, item, indent, level + 1);
      }
      if (indent) newline(out, indent, level);
      out.push_back(']');
      return;
    }
    case Json::value_t::object: {
      if (v.empty()) {
        out += "{}";
        return;
      }
      out.push_back('{');
      bool first = true;
      for (const auto& [key, item] : v.items()) {
        if (!first) out += indent ? "," : ", ";
        first = false;
        if (indent) newline(out, indent, level + 1);
        write_string(out, key);
        out += ": ";
        write(out, item, indent, level + 1);
      }
      if (indent) newline(out, indent, level);
      out.push_back('}');
      return;
    }
    case Json::value_t::binary:
    case Json::value_t::discarded:
      throw std::invalid_argument("value cannot be written as JSON");
  }
}

}  // namespace

std::string dump_json(const Json& value, std::optional<int> indent) {
  std::string out;
  write(out, value, indent, 0);
  return out;
}

namespace {

class Reader {
 public:
  Reader(std::string_view text, int max_depth) : t_(text), max_depth_(max_depth) {}

  std::optional<Json> document() {
    skip_blanks();
    auto v = value(0);
    if (!v) return std::nullopt;
    skip_blanks();
    if (i_ != t_.size()) return std::nullopt;  // extra data
    return v;
  }

 private:
  void skip_blanks() {
    while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\n' || t_[i_] == '\r'))
      ++i_;
  }
  bool literal(std::string_view word) {
    if (t_.substr(i_, word.size()) != word) return false;
    i_ += word.size();
    return true;
  }

  std::optional<Json> value(int depth) {
    if (i_ >= t_.size()) return std::nullopt;
    char c = t_[i_];
    if (c == '{' || c == '[') {
      if (depth >= max_depth_) return std::nullopt;
      return c == '{' ? object(depth + 1) : array(depth + 1);
    }
    if (c == '"') {
      auto s = string();
      if (!s) return std::nullopt;
      return Json(std::move(*s));
    }
    if (literal("null")) return Json(nullptr);
    if (literal("true")) return Json(true);
    if (literal("false")) return Json(false);
    if (literal("NaN")) return Json(std::numeric_limits<double>::quiet_NaN());
    if (literal("Infinity")) return Json(std::numeric_limits<double>::infinity());
    if (literal("-Infinity")) return Json(-std::numeric_limits<double>::infinity());
    return number();
  }

  std::optional<Json> object(int depth) {
    Json obj = Json::object();
    ++i_;
    skip_blanks();
    if (i_ < t_.size() && t_[i_] == '}') {
      ++i_;
      return obj;
    }
    for (;;) {
      skip_blanks();
      if (i_ >= t_.size() || t_[i_] != '"') return std::nullopt;
      auto key = string();
      if (!key) return std::nullopt;
      skip_blanks();
      if (i_ >= t_.size() || t_[i_] != ':') return std::nullopt;
      ++i_;
      skip_blanks();
      auto v = value(depth);
      if (!v) return std::nullopt;
      obj[*key] = std::move(*v);  // the last of duplicate keys wins
      skip_blanks();
      if (i_ < t_.size() && t_[i_] == ',') {
        ++i_;
        continue;
      }
      if (i_ < t_.size() && t_[i_] == '}') {
        ++i_;
        return obj;
      }
      return std::nullopt;
    }
  }

  std::optional<Json> array(int depth) {
    Json arr = Json::array();
    ++i_;
    skip_blanks();
    if (i_ < t_.size() && t_[i_] == ']') {
      ++i_;
      return arr;
    }
    for (;;) {
      skip_blanks();
      auto v = value(depth);
      if (!v) return std::nullopt;
      arr.push_back(std::move(*v));
      skip_blanks();
      if (i_ < t_.size() && t_[i_] == ',') {
        ++i_;
        continue;
      }
      if (i_ < t_.size() && t_[i_] == ']') {
        ++i_;
        return arr;
      }
      return std::nullopt;
    }
  }

  std::optional<unsigned> hex4() {
    if (i_ + 4 > t_.size()) return std::nullopt;
    unsigned v = 0;
    for (int k = 0; k < 4; ++k) {
      char c = t_[i_ + static_cast<std::size_t>(k)];
      int d = c >= '0' && c <= '9'   ? c - '0'
              : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                     : -1;
      if (d < 0) return std::nullopt;
      v = v * 16 + static_cast<unsigned>(d);
    }
    i_ += 4;
    return v;
  }

  std::optional<std::string> string() {
    ++i_;  // the opening quote
    std::string out;
    while (i_ < t_.size()) {
      char c = t_[i_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;  // strict: no controls
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (i_ >= t_.size()) return std::nullopt;
      char e = t_[i_++];
      switch (e) {
        case '"':
          out.push_back('"');
          break;
        case '\\':
          out.push_back('\\');
          break;
        case '/':
          out.push_back('/');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'u': {
          auto cp = hex4();
          if (!cp) return std::nullopt;
          char32_t code = *cp;
          if (code >= 0xD800 && code <= 0xDBFF && t_.substr(i_, 2) == "\\u") {
            std::size_t save = i_;
            i_ += 2;
            auto low = hex4();
            if (low && *low >= 0xDC00 && *low <= 0xDFFF) {
              code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
            } else {
              i_ = save;
            }
          }
          // A lone surrogate is text to the reader, but no UTF-8 can hold it.
          if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
          append_utf8(out, code);
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;  // unterminated
  }

  std::optional<Json> number() {
    std::size_t start = i_;
    if (i_ < t_.size() && t_[i_] == '-') ++i_;
    auto digits = [&] {
      std::size_t from = i_;
      while (i_ < t_.size() && t_[i_] >= '0' && t_[i_] <= '9') ++i_;
      return i_ - from;
    };
    if (i_ >= t_.size()) return std::nullopt;
    if (t_[i_] == '0') {
      ++i_;
    } else if (digits() == 0) {
      return std::nullopt;
    }
    bool integral = true;
    if (i_ + 1 < t_.size() && t_[i_] == '.' && t_[i_ + 1] >= '0' && t_[i_ + 1] <= '9') {
      ++i_;
      digits();
      integral = false;
    }
    if (i_ < t_.size() && (t_[i_] == 'e' || t_[i_] == 'E')) {
      std::size_t save = i_++;
      if (i_ < t_.size() && (t_[i_] == '+' || t_[i_] == '-')) ++i_;
      if (digits() == 0) {
        i_ = save;  // "1e" is the number 1 followed by extra data
      } else {
        integral = false;
      }
    }
    std::string text(t_.substr(start, i_ - start));
    if (integral) {
      errno = 0;
      char* end = nullptr;
      long long v = std::strtoll(text.c_str(), &end, 10);
      if (errno != ERANGE) return Json(static_cast<std::int64_t>(v));
    }
    // strtod gives infinity for a number too large for a double, as the reader does.
    return Json(std::strtod(text.c_str(), nullptr));
  }

  std::string_view t_;
  std::size_t i_ = 0;
  int max_depth_;
};

}  // namespace

std::optional<Json> read_json(std::string_view text, int max_depth) {
  return Reader(text, max_depth).document();
}

bool json_truthy(const Json& v) {
  switch (v.type()) {
    case Json::value_t::null:
      return false;
    case Json::value_t::boolean:
      return v.get<bool>();
    case Json::value_t::number_integer:
      return v.get<std::int64_t>() != 0;
    case Json::value_t::number_unsigned:
      return v.get<std::uint64_t>() != 0;
    case Json::value_t::number_float:
      return v.get<double>() != 0.0;  // NaN is true
    case Json::value_t::string:
      return !v.get_ref<const std::string&>().empty();
    case Json::value_t::array:
    case Json::value_t::object:
      return !v.empty();
    default:
      return true;
  }
}

}  // namespace ostrameld
