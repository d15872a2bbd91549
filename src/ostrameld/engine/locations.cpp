#include "ostrameld/engine/locations.h"

#include <algorithm>
#include <vector>

#include "ostrameld/utils/ci.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

struct Candidates {
  std::string_view key;
  std::vector<std::string_view> files;  // in order of preference
  bool licence_like = false;            // also any LICENSE*/COPYING* at the root
  bool ci = false;                      // also the CI configuration files found
};

const std::vector<Candidates>& candidates() {
  static const std::vector<Candidates> table = {
      {"clear_license",
       {"LICENSE"sv, "LICENSE.md"sv, "LICENSE.txt"sv, "LICENSE.rst"sv, "LICENCE"sv, "LICENCE.md"sv,
        "LICENCE.txt"sv, "COPYING"sv, "COPYING.md"sv},
       true},
      {"descriptive_attributes", {"README.md"sv, "README.rst"sv, "README.txt"sv, "README"sv}},
      {"community_standards",
       {"CONTRIBUTING.md"sv, ".github/CONTRIBUTING.md"sv, "docs/CONTRIBUTING.md"sv,
        "CODE_OF_CONDUCT.md"sv, ".github/CODE_OF_CONDUCT.md"sv}},
      {"metadata_self_reference",
       {"codemeta.json"sv, "CITATION.cff"sv, "package.json"sv, "pyproject.toml"sv, "setup.cfg"sv,
        "setup.py"sv, "DESCRIPTION"sv}},
      {"searchable_metadata", {"codemeta.json"sv, "CITATION.cff"sv, ".zenodo.json"sv}},
      {"rich_metadata", {"CITATION.cff"sv, "citation.cff"sv}},
      {"continuous_integration", {}, false, true},
  };
  return table;
}

bool regular(const Path& repo, const std::string& rel) {
  try {
    return is_file(repo / rel, repo);
  } catch (const OsError&) {
    return false;
  }
}

}  // namespace

std::string concerned_file(std::string_view indicator_id, const Path& repo) {
  for (const auto& c : candidates()) {
    if (c.key != indicator_id) continue;
    for (auto f : c.files)
      if (regular(repo, std::string(f))) return std::string(f);
    if (c.ci) {
      try {
        for (const auto& config : find_ci_configs(repo)) {
          std::string rel = relative_text(config.path, repo);
          if (regular(repo, rel)) return rel;
        }
      } catch (const OsError&) {
      }
    }
    if (c.licence_like) {
      std::vector<std::string> names;
      try {
        for (const auto& n : list_directory(repo, repo)) {
          std::string lower = ascii_lower(n);
          if ((lower.find("licen") != std::string::npos || lower.rfind("copying", 0) == 0) &&
              regular(repo, n))
            names.push_back(n);
        }
      } catch (const OsError&) {
      }
      std::sort(names.begin(), names.end());
      if (!names.empty()) return sanitize_utf8(names.front());
    }
  }
  // The repository as a whole: its README, else the first root file by name.
  for (auto f : {"README.md"sv, "README.rst"sv, "README.txt"sv, "README"sv, "readme.md"sv})
    if (regular(repo, std::string(f))) return std::string(f);
  std::vector<std::string> files;
  try {
    for (const auto& n : list_directory(repo, repo))
      if (regular(repo, n) && is_valid_utf8(n)) files.push_back(n);
  } catch (const OsError&) {
  }
  std::sort(files.begin(), files.end());
  return files.empty() ? std::string() : files.front();
}

void locate_findings(Assessment& a, const Path& repo) {
  for (auto& r : a.indicators)
    if (r.status != CheckStatus::Pass) r.location = concerned_file(r.indicator_id, repo);
}

}  // namespace ostrameld
