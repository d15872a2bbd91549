// The result model shared by plugins, the host and the renderers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/utils/json.h"

namespace ostrameld {

// Outcome of one indicator; Unknown is missing evidence, not a confirmed miss.
// Exempt: the project's own settings say the indicator does not apply, with a reason.
enum class CheckStatus { Pass, Warn, Fail, Unknown, Error, Skipped, Exempt };

// The status's text value: "pass", "warn", "fail", "unknown", "error", "skipped", "exempt".
std::string_view status_value(CheckStatus status);

// One assessed indicator, made by a plugin through BasePlugin::make_result.
struct CheckResult {
  std::string indicator_id;
  std::string plugin;
  double score = 0.0;
  CheckStatus status = CheckStatus::Unknown;
  std::string process;
  std::string output;
  std::string evidence;
  // What to do to score higher, in short imperative sentences; beside the findings,
  // never instead of them. Empty when there is nothing to do.
  std::vector<std::string> advice;
  // Filled in beside the plugin's findings: which plugin version made the result,
  // the FAIR4RS id of the indicator (absent for informative keys) and its human title.
  std::string plugin_version;
  std::optional<std::string> fair4rs_id;
  std::string title;
  // The repository file a finding is about, relative to the root ("/"-separated), for
  // code-scanning dashboards: one that exists, else the README or another root file;
  // empty when the repository has no file at all.
  std::string location;
  // What was found, machine-readable (profiles with facts only; null otherwise).
  Json facts;
  // Why the project exempts the indicator (status exempt), and the file that says so:
  // the repository's claim, reported as such.
  std::string exemption;
  std::string exemption_source;
};

struct SoftwareInfo {
  std::string name;
  std::optional<std::string> url;
};

// An indicator of the profile that was not run, and why.
struct SkippedIndicator {
  std::string indicator_id;
  std::string reason;
};

// A check that failed with an error instead of producing a finding.
struct AssessmentError {
  std::string indicator_id;
  std::string plugin;
  std::string message;
};

// A whole run over one repository, built by the host.
struct Assessment {
  SoftwareInfo software;
  bool shallow = false;   // the git history was cut short (a shallow clone)
  std::string timestamp;  // ISO 8601, UTC
  std::string profile;
  std::string ostrameld_version;
  std::vector<CheckResult> indicators;
  std::vector<std::string> passed_indicators;
  std::vector<SkippedIndicator> skipped;
  std::vector<AssessmentError> errors;
  double overall_score = 0.0;
  std::optional<std::string> compliance_level;
  std::int64_t duration_ms = 0;
  // The project's settings file that was read (".ostrameld.toml", ...); empty: none.
  std::string settings_file;
  // What the assessment could not see (directories nobody may list), for the reader.
  std::vector<std::string> notes;
};

}  // namespace ostrameld
