#include <algorithm>
#include <array>

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
    Kind{"vcpkg.json", metadata::read_vcpkg},
    Kind{"conanfile.txt", metadata::read_conanfile},
    Kind{"conanfile.py", metadata::read_conanfile},
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

constexpr std::array kReadmes{
    "README.md"sv, "README.rst"sv, "README"sv, "README.txt"sv, "README.adoc"sv, "README.org"sv,
    "README.markdown"sv, "readme.md"sv, "Readme.md"sv, "ReadMe.md"sv, "readme.rst"sv, "readme.txt"sv,
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
  } catch (const std::exception& e) {
    s.problem = e.what();
  }
  out.push_back(std::move(s));
}

}  // namespace

ProjectMetadata read_project_metadata(const Path& root) {
  ProjectMetadata m;
  for (const auto& kind : kRootSources) {
    Path file = root / kind.name;
    if (is_file(file, root)) read_source(root, file, kind.name, kind.read, m.sources);
  }
  for (std::string_view dir : {""sv, "docs"sv, ".github"sv}) {
    if (!m.readme_path.empty()) break;
    Path base = dir.empty() ? root : root / dir;
    for (std::string_view name : kReadmes) {
      Path file = base / name;
      if (!is_file(file, root)) continue;
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
      return pruned ? WalkAction::Prune : WalkAction::Continue;
    }
    if (!is_file(e, root)) return WalkAction::Continue;
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
  });
  return m;
}

}  // namespace ostrameld
