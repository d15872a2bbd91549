// Documentation (R1, documentation): a README in any usual form and place with install
// and usage sections found by its headings, a documentation site of the project's
// ecosystem wherever its configuration lies, reference pages (R's man/, docs/ pages) and
// examples (vignettes, notebooks, example folders).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class DocsPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "docs"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override {
    return "README sections, documentation sites, reference pages and examples (R1)";
  }
  std::span<const std::string_view> supported_indicators() const override;
  // The repository's name tells the project's own documentation from pages it links.
  bool requires_git() const override { return true; }
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

// The headings of a README in Markdown (ATX and setext), reStructuredText, AsciiDoc, Org
// or HTML, in order, as written.
std::vector<std::string> readme_headings(std::string_view text);

}  // namespace ostrameld
