// Splits template source into text and tag tokens, applying whitespace control
// ("-" and "+" markers), trim_blocks and lstrip_blocks the way the template language does.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace jinja {

enum class Tok {
  Text,        // literal output
  VarBegin,    // {{
  VarEnd,      // }}
  BlockBegin,  // {%
  BlockEnd,    // %}
  Name,
  String,  // value already unescaped
  Integer,
  Float,
  Op,   // punctuation and operators, value holds the spelling
  End,  // end of the source
};

struct Token {
  Tok type;
  std::string value;
  std::size_t pos;  // offset into the normalised source, for line and column
};

struct LexOptions {
  bool trim_blocks = false;
  bool lstrip_blocks = false;
  bool keep_trailing_newline = false;
};

// Newlines normalised to "\n" and, unless kept, one trailing newline removed.
std::string normalise_source(std::string_view source, bool keep_trailing_newline);

class SyntaxError;

// Throws SyntaxError (with the offset) for an unterminated tag, comment or string,
// or a character that starts no token.
std::vector<Token> tokenize(const std::string& source, const LexOptions& options);

// Line and column (1-based) of an offset.
std::pair<std::size_t, std::size_t> line_col(const std::string& source, std::size_t pos);

// A lexing or parsing failure at an offset of the source.
class SyntaxError : public std::runtime_error {
 public:
  SyntaxError(std::string message, std::size_t pos)
      : std::runtime_error(std::move(message)), pos_(pos) {}
  std::size_t pos() const { return pos_; }

 private:
  std::size_t pos_;
};

}  // namespace jinja
