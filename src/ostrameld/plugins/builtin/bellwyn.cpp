#include "ostrameld/plugins/builtin/bellwyn.h"

#include <algorithm>
#include <array>
#include <vector>

#include "ostrameld/utils/text.h"
#include "ostrameld/utils/yaml.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array<std::string_view, 1> kIndicators{"rich_metadata"sv};

constexpr std::array CITATION_FILES{
    "CITATION.cff"sv, "CITATION.bib"sv, "CITATION.md"sv,
    "CITATION"sv,     "citation.cff"sv, "codemeta.json"sv,
};
constexpr std::array REQUIRED_KEYS{"cff-version"sv, "title"sv, "authors"sv};

bool ends_with_cff(const std::string& name) {
  return ascii_lower(name).ends_with(".cff");
}

// --- Advice: what to fix in the citation file, by what went wrong.

constexpr std::string_view kAddCff =
    "Add a CITATION.cff at the root with cff-version, title and authors (and the DOI once "
    "there is one); cffinit writes one from a form.";

std::vector<std::string> missing_citation_advice(const Path& repo) {
  try {
    for (const auto& name : list_directory(repo, repo)) {
      if (ascii_lower(name) == "citation.cff" && name != "CITATION.cff" && name != "citation.cff")
        return {"Rename " + sanitize_utf8(name) + " to CITATION.cff: names are case-sensitive."};
    }
  } catch (const OsError&) {
  }
  return {std::string(kAddCff)};
}

std::vector<std::string> invalid_cff_advice(const std::string& file, const std::string& msg) {
  constexpr std::string_view missing = "Missing keys: ";
  if (msg.rfind(missing, 0) == 0)
    return {"Add the keys " + msg.substr(missing.size()) + " to " + file +
            " (cff-version: 1.2.0, title: the software's name, authors: a list)."};
  if (msg.rfind("Invalid YAML", 0) == 0)
    return {"Fix the YAML of " + file + " (" + msg +
            "); the Citation File Format validator (cffconvert --validate) shows where."};
  if (msg == "File is too short")
    return {file + " is nearly empty: fill in cff-version, title and authors."};
  if (msg == "CFF root must be a mapping")
    return {file + " must be a YAML mapping of keys: cff-version:, title:, authors:."};
  return {"Make " + file + " a readable UTF-8 text file."};
}

}  // namespace

std::span<const std::string_view> BellwynPlugin::supported_indicators() const {
  return kIndicators;
}

std::pair<bool, std::string> basic_cff_check(const Path& path, const Path& repo) {
  std::string text;
  try {
    text = read_text(path, ReadMode::Strict, repo);
  } catch (const OsError& e) {
    return {false, std::string("Could not read: ") + e.what()};
  } catch (const DecodeError& e) {
    return {false, std::string("Could not read: not valid UTF-8: ") + e.what()};
  }
  return validate_cff(text);
}

std::pair<bool, std::string> validate_cff(std::string_view text) {
  if (code_points(py_strip(text)) < 20) return {false, "File is too short"};

  YamlShape shape;
  try {
    shape = inspect_yaml(text);
  } catch (const YamlError& e) {
    return {false, std::string("Invalid YAML: ") + sanitize_utf8(e.what())};
  }
  if (shape.root != YamlShape::Root::Mapping) return {false, "CFF root must be a mapping"};

  std::vector<std::string> missing;
  for (auto key : REQUIRED_KEYS)
    if (!shape.top_keys.count(std::string(key))) missing.emplace_back(key);
  if (!missing.empty()) return {false, "Missing keys: " + join(missing, ", ")};
  return {true, "Valid CFF structure"};
}

CheckResult BellwynPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const Path& repo = ctx.repo_path;
  std::vector<std::string> found;
  for (const auto& p : find_files(repo, CITATION_FILES)) found.push_back(display_name(p));

  if (found.empty()) {
    return make_result(indicator_id, {.score = 0.0,
                                      .process = "Searched for citation files",
                                      .output = "No citation file found",
                                      .evidence = "Checked: " + join(CITATION_FILES, ", "),
                                      .advice = advice_or_none([&] { return missing_citation_advice(repo); })});
  }
  std::string files = join(found, ", ");
  if (std::none_of(found.begin(), found.end(), ends_with_cff)) {
    return make_result(indicator_id, {.score = 7.0,
                                      .process = "Found citation file (not CFF format)",
                                      .output = "Citation files: " + files,
                                      .evidence = "Files: " + files,
                                      .advice = {"Add a CITATION.cff beside " + files +
                                                 ": the format that GitHub, Zenodo and Zotero "
                                                 "read."}});
  }

  Path cff_path =
      path_exists(repo / "CITATION.cff", repo) ? repo / "CITATION.cff" : repo / "citation.cff";
  auto [valid, msg] = basic_cff_check(cff_path, repo);
  if (valid) {
    return make_result(indicator_id, {.score = 10.0,
                                      .process = "Found and validated CITATION.cff",
                                      .output = msg,
                                      .evidence = "Files: " + files});
  }
  return make_result(indicator_id, {.score = 5.0,
                                    .process = "CITATION.cff exists but has issues",
                                    .output = msg,
                                    .evidence = "Files: " + files,
                                    .advice = invalid_cff_advice(display_name(cff_path), msg)});
}

}  // namespace ostrameld
