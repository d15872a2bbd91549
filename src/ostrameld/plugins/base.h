// The plugin contract: every check derives from BasePlugin and answers one indicator
// per call with exactly one CheckResult made by make_result.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "ostrameld/core/context.h"
#include "ostrameld/core/models.h"
#include "ostrameld/utils/deadline.h"

namespace ostrameld {

// Advice is composed after the result and can never change it: a piece that cannot be
// composed (a directory nobody may list, a link into one) is left out, nothing more. Only
// the deadline still ends the assessment.
template <class Compose>
std::invoke_result_t<Compose> advice_or_none(Compose&& compose) {
  try {
    return std::forward<Compose>(compose)();
  } catch (const TimeoutError&) {
    throw;
  } catch (const std::exception&) {
    return {};
  }
}

// Adds what compose returns (a string, an optional one or a list) to advice; nothing when
// composing it fails.
template <class Compose>
void add_advice(std::vector<std::string>& advice, Compose&& compose) {
  auto piece = advice_or_none(std::forward<Compose>(compose));
  using Piece = decltype(piece);
  if constexpr (std::is_same_v<Piece, std::string>) {
    if (!piece.empty()) advice.push_back(std::move(piece));
  } else if constexpr (std::is_same_v<Piece, std::optional<std::string>>) {
    if (piece && !piece->empty()) advice.push_back(std::move(*piece));
  } else {
    for (auto& p : piece) advice.push_back(std::move(p));
  }
}

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
