// The state of one render: variables in nested scopes over the render's globals, and
// the source offset being evaluated, for error messages.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "jinja/value.h"

namespace jinja {

class Context {
 public:
  Context(const Map& globals, bool autoescape) : globals_(globals), autoescape_(autoescape) { scopes_.emplace_back(); }

  Value lookup(const std::string& name) const;
  // Binds in the innermost scope.
  void set(const std::string& name, Value value);
  void push_scope() { scopes_.emplace_back(); }
  void pop_scope() { scopes_.pop_back(); }

  bool autoescape() const { return autoescape_; }
  // Counts one unit of work (a loop iteration); a template that does too much fails.
  void step();
  // Counts the size of a value an expression produced, against the same purpose.
  void produced(const Value& v);

  // The offset of the expression being evaluated; updated as evaluation goes.
  void at(std::size_t pos) { pos_ = pos; }
  std::size_t pos() const { return pos_; }

 private:
  const Map& globals_;
  bool autoescape_;
  std::vector<std::vector<std::pair<std::string, Value>>> scopes_;
  std::size_t pos_ = 0;
  std::size_t steps_ = 0;
  std::size_t produced_bytes_ = 0;
};

// The most any one text value or the whole output may grow to.
inline constexpr std::size_t kMaxTextBytes = 16u << 20;
inline constexpr std::size_t kMaxOutputBytes = 64u << 20;
// Throws when a text about to be produced would exceed kMaxTextBytes.
void check_text_size(std::size_t bytes);

// Attribute or item access with the template language's leniency: a missing member
// is an undefined value; using an undefined value's member is an error.
Value get_attr(const Value& obj, const std::string& name);
Value get_item(const Value& obj, const Value& key);
// The items a for loop visits: list items, map keys, text characters.
List iterate(const Value& v);
// HTML-escapes &, <, >, " and '.
std::string html_escape(std::string_view s);
// Python's printf-style "text % args".
std::string percent_format(const std::string& fmt, const List& args);
// Raises the error that using an undefined value deserves.
[[noreturn]] void undefined_error(const Value& v);

}  // namespace jinja
