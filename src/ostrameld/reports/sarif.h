// Code-scanning output: SARIF 2.1.0 with one rule per indicator and one result per
// indicator short of pass, and a README badge of the score and compliance level.
#pragma once

#include "ostrameld/reports/renderers.h"

namespace ostrameld {

// SARIF 2.1.0: fail and error rows are errors, warn warnings, unknown notes; each
// result carries the advice as its message and the file concerned as its location.
class SarifRenderer final : public Renderer {
 public:
  std::string render(const Assessment& assessment,
                     const Json& options = Json::object()) const override;
};

// An SVG badge: "FAIR" | score and compliance level, coloured by the level.
class BadgeRenderer final : public Renderer {
 public:
  std::string render(const Assessment& assessment,
                     const Json& options = Json::object()) const override;
};

}  // namespace ostrameld
