// The plugin contract: every check derives from BasePlugin and answers one indicator
// per call with exactly one CheckResult made by make_result.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/core/context.h"
#include "ostrameld/core/models.h"

namespace ostrameld {

class BasePlugin {
 public:
  virtual ~BasePlugin() = default;

  virtual std::string_view name() const = 0;
  virtual std::string_view version() const = 0;
  // One line for listings.
  virtual std::string_view description() const { return "No description provided."; }
  // The indicator keys this plugin scores; may be empty.
  virtual std::span<const std::string_view> supported_indicators() const = 0;
  // The plugin reads the git metadata of the context.
  virtual bool requires_git() const { return false; }
  // The plugin cannot work without forge access.
  virtual bool requires_forge() const { return false; }

  // Scores one indicator of the repository described by ctx. Stateless and re-entrant.
  virtual CheckResult check(std::string_view indicator_id, const Context& ctx) const = 0;

 protected:
  struct ResultFields {
    double score = 0.0;
    std::optional<CheckStatus> status;  // derived from the score when absent
    std::string process;
    std::string output;
    std::string evidence;
    std::vector<std::string> advice;
    Json facts;  // profiles with facts: what was found, machine-readable
  };

  // Builds this plugin's result; without a status, score >= 7 passes, >= 4 warns,
  // anything lower fails.
  CheckResult make_result(std::string_view indicator_id, ResultFields fields) const;
};

}  // namespace ostrameld
