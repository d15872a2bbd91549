// Git configuration files read as git reads them — sections, subsections, quoting,
// escapes, continuation lines — in this process, so that reading a repository's
// settings never starts git, never follows an include and never runs anything.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ostrameld {

// A file git itself would refuse ("bad config line N in file F").
class GitConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct GitConfigEntry {
  std::string section;     // lower-cased
  std::string subsection;  // as written ([remote "Origin"]), lower-cased in [remote.origin]
  std::string key;         // lower-cased
  std::optional<std::string> value;  // absent for a bare "key" (boolean true)

  // "section.subsection.key" as `git config --get-regexp` names it.
  std::string name() const;
};

// The entries of one file in order; `file` names it in messages. Throws GitConfigError.
std::vector<GitConfigEntry> parse_git_config(std::string_view text, std::string_view file);

// Git's boolean spellings; nothing for anything else.
std::optional<bool> git_config_bool(const std::optional<std::string>& value);

}  // namespace ostrameld
