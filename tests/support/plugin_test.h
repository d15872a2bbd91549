// Shared shorthand for plugin tests: run one check on a temporary repository.
#pragma once

#include <string>

#include "ostrameld/core/context.h"
#include "ostrameld/core/models.h"
#include "ostrameld/plugins/base.h"
#include "support/temp_repo.h"

namespace ostrameld::testing {

inline Context context_for(const TempRepo& repo) {
  Context ctx;
  ctx.repo_path = repo.path();
  return ctx;
}

inline CheckResult run(const BasePlugin& plugin, std::string_view key, const TempRepo& repo) {
  return plugin.check(key, context_for(repo));
}

}  // namespace ostrameld::testing
