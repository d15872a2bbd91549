#include <algorithm>
#include <array>
#include <new>

#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;
using Reader = void (*)(std::string_view, MetadataSource&);

struct Kind {
  std::string_view name;  // the file name, also the source's kind
  Reader read;
};

// The root's metadata files, in the order their records are kept.
constexpr std::array kRootSources{
    Kind{"CITATION.cff", metadata::read_cff},
    Kind{"codemeta.json", metadata::read_codemeta},
    Kind{".zenodo.json", metadata::read_zenodo},
    Kind{"pyproject.toml", metadata::read_pyproject},
    Kind{"setup.cfg", metadata::read_setup_cfg},
    Kind{"setup.py", metadata::read_setup_py},
    Kind{"DESCRIPTION", metadata::read_description},
    Kind{"package.json", metadata::read_package_json},
    Kind{"lerna.json", metadata::read_workspace_list},
    Kind{"pnpm-workspace.yaml", metadata::read_workspace_list},
    Kind{"Cargo.toml", metadata::read_cargo},
    Kind{"pom.xml", metadata::read_pom},
    Kind{"Project.toml", metadata::read_julia_project},
    Kind{"requirements.txt", metadata::read_requirements},
    Kind{"environment.yml", metadata::read_environment},
    Kind{"environment.yaml", metadata::read_environment},
    Kind{"go.mod", metadata::read_go_mod},
    Kind{"Gemfile", metadata::read_gemfile},
    Kind{"CMakeLists.txt", metadata::read_cmake},
    Kind{"configure.ac", metadata::read_configure_ac},
    Kind{"configure.in", metadata::read_configure_ac},
    Kind{"vcpkg.json", metadata::read_vcpkg},
    Kind{"conanfile.txt", metadata::read_conanfile},
    Kind{"conanfile.py", metadata::read_conanfile},
    Kind{"nextflow.config", metadata::read_nextflow_config},
    Kind{"ro-crate-metadata.json", metadata::read_ro_crate},
};

// Manifests of components below the root: read as sources of their own.
constexpr std::array kNestedManifests{
    Kind{"pyproject.toml", metadata::read_pyproject},
    Kind{"setup.cfg", metadata::read_setup_cfg},
    Kind{"DESCRIPTION", metadata::read_description},
    Kind{"package.json", metadata::read_package_json},
    Kind{"Cargo.toml", metadata::read_cargo},
    Kind{"pom.xml", metadata::read_pom},
    Kind{"Project.toml", metadata::read_julia_project},
};

// What the walk passes over: other projects' code, environments and build output.
constexpr std::array kPruned{
    ".git"sv,         "node_modules"sv, ".venv"sv,      "venv"sv,        ".tox"sv,
    ".nox"sv,         "__pycache__"sv,  "target"sv,     "dist"sv,        "vendor"sv,
    "third_party"sv,  "thirdparty"sv,   "3rdparty"sv,   "external"sv,    "extern"sv,
    ".cache"sv,       "site-packages"sv, "bower_components"sv, "renv"sv, "packrat"sv,
    "_build"sv,       ".eggs"sv,        ".mypy_cache"sv, ".pytest_cache"sv,
};

constexpr std::size_t kMaxWalkEntries = 200'000;
constexpr int kMaxManifestDepth = 4;
constexpr std::size_t kMaxNestedManifests = 500;
constexpr std::size_t kReadmeChars = 256 * 1024;

// README forms in order of preference, lower case: the name is matched without case.
constexpr std::array kReadmes{
    "readme.md"sv,  "readme.rst"sv, "readme.adoc"sv, "readme.markdown"sv, "readme.org"sv,
    "readme.txt"sv, "readme"sv,     "readme.asciidoc"sv, "readme.rdoc"sv,
};

// Names worth remembering wherever they are (schemas, workflows, bibliographies).
bool notable(std::string_view name) {
  std::string lower = ascii_lower(name);
  auto ends = [&](std::string_view s) {
    return lower.size() > s.size() && lower.compare(lower.size() - s.size(), s.size(), s) == 0;
  };
  return ends(".schema.json") || ends(".cwl") || ends(".wdl") || ends(".smk") || ends(".nf") ||
         ends(".bib") || ends(".ttl") || ends(".jsonld") || ends(".xsd") || ends(".ipynb") ||
         lower == "snakefile" || lower == "nextflow.config" || lower.rfind("openapi.", 0) == 0 ||
         lower.rfind("swagger.", 0) == 0 || lower == "go.mod" || lower == "setup.py" ||
         lower == "conanfile.txt" || lower == "conanfile.py" || lower == "vcpkg.json" ||
         lower == "environment.yml" || lower == "environment.yaml" ||
         (lower.rfind("requirements", 0) == 0 && ends(".txt"));
}

constexpr std::array kSourceSuffixes{
    ".c"sv,   ".h"sv,   ".cc"sv,   ".cpp"sv, ".cxx"sv,   ".hpp"sv,  ".hh"sv,    ".hxx"sv,  ".cu"sv,
    ".py"sv,  ".pyx"sv, ".R"sv,    ".r"sv,   ".jl"sv,    ".rs"sv,   ".go"sv,    ".java"sv, ".kt"sv,
    ".scala"sv, ".js"sv, ".mjs"sv, ".cjs"sv, ".ts"sv,    ".tsx"sv,  ".jsx"sv,   ".vue"sv,  ".rb"sv,
    ".pl"sv,  ".pm"sv,  ".sh"sv,   ".bash"sv, ".f"sv,    ".f90"sv,  ".f95"sv,   ".F90"sv,  ".for"sv,
    ".m"sv,   ".swift"sv, ".cs"sv, ".php"sv, ".lua"sv,   ".cmake"sv, ".hs"sv,   ".ml"sv,   ".ex"sv,
    ".exs"sv, ".dart"sv, ".zig"sv, ".nim"sv, ".Rmd"sv,   ".qmd"sv,
};

constexpr std::size_t kMaxSourceFiles = 100'000;
void read_source(const Path& root, const Path& file, std::string_view kind, Reader read,
                 std::vector<MetadataSource>& out) {
  MetadataSource s;
  s.name = std::string(kind);
  s.path = relative_text(file, root);
  try {
    std::string text = read_text(file, ReadMode::Replace, root);
    read(text, s);
  } catch (const OsError& e) {
    s.problem = std::string("unreadable: ") + e.what();
  } catch (const std::bad_alloc&) {
    throw;  // the memory limit ends the assessment; it is no finding
  } catch (const std::exception& e) {
    s.problem = e.what();
  }
  out.push_back(std::move(s));
}

}  // namespace

bool is_source_file_name(std::string_view name) {
  std::string_view suffix = file_suffix(name);
  return !suffix.empty() && std::find(kSourceSuffixes.begin(), kSourceSuffixes.end(), suffix) != kSourceSuffixes.end();
}

bool is_test_file_name(std::string_view name) {
  std::string_view suffix = file_suffix(name);
  std::string_view stem = file_stem(name);
  auto ends = [&](std::string_view s) { return stem.size() > s.size() && stem.substr(stem.size() - s.size()) == s; };
  auto starts = [&](std::string_view s) { return stem.size() > s.size() && stem.substr(0, s.size()) == s; };
  if (suffix == ".py") return starts("test_") || ends("_test");
  if (suffix == ".go") return ends("_test");
  if (suffix == ".R" || suffix == ".r") return starts("test-") || starts("test_");
  if (suffix == ".java" || suffix == ".kt" || suffix == ".scala") return ends("Test") || ends("Tests") || starts("Test");
  if (suffix == ".rb") return ends("_spec") || ends("_test");
  if (suffix == ".jl") return stem == "runtests";
  if (suffix == ".js" || suffix == ".ts" || suffix == ".jsx" || suffix == ".tsx" || suffix == ".mjs" || suffix == ".cjs")
    return ends(".test") || ends(".spec");
  if (suffix == ".c" || suffix == ".cc" || suffix == ".cpp" || suffix == ".cxx" || suffix == ".rs")
    return starts("test_") || ends("_test") || ends("_tests") || starts("test-");
  return false;
}

ProjectMetadata read_project_metadata(const Path& root) {
  ProjectMetadata m;
  for (const auto& kind : kRootSources) {
    Path file = root / kind.name;
    bool present = false;
    try {
      present = is_file(file, root);
    } catch (const OsError& e) {  // a link into a directory nobody may search
      m.sources.push_back({.name = std::string(kind.name),
                           .path = std::string(kind.name),
                           .problem = std::string("unreadable: ") + e.what()});
    }
    if (present) read_source(root, file, kind.name, kind.read, m.sources);
  }
  for (std::string_view dir : {""sv, "docs"sv, ".github"sv}) {
    if (!m.readme_path.empty()) break;
    Path base = dir.empty() ? root : root / dir;
    if (!dir.empty() && !dir_seen(base, root)) continue;
    std::vector<std::string> names;
    try {
      names = list_directory(base, root);
    } catch (const OsError&) {
      continue;
    }
    std::vector<std::string> ordered;
    for (std::string_view wanted : kReadmes)
      for (const auto& name : names)
        if (ascii_lower(name) == wanted) ordered.push_back(name);
    for (const auto& name : ordered) {
      Path file = base / name;
      if (!file_seen(file, root)) continue;
      try {
        m.readme_text = read_text_prefix(file, ReadMode::Replace, kReadmeChars, root);
        m.readme_path = relative_text(file, root);
      } catch (const OsError&) {
        continue;
      }
      break;
    }
  }

  std::size_t entries = 0, nested = 0;
  walk_tree(root, root, [&](const WalkEntry& e) {
    if (++entries > kMaxWalkEntries) {
      m.walk_truncated = true;
      return WalkAction::Stop;
    }
    if (e.is_real_directory) {
      bool pruned = std::find(kPruned.begin(), kPruned.end(), e.name) != kPruned.end();
      // A CMake build tree inside the checkout is build output, not the project.
      if (!pruned && (e.name.rfind("build", 0) == 0 || e.name.rfind("cmake-build", 0) == 0 || e.name == "out"))
        pruned = file_seen(Path(std::string(e.path)) / "CMakeCache.txt", root);
      if (!pruned) m.directories.emplace_back(e.rel);
      return pruned ? WalkAction::Prune : WalkAction::Continue;
    }
    if (e.is_link ? !file_seen(Path(std::string(e.path)), root) : !e.is_regular)
      return WalkAction::Continue;
    if (is_source_file_name(e.name)) {
      if (m.source_files.size() < kMaxSourceFiles) m.source_files.emplace_back(e.rel);
      else m.walk_truncated = true;
      // Maven and Gradle run the tests under src/test: a class in src/main named *Test
      // is code (a test helper shipped with the library), not a test.
      bool main_code = ("/" + std::string(e.rel)).find("/src/main/") != std::string::npos;
      if (is_test_file_name(e.name) && !main_code) m.test_files.emplace_back(e.rel);
    }
    int depth = static_cast<int>(std::count(e.rel.begin(), e.rel.end(), '/'));
    if (depth >= 1 && depth <= kMaxManifestDepth && nested < kMaxNestedManifests) {
      for (const auto& kind : kNestedManifests) {
        if (e.name != kind.name) continue;
        read_source(root, Path(std::string(e.path)), kind.name, kind.read, m.sources);
        ++nested;
      }
    }
    if (notable(e.name)) m.files.push_back({std::string(e.rel), std::string(e.name)});
    return WalkAction::Continue;
  }, [&](std::string_view rel, const OsError&) {
    m.unlistable_directories.push_back(rel.empty() ? std::string(".") : sanitize_utf8(rel));
  });
  return m;
}

}  // namespace ostrameld
