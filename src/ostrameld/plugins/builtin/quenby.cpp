#include "ostrameld/plugins/builtin/quenby.h"

#include <algorithm>
#include <array>
#include <new>
#include <set>

#include "ostrameld/utils/ci.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array<std::string_view, 1> kIndicators{"community_standards"sv};

constexpr std::array CONTRIB_NAMES{"contributing"sv};
constexpr std::array COC_NAMES{"code_of_conduct"sv, "code-of-conduct"sv, "codeofconduct"sv};
constexpr std::array SECURITY_NAMES{"security"sv};
constexpr std::array GOVERNANCE_NAMES{"governance"sv};
constexpr std::array DOC_EXTS{".md"sv, ".rst"sv, ".txt"sv, ""sv};
constexpr std::array SEARCH_DIRS{""sv, ".github"sv, "docs"sv};
constexpr std::array TEST_DIR_PATTERNS{
    "tests"sv,
    "test"sv,
    "spec"sv,
    "test_suite"sv,
    "backend-tests"sv,
    "e2e"sv,
    "integration-tests"sv,
    "unit-tests"sv,
    "__tests__"sv,
};
constexpr std::array TEST_FILE_PATTERNS{
    "test_*.py"sv, "*_test.py"sv, "test_*.js"sv,  "*.test.js"sv, "*.spec.js"sv,
    "*.test.ts"sv, "*.spec.ts"sv, "*Test.java"sv, "*_test.go"sv, "test_*.R"sv,
};
constexpr std::array STYLE_CONFIG_NAMES{
    ".editorconfig"sv,
    ".pre-commit-config.yaml"sv,
    ".pre-commit-config.yml"sv,
    ".eslintrc"sv,
    ".eslintrc.js"sv,
    ".eslintrc.json"sv,
    "eslint.config.js"sv,
    ".prettierrc"sv,
    ".prettierrc.json"sv,
    ".prettierrc.yaml"sv,
    "prettier.config.js"sv,
    "ruff.toml"sv,
    ".ruff.toml"sv,
    ".flake8"sv,
    "setup.cfg"sv,
    ".golangci.yml"sv,
    ".golangci.yaml"sv,
    ".rubocop.yml"sv,
    ".rubocop.yaml"sv,
    ".stylelintrc"sv,
    ".stylelintrc.json"sv,
};
constexpr std::array PYPROJECT_MARKERS{"[tool.ruff"sv, "[tool.black"sv, "[tool.isort"sv};
constexpr std::string_view PYPROJECT_FINDING = "pyproject.toml ([tool.ruff/black/isort])";

// The community-document search: the root first, then .github, then docs, stopping at
// the first match. Each directory is listed (and its entries tested) at most once per
// check, and only when a search reaches it.
class DocSearch {
 public:
  explicit DocSearch(const Path& repo) : repo_(repo) {}

  std::optional<std::string> find(std::span<const std::string_view> basenames) {
    for (std::size_t d = 0; d < SEARCH_DIRS.size(); ++d) {
      for (const auto& c : listing(d)) {
        if (contains(basenames, c.stem) && contains(DOC_EXTS, c.suffix)) return c.rel;
      }
    }
    return std::nullopt;
  }

 private:
  struct Candidate {
    std::string rel;  // relative path as reported
    std::string stem;
    std::string suffix;
  };

  const std::vector<Candidate>& listing(std::size_t d) {
    if (lists_[d]) return *lists_[d];
    std::vector<Candidate> candidates;
    std::string_view dir = SEARCH_DIRS[d];
    Path base = dir.empty() ? repo_ : repo_ / dir;
    if (is_dir(base, repo_)) {
      for (const auto& name : list_directory(base, repo_)) {  // errors propagate to the host
        if (!is_file(base / name, repo_)) continue;
        std::string shown = sanitize_utf8(name);
        candidates.push_back({dir.empty() ? shown : std::string(dir) + "/" + shown,
                              py_lower(file_stem(name)), py_lower(file_suffix(name))});
      }
    }
    return *(lists_[d] = std::move(candidates));
  }

  const Path& repo_;
  std::array<std::optional<std::vector<Candidate>>, SEARCH_DIRS.size()> lists_;
};

// Test directories and files below the levels the indicator reads (at most three shown),
// found in one walk that stops at four levels and skips hidden and vendored directories.
std::vector<std::string> tests_deeper(const Path& repo) {
  static constexpr std::string_view kSkipped[] = {"node_modules", "vendor", "venv", ".venv",
                                                  "build", "dist", "target", "site-packages"};
  std::vector<std::string> found;
  try {
    walk_tree(repo, repo, [&](const WalkEntry& e) {
      std::string_view rel = e.rel;
      auto depth = static_cast<std::size_t>(std::count(rel.begin(), rel.end(), '/'));
      if (e.name.substr(0, 1) == "." || contains(kSkipped, e.name)) return WalkAction::Prune;
      if (e.is_real_directory) {
        if (depth >= 2 && (e.name == "tests" || e.name == "test")) {
          found.push_back(sanitize_utf8(rel) + "/");
          return found.size() >= 3 ? WalkAction::Stop : WalkAction::Prune;
        }
        return depth >= 3 ? WalkAction::Prune : WalkAction::Continue;
      }
      if (depth >= 1) {
        for (auto pattern : TEST_FILE_PATTERNS) {
          if (shell_match(pattern, e.name)) {
            found.push_back(sanitize_utf8(rel));
            break;
          }
        }
      }
      return found.size() >= 3 ? WalkAction::Stop : WalkAction::Continue;
    });
  } catch (const OsError&) {
    // What could be walked says enough for advice.
  }
  return found;
}

}  // namespace

namespace quenby {

std::pair<bool, std::vector<std::string>> has_tests(const Path& repo) {
  std::vector<std::string> evidence;
  for (auto name : TEST_DIR_PATTERNS)
    if (is_dir(repo / name, repo)) evidence.push_back("dir " + std::string(name) + "/");

  std::vector<std::string> root_entries;
  bool listed = false;
  try {
    root_entries = list_directory(repo, repo);
    listed = true;
    for (const auto& entry : root_entries) {
      if (!is_dir(repo / entry, repo) || entry.rfind('.', 0) == 0) continue;
      for (auto name : TEST_DIR_PATTERNS) {
        if (is_dir(repo / entry / name, repo)) {
          evidence.push_back("dir " + sanitize_utf8(entry) + "/" + std::string(name) + "/");
          break;
        }
      }
    }
  } catch (const OsError&) {
    // The one-level-down scan ends at its first error and keeps what it found.
  }
  if (!evidence.empty()) return {true, evidence};

  if (listed) {
    for (auto pattern : TEST_FILE_PATTERNS) {
      auto matches = std::count_if(root_entries.begin(), root_entries.end(),
                                   [&](const std::string& e) { return shell_match(pattern, e); });
      if (matches > 0) {
        evidence.push_back(std::to_string(matches) + " " + std::string(pattern));
        return {true, evidence};
      }
    }
  }
  return {false, evidence};
}

std::vector<std::string> has_ci(const Path& repo) {
  std::set<std::string> names;
  try {
    for (const auto& config : find_ci_configs(repo)) names.insert(config.ci_name);
  } catch (const std::bad_alloc&) {
    throw;  // the memory limit ends the assessment; it is no finding
  } catch (...) {
    return {};  // CI that cannot be examined earns nothing, but breaks nothing
  }
  return {names.begin(), names.end()};
}

std::optional<std::string> has_style_config(const Path& repo) {
  for (auto name : STYLE_CONFIG_NAMES)
    if (is_file(repo / name, repo)) return std::string(name);
  Path pyproject = repo / "pyproject.toml";
  if (!is_file(pyproject, repo)) return std::nullopt;
  std::string text;
  try {
    text = read_text(pyproject, ReadMode::Drop, repo);
  } catch (const OsError&) {
    text.clear();
  }
  for (auto marker : PYPROJECT_MARKERS)
    if (text.find(marker) != std::string::npos) return std::string(PYPROJECT_FINDING);
  return std::nullopt;
}

}  // namespace quenby

std::span<const std::string_view> QuenbyPlugin::supported_indicators() const {
  return kIndicators;
}

CheckResult QuenbyPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const Path& repo = ctx.repo_path;
  double score = 0.0;
  std::vector<std::string> details;

  // Rows 1-4 of the scoring table: the community documents.
  struct DocSignal {
    std::span<const std::string_view> names;
    double points;
    const char* label;
    const char* advice;  // when the document is missing
  };
  const DocSignal doc_signals[] = {
      {CONTRIB_NAMES, 3, "CONTRIBUTING",
       "Add CONTRIBUTING.md (at the root, in .github/ or docs/): how to report problems and "
       "propose changes."},
      {COC_NAMES, 2, "CODE_OF_CONDUCT", "Add CODE_OF_CONDUCT.md, e.g. the Contributor Covenant."},
      {SECURITY_NAMES, 1, "SECURITY", "Add SECURITY.md: how to report a vulnerability."},
      {GOVERNANCE_NAMES, 1, "GOVERNANCE",
       "Add GOVERNANCE.md: who decides, and how maintainers are chosen."},
  };
  std::vector<std::string> advice;
  DocSearch docs(repo);
  for (const auto& signal : doc_signals) {
    if (auto p = docs.find(signal.names)) {
      score += signal.points;
      details.push_back(std::string(signal.label) + " (" + *p + ")");
    } else {
      advice.emplace_back(signal.advice);
    }
  }
  if (auto [found, evidence] = quenby::has_tests(repo); found) {
    score += 2;
    evidence.resize(std::min<std::size_t>(evidence.size(), 3));
    details.push_back("tests (" + join(evidence, ", ") + ")");
  } else if (auto deeper = advice_or_none([&] { return tests_deeper(repo); });
             !deeper.empty()) {
    // Tests inside a package are where many projects keep them (pkg/sub/tests/,
    // *_test.go beside the code): moving them would change the package.
    advice.push_back("Tests stand deeper than this indicator looks (" + join(deeper, ", ") +
                     "): keep them where they are; it reads tests/, test/ or spec/ at the root "
                     "and one level down, where a directory of integration tests would count.");
  } else {
    advice.emplace_back(
        "Add tests in a tests/ or test/ directory (also spec/, __tests__/, or one level "
        "down as in src/test/), or test files like test_*.py, *_test.go, *Test.java, "
        "*.test.js or test_*.R at the root.");
  }
  if (auto names = quenby::has_ci(repo); !names.empty()) {
    score += 1;
    details.push_back("CI (" + join(names, ", ") + ")");
  } else {
    advice.emplace_back(
        "Add continuous integration, e.g. a workflow in .github/workflows/ or "
        ".gitlab-ci.yml.");
  }
  if (auto style = quenby::has_style_config(repo)) {
    score += 1;
    details.push_back("style config (" + *style + ")");
  } else {
    advice.emplace_back(
        "Add a shared style configuration: .editorconfig for any language, or "
        ".pre-commit-config.yaml, ruff.toml, .eslintrc.json, .golangci.yml.");
  }
  score = std::min(score, 10.0);

  if (score == 0.0) {
    std::string searched;
    for (auto dir : SEARCH_DIRS)
      searched += (searched.empty() ? "" : ", ") + std::string(dir.empty() ? "root" : dir);
    return make_result(
        indicator_id,
        {.score = 0.0,
         .status = CheckStatus::Unknown,
         .process = "Searched for community-standard files, tests, CI, and style configs",
         .output = "No community-standards signals detected",
         .evidence = "Searched: CONTRIBUTING/CODE_OF_CONDUCT/SECURITY/GOVERNANCE in " + searched +
                     "; tests in " + join(std::span(TEST_DIR_PATTERNS).first(6), ", ") +
                     ", ...; CI configs; style configs",
         .advice = std::move(advice)});
  }
  std::string summary = join(details, "; ");
  if (score >= 10.0) advice.clear();  // capped: nothing more to earn
  return make_result(indicator_id, {.score = score,
                                    .process = "Tallied community-standard signals",
                                    .output = summary,
                                    .evidence = summary,
                                    .advice = std::move(advice)});
}

}  // namespace ostrameld
