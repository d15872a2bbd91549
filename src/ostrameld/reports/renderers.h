// Renderers turn a finished assessment into one text; they never write or print.
#pragma once

#include <string>

#include "ostrameld/core/models.h"
#include "ostrameld/utils/json.h"

namespace ostrameld {

// Protocol for assessment output renderers. Options are an open set of named
// values; each renderer reads the ones it knows and ignores the rest.
class Renderer {
 public:
  virtual ~Renderer() = default;
  virtual std::string render(const Assessment& assessment,
                             const Json& options = Json::object()) const = 0;
};

// Plain-text table output.
class TextRenderer final : public Renderer {
 public:
  std::string render(const Assessment& assessment,
                     const Json& options = Json::object()) const override;
};

// JSON output using the Ostrameld schema. Option "indent": spaces per level
// (default 2), or null for a single line.
class JsonRenderer final : public Renderer {
 public:
  std::string render(const Assessment& assessment,
                     const Json& options = Json::object()) const override;
};

}  // namespace ostrameld
