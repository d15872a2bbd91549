#include "ostrameld/core/models.h"

namespace ostrameld {

std::string_view status_value(CheckStatus status) {
  switch (status) {
    case CheckStatus::Pass:
      return "pass";
    case CheckStatus::Warn:
      return "warn";
    case CheckStatus::Fail:
      return "fail";
    case CheckStatus::Unknown:
      return "unknown";
    case CheckStatus::Error:
      return "error";
    case CheckStatus::Skipped:
      return "skipped";
    case CheckStatus::Exempt:
      return "exempt";
  }
  return "unknown";
}

}  // namespace ostrameld
