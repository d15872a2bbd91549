// Community standards (R3, community): policies that have content (CONTRIBUTING, a code of
// conduct, SECURITY, GOVERNANCE, SUPPORT), tests where each ecosystem keeps them, CI that
// runs them on pushes or pull requests (read from each CI system's configuration, not from
// its text), and each ecosystem's style configuration.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class CommunityPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "community"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override {
    return "Community policies, tests, CI that runs them, style configuration (R3)";
  }
  std::span<const std::string_view> supported_indicators() const override;
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

// The test runners a shell command starts ("pytest", "R CMD check", "ctest", "mvn verify",
// "npm test", "cargo test", ...), each once, in order.
std::vector<std::string> test_commands_in(std::string_view command);

// A CI configuration as the community check reads it: the test commands its jobs run and
// whether it runs on pushes, pull or merge requests.
struct CiTests {
  std::vector<std::string> commands;
  std::vector<std::string> scripts;  // paths of the repository's own scripts the steps run
  bool on_change = false;
  bool templates = false;  // jobs come from elsewhere (include:, reusable workflows, orbs)
  std::vector<std::string> local_actions;  // directories of this repository's own actions the steps use
  std::vector<std::string> includes;       // this repository's files GitLab's include: local: adds
  std::vector<std::string> make_targets;   // targets a step asks make for
  bool bare_maven = false;                 // a step runs mvn without a goal: the pom's defaultGoal
};

// Paths a command runs as scripts ("scripts/test", "./ci/run.sh", "bash tools/check.sh").
std::vector<std::string> scripts_in(std::string_view command);
// `system` names the CI system ("GitHub Actions", "GitLab CI", "Travis CI", ...); the text is
// the configuration file's.
CiTests read_ci_tests(std::string_view system, std::string_view text);

}  // namespace ostrameld
