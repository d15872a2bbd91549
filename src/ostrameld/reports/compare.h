// Two runs over the same repositories set side by side: what improved, what regressed,
// what is new or gone, per repository and per indicator, and the overall trend.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/reports/summary.h"

namespace ostrameld {

// One indicator of one repository whose standing changed.
struct IndicatorChange {
  std::string key;
  std::string kind;  // "improved", "regressed", "changed" (to or from exempt, error), "new", "gone"
  std::string from, to;  // statuses; empty where the indicator was not there
  std::optional<double> from_score, to_score;
};

struct RepositoryChange {
  std::string input;
  std::string name;
  std::string profile;
  // "improved", "regressed", "unchanged", "new", "gone", "now assessed", "no longer assessed"
  std::string kind;
  std::optional<double> from_score, to_score;  // overall; absent where not assessed
  std::string from_level, to_level;
  std::vector<IndicatorChange> indicators;
};

// One indicator over all repositories: its pass rate in each run (exempt results left
// out) and how many repositories moved on it.
struct IndicatorTrend {
  std::string profile;
  std::string key;
  std::string title;
  std::size_t before_passed = 0, before_runs = 0;
  std::size_t after_passed = 0, after_runs = 0;
  std::size_t improved = 0, regressed = 0;
};

struct Comparison {
  std::string old_name, new_name;           // the files, as given
  std::vector<RepositoryChange> repositories;  // regressed first, then improved, new, gone, unchanged
  std::size_t in_both = 0;                   // assessed in both runs
  double old_mean = 0.0, new_mean = 0.0;     // over those
  std::vector<std::string> profiles;         // of the rows compared
  std::vector<IndicatorTrend> indicators;    // per profile, in its order
};

// A repository is matched by its input and profile; its overall score moves when it
// changes by 0.05 or more (what one decimal shows), an indicator when its status or score does.
Comparison compare_runs(const Summary& old_run, const Summary& new_run, std::string old_name,
                        std::string new_name);

// "markdown", "html" or "csv" (one row per repository and per changed indicator).
std::string render_comparison(const Comparison& c, std::string_view format);

}  // namespace ostrameld
