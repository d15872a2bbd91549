#include "ostrameld/plugins/base.h"

namespace ostrameld {

CheckResult BasePlugin::make_result(std::string_view indicator_id, ResultFields fields) const {
  CheckStatus status = fields.status.value_or(fields.score >= 7.0   ? CheckStatus::Pass
                                              : fields.score >= 4.0 ? CheckStatus::Warn
                                                                    : CheckStatus::Fail);
  CheckResult result;
  result.indicator_id = std::string(indicator_id);
  result.plugin = std::string(name());
  result.score = fields.score;
  result.status = status;
  result.process = std::move(fields.process);
  result.output = std::move(fields.output);
  result.evidence = std::move(fields.evidence);
  result.advice = std::move(fields.advice);
  result.facts = std::move(fields.facts);
  result.plugin_version = std::string(version());
  return result;
}

}  // namespace ostrameld
