// Markdown report renderer using Jinja2 templates.
#pragma once

#include <memory>

#include "ostrameld/reports/renderers.h"
#include "ostrameld/utils/files.h"

namespace jinja {
class Environment;
}

namespace ostrameld {

// Renders an assessment as a Markdown report from "report.md.j2".
class MarkdownRenderer final : public Renderer {
 public:
  // An empty directory means the templates installed with the program.
  explicit MarkdownRenderer(const Path& template_dir = {});
  ~MarkdownRenderer() override;

  // Options are accepted and ignored. Throws when the template is missing or broken.
  std::string render(const Assessment& assessment,
                     const Json& options = Json::object()) const override;
  const Path& template_dir() const { return dir_; }

 private:
  Path dir_;
  std::unique_ptr<jinja::Environment> env_;  // built once, reused by every render
};

// Where the program's own templates are: share/ostrameld/templates of its installation
// prefix, or "templates" beside the program in a build tree.
Path default_template_dir();

}  // namespace ostrameld
