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

}  // namespace

Json load_toml(std::string_view text) {
  try {
    toml::table table = toml::parse(text);
    return convert(table, 0);
  } catch (const toml::parse_error& e) {
    const auto& where = e.source().begin;
    throw std::runtime_error(std::string(e.description()) + " (line " +
                             std::to_string(where.line) + ", column " +
                             std::to_string(where.column) + ")");
  }
}

}  // namespace ostrameld::metadata
