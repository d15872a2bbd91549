// Text as Python's str and float have it, at the bottom of the program: UTF-8, case
// mapping and the shortest float repr. The template engine and the rest both use it,
// and it uses neither. Case mapping is the full mapping of the Unicode character
// database (one character may become several), as Python's str methods apply it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pytext {

void append_utf8(std::string& out, char32_t cp);

// Code points of valid UTF-8 (an invalid byte reads as U+FFFD), and back.
std::u32string decode_utf8(std::string_view s);
std::string encode_utf8(std::u32string_view s);

// One character's case, appended: 'l' lower, 'u' upper, 't' title.
void append_case(std::u32string& out, char32_t c, char which);

// Whole texts: lower() also turns a word-final capital sigma into a final sigma.
std::string lower(std::string_view s);
std::string upper(std::string_view s);

// Letters that have case, and characters that case rules look through (marks,
// apostrophes, modifiers).
bool is_cased(char32_t c);
bool is_case_ignorable(char32_t c);

// repr() of a float: the shortest text that reads back as the same double.
std::string float_repr(double value);

// Text made safe inside HTML elements and attribute values: & < > " ' as entities.
std::string html_escape(std::string_view s);

// The value of a decimal digit of any script (0-9), or -1.
int decimal_value(char32_t c);
// str.isspace().
bool is_space(char32_t c);

// int(text) and float(text) as Python reads a text: blanks around, one sign, digits
// of any script, single underscores between digits; float() also takes inf, infinity
// and nan in any case. Nothing for anything else, and for integers beyond 64 bits.
std::optional<std::int64_t> parse_int(std::string_view text);
std::optional<double> parse_float(std::string_view text);

}  // namespace pytext
