#include "jinja/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace jinja {

const Value* Value::find(std::string_view key) const {
  if (!is_map()) return nullptr;
  for (const auto& [k, v] : as_map())
    if (k == key) return &v;
  return nullptr;
}

bool Value::truthy() const {
  switch (kind()) {
    case Kind::Undefined:
    case Kind::None:
      return false;
    case Kind::Bool:
      return as_bool();
    case Kind::Int:
      return as_int() != 0;
    case Kind::Float:
      return as_float() != 0.0;
    case Kind::String:
      return !as_string().empty();
    case Kind::List:
      return !as_list().empty();
    case Kind::Map:
      return !as_map().empty();
  }
  return false;
}

std::size_t utf8_length(std::string_view s) {
  std::size_t n = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

namespace {

std::string quote(const std::string& s) {
  bool single = s.find('\'') != std::string::npos;
  bool dbl = s.find('"') != std::string::npos;
  char q = single && !dbl ? '"' : '\'';
  std::string out(1, q);
  for (char c : s) {
    if (c == q || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x",
                    static_cast<unsigned>(static_cast<unsigned char>(c)));
      out += buf;
    } else {
      out += c;
    }
  }
  return out + q;
}

}  // namespace

std::string Value::str() const {
  switch (kind()) {
    case Kind::Undefined:
      return "";
    case Kind::None:
      return "None";
    case Kind::Bool:
      return as_bool() ? "True" : "False";
    case Kind::Int:
      return std::to_string(as_int());
    case Kind::Float:
      return float_repr(as_float());
    case Kind::String:
      return as_string();
    case Kind::List:
    case Kind::Map:
      return repr();
  }
  return "";
}

std::string Value::repr() const {
  switch (kind()) {
    case Kind::Undefined:
      return "Undefined";
    case Kind::String:
      return quote(as_string());
    case Kind::List: {
      std::string out = tuple_ ? "(" : "[";
      bool first = true;
      for (const auto& v : as_list()) {
        if (!first) out += ", ";
        first = false;
        out += v.repr();
      }
      if (tuple_) return out + (as_list().size() == 1 ? ",)" : ")");
      return out + "]";
    }
    case Kind::Map: {
      std::string out = "{";
      bool first = true;
      for (const auto& [k, v] : as_map()) {
        if (!first) out += ", ";
        first = false;
        out += quote(k) + ": " + v.repr();
      }
      return out + "}";
    }
    default:
      return str();
  }
}

std::string Value::type_name() const {
  switch (kind()) {
    case Kind::Undefined:
      return "Undefined";
    case Kind::None:
      return "NoneType";
    case Kind::Bool:
      return "bool";
    case Kind::Int:
      return "int";
    case Kind::Float:
      return "float";
    case Kind::String:
      return "str";
    case Kind::List:
      return "list";
    case Kind::Map:
      return "dict";
  }
  return "object";
}

bool equal(const Value& a, const Value& b) {
  if (a.is_number() && b.is_number()) {
    if (a.is_float() || b.is_float()) return a.as_float() == b.as_float();
    return a.as_int() == b.as_int();
  }
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::Undefined:
    case Value::Kind::None:
      return true;
    case Value::Kind::String:
      return a.as_string() == b.as_string();
    case Value::Kind::List: {
      const auto& x = a.as_list();
      const auto& y = b.as_list();
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i)
        if (!equal(x[i], y[i])) return false;
      return true;
    }
    case Value::Kind::Map: {
      const auto& x = a.as_map();
      if (x.size() != b.as_map().size()) return false;
      for (const auto& [k, v] : x) {
        const Value* other = b.find(k);
        if (!other || !equal(v, *other)) return false;
      }
      return true;
    }
    default:
      return false;
  }
}

bool less(const Value& a, const Value& b) {
  if (a.is_number() && b.is_number()) {
    if (a.is_float() || b.is_float()) return a.as_float() < b.as_float();
    return a.as_int() < b.as_int();
  }
  if (a.is_string() && b.is_string())
    return a.as_string() < b.as_string();  // UTF-8 order is code-point order
  if (a.is_list() && b.is_list()) {
    const auto& x = a.as_list();
    const auto& y = b.as_list();
    for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
      if (less(x[i], y[i])) return true;
      if (less(y[i], x[i])) return false;
    }
    return x.size() < y.size();
  }
  throw EvalError("'<' not supported between instances of '" + a.type_name() + "' and '" +
                  b.type_name() + "'");
}

}  // namespace jinja
