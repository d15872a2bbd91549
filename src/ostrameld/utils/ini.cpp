#include "ostrameld/utils/ini.h"

#include <optional>
#include <utility>

#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

// Characters of leading whitespace (the indentation that decides continuation).
std::size_t indent_of(std::string_view line) {
  std::size_t i = 0;
  std::size_t chars = 0;
  while (i < line.size()) {
    std::size_t next = i;
    if (!is_py_space(next_code_point(line, next))) break;
    i = next;
    ++chars;
  }
  return chars;
}

// "[name]" with at least one character; the last "]" closes it, text after it is ignored.
std::optional<std::string_view> section_header(std::string_view value) {
  if (value.empty() || value.front() != '[') return std::nullopt;
  auto close = value.rfind(']');
  if (close == std::string_view::npos || close < 2) return std::nullopt;
  return value.substr(1, close - 1);
}

constexpr std::string_view kDefault = "DEFAULT";

}  // namespace

bool IniDocument::has_option(std::string_view section, std::string_view option) const {
  if (section == kDefault) return false;
  auto it = sections_.find(section);
  if (it == sections_.end()) return false;
  std::string key = py_lower(option);
  return it->second.count(key) > 0 || defaults_.count(key) > 0;
}

IniDocument parse_ini(std::string_view text) {
  IniDocument doc;
  std::set<std::string> seen_sections;
  std::set<std::pair<std::string, std::string>> seen_options;
  std::set<std::string, std::less<>>* current = nullptr;  // options of the section being read
  std::string section_name;
  bool in_option = false;  // an option line was read and may continue
  std::size_t indent_level = 0;
  std::size_t line_no = 0;
  std::optional<std::string> error;

  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    std::string_view line =
        text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
    pos = eol == std::string_view::npos ? text.size() : eol + 1;
    ++line_no;

    std::string_view value = py_strip(line);
    if (value.empty() || value.front() == '#' || value.front() == ';')
      continue;  // blank or comment

    std::size_t indent = indent_of(line);
    if (current && in_option && indent > indent_level) continue;  // continuation of a value
    indent_level = indent;

    if (auto header = section_header(value)) {
      std::string name(*header);
      if (name == kDefault) {
        current = &doc.defaults_;
      } else {
        if (!seen_sections.insert(name).second) {
          throw IniError("line " + std::to_string(line_no) + ": section '" + name +
                         "' already exists");
        }
        current = &doc.sections_[name];
      }
      section_name = name;
      in_option = false;
      continue;
    }
    if (!current)
      throw IniError("line " + std::to_string(line_no) + ": text before the first section header");

    auto delim = value.find_first_of("=:");
    if (delim == std::string_view::npos) {
      if (!error)
        error = "line " + std::to_string(line_no) + ": cannot read '" + std::string(value) + "'";
      continue;
    }
    std::string option = py_lower(py_strip(value.substr(0, delim)));
    if (option.empty()) {
      if (!error) error = "line " + std::to_string(line_no) + ": option without a name";
      in_option = false;
      continue;
    }
    if (!seen_options.emplace(section_name, option).second) {
      throw IniError("line " + std::to_string(line_no) + ": option '" + option + "' in section '" +
                     section_name + "' already exists");
    }
    current->insert(option);
    in_option = true;
  }
  if (error) throw IniError(*error);
  return doc;
}

}  // namespace ostrameld
