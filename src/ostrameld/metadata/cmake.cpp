// CMakeLists.txt: find_package(X [version] ...), a dependency with its minimum version; a
// version given as ${VAR} is taken from set(VAR 1.2.3) in the same text.
#include <algorithm>
#include <map>

#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/regex.h"

namespace ostrameld::metadata {

void read_cmake(std::string_view text, MetadataSource& out) {
  static const Regex call("(?i)find_package\\s*\\(\\s*([A-Za-z0-9_]+)(?:\\s+([0-9][0-9.]*|\\$\\{[A-Za-z0-9_]+\\}))?");
  static const Regex project("(?i)project\\s*\\(\\s*([A-Za-z0-9_.-]+)(?:[^)]*VERSION\\s+([0-9][0-9.]*))?");
  if (auto name = project.search_group(text, 1)) out.title = std::string(*name);
  if (auto version = project.search_group(text, 2)) out.version = std::string(*version);
  std::map<std::string, std::string> sets;
  bool sets_read = false;
  std::size_t from = 0;
  while (from < text.size()) {
    std::string_view rest = text.substr(from);
    auto at = call.find(rest);
    if (!at) break;
    std::string_view here = rest.substr(*at);
    Dependency d;
    d.name = std::string(call.search_group(here, 1).value_or(""));
    d.constraint = std::string(call.search_group(here, 2).value_or(""));
    if (d.constraint.starts_with("${")) {
      if (!sets_read) {
        // Every set(NAME 1.2.3) of the text, read once, the first setting of a name kept.
        static const Regex set("(?i)\\bset\\s*\\(\\s*([A-Za-z0-9_]+)\\s+\"?([0-9][0-9.]*)\"?\\s*\\)");
        std::size_t at = 0;
        while (at < text.size() && sets.size() < 1000) {
          std::string_view tail = text.substr(at);
          auto found = set.find(tail);
          if (!found) break;
          std::string_view m = tail.substr(*found);
          sets.emplace(std::string(set.search_group(m, 1).value_or("")), std::string(set.search_group(m, 2).value_or("")));
          at += *found + 1;
        }
        sets_read = true;
      }
      auto it = sets.find(d.constraint.substr(2, d.constraint.size() - 3));
      d.constraint = it == sets.end() ? "" : it->second;
    }
    if (!d.constraint.empty()) d.constraint = ">=" + d.constraint;
    d.scope = "build";
    // CMake's own modules for tests and tools are not the software's dependencies.
    static constexpr std::string_view kTools[] = {"PkgConfig", "Threads", "GTest",  "GMock",   "Catch2",
                                                  "Doctest",   "doctest", "benchmark", "Doxygen", "Python3",
                                                  "Git",       "Sphinx",  "Perl"};
    if (std::find(std::begin(kTools), std::end(kTools), d.name) == std::end(kTools))
      out.dependencies.push_back(std::move(d));
    from += *at + 1;
  }
}

}  // namespace ostrameld::metadata
