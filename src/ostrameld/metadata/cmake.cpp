// CMakeLists.txt: find_package(X [version] ...), a dependency with its minimum version.
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/regex.h"

namespace ostrameld::metadata {

void read_cmake(std::string_view text, MetadataSource& out) {
  static const Regex call("(?i)find_package\\s*\\(\\s*([A-Za-z0-9_]+)(?:\\s+([0-9][0-9.]*))?");
  static const Regex project("(?i)project\\s*\\(\\s*([A-Za-z0-9_.-]+)(?:[^)]*VERSION\\s+([0-9][0-9.]*))?");
  if (auto name = project.search_group(text, 1)) out.title = std::string(*name);
  if (auto version = project.search_group(text, 2)) out.version = std::string(*version);
  std::size_t from = 0;
  while (from < text.size()) {
    std::string_view rest = text.substr(from);
    auto at = call.find(rest);
    if (!at) break;
    std::string_view here = rest.substr(*at);
    Dependency d;
    d.name = std::string(call.search_group(here, 1).value_or(""));
    d.constraint = std::string(call.search_group(here, 2).value_or(""));
    if (!d.constraint.empty()) d.constraint = ">=" + d.constraint;
    d.scope = "build";
    // CMake's own modules for tests and tools are not the software's dependencies.
    if (d.name != "PkgConfig" && d.name != "Threads" && d.name != "GTest" && d.name != "Catch2" &&
        d.name != "Doxygen" && d.name != "Python3" && d.name != "Git")
      out.dependencies.push_back(std::move(d));
    from += *at + 1;
  }
}

}  // namespace ostrameld::metadata
