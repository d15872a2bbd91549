// A strict INI reader with the conventions of setup.cfg files: "[section]" headers,
// "key = value" or "key: value", indented continuation lines, "#"/";" comment lines,
// case-insensitive option names and a DEFAULT section seen by every section.
// Anything it cannot read is rejected rather than guessed at.
#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ostrameld {

class IniError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class IniDocument {
 public:
  // Whether a non-DEFAULT section exists and holds the option (or DEFAULT does).
  bool has_option(std::string_view section, std::string_view option) const;
  bool has_section(std::string_view section) const {
    return sections_.count(std::string(section)) > 0;
  }

 private:
  friend IniDocument parse_ini(std::string_view text);
  std::map<std::string, std::set<std::string, std::less<>>, std::less<>> sections_;
  std::set<std::string, std::less<>> defaults_;
};

// Throws IniError for text before the first section, a repeated section, a repeated
// option within one section, or a line that is neither header, option nor comment.
IniDocument parse_ini(std::string_view text);

}  // namespace ostrameld
