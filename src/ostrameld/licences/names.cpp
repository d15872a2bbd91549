#include "ostrameld/licences/names.h"

#include <algorithm>
#include <array>
#include <utility>

#include "ostrameld/licences/matcher.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

using namespace std::string_view_literals;

namespace {

// R's licence names as DESCRIPTION files write them, and their SPDX identifiers.
constexpr std::pair<std::string_view, std::string_view> kRLicences[] = {
    {"GPL-2", "GPL-2.0-only"},
    {"GPL-3", "GPL-3.0-only"},
    {"GPL (>= 2)", "GPL-2.0-or-later"},
    {"GPL (>= 3)", "GPL-3.0-or-later"},
    {"GPL", "GPL-2.0-or-later"},
    {"GPL-2 | GPL-3", "GPL-2.0-only OR GPL-3.0-only"},
    {"GPL-3 | GPL-2", "GPL-2.0-only OR GPL-3.0-only"},
    {"LGPL-2", "LGPL-2.0-only"},
    {"LGPL-2.1", "LGPL-2.1-only"},
    {"LGPL-3", "LGPL-3.0-only"},
    {"LGPL (>= 2)", "LGPL-2.0-or-later"},
    {"LGPL (>= 2.1)", "LGPL-2.1-or-later"},
    {"LGPL (>= 3)", "LGPL-3.0-or-later"},
    {"AGPL (>= 3)", "AGPL-3.0-or-later"},
    {"Artistic-2.0", "Artistic-2.0"},
    {"CC BY 4.0", "CC-BY-4.0"},
    {"BSL-1.0", "BSL-1.0"},
    {"AGPL-3", "AGPL-3.0-only"},
    {"MIT + file LICENSE", "MIT"},
    {"MIT + file LICENCE", "MIT"},
    {"BSD_2_clause + file LICENSE", "BSD-2-Clause"},
    {"BSD_3_clause + file LICENSE", "BSD-3-Clause"},
    {"Apache License 2.0", "Apache-2.0"},
    {"Apache License (== 2.0)", "Apache-2.0"},
    {"Apache License (>= 2)", "Apache-2.0"},
    {"MPL-2.0", "MPL-2.0"},
    {"CC0", "CC0-1.0"},
    {"Unlimited", "Unlimited"},
};

// Deprecated identifiers and the usual long names, as SPDX identifiers.
constexpr std::pair<std::string_view, std::string_view> kAliases[] = {
    {"gpl-2.0", "GPL-2.0-only"},       {"gpl-2.0+", "GPL-2.0-or-later"},
    {"gpl-3.0", "GPL-3.0-only"},       {"gpl-3.0+", "GPL-3.0-or-later"},
    {"lgpl-2.1", "LGPL-2.1-only"},     {"lgpl-2.1+", "LGPL-2.1-or-later"},
    {"lgpl-3.0", "LGPL-3.0-only"},     {"lgpl-3.0+", "LGPL-3.0-or-later"},
    {"agpl-3.0", "AGPL-3.0-only"},     {"agpl-3.0+", "AGPL-3.0-or-later"},
    {"mit license", "MIT"},            {"the mit license", "MIT"},
    {"apache 2.0", "Apache-2.0"},      {"apache-2", "Apache-2.0"},
    {"apache license 2.0", "Apache-2.0"}, {"apache license, version 2.0", "Apache-2.0"},
    {"the apache license, version 2.0", "Apache-2.0"},
    {"the apache software license, version 2.0", "Apache-2.0"},
    {"asl 2.0", "Apache-2.0"},         {"bsd 3-clause", "BSD-3-Clause"},
    {"bsd-3", "BSD-3-Clause"},         {"new bsd", "BSD-3-Clause"},
    {"bsd 2-clause", "BSD-2-Clause"},  {"bsd-2", "BSD-2-Clause"},
    {"gplv3", "GPL-3.0"},              {"gplv2", "GPL-2.0"},
    {"gpl v3", "GPL-3.0"},             {"gpl-3", "GPL-3.0-only"},
    {"lgplv3", "LGPL-3.0"},            {"mpl 2.0", "MPL-2.0"},
    {"mozilla public license 2.0", "MPL-2.0"}, {"eclipse public license 2.0", "EPL-2.0"},
    {"cc0", "CC0-1.0"},                {"unlicense", "Unlicense"},
    // The trove classifiers' names, as a license text field sometimes repeats them.
    {"apache software license", "Apache-2.0"}, {"mozilla public license 2.0 (mpl 2.0)", "MPL-2.0"},
};

std::string family(std::string_view id) {
  std::string s(id);
  for (std::string_view suffix : {"-or-later", "-only", "+"})
    if (s.size() > suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0) {
      s.resize(s.size() - suffix.size());
      return s;
    }
  return s;
}

bool precise(std::string_view id) { return family(id) != id || (id.find("GPL") == std::string_view::npos); }

}  // namespace

std::optional<std::string_view> spdx_of_r_licence(std::string_view r_name) {
  for (const auto& [r, spdx] : kRLicences)
    if (r == r_name) return spdx;
  return std::nullopt;
}

std::string normalize_licence(std::string_view declared) {
  std::string_view v = py_strip(declared);
  while (!v.empty() && (v.front() == '"' || v.front() == '\'')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == '"' || v.back() == '\'')) v.remove_suffix(1);
  if (auto r = spdx_of_r_licence(v)) return std::string(*r);
  // The GNU and Apache pages of each licence version.
  {
    std::string lower = ascii_lower(v);
    if (auto at = lower.find("gnu.org/licenses/"); at != std::string::npos) {
      std::string_view rest = std::string_view(lower).substr(at + 17);
      if (rest.starts_with("old-licenses/")) rest.remove_prefix(13);
      for (auto [stem, id] : {std::pair{"agpl-"sv, "AGPL-"sv}, {"lgpl-"sv, "LGPL-"sv}, {"gpl-"sv, "GPL-"sv}, {"fdl-"sv, "GFDL-"sv}})
        if (rest.starts_with(stem) && rest.size() >= stem.size() + 3 && std::isdigit(static_cast<unsigned char>(rest[stem.size()])) &&
            rest[stem.size() + 1] == '.' && std::isdigit(static_cast<unsigned char>(rest[stem.size() + 2])))
          return std::string(id) + std::string(rest.substr(stem.size(), 3));
    }
    if (lower.find("apache.org/licenses/license-2.0") != std::string::npos) return "Apache-2.0";
  }
  // SPDX and OSI pages name their licence last in the path.
  for (std::string_view site : {"spdx.org/licenses/", "opensource.org/licenses/"}) {
    if (auto at = v.find(site); at != std::string_view::npos) {
      std::string_view id = v.substr(at + site.size());
      while (!id.empty() && id.back() == '/') id.remove_suffix(1);
      if (id.size() > 5 && id.substr(id.size() - 5) == ".html") id.remove_suffix(5);
      if (id.size() > 4 && id.substr(id.size() - 4) == ".php") id.remove_suffix(4);
      return normalize_licence(id);
    }
  }
  std::string lower = ascii_lower(v);
  for (const auto& [alias, spdx] : kAliases)
    if (lower == alias) return std::string(spdx);
  // A long title ("The GNU General Public License v3.0"): the one licence it names.
  if (v.find(' ') != std::string_view::npos && v.find(" OR ") == std::string_view::npos &&
      v.find(" AND ") == std::string_view::npos) {
    auto named = licences_named(v);
    if (named.size() == 1) return named.front();
  }
  return std::string(v);
}

bool same_licence(std::string_view a, std::string_view b) {
  if (ascii_lower(a) == ascii_lower(b)) return true;
  if (ascii_lower(family(a)) != ascii_lower(family(b))) return false;
  // "GPL-3.0" says less than "GPL-3.0-or-later", and nothing against it.
  return !precise(a) || !precise(b);
}

}  // namespace ostrameld
