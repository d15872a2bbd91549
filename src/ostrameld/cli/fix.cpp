#include <algorithm>
#include <iostream>

#include "ostrameld/cli/commands.h"
#include "ostrameld/engine/watchdog.h"
#include "ostrameld/fix/plan.h"
#include "ostrameld/utils/diff.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::cli {

void FixCommand::add(CLI::App& parent) {
  app = parent.add_subcommand(
      "fix", "Show (or --write) the metadata files the repository implies: CITATION.cff, codemeta.json, "
             "a licence text, versions that lag behind the newest release");
  app->add_option("path", path, "The repository's working tree (default: the current directory)");
  app->add_flag("--write", write, "Make the changes instead of showing them");
  app->add_flag("--exit-zero,!--no-exit-zero", exit_zero,
                "Exit 0 when there are changes to show (a hook that informs); --no-exit-zero undoes it");
  // One value per flag, so that a path may follow: --only cff PATH.
  app->add_option("--only", only, "Only these: cff, codemeta, zenodo, licence, sync (repeatable)")
      ->check(CLI::IsMember({"cff", "codemeta", "zenodo", "licence", "sync"}))
      ->allow_extra_args(false);
  app->add_flag("--offline", offline, "Ask no service (fix asks none; accepted for symmetry with assess)");
  app->add_option("--timeout", timeout, "Give up after SECONDS (default: 600; 0: no limit)");
}

int FixCommand::run() const {
  check_timeout(timeout);
  Path repo(path);
  if (!is_dir(repo, kAnywhere)) throw UsageError("not a directory: " + path);
  // The same hard wall as assess: what the deadline checks miss ends the process too.
  Watchdog watchdog(timeout);
  fix::FixOptions options;
  options.only = only;
  options.deadline = deadline_after(timeout);
  fix::FixPlan plan = fix::plan_fixes(repo, options);
  for (const auto& m : plan.messages) std::cerr << "ostrameld fix: " << escape_line(m) << '\n';
  if (!write) {
    for (const auto& c : plan.changes) {
      std::cout << "# " << c.path << ": " << c.why << '\n';
      if (!c.note.empty()) std::cout << "# " << c.note << '\n';
      std::cout << unified_diff(c.path, c.old_text, c.new_text, c.created);
    }
    if (plan.changes.empty()) std::cerr << "ostrameld fix: metadata in sync: nothing to change\n";
    return plan.changes.empty() || exit_zero ? 0 : 1;
  }
  std::vector<std::string> refused;
  std::vector<std::string> written = fix::apply_fixes(repo, plan, refused);
  for (const auto& c : plan.changes)
    if (std::find(written.begin(), written.end(), c.path) != written.end())
      std::cout << "wrote " << c.path << ": " << c.why << (c.note.empty() ? "" : " (" + c.note + ")") << '\n';
  for (const auto& r : refused) std::cerr << "ostrameld fix: not written: " << escape_line(r) << '\n';
  if (plan.changes.empty()) std::cerr << "ostrameld fix: metadata in sync: nothing to change\n";
  return refused.empty() ? 0 : 1;
}

}  // namespace ostrameld::cli
