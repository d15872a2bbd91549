// A unified diff of two texts, as `diff -u` writes it, for showing proposed changes.
#pragma once

#include <string>
#include <string_view>

namespace ostrameld {

// The diff of a file's old text (empty and `created` for a new file) and its new text,
// with three lines of context; empty when they are equal. Files longer than a few
// thousand lines are shown as a whole replacement.
std::string unified_diff(std::string_view path, std::string_view old_text, std::string_view new_text, bool created);

}  // namespace ostrameld
