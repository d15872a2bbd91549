// The host: builds the context of one repository, runs the profile's checks, turns
// a throwing check into an error row, and scores the whole.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ostrameld/core/context.h"
#include "ostrameld/core/models.h"
#include "ostrameld/engine/profile.h"
#include "ostrameld/engine/project_config.h"
#include "ostrameld/plugins/registry.h"
#include "ostrameld/services/lookups.h"
#include "ostrameld/utils/files.h"
#include "ostrameld/utils/process.h"

namespace ostrameld {

struct AssessOptions {
  const Profile* profile = nullptr;          // the profile to assess by; null: the one passed
  std::vector<std::string> only;             // indicator keys to run; empty runs the whole profile
  std::optional<std::string> repo_url;       // the address the repository was cloned from
  std::optional<std::string> software_name;  // defaults to the directory's name
  std::optional<std::string> github_token;
  std::optional<std::string> gitlab_token;
  std::optional<std::string> gitea_token;
  const ForgeClient* forge = nullptr;  // null: no forge access (offline)
  bool offline = false;                // no request to the forge or any other service
  // Where the full profile asks its services; empty: their public addresses.
  ServiceUrls services;
  // Past the deadline the assessment stops between checks with a TimeoutError; git
  // commands are stopped at once, and on cancellation too.
  Deadline deadline;
  const std::atomic<bool>* cancel = nullptr;
  // Indicators the project's settings exempt, and the file that says so.
  std::vector<Exemption> exempt;
  std::string settings_file;
};

// Assesses the repository at repo (an existing directory).
Assessment assess_repository(const Path& repo, const AssessOptions& options,
                             const PluginRegistry& registry = builtin_registry(),
                             const Profile& profile = fair4rs_profile());

// Weighted mean over pass/warn/fail/unknown results; error, skipped and exempt do not count.
double overall_score(const std::vector<CheckResult>& results, const Profile& profile);

// "basic", "intermediate", "advanced", or nothing.
std::optional<std::string> compliance_level(const std::vector<CheckResult>& results, double overall,
                                            const Profile& profile);

// For each exempt result, a sentence on the score and the compliance levels it keeps out
// of reach (an exemption never stands in for a pass).
std::vector<std::string> exemption_notes(const std::vector<CheckResult>& results,
                                         const Profile& profile);

// The current time as ISO 8601 UTC, e.g. "2026-12-08T04:04:09Z".
std::string utc_timestamp();

}  // namespace ostrameld
