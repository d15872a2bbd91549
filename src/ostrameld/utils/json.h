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

}  // namespace ostrameld
