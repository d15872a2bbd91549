// Minimal edits of metadata files a person wrote: one value replaced, every other byte
// (comments, order, quoting, line endings) as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrameld::fix {

// The value of a top-level `key:` of a YAML mapping, without its quotes; nothing when the
// key is absent or its value is not a one-line scalar.
std::optional<std::string> yaml_top_level(std::string_view text, std::string_view key);
// The text with that value replaced (quoted as the old one was, its comment kept);
// nothing when it cannot be replaced in place.
std::optional<std::string> set_yaml_top_level(std::string_view text, std::string_view key, std::string_view value);

// The same for a top-level string member of a JSON object.
std::optional<std::string> json_top_level(std::string_view text, std::string_view key);
std::optional<std::string> set_json_top_level(std::string_view text, std::string_view key, std::string_view value);

}  // namespace ostrameld::fix
