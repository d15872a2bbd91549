// A project's own settings, read from its root: `.ostrameld.toml`, or the
// `[tool.ostrameld]` table of pyproject.toml. The file is the repository's claim: it may
// choose a profile, a gate and forge hosts, and exempt indicators with a reason, but
// never widen what the program reads, sends or runs.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/engine/profile.h"
#include "ostrameld/utils/files.h"

namespace ostrameld {

// A file that is not a valid configuration: one line naming the file and the key.
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Exemption {
  std::string indicator;
  std::string reason;
};

struct ProjectConfig {
  std::string file;  // ".ostrameld.toml" or "pyproject.toml"; empty: the project has none
  std::optional<std::string> profile;
  std::optional<double> fail_under;
  std::vector<std::string> forges;  // HOST=STYLE, as --forge takes them
  std::vector<Exemption> exempt;    // in the file's order

  bool empty() const { return file.empty(); }
  // Where the settings stand, for messages: ".ostrameld.toml" or "pyproject.toml [tool.ostrameld]".
  std::string where() const;
};

// The largest configuration file read; a larger one is refused, not cut.
constexpr std::size_t kMaxConfigBytes = 256 * 1024;

// Reads the settings of the repository at root (none when it has neither file).
// Throws ConfigError for a file that says something the program does not know, or both
// files at once; a file that cannot be read at all throws ConfigError too.
ProjectConfig read_project_config(const Path& root);

// The same from text: `file` names it in messages; pyproject: the settings are the
// [tool.ostrameld] table (absent: none).
ProjectConfig parse_project_config(std::string_view text, std::string_view file, bool pyproject);

// The exemptions that apply to a profile (each names an indicator of some profile, as
// reading checked); those of other profiles are left out.
std::vector<Exemption> exemptions_for(const ProjectConfig& config, const Profile& profile);

}  // namespace ostrameld
