#include "ostrameld/plugins/full/references.h"

#include <array>
#include <cmath>

#include "ostrameld/metadata/model.h"
#include "ostrameld/plugins/full/evidence.h"
#include "ostrameld/utils/files.h"
#include "ostrameld/utils/identifiers.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kIndicators{"qualified_references"sv};

// A JOSS paper's bibliography: how many entries, how many with a DOI.
std::pair<std::size_t, std::size_t> bibliography(std::string_view text) {
  static const Regex entry("(?m)^\\s*@\\s*([A-Za-z]+)\\s*\\{");
  static const Regex doi("(?i)\\bdoi\\s*=");
  std::size_t entries = 0, with_doi = 0;
  std::vector<std::size_t> starts;
  std::size_t from = 0;
  while (from < text.size()) {
    auto at = entry.find(text.substr(from));
    if (!at) break;
    starts.push_back(from + *at);
    from += *at + 1;
  }
  for (std::size_t i = 0; i < starts.size(); ++i) {
    std::string_view body = text.substr(starts[i], (i + 1 < starts.size() ? starts[i + 1] : text.size()) - starts[i]);
    auto type = ascii_lower(entry.search_group(body, 1).value_or(""));
    if (type == "comment" || type == "string" || type == "preamble") continue;
    ++entries;
    if (doi.search(body)) ++with_doi;
  }
  return {entries, with_doi};
}

}  // namespace

std::span<const std::string_view> QualifiedReferencesPlugin::supported_indicators() const {
  return kIndicators;
}

CheckResult QualifiedReferencesPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const ProjectMetadata& m = ctx.metadata();
  std::size_t references = 0, with_identifier = 0;
  std::vector<std::string> sources, lacking;
  for (const auto& s : m.sources) {
    if (s.path.find('/') != std::string::npos || s.references.empty()) continue;
    std::size_t here = 0;
    for (const auto& r : s.references) {
      ++references;
      ++here;
      if (r.has_identifier()) {
        ++with_identifier;
      } else if (lacking.size() < 5) {
        lacking.push_back(s.name + " " + r.field + (r.title.empty() ? "" : " (" + r.title + ")"));
      }
    }
    sources.push_back(s.name + " (" + std::to_string(here) + ")");
  }
  for (const auto& f : m.files) {
    if (f.name != "paper.bib") continue;
    try {
      std::string text = read_text(ctx.repo_path / f.path, ReadMode::Replace, ctx.repo_path);
      auto [entries, dois] = bibliography(text);
      if (entries == 0) continue;
      references += entries;
      with_identifier += dois;
      sources.push_back(f.path + " (" + std::to_string(entries) + ")");
      if (dois < entries) lacking.push_back(f.path + ": " + std::to_string(entries - dois) + " entries without doi");
    } catch (const OsError&) {
    }
    break;
  }
  // Works the citation files and the README's section on citing name with a DOI of their
  // own: the papers to cite with the software (its own archive DOI is no reference).
  std::vector<std::string> counted = evidence::reference_dois(m);
  auto cited = [&](const std::string& doi, std::size_t& here) {
    if (doi.empty() || !evidence::archive_of_doi(doi).empty()) return;
    if (std::find(counted.begin(), counted.end(), doi) != counted.end()) return;
    counted.push_back(doi);
    ++references;
    ++with_identifier;
    ++here;
  };
  for (const auto& file : evidence::citation_files(ctx.repo_path)) {
    std::size_t here = 0;
    for (const auto& e : file.entries) cited(e.doi, here);
    if (here) sources.push_back(file.path + " (" + std::to_string(here) + ")");
  }
  if (!m.readme_path.empty()) {
    std::size_t here = 0;
    for (const auto& doi : evidence::readme_dois(m.readme_text).citing) cited(doi, here);
    if (here) sources.push_back(m.readme_path + " (" + std::to_string(here) + ")");
  }
  // A page of its own on citing the software (docs/citing.rst, CITING.md).
  for (std::string_view page : {"CITING.md"sv, "CITATION.md"sv, "docs/citing.rst"sv, "docs/citing.md"sv,
                                "docs/citation.rst"sv, "docs/citation.md"sv, "docs/cite.rst"sv, "docs/cite.md"sv,
                                "doc/citing.rst"sv, "doc/citation.rst"sv}) {
    Path file = ctx.repo_path / std::string(page);
    if (!file_seen(file, ctx.repo_path)) continue;
    std::string text;
    try {
      text = read_text_prefix(file, ReadMode::Replace, 256 << 10, ctx.repo_path);
    } catch (const OsError&) {
      continue;
    }
    std::size_t here = 0;
    for (const auto& doi : dois_in_text(text)) cited(doi, here);
    if (here) sources.push_back(std::string(page) + " (" + std::to_string(here) + ")");
    break;
  }
  Json facts{{"references", references}, {"with_identifier", with_identifier}, {"sources", sources}};
  std::vector<std::string> advice;
  double score = 0.0;
  std::string output;
  if (references == 0) {
    output = "No references to other objects (papers, data, software used)";
    advice.push_back(
        "Cite what the software builds on and the paper describing it: preferred-citation and "
        "references in CITATION.cff (each with its doi), referencePublication in codemeta.json, "
        "or related_identifiers with a relation (isDocumentedBy, isDerivedFrom, requires) in "
        ".zenodo.json.");
  } else {
    double share = static_cast<double>(with_identifier) / static_cast<double>(references);
    score = std::round((4.0 + 6.0 * share) * 10.0) / 10.0;
    output = std::to_string(with_identifier) + " of " + std::to_string(references) +
             " references carry an identifier";
    if (with_identifier < references)
      advice.push_back("Give each reference its identifier (a doi, else a url): " + join(lacking, "; ") +
                       (references - with_identifier > lacking.size() ? "; ..." : "") + ".");
  }
  return make_result(indicator_id,
                     {.score = score,
                      .process = "Counted references and their identifiers",
                      .output = output,
                      .evidence = sources.empty() ? "" : "References: " + join(sources, ", "),
                      .advice = std::move(advice),
                      .facts = std::move(facts)});
}

}  // namespace ostrameld
