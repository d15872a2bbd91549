// The state of one render: variables in nested scopes over the render's globals, and
// the source offset being evaluated, for error messages.
#pragma once

#include "pytext/pytext.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "jinja/value.h"

namespace jinja {

// What one render may build before it fails: generous for any report, but finite, so
// that a hostile template ends with an error instead of exhausting time or memory.
struct Limits {
  std::size_t max_text_bytes = 16u << 20;             // any one text value
  std::size_t max_list_items = 1u << 20;              // any one list
  std::size_t max_output_bytes = 64u << 20;           // the whole output
  std::size_t max_steps = 10'000'000;                 // loop iterations
  std::size_t max_work_bytes = std::size_t{1} << 30;  // everything operators and filters produce
};

class Context {
 public:
  Context(const Map& globals, bool autoescape, const Limits& limits = {})
      : globals_(globals), autoescape_(autoescape), limits_(limits) {
    scopes_.emplace_back();
  }

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
  // Throws when a text or list about to be produced would exceed its limit.
  void check_text(std::size_t bytes) const;
  void check_list(std::size_t items) const;
  const Limits& limits() const { return limits_; }

  // The offset of the expression being evaluated; updated as evaluation goes.
  void at(std::size_t pos) { pos_ = pos; }
  std::size_t pos() const { return pos_; }

 private:
  const Map& globals_;
  bool autoescape_;
  Limits limits_;
  std::vector<std::vector<std::pair<std::string, Value>>> scopes_;
  std::size_t pos_ = 0;
  std::size_t steps_ = 0;
  std::size_t produced_bytes_ = 0;
};

// Attribute or item access with the template language's leniency: a missing member
// is an undefined value; using an undefined value's member is an error.
Value get_attr(const Value& obj, const std::string& name);
Value get_item(const Value& obj, const Value& key);
// The items a for loop visits: list items, map keys, text characters.
List iterate(const Value& v);
using pytext::html_escape;
// Python's printf-style "text % args".
std::string percent_format(const Context& ctx, const std::string& fmt, const List& args);
// Raises the error that using an undefined value deserves.
[[noreturn]] void undefined_error(const Value& v);

}  // namespace jinja
