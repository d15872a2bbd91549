#include "ostrameld/utils/ecosystem.h"

#include "ostrameld/utils/regex.h"

namespace ostrameld {

Ecosystems detect_ecosystems(const Path& repo) {
  Ecosystems e;
  auto has = [&](const char* name) {
    try {
      return is_file(repo / name, repo);
    } catch (const OsError&) {
      return false;
    }
  };
  e.python = has("pyproject.toml") || has("setup.py") || has("setup.cfg");
  e.maven = has("pom.xml");
  e.gradle = has("build.gradle") || has("build.gradle.kts");
  e.cmake = has("CMakeLists.txt");
  e.rust = has("Cargo.toml");
  e.node = has("package.json");
  e.julia = has("Project.toml");
  e.go = has("go.mod");
  if (has("DESCRIPTION")) {
    try {
      std::string text = read_text_prefix(repo / "DESCRIPTION", ReadMode::Replace, 8192, repo);
      static const Regex package(R"((?m)^Package:[ \t]*\S)");
      static const Regex licence(R"((?m)^License:[ \t]*([^\n]*(?:\n[ \t]+[^\n]*)*))");
      e.r = package.search(text);
      if (auto l = licence.search_group(text, 1)) e.r_licence = std::string(*l);
    } catch (const OsError&) {
    }
  }
  return e;
}

}  // namespace ostrameld
