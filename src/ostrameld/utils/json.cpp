#include "ostrameld/utils/json.h"

#include <cstdio>

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

}  // namespace ostrameld
