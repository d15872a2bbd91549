#include "ostrameld/plugins/builtin/documentation.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "ostrameld/utils/files.h"
#include "ostrameld/utils/ecosystem.h"
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

// The usual documentation directories under another case: renaming them breaks nothing.
constexpr std::array CASED_DOC_DIRS{"Docs"sv, "DOCS"sv, "Documentation"sv, "Doc"sv};
// Places where projects keep documentation that the check does not look at, many of
// them required by a tool (R's vignettes/ and man/, a Maven site, a wiki, a site
// generator's sources): named, never to be moved.
constexpr std::array OTHER_DOC_DIRS{"vignettes"sv, "man"sv,   "src/site"sv, "wiki"sv,
                                    "website"sv,   "site"sv,  "book"sv,     "guide"sv};

// README-like root files under names that do not count: readme.md, README.adoc, ...
// Those of a format the check reads (Markdown, reStructuredText, text) need only the
// name; others (AsciiDoc, Org) would need converting, so they come last.
std::vector<std::string> readme_lookalikes(const Path& repo) {
  std::vector<std::string> found;
  try {
    for (const auto& name : list_directory(repo, repo)) {
      if (contains(README_NAMES, name) || ascii_lower(file_stem(name)) != "readme") continue;
      if (file_seen(repo / name, repo)) found.push_back(sanitize_utf8(name));
    }
  } catch (const OsError&) {
  }
  auto readable = [](const std::string& name) {
    std::string suffix = ascii_lower(file_suffix(name));
    return suffix.empty() || suffix == ".md" || suffix == ".markdown" || suffix == ".rst" ||
           suffix == ".txt";
  };
  std::stable_sort(found.begin(), found.end(), [&](const std::string& a, const std::string& b) {
    if (readable(a) != readable(b)) return readable(a);
    return a < b;
  });
  return found;
}

// Advice for a README under a name that is not read.
std::string readme_rename_advice(const std::string& name) {
  std::string suffix = ascii_lower(file_suffix(name));
  bool markdown = suffix == ".md" || suffix == ".markdown";
  if (markdown || suffix == ".rst" || suffix == ".txt" || suffix.empty()) {
    std::string target = markdown ? "README.md" : suffix == ".rst" ? "README.rst"
                                                : suffix == ".txt" ? "README.txt"
                                                                   : "README";
    return "Rename " + name + " to " + target +
           ": names are case-sensitive, and only README.md, README.rst, README.txt and README "
           "are read.";
  }
  return name + " is not read (only README.md, README.rst, README.txt and README are): add a "
                "README.md beside it with what the software does, how to install and use it.";
}

// Where documentation stands that is not a docs/ directory of .md or .rst pages, and
// what would count without moving anything a tool needs.
std::optional<std::string> docs_elsewhere(const Path& repo) {
  for (auto dir : DOC_DIRS) {
    if (dir_seen(repo / dir, repo))
      return std::string(dir) +
             "/ holds no .md or .rst pages: write the documentation as "
             "Markdown or reStructuredText pages there.";
  }
  for (auto dir : CASED_DOC_DIRS) {
    if (dir_seen(repo / dir, repo))
      return "Rename " + std::string(dir) + "/ to docs/: names are case-sensitive, and only "
             "docs/, doc/ and documentation/ are read.";
  }
  Ecosystems eco = detect_ecosystems(repo);
  std::vector<std::string> kept;
  for (auto dir : OTHER_DOC_DIRS)
    if (dir_seen(repo / dir, repo)) kept.push_back(std::string(dir) + "/");
  if (eco.r) {
    std::string where = kept.empty() ? "" : " (keep " + join(kept, " and ") + " where R needs them)";
    return "This indicator counts .md or .rst pages in docs/" + where +
           ": pages there count, and usethis::use_build_ignore(\"docs\") keeps the folder out "
           "of the package build.";
  }
  if (!kept.empty())
    return "Documentation in " + join(kept, ", ") +
           " is not read here (keep it where its tools need it): this indicator counts .md or "
           ".rst pages in docs/, doc/ or documentation/.";
  return std::nullopt;
}

// Each piece that looks around for a better hint falls back to the plain one when the
// looking fails.
std::vector<std::string> documentation_advice(const Path& repo, bool has_readme, bool short_readme,
                                              const std::string& readme_name, bool has_docs,
                                              bool has_tool) {
  std::vector<std::string> advice;
  if (!has_readme) {
    auto lookalikes = advice_or_none([&] { return readme_lookalikes(repo); });
    advice.push_back(!lookalikes.empty()
                         ? readme_rename_advice(lookalikes.front())
                         : "Add a README.md at the repository root: what the software does, how "
                           "to install and use it, how to cite it.");
  } else if (short_readme) {
    advice.push_back("Expand " + readme_name +
                     " to at least 200 bytes: purpose, installation, usage, citation.");
  }
  if (!has_docs) {
    advice.push_back(advice_or_none([&] { return docs_elsewhere(repo); })
                         .value_or("Add user documentation as .md or .rst pages in docs/."));
  }
  if (!has_tool) {
    if (advice_or_none([&] { return detect_ecosystems(repo); }).r) {
      advice.emplace_back(
          "R packages build their site with pkgdown (_pkgdown.yml), which this indicator does "
          "not read; it counts mkdocs.yml, docs/conf.py (Sphinx), .readthedocs.yaml or "
          "book.toml.");
    } else {
      advice.emplace_back(
          "Add a documentation build configuration: mkdocs.yml (MkDocs), "
          "docs/conf.py (Sphinx), .readthedocs.yaml or book.toml (mdBook).");
    }
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
