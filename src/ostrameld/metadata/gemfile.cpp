// Gemfile and *.gemspec: gem "x", "~> 1.2" and add_(runtime_|development_)dependency.
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/regex.h"

namespace ostrameld::metadata {

void read_gemfile(std::string_view text, MetadataSource& out) {
  static const Regex gem(
      "(?m)^\\s*(gem|\\w+\\.add_(?:runtime_|development_)?dependency)\\s*\\(?\\s*[\"']([^\"']+)[\"']"
      "\\s*(?:,\\s*[\"']([^\"']+)[\"'])?");
  std::size_t from = 0;
  while (from < text.size()) {
    auto at = gem.find(text.substr(from));
    if (!at) break;
    std::string_view rest = text.substr(from + *at);
    auto eol = rest.find('\n');
    std::string_view line = rest.substr(0, eol);
    Dependency d;
    d.name = std::string(gem.search_group(line, 2).value_or(""));
    d.constraint = std::string(gem.search_group(line, 3).value_or(""));
    std::string kind(gem.search_group(line, 1).value_or(""));
    d.scope = kind.find("development") != std::string::npos ? "dev" : "runtime";
    if (!d.name.empty()) out.dependencies.push_back(std::move(d));
    from += *at + (eol == std::string_view::npos ? rest.size() : eol + 1);
  }
}

}  // namespace ostrameld::metadata
