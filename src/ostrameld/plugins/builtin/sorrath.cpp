#include "ostrameld/plugins/builtin/sorrath.h"

#include <algorithm>
#include <array>
#include <optional>

#include "ostrameld/utils/ini.h"
#include "ostrameld/utils/json.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;
using sorrath::Score;

constexpr std::array kIndicators{"metadata_self_reference"sv, "searchable_metadata"sv};

constexpr std::array METADATA_FILES{
    "codemeta.json"sv, ".zenodo.json"sv, "pyproject.toml"sv, "package.json"sv,
    "DESCRIPTION"sv,   "setup.py"sv,     "setup.cfg"sv,      "CITATION.cff"sv,
};

// Reads a file strictly as UTF-8; nothing when it is unreadable or not valid UTF-8.
std::optional<std::string> read_strict(const Path& file, const Path& repo) {
  try {
    return read_text(file, ReadMode::Strict, repo);
  } catch (const OsError&) {
  } catch (const DecodeError&) {
  }
  return std::nullopt;
}

// Present and true as the metadata's reader sees it: not null, false, 0, "", [] or {}.
bool truthy(const Json& object, const char* member) {
  auto it = object.find(member);
  return it != object.end() && json_truthy(*it);
}

// The line and keyword patterns, compiled once.
struct Patterns {
  Regex cff_title{"(?m)^title\\s*:"};
  Regex cff_repository{"(?m)^(repository-code|repository|url)\\s*:"};
  Regex cff_doi_key{"(?m)^doi\\s*:"};
  Regex doi{"10\\.\\d{4,}/\\S+"};
  Regex pyproject_name{"(?m)^\\s*name\\s*="};
  Regex setup_py_name{"name\\s*=\\s*['\"]"};
  Regex setup_py_url{"url\\s*=\\s*['\"]"};
};

const Patterns& patterns() {
  static const Patterns p;
  return p;
}

// --- Advice: which key is missing from which file.

// The field each self-reference signal stands for, by file.
struct FieldSignal {
  std::string_view file;
  std::string_view label;  // as the check reports it when found
  std::string_view field;  // as the user writes it
};
constexpr FieldSignal kFieldSignals[] = {
    {"codemeta.json", "codemeta.name", "name"},
    {"codemeta.json", "codemeta.codeRepository", "codeRepository"},
    {"codemeta.json", "codemeta.identifier", "identifier (its DOI)"},
    {"CITATION.cff", "cff.title", "title"},
    {"CITATION.cff", "cff.repository-code/url", "repository-code"},
    {"CITATION.cff", "cff.doi", "doi"},
    {"package.json", "package.json.name", "name"},
    {"package.json", "package.json.repository/homepage", "repository"},
    {"pyproject.toml", "pyproject.name", "name under [project]"},
    {"pyproject.toml", "pyproject.urls", "a [project.urls] table (Homepage, Repository)"},
    {"setup.cfg", "setup.cfg.name", "name under [metadata]"},
    {"setup.cfg", "setup.cfg.url", "url under [metadata]"},
    {"setup.py", "setup.py.name", "name="},
    {"setup.py", "setup.py.url", "url="},
};
constexpr std::array PACKAGING_FILES{"pyproject.toml"sv, "setup.cfg"sv, "setup.py"sv};

std::vector<std::string> self_reference_advice(const Path& repo,
                                               const std::vector<std::string>& found) {
  auto has_label = [&](std::string_view label) {
    return std::find(found.begin(), found.end(), label) != found.end();
  };
  std::vector<std::string> advice;
  bool any_file = false;
  bool packaging_seen = false;
  for (auto file : {"codemeta.json"sv, "CITATION.cff"sv, "package.json"sv, "pyproject.toml"sv,
                    "setup.cfg"sv, "setup.py"sv}) {
    std::string shown(file);
    bool present = file_seen(repo / file, repo);
    if (!present && file == "CITATION.cff" && file_seen(repo / "citation.cff", repo)) {
      shown = "citation.cff";
      present = true;
    }
    if (!present) continue;
    any_file = true;
    if (contains(PACKAGING_FILES, file)) {
      if (packaging_seen) continue;  // only the first packaging file that yields counts
      packaging_seen = true;
    }
    if (file == "codemeta.json" && has_label("codemeta.json present but unparseable")) {
      advice.emplace_back("codemeta.json is not a valid JSON object: fix its syntax.");
      continue;
    }
    std::vector<std::string> missing;
    for (const auto& s : kFieldSignals)
      if (s.file == file && !has_label(s.label)) missing.emplace_back(s.field);
    if (!missing.empty()) advice.push_back("Add " + join(missing, ", ") + " to " + shown + ".");
  }
  if (file_seen(repo / "DESCRIPTION", repo) && !file_seen(repo / "codemeta.json", repo)) {
    advice.emplace_back(
        "R packages: generate codemeta.json from DESCRIPTION "
        "(codemetar::write_codemeta()); DESCRIPTION itself is not read here.");
  }
  if (advice.empty()) {
    advice.emplace_back(std::string(any_file ? "Also add" : "Add") +
                        " a CITATION.cff with title, repository-code and doi, or a "
                        "codemeta.json with name, codeRepository and identifier.");
  }
  return advice;
}

std::vector<std::string> searchable_advice(const Path& repo, double score) {
  std::vector<std::string> advice;
  if (score >= 10.0) return advice;
  if (!path_seen(repo / "codemeta.json", repo))
    advice.emplace_back(
        "Add codemeta.json, the software metadata that registries harvest "
        "(generators exist for Python, R, JS and Java projects).");
  if (!path_seen(repo / "CITATION.cff", repo)) {
    std::string other;
    try {
      for (const auto& name : list_directory(repo, repo))
        if (ascii_lower(name) == "citation.cff") other = sanitize_utf8(name);
    } catch (const OsError&) {
    }
    advice.push_back(other.empty() ? "Add a CITATION.cff (Citation File Format) at the root."
                                   : "Rename " + other + " to CITATION.cff.");
  }
  if (!path_seen(repo / ".zenodo.json", repo))
    advice.emplace_back(
        "Add .zenodo.json if releases are archived on Zenodo: it sets the "
        "record's authors, licence and keywords.");
  return advice;
}

}  // namespace

namespace sorrath {

std::optional<Json> parse_json_object(std::string_view text) {
  // A byte-order mark is not JSON whitespace.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") return std::nullopt;
  auto doc = read_json(text);
  if (!doc || !doc->is_object()) return std::nullopt;
  return doc;
}

Score codemeta_from_text(const std::optional<std::string>& text) {
  auto doc = text ? parse_json_object(*text) : std::nullopt;
  if (!doc) return {1.0, {"codemeta.json present but unparseable"}};
  Score s{4.0, {}};
  if (truthy(*doc, "name")) {
    s.first += 2.0;
    s.second.emplace_back("codemeta.name");
  }
  if (truthy(*doc, "codeRepository")) {
    s.first += 2.0;
    s.second.emplace_back("codemeta.codeRepository");
  }
  if (truthy(*doc, "identifier") || truthy(*doc, "@id")) {
    s.first += 2.0;
    s.second.emplace_back("codemeta.identifier");
  }
  if (s.second.empty()) s.second.emplace_back("codemeta.json");
  return s;
}

Score citation_cff_from_text(std::string_view text) {
  Score s{0.0, {}};
  if (patterns().cff_title.search(text)) {
    s.first = 3.0;
    s.second.emplace_back("cff.title");
  }
  if (patterns().cff_repository.search(text)) {
    s.first += 2.0;
    s.second.emplace_back("cff.repository-code/url");
  }
  if (patterns().cff_doi_key.search(text) || patterns().doi.search(text)) {
    s.first += 2.0;
    s.second.emplace_back("cff.doi");
  }
  return s;
}

Score package_json_from_text(const std::optional<std::string>& text) {
  auto doc = text ? parse_json_object(*text) : std::nullopt;
  if (!doc) return {0.0, {}};  // unlike codemeta.json, an unreadable package.json earns nothing
  Score s{0.0, {}};
  if (truthy(*doc, "name")) {
    s.first = 3.0;
    s.second.emplace_back("package.json.name");
  }
  if (truthy(*doc, "repository") || truthy(*doc, "homepage")) {
    s.first += 2.0;
    s.second.emplace_back("package.json.repository/homepage");
  }
  return s;
}

Score pyproject_from_text(const std::optional<std::string>& text) {
  if (!text) return {0.0, {}};
  Score s{0.0, {}};
  if (text->find("[project]") != std::string::npos && patterns().pyproject_name.search(*text)) {
    s.first = 3.0;
    s.second.emplace_back("pyproject.name");
  }
  if (text->find("[project.urls]") != std::string::npos) {
    s.first += 3.0;
    s.second.emplace_back("pyproject.urls");
  }
  return s;
}

Score setup_cfg_from_text(const std::optional<std::string>& text) {
  if (!text) return {0.0, {}};
  IniDocument cfg;
  try {
    cfg = parse_ini(*text);
  } catch (const IniError&) {
    return {0.0, {}};
  }
  Score s{0.0, {}};
  if (cfg.has_option("metadata", "name")) {
    s.first = 3.0;
    s.second.emplace_back("setup.cfg.name");
  }
  if (cfg.has_option("metadata", "url")) {
    s.first += 3.0;
    s.second.emplace_back("setup.cfg.url");
  }
  return s;
}

Score setup_py_from_text(const std::optional<std::string>& text) {
  if (!text) return {0.0, {}};  // read as text only, never executed
  Score s{0.0, {}};
  if (patterns().setup_py_name.search(*text)) {
    s.first = 3.0;
    s.second.emplace_back("setup.py.name");
  }
  if (patterns().setup_py_url.search(*text)) {
    s.first += 2.0;
    s.second.emplace_back("setup.py.url");
  }
  return s;
}

Score score_codemeta(const Path& repo) {
  Path file = repo / "codemeta.json";
  if (!is_file(file, repo)) return {0.0, {}};
  return codemeta_from_text(read_strict(file, repo));
}

Score score_citation_cff(const Path& repo) {
  Path file = repo / "CITATION.cff";
  if (!is_file(file, repo)) {
    file = repo / "citation.cff";
    if (!is_file(file, repo)) return {0.0, {}};
  }
  try {
    return citation_cff_from_text(read_text(file, ReadMode::Replace, repo));
  } catch (const OsError&) {
    return {0.0, {}};
  }
}

Score score_package_json(const Path& repo) {
  Path file = repo / "package.json";
  if (!is_file(file, repo)) return {0.0, {}};
  return package_json_from_text(read_strict(file, repo));
}

Score score_pyproject(const Path& repo) {
  Path file = repo / "pyproject.toml";
  if (!is_file(file, repo)) return {0.0, {}};
  return pyproject_from_text(read_strict(file, repo));
}

Score score_setup_cfg(const Path& repo) {
  Path file = repo / "setup.cfg";
  if (!is_file(file, repo)) return {0.0, {}};
  return setup_cfg_from_text(read_strict(file, repo));
}

Score score_setup_py(const Path& repo) {
  Path file = repo / "setup.py";
  if (!is_file(file, repo)) return {0.0, {}};
  return setup_py_from_text(read_strict(file, repo));
}

}  // namespace sorrath

std::span<const std::string_view> SorrathPlugin::supported_indicators() const {
  return kIndicators;
}

CheckResult SorrathPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  if (indicator_id == "metadata_self_reference") return check_self_reference(ctx);
  if (indicator_id == "searchable_metadata") return check_searchable(ctx);
  return make_result(indicator_id, {.score = 0.0, .evidence = "not handled by this plugin"});
}

CheckResult SorrathPlugin::check_self_reference(const Context& ctx) const {
  const Path& repo = ctx.repo_path;
  double total = 0.0;
  std::vector<std::string> details;
  auto take = [&](const Score& s) {
    if (s.first <= 0.0) return false;
    total += s.first;
    details.insert(details.end(), s.second.begin(), s.second.end());
    return true;
  };

  // Independent sources all count; of the packaging files only the first that yields.
  for (auto scorer :
       {sorrath::score_codemeta, sorrath::score_citation_cff, sorrath::score_package_json})
    take(scorer(repo));
  for (auto scorer : {sorrath::score_pyproject, sorrath::score_setup_cfg, sorrath::score_setup_py})
    if (take(scorer(repo))) break;
  total = std::min(total, 10.0);

  if (total == 0.0) {
    return make_result(
        "metadata_self_reference",
        {.score = 0.0,
         .status = CheckStatus::Unknown,
         .process = "Searched recognised metadata files for self-reference fields",
         .output = "No self-referencing metadata detected",
         .evidence = "Checked: codemeta.json, CITATION.cff, pyproject.toml, setup.cfg, setup.py, "
                     "package.json",
         .advice = advice_or_none([&] { return self_reference_advice(repo, details); })});
  }
  std::string joined = join(details, "; ");
  return make_result("metadata_self_reference",
                     {.score = total,
                      .process = "Tallied self-reference signals across metadata files",
                      .output = joined,
                      .evidence = joined,
                      .advice = total >= 10.0 ? std::vector<std::string>{}
                                              : advice_or_none([&] { return self_reference_advice(repo, details); })});
}

CheckResult SorrathPlugin::check_searchable(const Context& ctx) const {
  const Path& repo = ctx.repo_path;
  std::vector<std::string> found;
  for (auto name : METADATA_FILES)
    if (path_exists(repo / name, repo)) found.emplace_back(name);

  if (found.empty()) {
    return make_result("searchable_metadata", {.score = 0.0,
                                               .status = CheckStatus::Unknown,
                                               .process = "Searched for metadata files",
                                               .output = "No metadata files found",
                                               .evidence = "Checked: " + join(METADATA_FILES, ", "),
                                               .advice = advice_or_none([&] { return searchable_advice(repo, 0.0); })});
  }
  auto has = [&](std::string_view name) {
    return std::find(found.begin(), found.end(), name) != found.end();
  };
  double score = has("codemeta.json") ? 7.0 : 4.0;
  if (has(".zenodo.json")) score += 2.0;
  if (has("pyproject.toml")) score += 1.0;
  if (has("setup.py") || has("setup.cfg")) score += 1.0;
  if (has("CITATION.cff")) score += 1.5;
  if (has("package.json")) score += 1.0;
  std::string files = join(found, ", ");
  score = std::min(score, 10.0);
  return make_result("searchable_metadata", {.score = score,
                                             .process = "Found searchable metadata files",
                                             .output = "Metadata files: " + files,
                                             .evidence = "Files: " + files,
                                             .advice = advice_or_none([&] { return searchable_advice(repo, score); })});
}

}  // namespace ostrameld
