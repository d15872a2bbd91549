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

// Entries of any kind named *.md or *.rst at any depth below dir, in one walk; a link
// that leads out of the repository is no page of it.
std::size_t count_pages(const Path& dir, const Path& repo) {
  std::size_t pages = 0;
  walk_tree(dir, repo, [&](const WalkEntry& e) {
    if (!(e.name.ends_with(".md") || e.name.ends_with(".rst"))) return WalkAction::Continue;
    if (!e.is_link || !leads_outside(Path(e.path), repo)) ++pages;
    return WalkAction::Continue;
  });
  return pages;
}

// --- Advice: what to add, and documentation that is there under names not read.

// Places where projects keep documentation that the check does not look at.
constexpr std::array OTHER_DOC_DIRS{"Docs"sv,      "DOCS"sv, "Documentation"sv, "Doc"sv,
                                    "vignettes"sv, "man"sv,  "wiki"sv,          "website"sv,
                                    "site"sv,      "book"sv, "guide"sv};

// README-like root files under names that do not count: readme.md, README.adoc, ...
std::vector<std::string> readme_lookalikes(const Path& repo) {
  std::vector<std::string> found;
  try {
    for (const auto& name : list_directory(repo, repo)) {
      if (contains(README_NAMES, name) || ascii_lower(file_stem(name)) != "readme") continue;
      if (is_file(repo / name, repo)) found.push_back(sanitize_utf8(name));
    }
  } catch (const OsError&) {
  }
  std::sort(found.begin(), found.end());
  return found;
}

// Where documentation stands that is not a docs/ directory of .md or .rst pages.
std::optional<std::string> docs_elsewhere(const Path& repo) {
  for (auto dir : DOC_DIRS) {
    if (is_dir(repo / dir, repo))
      return std::string(dir) +
             "/ holds no .md or .rst pages: write the documentation as "
             "Markdown or reStructuredText pages there.";
  }
  for (auto dir : OTHER_DOC_DIRS) {
    if (is_dir(repo / dir, repo))
      return "Documentation in " + std::string(dir) +
             "/ is not read: keep the pages (.md or .rst) in docs/ (or doc/, documentation/).";
  }
  return std::nullopt;
}

std::vector<std::string> documentation_advice(const Path& repo, bool has_readme, bool short_readme,
                                              const std::string& readme_name, bool has_docs,
                                              bool has_tool) {
  std::vector<std::string> advice;
  if (!has_readme) {
    auto lookalikes = readme_lookalikes(repo);
    if (!lookalikes.empty()) {
      advice.push_back("Rename " + lookalikes.front() +
                       " to README.md (or README.rst): only README.md, README.rst, README.txt "
                       "and README are read.");
    } else {
      advice.emplace_back(
          "Add a README.md at the repository root: what the software does, how "
          "to install and use it, how to cite it.");
    }
  } else if (short_readme) {
    advice.push_back("Expand " + readme_name +
                     " to at least 200 bytes: purpose, installation, usage, citation.");
  }
  if (!has_docs) {
    if (auto elsewhere = docs_elsewhere(repo)) {
      advice.push_back(*elsewhere);
    } else {
      advice.emplace_back("Add user documentation as .md or .rst pages in docs/.");
    }
  }
  if (!has_tool) {
    advice.emplace_back(
        "Add a documentation build configuration: mkdocs.yml (MkDocs), "
        "docs/conf.py (Sphinx), .readthedocs.yaml or book.toml (mdBook).");
  }
  return advice;
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
  bool short_readme = false;
  std::string readme_name;

  // 1-2. README and its size in bytes.
  auto readme = find_readme(repo);
  if (readme) {
    readme_name = display_name(*readme);
    std::uintmax_t length = entry_size(*readme, repo);
    findings.push_back("README: " + display_name(*readme) + " (" + std::to_string(length) +
                       " bytes)");
    if (length >= MIN_README_LENGTH) {
      score = 4.0;
    } else {
      findings.emplace_back("README is short");
      score = 1.5;
      short_readme = true;
    }
  } else {
    findings.emplace_back("No README found");
  }

  // 3. The first documentation directory that holds pages.
  for (auto dir : DOC_DIRS) {
    Path candidate = repo / dir;
    if (!is_dir(candidate, repo)) continue;
    std::size_t pages = count_pages(candidate, repo);
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
    if (path_exists(repo / cfg, repo)) {
      findings.push_back("Doc tool config: " + std::string(cfg));
      score += 2.0;
      found_tool = true;
      break;
    }
    if (!has_docs_dir) continue;
    for (auto dir : DOC_DIRS) {
      if (path_exists(repo / dir / cfg, repo)) {
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
                      .evidence = "Checked: README, docs dirs, mkdocs/sphinx/rtd configs",
                      .advice = documentation_advice(repo, readme.has_value(), short_readme,
                                                     readme_name, has_docs_dir, found_tool)});
}

}  // namespace ostrameld
