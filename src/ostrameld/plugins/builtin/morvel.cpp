#include "ostrameld/plugins/builtin/morvel.h"

#include <algorithm>
#include <array>
#include <vector>

#include "ostrameld/licences/matcher.h"
#include "ostrameld/licences/names.h"
#include "ostrameld/utils/ecosystem.h"
#include "ostrameld/utils/json.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array<std::string_view, 1> kIndicators{"clear_license"sv};

constexpr std::array LICENSE_FILES{
    "LICENSE"sv,    "LICENSE.md"sv,  "LICENSE.txt"sv, "LICENSE.rst"sv, "LICENCE"sv,
    "LICENCE.md"sv, "LICENCE.txt"sv, "COPYING"sv,     "COPYING.md"sv,
};
constexpr std::string_view REUSE_DIR = "LICENSES";
constexpr int SPDX_HEADER_SAMPLE = 20;
constexpr std::size_t SPDX_HEADER_CHARS = 2048;

constexpr std::array SKIPPED_DIRS{
    ".git"sv,  "node_modules"sv, "vendor"sv,      ".venv"sv, "venv"sv,        "dist"sv,
    "build"sv, "target"sv,       "__pycache__"sv, ".tox"sv,  ".mypy_cache"sv, "site-packages"sv,
};
constexpr std::array TEXT_EXTENSIONS{
    ".py"sv,   ".js"sv, ".ts"sv, ".tsx"sv, ".jsx"sv,  ".vue"sv,  ".rs"sv,  ".go"sv,
    ".java"sv, ".kt"sv, ".rb"sv, ".php"sv, ".c"sv,    ".h"sv,    ".cpp"sv, ".hpp"sv,
    ".cs"sv,   ".sh"sv, ".md"sv, ".rst"sv, ".toml"sv, ".yaml"sv, ".yml"sv,
};

// Rows 3 and 4: the GNU GPL rows that other public licences quote further down.
constexpr std::size_t kGplRows[] = {2, 3};

struct SpdxRow {
  Regex pattern;
  std::string_view id;
};

const std::vector<SpdxRow>& spdx_patterns() {
  static const std::vector<SpdxRow> rows = [] {
    constexpr auto ci = Regex::kCaseless;
    constexpr auto ci_dot = Regex::kCaseless | Regex::kDotAll;
    std::vector<SpdxRow> r;
    r.push_back({Regex("Apache License.*Version 2", ci), "Apache-2.0"});
    r.push_back({Regex("MIT License|Permission is hereby granted", ci), "MIT"});
    r.push_back({Regex("GNU GENERAL PUBLIC LICENSE.*Version 3", ci_dot), "GPL-3.0-only"});
    r.push_back({Regex("GNU GENERAL PUBLIC LICENSE.*Version 2", ci_dot), "GPL-2.0-only"});
    r.push_back({Regex("GNU AFFERO GENERAL PUBLIC LICENSE.*Version 3", ci_dot), "AGPL-3.0-only"});
    r.push_back(
        {Regex("BSD 3-Clause|Redistribution and use.*three conditions", ci), "BSD-3-Clause"});
    r.push_back({Regex("BSD 2-Clause|Simplified BSD", ci), "BSD-2-Clause"});
    r.push_back({Regex("GNU LESSER GENERAL PUBLIC LICENSE.*Version 3", ci_dot), "LGPL-3.0-only"});
    r.push_back({Regex("European Union Public Licen[cs]e.*1\\.2", ci), "EUPL-1.2"});
    r.push_back({Regex("Mozilla Public License.*2\\.0", ci), "MPL-2.0"});
    r.push_back({Regex("ISC License", ci), "ISC"});
    r.push_back({Regex("This is free and unencumbered software", ci), "Unlicense"});
    r.push_back({Regex("CC0 1\\.0 Universal|Creative Commons.*Zero", ci), "CC0-1.0"});
    return r;
  }();
  return rows;
}

const Regex& spdx_header_re() {
  static const Regex re("SPDX-License-Identifier:\\s*([A-Za-z0-9.+\\-]+)");
  return re;
}

// A licence's title: its first two non-blank lines joined with "\n".
std::string_view title_of(std::string_view content) {
  std::size_t start = std::string_view::npos;
  int found = 0;
  std::size_t pos = 0;
  while (pos <= content.size()) {
    std::size_t eol = content.find('\n', pos);
    if (eol == std::string_view::npos) eol = content.size();
    if (!py_strip(content.substr(pos, eol - pos)).empty()) {
      if (found == 0) start = pos;
      if (++found == 2) return content.substr(start, eol - start);
    }
    pos = eol + 1;
  }
  return found ? content.substr(start) : std::string_view();
}

// A title that names a public licence other than the GNU GPL.
bool names_other_public_licence(std::string_view title) {
  static const Regex public_licence("PUBLIC LICEN[CS]E", Regex::kCaseless);
  static const Regex gnu_gpl("GNU GENERAL PUBLIC LICEN[CS]E", Regex::kCaseless);
  return public_licence.search(title) && !gnu_gpl.search(title);
}

// --- Advice: what to do, and licences that are there under names the check does not read.

// Package metadata that declares a licence, and where its identifier stands.
struct DeclaredLicence {
  std::string_view file;
  enum class Format { Json, Toml, Cff, Dcf } format;
};
constexpr DeclaredLicence kDeclaringFiles[] = {
    {"DESCRIPTION", DeclaredLicence::Format::Dcf},
    {"package.json", DeclaredLicence::Format::Json},
    {"pyproject.toml", DeclaredLicence::Format::Toml},
    {"Cargo.toml", DeclaredLicence::Format::Toml},
    {"CITATION.cff", DeclaredLicence::Format::Cff},
    {"codemeta.json", DeclaredLicence::Format::Json},
};

std::string_view trim_value(std::string_view v) {
  v = py_strip(v);
  while (!v.empty() && (v.front() == '"' || v.front() == '\'')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == '"' || v.back() == '\'')) v.remove_suffix(1);
  return v;
}

// "https://spdx.org/licenses/MIT" (codemeta's form) -> "MIT".
std::string spdx_from_value(std::string_view v) {
  v = trim_value(v);
  auto slash = v.rfind('/');
  if (v.find("spdx.org/licenses/") != std::string_view::npos && slash != std::string_view::npos) {
    v.remove_prefix(slash + 1);
    if (v.ends_with(".html")) v.remove_suffix(5);
  }
  return sanitize_utf8(v);
}

std::optional<std::string> declared_in(const DeclaredLicence& d, const std::string& text) {
  using Format = DeclaredLicence::Format;
  switch (d.format) {
    case Format::Json: {
      auto doc = read_json(text);
      if (!doc || !doc->is_object() || !doc->contains("license")) return std::nullopt;
      Json v = (*doc)["license"];
      if (v.is_array() && !v.empty()) v = v.front();
      if (v.is_object()) v = v.value("type", v.value("@id", Json()));
      if (!v.is_string() || v.get<std::string>().empty()) return std::nullopt;
      return spdx_from_value(v.get<std::string>());
    }
    case Format::Toml: {
      static const Regex plain(R"((?m)^\s*license\s*=\s*["']([^"'\n]+)["'])");
      static const Regex table(R"((?m)^\s*license\s*=\s*\{[^}\n]*text\s*=\s*["']([^"'\n]+)["'])");
      if (auto v = plain.search_group(text, 1)) return spdx_from_value(*v);
      if (auto v = table.search_group(text, 1)) return spdx_from_value(*v);
      return std::nullopt;
    }
    case Format::Cff: {
      static const Regex key(R"((?m)^license\s*:[ \t]*(\S[^\n#]*))");
      static const Regex item(R"((?m)^license\s*:\s*\n\s*-\s*(\S[^\n#]*))");
      if (auto v = key.search_group(text, 1)) return spdx_from_value(*v);
      if (auto v = item.search_group(text, 1)) return spdx_from_value(*v);
      return std::nullopt;
    }
    case Format::Dcf: {
      static const Regex field(R"((?m)^License:[ \t]*(.+)$)");
      auto v = field.search_group(text, 1);
      if (!v) return std::nullopt;
      std::string_view value = py_strip(*v);
      if (auto spdx = spdx_of_r_licence(value)) return std::string(*spdx);
      return sanitize_utf8(value);
    }
  }
  return std::nullopt;
}

// Licences that package metadata declares: "file declares ID" each.
std::vector<std::pair<std::string, std::string>> declared_licences(const Path& repo) {
  std::vector<std::pair<std::string, std::string>> found;
  for (const auto& d : kDeclaringFiles) {
    Path file = repo / d.file;
    if (!is_file(file, repo)) continue;
    try {
      if (auto id = declared_in(d, read_text(file, ReadMode::Replace, repo)); id && !id->empty())
        found.emplace_back(std::string(d.file), *id);
    } catch (const OsError&) {
    }
  }
  return found;
}

// Root files that look like a licence under a name the check does not read:
// LICENSE-MIT, MIT-LICENSE.txt, LICENSE.adoc, COPYING.LESSER, licence-apache, ...
std::vector<std::string> licence_lookalikes(const Path& repo) {
  std::vector<std::string> found;
  std::vector<std::string> entries;
  try {
    entries = list_directory(repo, repo);
  } catch (const OsError&) {
    return found;
  }
  for (const auto& name : entries) {
    if (contains(LICENSE_FILES, name)) continue;
    std::string lower = ascii_lower(name);
    bool like = false;
    for (std::string_view word : {"license"sv, "licence"sv, "copying"sv}) {
      auto at = lower.find(word);
      if (at == std::string::npos) continue;
      // The word stands alone: at the start, or after a separator, and ends the stem
      // or is followed by one ("LICENSE-MIT", "MIT-LICENSE.txt", "COPYING.LESSER").
      bool starts = at == 0 || lower[at - 1] == '-' || lower[at - 1] == '_' || lower[at - 1] == '.';
      std::size_t end = at + word.size();
      bool ends =
          end == lower.size() || lower[end] == '-' || lower[end] == '_' || lower[end] == '.';
      if (starts && ends) like = true;
    }
    if (like && is_file(repo / name, repo)) found.push_back(name);
  }
  std::sort(found.begin(), found.end());
  return found;
}

constexpr std::string_view kReadNames = "LICENSE, LICENSE.md, LICENSE.txt, LICENCE or COPYING";

// What a licence file holds, told by its whole text (never by a phrase in it): one
// standard licence, a licence named by its SPDX identifier, several licences, R's
// two-line licence stub, or nothing a tool can name.
struct LicenceFile {
  enum class Kind { Standard, Identified, Several, CranStub, Unknown } kind = Kind::Unknown;
  std::string id;                  // Standard, Identified
  std::vector<std::string> named;  // Several
};

bool cran_stub(std::string_view text) {
  static const Regex stub(R"(^\s*YEAR:[^\n]*\n\s*COPYRIGHT HOLDER:[^\n]*\s*$)", Regex::kCaseless);
  return stub.match(text);
}

LicenceFile describe_licence_file(std::string_view text) {
  using Kind = LicenceFile::Kind;
  if (cran_stub(text)) return {Kind::CranStub, {}, {}};
  auto ids = spdx_identifiers_in(text);
  if (ids.size() == 1) return {Kind::Identified, ids.front(), {}};
  if (ids.size() > 1) return {Kind::Several, {}, ids};
  if (auto m = match_licence_text(text)) return {Kind::Standard, std::string(m->spdx), {}};
  auto named = licences_named(text);
  if (named.size() > 1) return {Kind::Several, {}, named};
  return {};
}

// R's usethis writes each licence R knows, as its documentation recommends: the full text
// as LICENSE.md, kept out of the package build, and DESCRIPTION's License field.
std::optional<std::string_view> usethis_call(std::string_view spdx) {
  static constexpr std::pair<std::string_view, std::string_view> kCalls[] = {
      {"MIT", "usethis::use_mit_license()"},
      {"GPL-3.0-only", "usethis::use_gpl3_license()"},
      {"GPL-3.0-or-later", "usethis::use_gpl3_license()"},
      {"GPL-2.0-only", "usethis::use_gpl_license(2)"},
      {"GPL-2.0-or-later", "usethis::use_gpl_license(2)"},
      {"AGPL-3.0-only", "usethis::use_agpl3_license()"},
      {"LGPL-2.1-only", "usethis::use_lgpl_license(2.1)"},
      {"LGPL-2.1-or-later", "usethis::use_lgpl_license(2.1)"},
      {"LGPL-3.0-only", "usethis::use_lgpl_license(3)"},
      {"Apache-2.0", "usethis::use_apache_license()"},
      {"CC0-1.0", "usethis::use_cc0_license()"},
      {"CC-BY-4.0", "usethis::use_ccby_license()"},
  };
  for (const auto& [id, call] : kCalls)
    if (id == spdx) return call;
  return std::nullopt;
}

// The R package's stub of "MIT + file LICENSE": R CMD check needs it as it is.
std::string cran_stub_advice(const Path& repo, const std::string& file) {
  std::string full = file_seen(repo / "LICENSE.md", repo)
                         ? "the full text is in LICENSE.md already"
                         : "add the full text as LICENSE.md and list it in .Rbuildignore "
                           "(usethis::use_mit_license() writes both files)";
  return file + " is the two-line stub (YEAR, COPYRIGHT HOLDER) that R's \"MIT + file LICENSE\" "
                "needs: keep it as it is; " + full +
         ". This indicator reads " + file + " first, so the score stays as it is for R packages.";
}

std::vector<std::string> advice_without_licence_file(const Path& repo,
                                                     const std::optional<std::string>& header_id) {
  std::vector<std::string> advice;
  std::vector<std::pair<std::string, std::string>> identified;  // (file, SPDX id)
  for (const auto& name : licence_lookalikes(repo)) {
    LicenceFile kind;
    try {
      kind = describe_licence_file(read_text(repo / name, ReadMode::Replace, repo));
    } catch (const OsError&) {
    }
    std::string shown = sanitize_utf8(name);
    switch (kind.kind) {
      case LicenceFile::Kind::Standard:
      case LicenceFile::Kind::Identified:
        identified.emplace_back(shown, kind.id);
        break;
      case LicenceFile::Kind::Several:
        advice.push_back(shown + " names several licences (" + join(kind.named, ", ") +
                         ": the project's own and those of code it includes, it seems), but only " +
                         std::string(kReadNames) +
                         " are read: keep it, and add the project's own licence text as LICENSE "
                         "(or one file per licence in LICENSES/, the REUSE layout).");
        break;
      case LicenceFile::Kind::CranStub:
      case LicenceFile::Kind::Unknown:
        advice.push_back(shown + " looks like a licence but its name is not read: rename it to "
                                 "LICENSE (only " +
                         std::string(kReadNames) + " are read).");
        break;
    }
  }
  if (identified.size() == 1) {
    const auto& [file, id] = identified.front();
    advice.insert(advice.begin(), "Rename " + file + " to LICENSE: it holds the " + id +
                                      " licence, but only " + std::string(kReadNames) +
                                      " are read.");
  } else if (identified.size() > 1) {
    std::vector<std::string> files, targets;
    for (const auto& [file, id] : identified) {
      files.push_back(file + " (" + id + ")");
      targets.push_back("LICENSES/" + id + ".txt");
    }
    advice.insert(advice.begin(), "Move " + join(files, ", ") + " to " + join(targets, ", ") +
                                      " (the REUSE layout for several licences), or rename the "
                                      "main one to LICENSE.");
  }
  Ecosystems eco = detect_ecosystems(repo);
  for (const auto& [file, id] : declared_licences(repo)) {
    if (!identified.empty()) break;
    if (file == "DESCRIPTION" && eco.r) {
      if (id == "MIT") {
        advice.push_back(
            "DESCRIPTION declares \"MIT + file LICENSE\": usethis::use_mit_license() writes the "
            "LICENSE stub R needs and the full text as LICENSE.md (kept out of the build by "
            ".Rbuildignore).");
      } else if (auto call = usethis_call(id)) {
        advice.push_back("DESCRIPTION declares " + id + ": " + std::string(*call) +
                         " writes its full text as LICENSE.md, which is read, and keeps it out of "
                         "the package build (.Rbuildignore).");
      } else {
        advice.push_back("DESCRIPTION declares " + id +
                         ": add its full text as LICENSE.md and list it in .Rbuildignore, so that "
                         "R CMD build leaves it out.");
      }
      continue;
    }
    advice.push_back(file + " declares the licence " + id +
                     ": add its full text as LICENSE at the repository root (texts at "
                     "https://spdx.org/licenses/).");
  }
  if (header_id) {
    advice.push_back("Add the full text of " + *header_id +
                     " as LICENSE at the repository root: SPDX headers alone score 7 of 10.");
  }
  if (advice.empty()) {
    advice.emplace_back(
        eco.r ? "Choose a licence and let usethis write it (e.g. usethis::use_mit_license() or "
                "usethis::use_gpl3_license()): the full text as LICENSE.md and DESCRIPTION's "
                "License field."
              : "Choose a licence (e.g. MIT, Apache-2.0, GPL-3.0-or-later) and add its "
                "full text as LICENSE at the repository root.");
  }
  return advice;
}

// A licence file the table does not name: what it is, and what (if anything) to do.
std::vector<std::string> advice_for_unnamed(const Path& repo, const std::string& file,
                                            std::string_view content) {
  LicenceFile kind = describe_licence_file(content);
  switch (kind.kind) {
    case LicenceFile::Kind::CranStub:
      if (detect_ecosystems(repo).r) return {cran_stub_advice(repo, file)};
      break;
    case LicenceFile::Kind::Standard:
      return {file + " holds the unmodified standard text of " + kind.id +
              ", which this check's licence table does not recognise: nothing in it needs to "
              "change."};
    case LicenceFile::Kind::Identified:
      return {file + " names its licence by SPDX identifier (" + kind.id +
              "); this check identifies licences by their texts. If " + kind.id +
              " is a standard licence, its unmodified text in " + file + " lets tools name it."};
    case LicenceFile::Kind::Several:
      return {file + " names several licences (" + join(kind.named, ", ") +
              "): keep it; for one file per licence, which tools read, use LICENSES/ (the "
              "REUSE layout)."};
    case LicenceFile::Kind::Unknown:
      break;
  }
  return {file + " is no standard licence text that tools can identify: if it is meant to be "
                 "one, use its unmodified text as SPDX lists it; if it is a licence of your own, "
                 "keep it and name it LicenseRef-... in your package metadata."};
}

}  // namespace

std::span<const std::string_view> MorvelPlugin::supported_indicators() const {
  return kIndicators;
}

std::optional<std::string> detect_spdx(std::string_view content) {
  const auto& rows = spdx_patterns();
  std::string_view title = title_of(content);
  for (const auto& row : rows)
    if (row.pattern.search(title)) return std::string(row.id);
  bool skip_gpl = names_other_public_licence(title);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (skip_gpl && std::find(std::begin(kGplRows), std::end(kGplRows), i) != std::end(kGplRows))
      continue;
    if (rows[i].pattern.search(content)) return std::string(rows[i].id);
  }
  return std::nullopt;
}

std::optional<std::string> spdx_header_in(std::string_view head) {
  if (auto id = spdx_header_re().search_group(head, 1)) return std::string(*id);
  return std::nullopt;
}

std::optional<std::string> scan_spdx_headers(const Path& repo) {
  int seen = 0;
  std::optional<std::string> found;
  walk_tree(repo, repo, [&](const WalkEntry& entry) {
    if (seen >= SPDX_HEADER_SAMPLE) return WalkAction::Stop;
    // Ancestors of a skipped directory are never entered, so only the name needs testing.
    if (contains(SKIPPED_DIRS, entry.name)) return WalkAction::Prune;
    if (entry.is_real_directory) return WalkAction::Continue;
    if (!contains(TEXT_EXTENSIONS, py_lower(file_suffix(entry.name)))) return WalkAction::Continue;
    if (!is_file(entry, repo)) return WalkAction::Continue;
    Path file(entry.path);
    std::string head;
    try {
      head = read_text_prefix(file, ReadMode::Drop, SPDX_HEADER_CHARS, repo);
    } catch (const OsError&) {
      return WalkAction::Continue;
    }
    ++seen;
    if ((found = spdx_header_in(head))) return WalkAction::Stop;
    return WalkAction::Continue;
  });
  return found;
}

CheckResult MorvelPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const Path& repo = ctx.repo_path;

  // 1. A REUSE LICENSES/ directory with licence texts answers at once.
  Path reuse_dir = repo / REUSE_DIR;
  if (is_dir(reuse_dir, repo)) {
    std::vector<std::string> stems;
    for (const auto& entry : list_directory(reuse_dir, repo)) {
      std::string suffix = ascii_lower(file_suffix(entry));
      if (suffix != ".txt" && suffix != ".md" && !suffix.empty()) continue;
      if (!is_file(reuse_dir / entry, repo)) continue;
      stems.push_back(sanitize_utf8(file_stem(entry)));
    }
    if (!stems.empty()) {
      std::sort(stems.begin(), stems.end());
      std::size_t count = stems.size();
      std::string shown =
          join(std::span<const std::string>(stems.data(), std::min<std::size_t>(count, 5)), ", ");
      if (count > 5) shown += ", and " + std::to_string(count - 5) + " more";
      return make_result(indicator_id,
                         {.score = 10.0,
                          .process = "Detected REUSE-compliant LICENSES/ directory",
                          .output = "Detected SPDX licenses: " + shown,
                          .evidence = "LICENSES/ contains " + std::to_string(count) + " entries"});
    }
  }

  // 2. A licence file in the root; without one, SPDX headers in the sources.
  auto found_file = find_first(repo, LICENSE_FILES);
  if (!found_file) {
    if (auto id = scan_spdx_headers(repo)) {
      return make_result(indicator_id,
                         {.score = 7.0,
                          .process = "Found SPDX-License-Identifier headers in source files",
                          .output = "Detected " + *id,
                          .evidence = "SPDX header sampled from top-level source: " + *id,
                          .advice = advice_or_none([&] { return advice_without_licence_file(repo, id); })});
    }
    return make_result(indicator_id, {.score = 0.0,
                                      .status = CheckStatus::Unknown,
                                      .process = "Searched for license files in repository root",
                                      .output = "No license file found",
                                      .evidence = "Checked: " + join(LICENSE_FILES, ", "),
                                      .advice = advice_or_none([&] { return advice_without_licence_file(repo, std::nullopt); })});
  }

  // 3. Read and identify the licence file.
  std::string file_name = display_name(*found_file);
  std::string content;
  try {
    content = read_text(*found_file, ReadMode::Replace, repo);
  } catch (const OsError& e) {
    return make_result(indicator_id, {.score = 3.0,
                                      .process = "Found " + file_name + " but could not read it",
                                      .output = e.what(),
                                      .evidence = "File: " + file_name,
                                      .advice = {"Make " + file_name +
                                                 " a readable regular file in the repository "
                                                 "(not a link out of it, not a directory)."}});
  }
  if (code_points(py_strip(content)) < 10) {
    return make_result(
        indicator_id, {.score = 2.0,
                       .process = "License file exists but appears empty",
                       .output = file_name + ": " + std::to_string(code_points(content)) + " chars",
                       .evidence = "File: " + file_name,
                       .advice = {"Put the full text of your licence in " + file_name + "."}});
  }
  if (auto id = detect_spdx(content)) {
    return make_result(indicator_id, {.score = 10.0,
                                      .process = "Identified SPDX license: " + *id,
                                      .output = "Detected " + *id,
                                      .evidence = "File: " + file_name + ", SPDX: " + *id});
  }
  return make_result(
      indicator_id,
      {.score = 7.0,
       .process = "Found license file but could not match SPDX identifier",
       .output = "License file: " + file_name,
       .evidence = "File: " + file_name + ", length: " + std::to_string(code_points(content)),
       .advice = advice_or_none([&] { return advice_for_unnamed(repo, file_name, content); })});
}

}  // namespace ostrameld
