#include "ostrameld/plugins/full/dependencies.h"

#include <algorithm>
#include <chrono>
#include <array>
#include <cmath>
#include <set>
#include <unordered_set>

#include "ostrameld/metadata/model.h"
#include "ostrameld/plugins/full/evidence.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kIndicators{"software_dependencies"sv};

// Manifests that declare dependencies, and the ecosystem each belongs to.
struct Manifest {
  std::string_view kind;
  std::string_view ecosystem;
};
constexpr Manifest kManifests[] = {
    {"pyproject.toml", "python"}, {"setup.cfg", "python"},      {"requirements.txt", "python"},
    {"environment.yml", "conda"}, {"environment.yaml", "conda"}, {"DESCRIPTION", "r"},
    {"package.json", "node"},     {"Cargo.toml", "rust"},        {"pom.xml", "java"},
    {"Project.toml", "julia"},    {"go.mod", "go"},              {"Gemfile", "ruby"},
    {"CMakeLists.txt", "cmake"},  {"configure.ac", "autotools"}, {"configure.in", "autotools"},
    {"vcpkg.json", "cmake"},       {"conanfile.txt", "cmake"},
    {"conanfile.py", "cmake"},    {"nextflow.config", "nextflow"}, {"Snakefile", "snakemake"},
};

// Lock files and the ecosystem whose versions they pin.
constexpr std::pair<std::string_view, std::string_view> kLockFiles[] = {
    {"poetry.lock", "python"},       {"uv.lock", "python"},         {"Pipfile.lock", "python"},
    {"pdm.lock", "python"},          {"pixi.lock", "conda"},        {"conda-lock.yml", "conda"},
    {"renv.lock", "r"},              {"package-lock.json", "node"}, {"npm-shrinkwrap.json", "node"},
    {"yarn.lock", "node"},           {"pnpm-lock.yaml", "node"},    {"bun.lockb", "node"},
    {"Cargo.lock", "rust"},          {"Manifest.toml", "julia"},    {"go.sum", "go"},
    {"Gemfile.lock", "ruby"},        {"conan.lock", "cmake"},
};

// Python's own modules: never a dependency to declare.
constexpr std::string_view kPythonStdlib[] = {
    "abc"sv, "aifc"sv, "antigravity"sv, "argparse"sv, "array"sv, "ast"sv, "asynchat"sv,
    "asyncio"sv, "asyncore"sv, "atexit"sv, "audioop"sv, "base64"sv, "bdb"sv, "binascii"sv,
    "bisect"sv, "builtins"sv, "bz2"sv, "cProfile"sv, "calendar"sv, "cgi"sv, "cgitb"sv,
    "chunk"sv, "cmath"sv, "cmd"sv, "code"sv, "codecs"sv, "codeop"sv, "collections"sv,
    "colorsys"sv, "compileall"sv, "concurrent"sv, "configparser"sv, "contextlib"sv,
    "contextvars"sv, "copy"sv, "copyreg"sv, "crypt"sv, "csv"sv, "ctypes"sv, "curses"sv,
    "dataclasses"sv, "datetime"sv, "dbm"sv, "decimal"sv, "difflib"sv, "dis"sv, "distutils"sv,
    "doctest"sv, "email"sv, "encodings"sv, "ensurepip"sv, "enum"sv, "errno"sv, "faulthandler"sv,
    "fcntl"sv, "filecmp"sv, "fileinput"sv, "fnmatch"sv, "fractions"sv, "ftplib"sv,
    "functools"sv, "gc"sv, "genericpath"sv, "getopt"sv, "getpass"sv, "gettext"sv, "glob"sv,
    "graphlib"sv, "grp"sv, "gzip"sv, "hashlib"sv, "heapq"sv, "hmac"sv, "html"sv, "http"sv,
    "idlelib"sv, "imaplib"sv, "imghdr"sv, "imp"sv, "importlib"sv, "inspect"sv, "io"sv,
    "ipaddress"sv, "itertools"sv, "json"sv, "keyword"sv, "lib2to3"sv, "linecache"sv, "locale"sv,
    "logging"sv, "lzma"sv, "mailbox"sv, "mailcap"sv, "marshal"sv, "math"sv, "mimetypes"sv,
    "mmap"sv, "modulefinder"sv, "msilib"sv, "msvcrt"sv, "multiprocessing"sv, "netrc"sv, "nis"sv,
    "nntplib"sv, "nt"sv, "ntpath"sv, "nturl2path"sv, "numbers"sv, "opcode"sv, "operator"sv,
    "optparse"sv, "os"sv, "ossaudiodev"sv, "pathlib"sv, "pdb"sv, "pickle"sv, "pickletools"sv,
    "pipes"sv, "pkgutil"sv, "platform"sv, "plistlib"sv, "poplib"sv, "posix"sv, "posixpath"sv,
    "pprint"sv, "profile"sv, "pstats"sv, "pty"sv, "pwd"sv, "py_compile"sv, "pyclbr"sv,
    "pydoc"sv, "pydoc_data"sv, "pyexpat"sv, "queue"sv, "quopri"sv, "random"sv, "re"sv,
    "readline"sv, "reprlib"sv, "resource"sv, "rlcompleter"sv, "runpy"sv, "sched"sv, "secrets"sv,
    "select"sv, "selectors"sv, "shelve"sv, "shlex"sv, "shutil"sv, "signal"sv, "site"sv,
    "smtpd"sv, "smtplib"sv, "sndhdr"sv, "socket"sv, "socketserver"sv, "spwd"sv, "sqlite3"sv,
    "sre_compile"sv, "sre_constants"sv, "sre_parse"sv, "ssl"sv, "stat"sv, "statistics"sv,
    "string"sv, "stringprep"sv, "struct"sv, "subprocess"sv, "sunau"sv, "symtable"sv, "sys"sv,
    "sysconfig"sv, "syslog"sv, "tabnanny"sv, "tarfile"sv, "telnetlib"sv, "tempfile"sv,
    "termios"sv, "textwrap"sv, "this"sv, "threading"sv, "time"sv, "timeit"sv, "tkinter"sv,
    "token"sv, "tokenize"sv, "tomllib"sv, "trace"sv, "traceback"sv, "tracemalloc"sv, "tty"sv,
    "turtle"sv, "turtledemo"sv, "types"sv, "typing"sv, "unicodedata"sv, "unittest"sv,
    "urllib"sv, "uu"sv, "uuid"sv, "venv"sv, "warnings"sv, "wave"sv, "weakref"sv, "webbrowser"sv,
    "winreg"sv, "winsound"sv, "wsgiref"sv, "xdrlib"sv, "xml"sv, "xmlrpc"sv, "zipapp"sv,
    "zipfile"sv, "zipimport"sv, "zlib"sv, "zoneinfo"sv
};
constexpr std::string_view kRBase[] = {"base"sv,      "stats"sv,  "utils"sv,    "methods"sv,
                                       "graphics"sv,  "grDevices"sv, "datasets"sv, "tools"sv,
                                       "parallel"sv,  "grid"sv,   "splines"sv,  "stats4"sv,
                                       "tcltk"sv,     "compiler"sv};
// Julia's standard libraries come with Julia itself.
constexpr std::string_view kJuliaStdlib[] = {
    "Artifacts"sv, "Base64"sv, "CRC32c"sv, "Dates"sv, "Distributed"sv, "Downloads"sv, "FileWatching"sv,
    "InteractiveUtils"sv, "LazyArtifacts"sv, "LibGit2"sv, "Libdl"sv, "LinearAlgebra"sv, "Logging"sv,
    "Markdown"sv, "Mmap"sv, "Pkg"sv, "Printf"sv, "Profile"sv, "REPL"sv, "Random"sv, "SHA"sv,
    "Serialization"sv, "SharedArrays"sv, "Sockets"sv, "SparseArrays"sv, "Statistics"sv, "TOML"sv,
    "Tar"sv, "Test"sv, "UUIDs"sv, "Unicode"sv, "Future"sv, "Base"sv, "Core"sv, "Main"sv};

// Test libraries a Maven parent's dependencyManagement usually scopes to tests, where the
// module's pom does not say so itself.
bool maven_test_library(std::string_view name) {
  static const Regex test(R"((?:^|[:.])(?:junit|junit-jupiter[\w-]*|mockito[\w-]*|hamcrest[\w-]*|assertj[\w-]*|testng|easymock|jmock[\w-]*|powermock[\w-]*|wiremock[\w-]*|testcontainers|jenkins-test-harness[\w-]*|truth)$)");
  return test.search(name);
}

// Folders whose files are examples, fixtures or documentation, not the software.
bool incidental(std::string_view path) {
  std::string p = "/" + std::string(path) + "/";
  for (std::string_view part : {"test"sv, "tests"sv, "example"sv, "examples"sv, "docs"sv, "doc"sv,
                                "fixtures"sv, "benchmark"sv, "benchmarks"sv, "bench"sv})
    if (p.find("/" + std::string(part) + "/") != std::string::npos) return true;
  return false;
}

std::string_view ecosystem_of(std::string_view kind) {
  for (const auto& m : kManifests)
    if (m.kind == kind) return m.ecosystem;
  if (kind.size() > 8 && kind.substr(kind.size() - 8) == ".gemspec") return "ruby";
  if (kind.rfind("requirements", 0) == 0 || kind.find("requirements/") != std::string_view::npos) return "python";
  return {};
}

// How each ecosystem writes a constraint, for the advice.
std::string_view constraint_example(std::string_view ecosystem) {
  if (ecosystem == "python") return "numpy>=1.21 in pyproject.toml's dependencies";
  if (ecosystem == "conda") return "numpy>=1.21 in environment.yml";
  if (ecosystem == "r") return "dplyr (>= 1.1.0) in DESCRIPTION's Imports";
  if (ecosystem == "node") return "\"^4.17.0\" in package.json";
  if (ecosystem == "rust") return "serde = \"1.0\" in Cargo.toml";
  if (ecosystem == "julia") return "a [compat] entry in Project.toml";
  if (ecosystem == "ruby") return "gem \"rake\", \"~> 13.0\"";
  if (ecosystem == "cmake") return "find_package(HDF5 1.10) or \"version>=\" in vcpkg.json";
  if (ecosystem == "autotools") return "PKG_CHECK_MODULES([ZLIB], [zlib >= 1.2.11]) in configure.ac";
  return "a version range";
}

// Third-party modules a project's code imports, read from at most a few files: what it
// needs though it declares nothing. The files are those the metadata walk found.
std::vector<std::string> imported_packages(const ProjectMetadata& m, const Path& root) {
  static const Regex py("(?m)^[ \t]*(?:import|from)[ \t]+([A-Za-z_][A-Za-z0-9_]*)");
  static const Regex r("(?:library|require|requireNamespace)\\(\\s*[\"']?([A-Za-z][A-Za-z0-9.]*)");
  std::set<std::string> found, local;
  for (const auto& d : m.directories) local.insert(d.substr(d.rfind('/') + 1));
  std::vector<Path> files;
  for (const auto& rel : m.source_files) {
    std::string_view name = std::string_view(rel).substr(rel.rfind('/') + 1);
    std::string_view suffix = file_suffix(name);
    if (suffix == ".py") local.insert(std::string(file_stem(name)));
    // Tests and examples import their tools (pytest, testthat): not the software's needs.
    bool aside = incidental(rel) || name.rfind("test_", 0) == 0 || name == "conftest.py";
    if ((suffix == ".py" || suffix == ".R" || suffix == ".r") && !aside && files.size() < 200)
      files.push_back(root / rel);
  }
  for (const auto& f : files) {
    std::string text;
    try {
      text = read_text_prefix(f, ReadMode::Replace, 64 * 1024, root);
    } catch (const OsError&) {
      continue;
    }
    bool python = f.extension() == ".py";
    for (auto m : (python ? py : r).find_all_groups(text, 1)) {
      std::string name(m);
      if (python && (std::find(std::begin(kPythonStdlib), std::end(kPythonStdlib), name) != std::end(kPythonStdlib) ||
                     local.count(name) || name == "__future__"))
        continue;
      if (!python && std::find(std::begin(kRBase), std::end(kRBase), name) != std::end(kRBase)) continue;
      found.insert(name);
    }
  }
  return {found.begin(), found.end()};
}

}  // namespace

std::span<const std::string_view> DependenciesPlugin::supported_indicators() const { return kIndicators; }

CheckResult DependenciesPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const ProjectMetadata& m = ctx.metadata();
  const Path& root = ctx.repo_path;
  std::vector<MetadataSource> extra;  // requirement files beside requirements.txt, gemspecs
  // requirements*.txt at the root and in requirements/, and what "-r" includes (bounded).
  std::vector<std::string> queue;
  for (const auto& f : m.files) {
    if (f.name.rfind("requirements", 0) != 0 || f.path == "requirements.txt") continue;
    int depth = static_cast<int>(std::count(f.path.begin(), f.path.end(), '/'));
    if (depth == 0 || f.path.rfind("requirements/", 0) == 0) queue.push_back(f.path);
  }
  if (const auto* req = m.find("requirements.txt"))
    for (const auto& inc : req->members) queue.push_back(inc);
  // A file names as many includes as it likes: each is looked at once, and only so many.
  constexpr std::size_t kMaxIncludes = 200;
  std::unordered_set<std::string> seen_files;
  std::size_t looked_at = 0;
  for (std::size_t i = 0; i < queue.size() && extra.size() < 20 && looked_at < kMaxIncludes; ++i) {
    if (ctx.deadline && std::chrono::steady_clock::now() >= *ctx.deadline)
      throw TimeoutError("reading requirements files: timed out");
    std::string rel = queue[i];  // a copy: the queue grows below
    if (rel.find("..") != std::string::npos || rel.empty() || rel.front() == '/') continue;
    if (rel == "requirements.txt" || !seen_files.insert(rel).second) continue;
    ++looked_at;
    Path file = root / rel;
    if (!file_seen(file, root)) continue;
    MetadataSource s;
    s.name = "requirements.txt";
    s.path = rel;
    try {
      metadata::read_requirements(read_text_prefix(file, ReadMode::Replace, 1 << 20, root), s);
    } catch (const OsError&) {
      continue;
    }
    // requirements-dev.txt, requirements/test.txt, docs/requirements.txt: what developing,
    // testing or documenting needs, not what the software needs to run.
    static const Regex development(R"((?i)(?:^|[-_/.])(?:dev|develop|development|test|tests|testing|doc|docs|lint|ci|typing|bench|benchmarks?|style)(?:[-_/.]|$))");
    if (development.search(rel))
      for (auto& d : s.dependencies) d.scope = "dev";
    std::string dir = rel.find('/') == std::string::npos ? "" : rel.substr(0, rel.rfind('/') + 1);
    for (const auto& inc : s.members) {
      if (queue.size() >= 4 * kMaxIncludes) break;
      queue.push_back(dir + inc);
    }
    extra.push_back(std::move(s));
  }
  for (const auto& name : list_directory(root, root)) {
    if (name.size() <= 8 || name.substr(name.size() - 8) != ".gemspec" || extra.size() >= 24) continue;
    MetadataSource s;
    s.name = name;
    s.path = name;
    try {
      metadata::read_gemfile(read_text_prefix(root / name, ReadMode::Replace, 1 << 20, root), s);
      extra.push_back(std::move(s));
    } catch (const OsError&) {
    }
  }

  // A workflow's steps run in environments of their own: nf-core's modules/*/environment.yml
  // and Snakemake's workflow/envs/*.yaml declare what each runs, pinned per step.
  {
    constexpr std::size_t kMaxEnvironments = 300;
    std::size_t read = 0;
    auto add_environment = [&](const std::string& rel) {
      if (read >= kMaxEnvironments || !file_seen(root / rel, root)) return;
      ++read;
      MetadataSource s;
      s.name = "environment.yml";
      s.path = rel;
      try {
        metadata::read_environment(read_text_prefix(root / rel, ReadMode::Replace, 256 << 10, root), s);
      } catch (const OsError&) {
        return;
      }
      extra.push_back(std::move(s));
    };
    for (const auto& f : m.files)
      if ((f.name == "environment.yml" || f.name == "environment.yaml") && f.path.rfind("modules/", 0) == 0)
        add_environment(f.path);
    for (std::string_view dir : {"workflow/envs"sv, "envs"sv}) {
      if (!dir_seen(root / std::string(dir), root)) continue;
      for (const auto& name : list_directory_seen(root / std::string(dir), root)) {
        std::string_view suffix = std::string_view(name).substr(name.size() > 5 ? name.size() - 5 : 0);
        if (suffix == ".yaml" || (name.size() > 4 && name.substr(name.size() - 4) == ".yml"))
          add_environment(std::string(dir) + "/" + name);
      }
    }
  }

  // A Snakemake workflow names the Snakemake it needs: min_version("8.8.0").
  for (std::string_view rel : {"workflow/Snakefile"sv, "Snakefile"sv}) {
    Path file = root / std::string(rel);
    if (!file_seen(file, root)) continue;
    static const Regex min_version(R"re(\bmin_version\(\s*["']([0-9][0-9.]*)["']\s*\))re");
    std::string text;
    try {
      text = read_text_prefix(file, ReadMode::Replace, 256 << 10, root);
    } catch (const OsError&) {
      continue;
    }
    if (auto v = min_version.search_group(text, 1)) {
      MetadataSource s;
      s.name = "Snakefile";
      s.path = std::string(rel);
      s.dependencies.push_back(Dependency{"snakemake", ">=" + std::string(*v), "runtime"});
      extra.push_back(std::move(s));
    }
    break;
  }

  // A CMake build often declares what it finds in a module of its own, include()d from the
  // root (cmake/Dependencies.cmake): read with the root's text, so that a version set in
  // one and used in the other is resolved. Find modules (FindX.cmake) only look.
  if (file_seen(root / "CMakeLists.txt", root)) {
    try {
      std::string text = read_text_prefix(root / "CMakeLists.txt", ReadMode::Replace, 1 << 20, root);
      static const Regex include(R"re((?im)^[ \t]*include\s*\(\s*"?([\w./${}-]+?)"?\s*(?:OPTIONAL\s*)?\))re");
      std::vector<std::string> modules;
      for (auto name : include.find_all_groups(text, 1)) {
        std::string n(name);
        if (n.rfind("${CMAKE_CURRENT_SOURCE_DIR}/", 0) == 0) n.erase(0, 28);
        if (n.rfind("${PROJECT_SOURCE_DIR}/", 0) == 0) n.erase(0, 22);
        if (n.find('$') != std::string::npos || n.find("..") != std::string::npos || n.front() == '/') continue;
        std::string base = n.substr(n.rfind('/') == std::string::npos ? 0 : n.rfind('/') + 1);
        if (base.rfind("Find", 0) == 0) continue;
        if (n.size() > 6 && n.substr(n.size() - 6) == ".cmake") modules.push_back(n);
        else
          for (std::string_view dir : {"cmake/"sv, "CMake/"sv, "cmake/modules/"sv})
            modules.push_back(std::string(dir) + n + ".cmake");
      }
      std::string all = text, first;
      std::size_t count = 0;
      for (const auto& rel : modules) {
        if (count >= 20 || !file_seen(root / rel, root)) continue;
        ++count;
        std::string module = read_text_prefix(root / rel, ReadMode::Replace, 256 << 10, root);
        if (first.empty() && ascii_lower(module).find("find_package") != std::string::npos) first = rel;
        all += "\n" + module;
      }
      if (!first.empty()) {
        MetadataSource s;
        s.name = "CMakeLists.txt";
        s.path = first;
        metadata::read_cmake(all, s);
        extra.push_back(std::move(s));
      }
    } catch (const OsError&) {
      // an unreadable module adds nothing; the root was read as a source already
    }
  }

  std::set<std::string> locked;  // ecosystems a lock file pins
  std::vector<std::string> lockfiles;
  for (const auto& [name, eco] : kLockFiles) {
    if (!file_seen(root / name, root)) continue;
    locked.insert(std::string(eco));
    if (eco == "python") locked.insert("conda");
    lockfiles.emplace_back(name);
  }

  std::vector<const MetadataSource*> manifests;
  for (const auto& s : m.sources)
    if (s.path.find('/') == std::string::npos && !ecosystem_of(s.name).empty() && !evidence::development_environment(m, s, root))
      manifests.push_back(&s);
  // A workspace's or multi-module build's members declare what the components need.
  for (const auto& s : m.sources) {
    if (s.path.find('/') == std::string::npos) continue;
    if (s.name != "pom.xml" && s.name != "Cargo.toml" && s.name != "package.json" && s.name != "Project.toml")
      continue;
    const MetadataSource* top = m.find(s.name);
    if (!top || top->members.empty() || incidental(s.path)) continue;
    manifests.push_back(&s);
  }
  for (const auto& s : extra) manifests.push_back(&s);

  struct Dep {
    std::string name, ecosystem, manifest;
    bool constrained;
  };
  std::vector<Dep> deps;
  std::set<std::string> ecosystems;
  for (const auto* s : manifests) {
    std::string eco(ecosystem_of(s->name == "requirements.txt" ? std::string_view("requirements.txt") : s->name));
    ecosystems.insert(eco);
    for (const auto& d : s->dependencies) {
      if (d.scope != "runtime" && d.scope != "build") continue;
      if (eco == "java" && maven_test_library(d.name)) continue;
      // R's base packages come with R itself.
      if (eco == "r" && std::find(std::begin(kRBase), std::end(kRBase), d.name) != std::end(kRBase)) continue;
      if (eco == "julia" && std::find(std::begin(kJuliaStdlib), std::end(kJuliaStdlib), d.name) != std::end(kJuliaStdlib))
        continue;
      std::string key = eco + ":" + ascii_lower(d.name);
      // Go modules name exact versions; Maven refuses to build without one (given here or
      // by a parent's dependencyManagement).
      bool pinned = !d.constraint.empty() || locked.count(eco) > 0 || eco == "go" || eco == "java";
      auto it = std::find_if(deps.begin(), deps.end(), [&](const Dep& x) { return x.ecosystem + ":" + ascii_lower(x.name) == key; });
      if (it != deps.end()) {
        it->constrained = it->constrained || pinned;
        continue;
      }
      deps.push_back({d.name, eco, s->path, pinned});
    }
  }
  std::size_t constrained = static_cast<std::size_t>(std::count_if(deps.begin(), deps.end(), [](const Dep& d) { return d.constrained; }));
  Json manifest_paths = Json::array();
  for (const auto* s : manifests) manifest_paths.push_back(s->path);
  // What was counted, so that a reader can check it: the first hundred, by manifest order.
  Json names = Json::array();
  for (std::size_t i = 0; i < deps.size() && i < 100; ++i) names.push_back(deps[i].name + (deps[i].constrained ? "" : " (no constraint)"));
  Json facts{{"manifests", manifest_paths},
             {"declared", deps.size()},
             {"dependencies", names},
             {"constrained", constrained},
             {"lockfiles", lockfiles}};
  std::vector<std::string> advice;
  double score;
  std::string output;
  if (deps.empty()) {
    std::vector<std::string> imports;
    // A Python or R project without a manifest may still import packages; a C or C++
    // build (CMake) is judged by what it declares.
    if (manifests.empty()) imports = imported_packages(m, root);
    facts["imports"] = imports;
    if (!imports.empty()) {
      score = 0.0;
      std::vector<std::string> shown(imports.begin(), imports.begin() + std::min<std::size_t>(imports.size(), 8));
      output = "The code imports packages that no manifest declares";
      advice.push_back("Declare what the code imports (" + join(shown, ", ") +
                       (imports.size() > shown.size() ? ", ..." : "") +
                       ") with version ranges: a pyproject.toml [project] dependencies list, or "
                       "DESCRIPTION's Imports for R.");
    } else {
      score = 10.0;
      output = manifests.empty() ? "No dependencies: the code imports nothing beyond its language's own"
                                 : "The manifests declare no runtime dependencies: self-contained";
    }
  } else {
    // R packages leave Imports unversioned as a rule (CRAN checks each against the current
    // releases): a softer judgment there than where nothing else keeps versions in step.
    std::size_t loose_r = static_cast<std::size_t>(std::count_if(deps.begin(), deps.end(), [](const Dep& d) {
      return !d.constrained && d.ecosystem == "r";
    }));
    double share = (static_cast<double>(constrained) + 0.75 * static_cast<double>(loose_r)) /
                   static_cast<double>(deps.size());
    score = std::round((4.0 + 6.0 * share) * 10.0) / 10.0;
    output = std::to_string(constrained) + " of " + std::to_string(deps.size()) +
             " dependencies have a version constraint" + (lockfiles.empty() ? "" : " or a lock file");
    std::vector<std::string> loose;
    std::set<std::string> loose_ecosystems;
    for (const auto& d : deps)
      if (!d.constrained) {
        if (loose.size() < 8) loose.push_back(d.name + " (" + d.manifest + ")");
        loose_ecosystems.insert(d.ecosystem);
      }
    if (!loose.empty() && loose_ecosystems.size() == 1 && loose_ecosystems.count("r")) {
      advice.push_back("R packages usually leave Imports unversioned; where the code needs a particular version's "
                       "API, give its minimum: " + join(loose, ", ") +
                       (deps.size() - constrained > loose.size() ? ", ..." : "") + "; e.g. " + std::string(constraint_example("r")) + ".");
    } else if (!loose.empty()) {
      std::vector<std::string> how;
      for (const auto& e : loose_ecosystems) how.emplace_back(constraint_example(e));
      advice.push_back("Give these dependencies a version range (the oldest version the code works with): " +
                       join(loose, ", ") + (deps.size() - constrained > loose.size() ? ", ..." : "") +
                       "; e.g. " + join(how, "; ") + ".");
    }
  }
  return make_result(indicator_id, {.score = score,
                                    .process = "Read the dependencies each manifest declares, their "
                                               "version constraints and lock files",
                                    .output = output,
                                    .evidence = lockfiles.empty() ? "" : "Lock files: " + join(lockfiles, ", "),
                                    .advice = std::move(advice),
                                    .facts = std::move(facts)});
}

}  // namespace ostrameld
