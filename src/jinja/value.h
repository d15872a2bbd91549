// Values as templates see them: undefined, none, booleans, integers, floats, texts,
// lists and maps, with the printing, truth and comparison rules of the template language.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "pytext/pytext.h"

namespace jinja {

class Value;
using List = std::vector<Value>;
// Insertion-ordered, as mappings iterate in the template language.
using Map = std::vector<std::pair<std::string, Value>>;

// A failure while evaluating (an undefined value used, a type mismatch, ...).
class EvalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Value {
 public:
  enum class Kind { Undefined, None, Bool, Int, Float, String, List, Map };

  Value() = default;  // undefined
  static Value none() {
    Value v;
    v.data_ = nullptr;
    return v;
  }
  // An undefined value that remembers why it is undefined, for error messages.
  static Value undefined(std::string hint) {
    Value v;
    v.hint_ = std::move(hint);
    return v;
  }
  Value(bool b) : data_(b) {}
  Value(int i) : data_(static_cast<std::int64_t>(i)) {}
  Value(std::int64_t i) : data_(i) {}
  Value(std::size_t i) : data_(static_cast<std::int64_t>(i)) {}
  Value(double d) : data_(d) {}
  Value(std::string s) : data_(std::move(s)) {}
  Value(const char* s) : data_(std::string(s)) {}
  Value(std::string_view s) : data_(std::string(s)) {}
  Value(List l) : data_(std::make_shared<const List>(std::move(l))) {}
  // A list that prints as a tuple: (1, 2), (1,), ().
  static Value tuple(List l) {
    Value v(std::move(l));
    v.tuple_ = true;
    return v;
  }
  Value(Map m) : data_(std::make_shared<const Map>(std::move(m))) {}

  Kind kind() const { return static_cast<Kind>(data_.index()); }
  bool is_undefined() const { return kind() == Kind::Undefined; }
  bool is_none() const { return kind() == Kind::None; }
  bool is_bool() const { return kind() == Kind::Bool; }
  bool is_int() const { return kind() == Kind::Int; }
  bool is_float() const { return kind() == Kind::Float; }
  bool is_number() const { return is_int() || is_float() || is_bool(); }
  bool is_string() const { return kind() == Kind::String; }
  bool is_list() const { return kind() == Kind::List; }
  bool is_map() const { return kind() == Kind::Map; }

  bool as_bool() const { return std::get<bool>(data_); }
  std::int64_t as_int() const {
    return is_bool() ? (as_bool() ? 1 : 0) : std::get<std::int64_t>(data_);
  }
  double as_float() const {
    return is_float() ? std::get<double>(data_) : static_cast<double>(as_int());
  }
  const std::string& as_string() const { return std::get<std::string>(data_); }
  const List& as_list() const { return *std::get<std::shared_ptr<const List>>(data_); }
  const Map& as_map() const { return *std::get<std::shared_ptr<const Map>>(data_); }
  const std::string& hint() const { return hint_; }

  // The member of a map, or nullptr.
  const Value* find(std::string_view key) const;

  // Truth as the template language has it: empty, zero, none and undefined are false.
  bool truthy() const;
  // str(): what {{ value }} prints. Undefined prints nothing, none prints "None".
  std::string str() const;
  // repr(): how a value appears inside a printed list or map.
  std::string repr() const;
  // The type name used in messages ("int", "str", "list", "dict", ...).
  std::string type_name() const;

 private:
  std::variant<std::monostate, std::nullptr_t, bool, std::int64_t, double, std::string,
               std::shared_ptr<const List>, std::shared_ptr<const Map>>
      data_;
  std::string hint_;
  bool tuple_ = false;
};

bool equal(const Value& a, const Value& b);
// a < b; throws EvalError for values that cannot be ordered.
bool less(const Value& a, const Value& b);

// Shortest round-trip spelling of a double as the template language prints it
// ("10.0", "7.5", "1e-05", "inf").
using pytext::float_repr;

// Number of code points in UTF-8 text.
std::size_t utf8_length(std::string_view s);
// Appends the UTF-8 encoding of one code point.
using pytext::append_utf8;

}  // namespace jinja
