#include "ostrameld/plugins/builtin/documentation.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "ostrameld/utils/files.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array<std::string_view, 1> kIndicators{"descriptive_attributes"sv};

constexpr std::array README_NAMES{"README.md"sv, "README.rst"sv, "README.txt"sv, "README"sv};
constexpr std::array DOC_DIRS{"docs"sv, "doc"sv, "documentation"sv};
constexpr std::array DOC_CONFIGS{
    "mkdocs.yml"sv,      "mkdocs.yaml"sv, ".readthedocs.yml"sv, ".readthedocs.yaml"sv,
    "readthedocs.yml"sv, "conf.py"sv,     "book.toml"sv,
};
constexpr std::uintmax_t MIN_README_LENGTH = 200;

std::optional<Path> find_readme(const Path& repo) {
  return find_first(repo, README_NAMES);
}

// Entries of any kind named *.md or *.rst at any depth below dir, in one walk.
std::size_t count_pages(const Path& dir) {
  std::size_t pages = 0;
  walk_tree(dir, [&](const WalkEntry& e) {
    if (e.name.ends_with(".md") || e.name.ends_with(".rst")) ++pages;
    return WalkAction::Continue;
  });
  return pages;
}

}  // namespace

std::span<const std::string_view> DocumentationPlugin::supported_indicators() const {
  return kIndicators;
}

CheckResult DocumentationPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const Path& repo = ctx.repo_path;
  std::vector<std::string> findings;
  double score = 0.0;
  bool has_docs_dir = false;

  // 1-2. README and its size in bytes.
  if (auto readme = find_readme(repo)) {
    std::uintmax_t length = entry_size(*readme);
    findings.push_back("README: " + display_name(*readme) + " (" + std::to_string(length) +
                       " bytes)");
    if (length >= MIN_README_LENGTH) {
      score = 4.0;
    } else {
      findings.emplace_back("README is short");
      score = 1.5;
    }
  } else {
    findings.emplace_back("No README found");
  }

  // 3. The first documentation directory that holds pages.
  for (auto dir : DOC_DIRS) {
    Path candidate = repo / dir;
    if (!is_dir(candidate)) continue;
    std::size_t pages = count_pages(candidate);
    if (pages == 0) continue;
    findings.push_back("Docs directory: " + std::string(dir) + "/ (" + std::to_string(pages) +
                       " files)");
    has_docs_dir = true;
    score += 3.0;
    break;
  }

  // 4. A documentation-tool configuration; the order of names dominates the place.
  bool found_tool = false;
  for (auto cfg : DOC_CONFIGS) {
    if (path_exists(repo / cfg)) {
      findings.push_back("Doc tool config: " + std::string(cfg));
      score += 2.0;
      break;
    }
    if (!has_docs_dir) continue;
    for (auto dir : DOC_DIRS) {
      if (path_exists(repo / dir / cfg)) {
        findings.push_back("Doc tool config: " + std::string(dir) + "/" + std::string(cfg));
        score += 2.0;
        found_tool = true;
        break;
      }
    }
    if (found_tool) break;
  }

  return make_result(indicator_id,
                     {.score = std::min(score, 10.0),
                      .process = "Checked for README, docs directory, and doc tooling",
                      .output = join(findings, "; "),
                      .evidence = "Checked: README, docs dirs, mkdocs/sphinx/rtd configs"});
}

}  // namespace ostrameld
