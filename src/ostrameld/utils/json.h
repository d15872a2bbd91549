// JSON text exactly as the reports promise it: members in insertion order, every
// non-ASCII character escaped with lower-case hex, ", "/": " separators on one line
// or "," line ends when indented, and no trailing line feed.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace ostrameld {

using Json = nlohmann::ordered_json;

// indent: nullopt for a single line; n >= 0 for n spaces per level.
std::string dump_json(const Json& value, std::optional<int> indent);

// Deeper than a recursive reader gets (its limit is near 1,000 levels).
inline constexpr int kMaxReadDepth = 990;

// Reads JSON as the metadata files' usual reader does: NaN, Infinity and -Infinity are
// numbers, a number too large for a double is infinite, integers beyond 64 bits become
// doubles, a lone surrogate escape is kept (as U+FFFD), control characters in strings
// and anything after the value are errors. Nothing for text that is not JSON, or nested
// deeper than max_depth.
std::optional<Json> read_json(std::string_view text, int max_depth = kMaxReadDepth);

// Python's truth of a value: null, false, 0, 0.0, "", [] and {} are false.
bool json_truthy(const Json& value);

}  // namespace ostrameld
