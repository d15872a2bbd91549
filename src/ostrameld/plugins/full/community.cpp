#include "ostrameld/plugins/full/community.h"

#include <algorithm>
#include <array>
#include <map>
#include <new>

#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/ci.h"
#include "ostrameld/utils/ecosystem.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/yaml.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kIndicators{"community"sv};

constexpr std::size_t kCiBytes = 1 << 20;

// Policies, by the stem of their file name (lower case), and what each is.
struct Policy {
  std::string_view stem;
  std::string_view kind;
};
constexpr Policy kPolicies[] = {
    {"contributing", "contributing"},       {"code_of_conduct", "conduct"}, {"code-of-conduct", "conduct"},
    {"conduct", "conduct"},                 {"security", "security"},       {"governance", "governance"},
    {"support", "support"},
};

constexpr std::array kTestDirs{"tests"sv, "test"sv, "spec"sv, "__tests__"sv, "testthat"sv, "testing"sv,
                               "unittests"sv, "unit_tests"sv, "integration_tests"sv, "tinytest"sv,
                               ".test"sv};  // a Snakemake workflow's test configuration and data

// Style configurations of each ecosystem, by file name at the root.
constexpr std::array kStyleFiles{
    ".clang-format"sv,    ".clang-tidy"sv,      ".editorconfig"sv,      ".pre-commit-config.yaml"sv,
    ".flake8"sv,          "ruff.toml"sv,        ".ruff.toml"sv,         ".pylintrc"sv,
    "pylintrc"sv,         ".isort.cfg"sv,       ".style.yapf"sv,        ".pycodestyle"sv,
    "mypy.ini"sv,         ".mypy.ini"sv,        ".lintr"sv,             "rustfmt.toml"sv,
    ".rustfmt.toml"sv,    "clippy.toml"sv,      ".clippy.toml"sv,       ".eslintrc"sv,
    ".eslintrc.js"sv,     ".eslintrc.cjs"sv,    ".eslintrc.json"sv,     ".eslintrc.yml"sv,
    ".eslintrc.yaml"sv,   "eslint.config.js"sv, "eslint.config.mjs"sv,  "eslint.config.cjs"sv,
    "eslint.config.ts"sv, ".prettierrc"sv,      ".prettierrc.json"sv,   ".prettierrc.yml"sv,
    ".prettierrc.yaml"sv, ".prettierrc.js"sv,   "prettier.config.js"sv, "biome.json"sv,
    ".golangci.yml"sv,    ".golangci.yaml"sv,   ".golangci.toml"sv,     ".JuliaFormatter.toml"sv,
    "checkstyle.xml"sv,   ".scalafmt.conf"sv,   ".rubocop.yml"sv,       ".stylelintrc"sv,
    ".markdownlint.json"sv, ".markdownlint.yaml"sv, ".yamllint"sv,      ".yamllint.yml"sv,
    ".cmake-format.yaml"sv, ".cmake-format.py"sv, "tslint.json"sv,      ".swiftlint.yml"sv,
};
// pyproject.toml tables of style tools.
constexpr std::array kPyprojectStyle{"black"sv, "ruff"sv, "isort"sv, "pylint"sv, "flake8"sv, "yapf"sv, "mypy"sv};

// Test runners: the label reported and the pattern of a command that starts it.
struct Runner {
  std::string_view label;
  std::string_view pattern;
};
constexpr Runner kRunners[] = {
    {"pytest", R"(\b(?:py\.test|pytest)\b)"},
    {"tox", R"((?:^|[\s;&|(])tox(?:$|[\s;&|)]))"},
    {"nox", R"((?:^|[\s;&|(])nox(?:$|[\s;&|)]))"},
    {"python -m unittest", R"(\bpython[0-9.]*\s+-m\s+unittest\b)"},
    {"hatch test", R"(\bhatch\s+(?:test|run\s+\S*test))"},
    {"R CMD check", R"(\bR\s+CMD\s+check\b|rcmdcheck::|\bdevtools::check\b)"},
    {"testthat", R"(\bdevtools::test\b|\btestthat::test_(?:dir|local|check|file)\b|\btest_check\()"},
    {"tinytest", R"(\btinytest::)"},
    {"ctest", R"(\bctest\b|cmake\s+--build\s[^\n;&|]*--target\s+(?:test|check)\b)"},
    {"make check", R"(\bmake\b[^\n;&|]*\s(?:check|test|tests)\b)"},
    {"meson test", R"(\bmeson\s+test\b|\bninja\s+(?:-C\s+\S+\s+)?test\b)"},
    // The Jenkins project's pipeline library builds a plugin with mvn verify.
    {"mvn verify", R"(\bbuildPlugin(?:WithGradle)?\s*\()"},
    {"mvn verify", R"(\bmvnw?\b(?![^\n;&|]*(?:-DskipTests|-Dmaven\.test\.skip=true))[^\n;&|]*\s(?:test|verify|install|package)\b)"},
    {"gradle test", R"(\bgradlew?\b(?![^\n;&|]*-x\s+test)[^\n;&|]*\s(?:test|check|build)\b)"},
    {"npm test", R"(\b(?:npm|yarn|pnpm|bun)\s+(?:run\s+)?(?:test|t|coverage|cover|ci-test)(?::[\w:-]+)?\b)"},
    {"jest", R"(\b(?:jest|vitest|mocha|karma\s+start)\b)"},
    {"cargo test", R"(\bcargo\s+(?:\+\S+\s+)?(?:test|nextest|tarpaulin|llvm-cov)\b)"},
    {"go test", R"(\b(?:go|richgo)\s+test\b|\bgotestsum\b)"},
    {"Pkg.test", R"(Pkg\.test\b|julia-runtest|\bruntests\.jl\b)"},
    {"dotnet test", R"(\bdotnet\s+test\b)"},
    {"rspec", R"(\brspec\b|\brake\s+(?:test|spec)\b)"},
    {"invoke test", R"(\binv(?:oke)?(?:\s+-\S+)*\s+test\b)"},
    // Workflows are tested by running them on a small test profile or data set, and linted.
    {"nf-test", R"(\bnf-test\s+test\b)"},
    {"nextflow run -profile test", R"(\bnextflow\s+run\b[^\n;&|]*\s-profile\s+(?:\S*,)?test\b)"},
    {"snakemake --lint", R"(\bsnakemake\b[^\n;&|]*\s--lint\b)"},
    {"snakemake .test", R"(\bsnakemake\b[^\n;&|]*\s(?:--directory|-d)\s+\.test\b)"},
};

const std::vector<std::pair<std::string_view, Regex>>& runners() {
  static const auto table = [] {
    std::vector<std::pair<std::string_view, Regex>> t;
    for (const auto& r : kRunners) t.emplace_back(r.label, Regex(r.pattern, Regex::kMultiline));
    return t;
  }();
  return table;
}

// Strings a CI system runs as commands, wherever in its configuration they are.
bool command_key(std::string_view key) {
  static constexpr std::array kKeys{"run"sv,  "script"sv, "command"sv, "commands"sv, "before_script"sv, "test_script"sv,
                                    "build_script"sv, "bash"sv, "pwsh"sv, "powershell"sv, "cmd"sv, "sh"sv, "ps"sv};
  return std::find(kKeys.begin(), kKeys.end(), key) != kKeys.end() ||
         (key.size() > 7 && key.substr(key.size() - 7) == "_script");
}

void collect_strings(const Json& v, std::vector<std::string>& out) {
  if (v.is_string()) out.push_back(v.get<std::string>());
  else if (v.is_array() || v.is_object())
    for (const auto& e : v) collect_strings(e, out);
}

void collect_commands(const Json& v, std::vector<std::string>& out, int depth = 0) {
  if (depth > 40) return;
  if (v.is_object()) {
    for (auto it = v.begin(); it != v.end(); ++it) {
      if (command_key(it.key())) collect_strings(it.value(), out);
      else collect_commands(it.value(), out, depth + 1);
    }
  } else if (v.is_array()) {
    for (const auto& e : v) collect_commands(e, out, depth + 1);
  }
}

// Actions that run a test suite themselves, and reusable workflows of other repositories
// (whose steps cannot be read here; one named for tests is taken at its word).
void collect_actions(const Json& v, std::vector<std::string>& out, bool& templates, std::vector<std::string>& local,
                     int depth = 0) {
  if (depth > 40) return;
  if (v.is_object()) {
    if (auto u = v.find("uses"); u != v.end() && u->is_string()) {
      std::string uses = u->get<std::string>();
      std::string command;
      if (auto w = v.find("with"); w != v.end() && w->is_object())
        if (auto c = w->find("command"); c != w->end() && c->is_string()) command = c->get<std::string>();
      if (uses.find("r-lib/actions/check-r-package") != std::string::npos) out.emplace_back("R CMD check");
      if (uses.find("julia-actions/julia-runtest") != std::string::npos) out.emplace_back("Pkg.test");
      if (uses.find("actions-rs/cargo") != std::string::npos && (command == "test" || command == "nextest"))
        out.emplace_back("cargo test");
      if (uses.find("snakemake/snakemake-github-action") != std::string::npos) {
        std::string directory, args;
        if (auto w = v.find("with"); w != v.end() && w->is_object()) {
          if (auto d = w->find("directory"); d != w->end() && d->is_string()) directory = d->get<std::string>();
          if (auto a = w->find("args"); a != w->end() && a->is_string()) args = a->get<std::string>();
        }
        if (args.find("--lint") != std::string::npos) out.emplace_back("snakemake --lint");
        else if (directory.find(".test") != std::string::npos) out.emplace_back("snakemake .test");
      }
      // A composite action of this repository: its steps are read like the workflow's own.
      if (uses.rfind("./", 0) == 0 && uses.find("..") == std::string::npos && uses.find(".github/workflows/") == std::string::npos)
        local.push_back(uses.substr(2));
      bool workflow = uses.find(".github/workflows/") != std::string::npos && uses.rfind("./", 0) != 0;
      if (workflow) {
        std::string file = uses.substr(uses.rfind('/') + 1);
        if (ascii_lower(file).find("test") != std::string::npos) out.push_back("reusable workflow " + file.substr(0, file.find('@')));
        else templates = true;
      }
    }
    for (auto it = v.begin(); it != v.end(); ++it)
      if (it.key() != "uses") collect_actions(it.value(), out, templates, local, depth + 1);
  } else if (v.is_array()) {
    for (const auto& e : v) collect_actions(e, out, templates, local, depth + 1);
  }
}

// Variables a GitHub workflow sets in env: maps, at any level (the first setting wins).
void collect_env(const Json& v, std::map<std::string, std::string>& env, int depth = 0) {
  if (depth > 40 || !v.is_object()) {
    if (depth <= 40 && v.is_array())
      for (const auto& e : v) collect_env(e, env, depth + 1);
    return;
  }
  for (auto it = v.begin(); it != v.end(); ++it) {
    if (it.key() == "env" && it.value().is_object()) {
      for (auto e = it.value().begin(); e != it.value().end(); ++e)
        if (e.value().is_string() && env.size() < 256) env.emplace(e.key(), e.value().get<std::string>());
    } else {
      collect_env(it.value(), env, depth + 1);
    }
  }
}

// "${{ env.CARGO }} test" runs what the variable holds.
std::string expand_env(const std::string& command, const std::map<std::string, std::string>& env) {
  if (env.empty() || command.find("${{") == std::string::npos) return command;
  std::string out;
  std::size_t pos = 0;
  while (pos < command.size()) {
    std::size_t open = command.find("${{", pos);
    std::size_t close = open == std::string::npos ? open : command.find("}}", open + 3);
    if (close == std::string::npos) break;
    std::string_view expr = py_strip(std::string_view(command).substr(open + 3, close - open - 3));
    out.append(command, pos, open - pos);
    auto it = expr.rfind("env.", 0) == 0 ? env.find(std::string(expr.substr(4))) : env.end();
    if (it != env.end()) out += it->second;
    else out.append(command, open, close + 2 - open);
    pos = close + 2;
  }
  out.append(command, std::min(pos, command.size()), std::string::npos);
  return out;
}

// Targets asked of make ("make richtest", "make -C build unit"): their recipes are read.
std::vector<std::string> make_targets_in(std::string_view command) {
  static const Regex make(R"((?:^|[\s;&|(])(?:g?make)((?:[ \t]+[^\s;&|)]+)*))", Regex::kMultiline);
  std::vector<std::string> out;
  for (auto args : make.find_all_groups(command, 1)) {
    std::vector<std::string_view> tokens;
    for (std::size_t i = 0; i < args.size();) {
      while (i < args.size() && (args[i] == ' ' || args[i] == '\t')) ++i;
      std::size_t j = args.find_first_of(" \t", i);
      if (j == std::string_view::npos) j = args.size();
      if (j > i) tokens.push_back(args.substr(i, j - i));
      i = j;
    }
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      std::string_view t = tokens[i];
      if (t == "-C" || t == "-f" || t == "-j" || t == "-l" || t == "-o") {
        ++i;
        continue;
      }
      if (t.front() == '-' || t.find('=') != std::string_view::npos || t.find('$') != std::string_view::npos) continue;
      if (out.size() < 10) out.emplace_back(t);
    }
  }
  return out;
}

// "mvn -B", "./mvnw --batch-mode -Dx=y": Maven without a goal runs the pom's <defaultGoal>.
bool runs_bare_maven(std::string_view command) {
  static const Regex bare(R"((?:^|[\s;&|(])(?:\./)?mvnw?(?:[ \t]+-[^\s;&|)]*)*[ \t]*(?:$|[;&|)]))", Regex::kMultiline);
  return bare.search(command);
}

// GitLab's include: local: files of this repository, read like the configuration itself.
void collect_includes(const Json& v, CiTests& result) {
  auto add = [&](std::string path) {
    while (!path.empty() && path.front() == '/') path.erase(0, 1);
    if (path.empty() || path.find("..") != std::string::npos || path.find('*') != std::string::npos) {
      result.templates = true;
      return;
    }
    if (result.includes.size() < 20) result.includes.push_back(std::move(path));
  };
  if (v.is_string()) {
    std::string s = v.get<std::string>();
    if (s.find("://") == std::string::npos) add(std::move(s));
    else result.templates = true;
  } else if (v.is_array()) {
    for (const auto& e : v) collect_includes(e, result);
  } else if (v.is_object()) {
    if (auto l = v.find("local"); l != v.end() && l->is_string()) add(l->get<std::string>());
    else result.templates = true;  // a project, remote or template: not readable here
  }
}

bool change_event(std::string_view e) {
  return e == "push" || e == "pull_request" || e == "pull_request_target" || e == "merge_group" ||
         e == "workflow_call";
}

// Travis runs its language's own test command when a configuration gives no script.
std::string_view travis_default(std::string_view language) {
  if (language == "r") return "R CMD check";
  if (language == "node_js") return "npm test";
  if (language == "rust") return "cargo test";
  if (language == "go") return "go test";
  if (language == "julia") return "Pkg.test";
  if (language == "java") return "mvn verify";
  if (language == "ruby") return "rspec";
  if (language == "c" || language == "cpp") return "make check";
  return {};
}

// An unreadable document counts as an empty one: nobody can read what it says.
bool has_content(const Path& file, const Path& root) {
  std::string head;
  try {
    head = read_text_prefix(file, ReadMode::Replace, 4096, root);
  } catch (const OsError&) {
    return false;
  }
  return std::any_of(head.begin(), head.end(), [](char c) { return !std::isspace(static_cast<unsigned char>(c)); });
}

void merge_ci_tests(CiTests& into, CiTests& from) {
  auto merge = [](std::vector<std::string>& to, std::vector<std::string>& add) {
    for (auto& e : add)
      if (std::find(to.begin(), to.end(), e) == to.end()) to.push_back(std::move(e));
  };
  merge(into.commands, from.commands);
  merge(into.scripts, from.scripts);
  merge(into.make_targets, from.make_targets);
  into.bare_maven = into.bare_maven || from.bare_maven;
  into.templates = into.templates || from.templates;
}

// The recipe of a target of the root Makefile: its command lines, as text.
std::string make_recipe(const Path& root, const std::string& target) {
  std::string text;
  for (auto name : {"GNUmakefile"sv, "makefile"sv, "Makefile"sv}) {
    if (!file_seen(root / name, root)) continue;
    try {
      text = read_text_prefix(root / name, ReadMode::Replace, 256 * 1024, root);
    } catch (const OsError&) {
      return {};
    }
    break;
  }
  std::string recipe;
  bool in = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.front() == '\t') {
      if (in) recipe.append(line.substr(1)).push_back('\n');
      continue;
    }
    if (line.empty() || line.front() == '#') continue;
    in = false;
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || (colon + 1 < line.size() && line[colon + 1] == '=')) continue;
    std::string_view names = line.substr(0, colon);
    for (std::size_t i = 0; i < names.size();) {
      while (i < names.size() && (names[i] == ' ' || names[i] == '\t')) ++i;
      std::size_t j = names.find_first_of(" \t", i);
      if (j == std::string_view::npos) j = names.size();
      if (names.substr(i, j - i) == target) in = true;
      i = j;
    }
  }
  return recipe;
}

// Whether pom.xml's own <defaultGoal> (not a profile's) runs the tests.
bool maven_default_goal_tests(const Path& root) {
  if (!file_seen(root / "pom.xml", root)) return false;
  std::string pom;
  try {
    pom = read_text_prefix(root / "pom.xml", ReadMode::Replace, 1 << 20, root);
  } catch (const OsError&) {
    return false;
  }
  if (auto p = pom.find("<profiles>"); p != std::string::npos) {
    auto e = pom.find("</profiles>", p);
    pom.erase(p, e == std::string::npos ? std::string::npos : e + 11 - p);
  }
  static const Regex goal(R"(<defaultGoal>\s*([^<]*)</defaultGoal>)");
  auto g = goal.search_group(pom, 1);
  static const Regex tests(R"((?:^|\s)(?:test|verify|install|package|deploy)(?:$|\s))");
  return g && tests.search(*g);
}

}  // namespace

std::vector<std::string> test_commands_in(std::string_view command) {
  // Installing a test runner runs no test, and a comment runs nothing.
  static const Regex installs(
      R"((?:^|\s)(?:pip[0-9.]*|uv\s+pip|pipx|conda|mamba|micromamba|apt(?:-get)?|brew|gem|choco|dnf|yum|apk|npm|yarn|pnpm|cargo|go)\s+(?:[-\w=]+\s+)*(?:install|add|i|get)\b|install\.packages|\bpak::|\bremotes::install|BiocManager::install|-m\s+pip\s+install)");
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < command.size()) {
    std::size_t end = command.find_first_of("\n;&|", start);
    if (end == std::string_view::npos) end = command.size();
    std::string_view part = py_strip(command.substr(start, end - start));
    start = end + 1;
    if (part.empty() || part.front() == '#' || installs.search(part)) continue;
    for (const auto& [label, re] : runners())
      if (re.search(part) && std::find(out.begin(), out.end(), label) == out.end()) out.emplace_back(label);
  }
  return out;
}

std::vector<std::string> scripts_in(std::string_view command) {
  static const Regex path(R"((?m)(?:^|[\s;&|(])(?:(?:bash|sh)\s+)?((?:\./)?[\w.-]+(?:/[\w.-]+)+|[\w.-]+\.sh)(?=$|[\s;&|)]))");
  std::vector<std::string> out;
  for (auto p : path.find_all_groups(command, 1)) {
    std::string s(p);
    if (s.rfind("./", 0) == 0) s.erase(0, 2);
    if (s.find("..") != std::string::npos || s.front() == '/' || s.front() == '-') continue;
    if (std::find(out.begin(), out.end(), s) == out.end()) out.push_back(std::move(s));
  }
  return out;
}

CiTests read_ci_tests(std::string_view system, std::string_view text) {
  CiTests result;
  auto add = [&](std::string label) {
    if (std::find(result.commands.begin(), result.commands.end(), label) == result.commands.end())
      result.commands.push_back(std::move(label));
  };
  if (system == "Jenkins") {
    // A Groovy pipeline: its text is all there is to read.
    for (auto& c : test_commands_in(text)) add(c);
    result.on_change = !result.commands.empty();
    return result;
  }
  // GitLab's "!reference [job, script]" reuses another job's lines: read as the list it names.
  std::string gitlab;
  if (system == "GitLab CI" && text.find("!reference") != std::string_view::npos) {
    gitlab.assign(text);
    for (std::size_t at; (at = gitlab.find("!reference")) != std::string::npos;) gitlab.erase(at, 10);
    text = gitlab;
  }
  // GitLab's templates put a header document (spec: inputs:) before the jobs.
  std::vector<Json> docs;
  try {
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t sep = text.find("\n---", start);
      while (sep != std::string_view::npos && sep + 4 < text.size() && text[sep + 4] != '\n' && text[sep + 4] != '\r')
        sep = text.find("\n---", sep + 4);
      std::string_view part = text.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep + 1 - start);
      if (!py_strip(part).empty()) docs.push_back(load_yaml(part));
      if (sep == std::string_view::npos || docs.size() > 16) break;
      start = sep + 4;
    }
  } catch (const std::bad_alloc&) {
    throw;  // the memory limit ends the assessment; it is no finding
  } catch (const std::exception&) {
    return result;  // a configuration its CI system cannot read runs nothing
  }
  std::erase_if(docs, [](const Json& d) { return !d.is_object(); });
  if (docs.empty()) return result;
  const Json& doc = docs.size() > 1 && docs.front().contains("spec") ? docs[1] : docs.front();
  std::map<std::string, std::string> env;
  for (const auto& d : docs) collect_env(d, env);
  for (const auto& d : docs) {
    std::vector<std::string> commands;
    collect_commands(d, commands);
    for (auto& c : commands) {
      c = expand_env(c, env);
      for (auto& label : test_commands_in(c)) add(label);
      for (auto& script : scripts_in(c))
        if (std::find(result.scripts.begin(), result.scripts.end(), script) == result.scripts.end())
          result.scripts.push_back(std::move(script));
      for (auto& target : make_targets_in(c))
        if (std::find(result.make_targets.begin(), result.make_targets.end(), target) == result.make_targets.end())
          result.make_targets.push_back(std::move(target));
      result.bare_maven = result.bare_maven || runs_bare_maven(c);
    }
    std::vector<std::string> actions;
    collect_actions(d, actions, result.templates, result.local_actions);
    for (auto& a : actions) add(a);
    if (system == "GitLab CI" && d.contains("include")) collect_includes(d["include"], result);
  }
  // Jobs defined elsewhere: GitLab's include of other projects, CircleCI's orbs.
  if ((system == "GitLab CI" && doc.contains("include") && result.includes.empty()) ||
      (system == "CircleCI" && doc.contains("orbs")))
    result.templates = true;
  if (system == "GitHub Actions") {
    // YAML 1.1 reads the key "on" as true.
    const Json* on = doc.contains("on") ? &doc["on"] : doc.contains("true") ? &doc["true"] : nullptr;
    if (on && on->is_string()) result.on_change = change_event(on->get<std::string>());
    else if (on && on->is_array())
      result.on_change = std::any_of(on->begin(), on->end(), [](const Json& e) { return e.is_string() && change_event(e.get<std::string>()); });
    else if (on && on->is_object())
      for (auto it = on->begin(); it != on->end(); ++it) result.on_change = result.on_change || change_event(it.key());
  } else if (system == "Azure Pipelines") {
    auto none = [&](const char* key) { return doc.contains(key) && doc[key].is_string() && doc[key] == "none"; };
    result.on_change = !(none("trigger") && none("pr"));
  } else {
    // GitLab, Travis, CircleCI, Cirrus, AppVeyor, Bitbucket and Woodpecker build every push.
    result.on_change = true;
  }
  if (system == "Travis CI" && !doc.contains("script") && doc.contains("language") && doc["language"].is_string())
    if (auto d = travis_default(doc["language"].get<std::string>()); !d.empty()) add(std::string(d));
  return result;
}

std::span<const std::string_view> CommunityPlugin::supported_indicators() const { return kIndicators; }

CheckResult CommunityPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const Path& root = ctx.repo_path;
  const ProjectMetadata& m = ctx.metadata();
  Ecosystems eco = detect_ecosystems(root);

  // Policies with content, at the root, in .github/ or in docs/.
  std::vector<std::string> documents, empty;
  std::map<std::string_view, std::string> by_kind;
  for (std::string_view dir : {""sv, ".github"sv, "docs"sv}) {
    Path base = dir.empty() ? root : root / dir;
    if (!dir.empty() && !dir_seen(base, root)) continue;
    std::vector<std::string> names = list_directory_seen(base, root);
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
      std::string stem = ascii_lower(file_stem(name));
      auto policy = std::find_if(std::begin(kPolicies), std::end(kPolicies), [&](const Policy& p) { return p.stem == stem; });
      if (policy == std::end(kPolicies) || !file_seen(base / name, root)) continue;
      std::string rel = dir.empty() ? name : std::string(dir) + "/" + name;
      if (!has_content(base / name, root)) {
        empty.push_back(rel);
        continue;
      }
      documents.push_back(rel);
      by_kind.emplace(policy->kind, rel);
    }
  }

  // Tests where each ecosystem keeps them.
  std::vector<std::string> tests;
  std::size_t test_dirs = 0;
  for (const auto& dir : m.directories) {
    int depth = static_cast<int>(std::count(dir.begin(), dir.end(), '/'));
    std::string last = ascii_lower(dir.substr(dir.rfind('/') + 1));
    if (depth > 4 || std::find(kTestDirs.begin(), kTestDirs.end(), last) == kTestDirs.end()) continue;
    // A test folder holds tests only when it is not inside another one.
    bool nested = std::any_of(tests.begin(), tests.end(), [&](const std::string& t) { return dir.rfind(t, 0) == 0; });
    if (nested) continue;
    ++test_dirs;
    if (tests.size() < 20) tests.push_back(dir + "/");
  }
  for (const auto& f : m.test_files) {
    bool inside = std::any_of(tests.begin(), tests.end(), [&](const std::string& t) { return f.rfind(t, 0) == 0; });
    if (!inside && tests.size() < 20) tests.push_back(f);
  }
  bool has_tests = test_dirs > 0 || !m.test_files.empty();

  // CI that runs tests on changes.
  std::vector<CiConfig> configs;
  try {
    configs = find_ci_configs(root);
  } catch (const OsError&) {
    // .github/workflows nobody may list: the CI there is unknown, the rest is still read.
  }
  for (auto [rel, system] : {std::pair{".cirrus.yml"sv, "Cirrus CI"sv}, {"appveyor.yml"sv, "AppVeyor"sv}, {".appveyor.yml"sv, "AppVeyor"sv}})
    if (file_seen(root / rel, root)) configs.push_back({root / rel, std::string(system)});
  std::vector<std::string> systems, commands;
  bool ci_tests_on_change = false, ci_tests = false, templates = false;
  for (const auto& c : configs) {
    if (!file_seen(c.path, root)) continue;
    if (std::find(systems.begin(), systems.end(), c.ci_name) == systems.end()) systems.push_back(c.ci_name);
    std::string config;
    try {
      config = read_text_prefix(c.path, ReadMode::Replace, kCiBytes, root);
    } catch (const OsError&) {
      continue;  // an unreadable configuration adds nothing, as in the default profile
    }
    CiTests t = read_ci_tests(c.ci_name, config);
    // Files this configuration pulls in from the repository run their steps in the same
    // jobs: composite actions (GitHub) and local includes (GitLab), two levels deep, at
    // most twenty files.
    struct Pending {
      std::string path;
      int level;
      bool action;
    };
    std::vector<Pending> pending;
    for (const auto& a : t.local_actions) pending.push_back({a, 0, true});
    for (const auto& inc : t.includes) pending.push_back({inc, 0, false});
    std::vector<std::string> followed;
    for (std::size_t i = 0; i < pending.size() && followed.size() < 20; ++i) {
      Pending p = pending[i];
      while (!p.path.empty() && p.path.back() == '/') p.path.pop_back();
      if (p.path.empty() || std::find(followed.begin(), followed.end(), p.path) != followed.end()) continue;
      followed.push_back(p.path);
      std::vector<Path> files;
      if (p.action) files = {root / p.path / "action.yml", root / p.path / "action.yaml"};
      else files = {root / p.path};
      for (const auto& file : files) {
        if (!file_seen(file, root)) continue;
        std::string text;
        try {
          text = read_text_prefix(file, ReadMode::Replace, kCiBytes, root);
        } catch (const OsError&) {
          break;
        }
        CiTests more = read_ci_tests(p.action ? "GitHub Actions" : c.ci_name, text);
        merge_ci_tests(t, more);
        if (p.level < 1) {
          for (const auto& a : more.local_actions) pending.push_back({a, p.level + 1, true});
          for (const auto& inc : more.includes) pending.push_back({inc, p.level + 1, false});
        }
        break;
      }
    }
    // Targets asked of make run their recipes; a goal-less mvn runs the pom's defaultGoal.
    for (const auto& target : t.make_targets)
      for (auto& label : test_commands_in(make_recipe(root, target)))
        if (std::find(t.commands.begin(), t.commands.end(), label) == t.commands.end()) t.commands.push_back(label);
    if (t.bare_maven && maven_default_goal_tests(root) &&
        std::find(t.commands.begin(), t.commands.end(), "mvn verify") == t.commands.end())
      t.commands.emplace_back("mvn verify");
    // Steps that run the project's own scripts run what those scripts run: followed two
    // levels deep, inside the repository only.
    std::vector<std::string> queue = t.scripts, seen;
    for (int level = 0; level < 2 && !queue.empty(); ++level) {
      std::vector<std::string> next;
      for (const auto& rel : queue) {
        if (seen.size() >= 20 || std::find(seen.begin(), seen.end(), rel) != seen.end()) continue;
        seen.push_back(rel);
        if (!file_seen(root / rel, root)) continue;
        std::string script;
        try {
          script = read_text_prefix(root / rel, ReadMode::Replace, 64 * 1024, root);
        } catch (const OsError&) {
          continue;
        }
        for (auto& label : test_commands_in(script))
          if (std::find(t.commands.begin(), t.commands.end(), label) == t.commands.end()) t.commands.push_back(label);
        for (auto& s : scripts_in(script)) next.push_back(std::move(s));
      }
      queue = std::move(next);
    }
    for (auto& label : t.commands)
      if (std::find(commands.begin(), commands.end(), label) == commands.end()) commands.push_back(label);
    ci_tests = ci_tests || !t.commands.empty();
    templates = templates || t.templates;
    ci_tests_on_change = ci_tests_on_change || (!t.commands.empty() && t.on_change);
  }

  // Bioconductor builds and checks every package of its own on each push to its git and
  // nightly: that is the package's CI, though no file here configures it.
  if (const MetadataSource* d = m.find("DESCRIPTION"); d && d->data.is_object()) {
    auto views = d->data.find("biocViews");
    if (views != d->data.end() && views->is_string() && !py_strip(views->get<std::string>()).empty()) {
      systems.emplace_back("Bioconductor build system");
      if (std::find(commands.begin(), commands.end(), "R CMD check") == commands.end()) commands.emplace_back("R CMD check");
      ci_tests = ci_tests_on_change = true;
    }
  }

  // Style configuration.
  std::vector<std::string> style;
  for (auto name : kStyleFiles)
    if (file_seen(root / name, root)) style.emplace_back(name);
  if (const MetadataSource* py = m.find("pyproject.toml"); py && py->data.is_object() && py->data.contains("tool")) {
    const Json& tool = py->data["tool"];
    for (auto t : kPyprojectStyle)
      if (tool.is_object() && tool.contains(std::string(t))) style.push_back("pyproject.toml [tool." + std::string(t) + "]");
  }
  if (style.empty() && eco.go) style.emplace_back("gofmt (the language's own format)");

  double score = 0.0;
  std::vector<std::string> advice;
  if (by_kind.count("contributing")) score += 2.0;
  else advice.push_back(eco.r ? "Add a CONTRIBUTING.md (usethis::use_tidy_contributing() writes one to .github/)."
                              : "Add a CONTRIBUTING.md that says how to report problems, propose changes and run the tests.");
  if (by_kind.count("conduct")) score += 1.5;
  else advice.push_back(eco.r ? "Add a code of conduct (usethis::use_code_of_conduct(contact = \"you@example.org\"), with the address that hears reports)."
                              : "Add a CODE_OF_CONDUCT.md (the Contributor Covenant is the usual one).");
  if (by_kind.count("security") || by_kind.count("support") || by_kind.count("governance")) score += 0.5;
  for (const auto& e : empty) advice.push_back(e + " is empty: write the policy, or remove the file.");
  if (has_tests) score += 3.0;
  else advice.push_back(eco.r      ? "Add tests with testthat (usethis::use_testthat())."
                        : eco.python ? "Add tests under tests/ and run them with pytest."
                        : eco.rust   ? "Add tests (#[test] functions, or tests/ for integration tests)."
                        : eco.go     ? "Add tests in *_test.go files beside the code."
                        : eco.julia  ? "Add tests in test/runtests.jl."
                        : eco.maven || eco.gradle ? "Add tests under src/test/java."
                        : eco.node   ? "Add tests and an npm test script."
                                     : "Add automated tests and a way to run them (ctest, make check).");
  if (ci_tests_on_change) score += 2.5;
  else if (ci_tests) {
    score += 1.0;
    advice.push_back("Run the CI that tests the code on every push and pull request, not only on a schedule or by hand.");
  } else if (templates) {
    score += 1.0;
    advice.push_back("The CI's jobs come from templates of other repositories (include:, reusable workflows, "
                     "orbs) that cannot be read here: make sure one of them runs the tests, or run them in a "
                     "step of your own.");
  } else {
    advice.push_back(systems.empty() ? "Run the tests in CI on every push and pull request (e.g. a GitHub Actions workflow)."
                                     : "The CI configuration runs no tests: add a step that runs them.");
  }
  if (!style.empty()) score += 0.5;
  else advice.push_back(eco.python ? "Configure a formatter and linter (ruff in pyproject.toml)."
                        : eco.r    ? "Add a .lintr (lintr) and format with styler."
                        : eco.rust ? "Add a rustfmt.toml and run cargo fmt --check in CI."
                        : eco.cmake ? "Add a .clang-format so that contributors format alike."
                                    : "Add an .editorconfig or the ecosystem's formatter configuration.");

  std::vector<std::string> parts;
  parts.push_back(documents.empty() ? "no community policies" : std::to_string(documents.size()) + " policies");
  parts.push_back(has_tests ? "tests" : "no tests");
  parts.push_back(ci_tests_on_change ? "CI runs the tests (" + join(systems, ", ") + ")" : "no CI that runs tests on changes");
  Json facts{{"documents", documents},
             {"tests", tests},
             {"ci_test_commands", commands},
             {"style", style},
             {"ci_systems", systems},
             {"ci_templates", templates},
             {"empty_documents", empty}};
  return make_result(indicator_id, {.score = score,
                                    .process = "Looked for community policies, tests where each ecosystem keeps "
                                               "them, CI steps that run tests and style configuration",
                                    .output = join(parts, "; "),
                                    .evidence = join(documents, ", ") + (commands.empty() ? "" : "; CI runs " + join(commands, ", ")),
                                    .advice = std::move(advice),
                                    .facts = std::move(facts)});
}

}  // namespace ostrameld
