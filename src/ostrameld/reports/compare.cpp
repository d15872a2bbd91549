#include "ostrameld/reports/compare.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "ostrameld/engine/profile.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

constexpr double kMoved = 0.05;  // what one decimal shows
constexpr std::array<std::string_view, 4> kLevels{"none", "basic", "intermediate", "advanced"};
constexpr std::array<std::string_view, 7> kOrder{"regressed", "no longer assessed", "improved",
                                                 "now assessed", "new", "gone", "unchanged"};

// How good a status is, for a change at an equal score; 0: not a finding (exempt, error).
int rank(std::string_view status) {
  if (status == "pass") return 4;
  if (status == "warn") return 3;
  if (status == "unknown") return 2;
  if (status == "fail") return 1;
  return 0;
}

std::string key_of(const SummaryRow& r) { return r.profile + '\n' + r.input; }

std::optional<IndicatorChange> indicator_change(std::string_view key, const std::string& from,
                                                std::optional<double> from_score,
                                                const std::string& to,
                                                std::optional<double> to_score) {
  IndicatorChange c{std::string(key), "", from, to, from_score, to_score};
  if (from.empty() && to.empty()) return std::nullopt;
  if (from.empty()) {
    c.kind = "new";
  } else if (to.empty()) {
    c.kind = "gone";
  } else if (rank(from) && rank(to)) {
    double moved = to_score.value_or(0) - from_score.value_or(0);
    int up = rank(to) - rank(from);
    if (moved >= kMoved || (std::abs(moved) < kMoved && up > 0)) {
      c.kind = "improved";
    } else if (moved <= -kMoved || (std::abs(moved) < kMoved && up < 0)) {
      c.kind = "regressed";
    } else {
      return std::nullopt;
    }
  } else if (from != to) {
    c.kind = "changed";
  } else {
    return std::nullopt;
  }
  return c;
}

RepositoryChange repository_change(const SummaryRow* before, const SummaryRow* after) {
  const SummaryRow& any = after ? *after : *before;
  RepositoryChange c;
  c.input = any.input;
  c.name = any.name.empty() && before ? before->name : any.name;
  if (c.name.empty()) c.name = any.input;
  c.profile = any.profile;
  if (before && before->assessed) {
    c.from_score = before->overall_score;
    c.from_level = before->compliance;
  }
  if (after && after->assessed) {
    c.to_score = after->overall_score;
    c.to_level = after->compliance;
  }
  if (!before) {
    c.kind = "new";
  } else if (!after) {
    c.kind = "gone";
  } else if (!before->assessed && after->assessed) {
    c.kind = "now assessed";
  } else if (before->assessed && !after->assessed) {
    c.kind = "no longer assessed";
  } else if (!before->assessed) {
    c.kind = "unchanged";
  } else {
    double moved = after->overall_score - before->overall_score;
    c.kind = moved >= kMoved ? "improved" : moved <= -kMoved ? "regressed" : "unchanged";
  }
  const Profile* profile = find_profile(any.profile);
  if (!profile || !before || !after || !before->assessed || !after->assessed) return c;
  for (std::size_t i = 0; i < profile->indicators.size(); ++i) {
    auto change = indicator_change(profile->indicators[i].key, before->statuses[i], before->scores[i],
                                   after->statuses[i], after->scores[i]);
    if (change) c.indicators.push_back(std::move(*change));
  }
  return c;
}

std::string score_text(const std::optional<double>& v) { return v ? format_fixed(*v, 1) : "—"; }

std::string signed_text(double v, int decimals) {
  std::string s = format_fixed(v, decimals);
  return (v >= 0 && s.find_first_not_of("0.") != std::string::npos ? "+" : "") + s;
}

std::string overall_text(const RepositoryChange& r) {
  std::string s = score_text(r.from_score) + " → " + score_text(r.to_score);
  if (r.from_score && r.to_score) s += " (" + signed_text(*r.to_score - *r.from_score, 1) + ")";
  return s;
}

std::string level_text(const RepositoryChange& r) {
  std::string from = r.from_level.empty() ? "—" : r.from_level;
  std::string to = r.to_level.empty() ? "—" : r.to_level;
  return from == to ? from : from + " → " + to;
}

std::string status_text(const std::string& s) { return s.empty() ? "absent" : s; }

std::string indicator_text(const IndicatorChange& i) {
  std::string s = i.key + " " + status_text(i.from) + " → " + status_text(i.to);
  if (i.from_score && i.to_score && std::abs(*i.to_score - *i.from_score) >= kMoved)
    s += " (" + format_fixed(*i.from_score, 1) + " → " + format_fixed(*i.to_score, 1) + ")";
  return s;
}

std::size_t count_kind(const Comparison& c, std::string_view kind) {
  return static_cast<std::size_t>(std::count_if(c.repositories.begin(), c.repositories.end(),
                                                [&](const RepositoryChange& r) { return r.kind == kind; }));
}

std::string trend_text(const Comparison& c) {
  std::string s;
  if (c.in_both > 0) {
    double moved = c.new_mean - c.old_mean;
    s = "mean overall score " + format_fixed(c.old_mean, 2) + " → " + format_fixed(c.new_mean, 2) +
        " (" + signed_text(moved, 2) + ") over the " + std::to_string(c.in_both) +
        " repositories assessed in both runs, " +
        (moved >= kMoved ? "up" : moved <= -kMoved ? "down" : "level") + "; ";
  } else {
    s = "no repository was assessed in both runs; ";
  }
  std::vector<std::string> parts;
  for (auto kind : kOrder)
    if (auto n = count_kind(c, kind)) parts.push_back(std::to_string(n) + " " + std::string(kind));
  return s + (parts.empty() ? std::string("no repositories") : join(parts, ", ")) + ".";
}

// Levels before and after, over every repository assessed in each run.
std::array<std::pair<std::size_t, std::size_t>, kLevels.size()> level_counts(const Comparison& c) {
  std::array<std::pair<std::size_t, std::size_t>, kLevels.size()> out{};
  for (const auto& r : c.repositories) {
    for (std::size_t l = 0; l < kLevels.size(); ++l) {
      if (r.from_score && r.from_level == kLevels[l]) ++out[l].first;
      if (r.to_score && r.to_level == kLevels[l]) ++out[l].second;
    }
  }
  return out;
}

// "no longer assessed" -> "No longer assessed", as a heading.
std::string heading(std::string_view kind) {
  std::string title(kind);
  title[0] = static_cast<char>(title[0] - 'a' + 'A');
  return title;
}

std::string rate_text(std::size_t passed, std::size_t runs) {
  if (runs == 0) return "—";
  return format_fixed(100.0 * static_cast<double>(passed) / static_cast<double>(runs), 0) + "% (" +
         std::to_string(passed) + " of " + std::to_string(runs) + ")";
}

std::string markdown(const Comparison& c) {
  std::string out = "# FAIR assessments compared\n\nBefore: `" + markdown_text(c.old_name) +
                    "` · after: `" + markdown_text(c.new_name) + "`";
  if (!c.profiles.empty()) out += " · profile: `" + join(c.profiles, "`, `") + "`";
  out += "\n\n**Trend:** " + trend_text(c) + "\n\n## Compliance levels\n\n| Level | Before | After |\n|---|---:|---:|\n";
  auto levels = level_counts(c);
  for (std::size_t l = 0; l < kLevels.size(); ++l)
    out += "| " + std::string(kLevels[l]) + " | " + std::to_string(levels[l].first) + " | " +
           std::to_string(levels[l].second) + " |\n";
  out += "\n## By indicator\n\n| Indicator | Passed before | Passed after | Improved | Regressed |\n"
         "|---|---:|---:|---:|---:|\n";
  for (const auto& t : c.indicators) {
    out += "| " + t.title + " (`" + t.key + "`" + (c.profiles.size() > 1 ? ", " + t.profile : "") +
           ") | " + rate_text(t.before_passed, t.before_runs) + " | " +
           rate_text(t.after_passed, t.after_runs) + " | " + std::to_string(t.improved) + " | " +
           std::to_string(t.regressed) + " |\n";
  }
  for (auto kind : kOrder) {
    std::vector<const RepositoryChange*> rows;
    for (const auto& r : c.repositories)
      if (r.kind == kind) rows.push_back(&r);
    if (rows.empty()) continue;
    out += "\n## " + heading(kind) + " (" + std::to_string(rows.size()) + ")\n\n";
    out += "| Repository | Overall | Compliance | Indicators |\n|---|---|---|---|\n";
    for (const auto* r : rows) {
      std::vector<std::string> changes;
      for (const auto& i : r->indicators) changes.push_back(markdown_text(indicator_text(i)));
      out += "| " + markdown_text(r->name) + " | " + overall_text(*r) + " | " + level_text(*r) +
             " | " + (changes.empty() ? "—" : join(changes, "; ")) + " |\n";
    }
  }
  return out;
}

std::string html(const Comparison& c) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>FAIR assessments compared</title>\n<style>\n"
      "body{font-family:system-ui,sans-serif;margin:2rem auto;max-width:72rem;padding:0 1rem;"
      "color:#1b1f24}\nh1{font-size:1.6rem}h2{font-size:1.2rem;margin-top:2rem}\n"
      "table{border-collapse:collapse}th,td{padding:.3rem .6rem;border-bottom:1px solid #d0d7de;"
      "text-align:left;vertical-align:top}td.n{text-align:right}\n"
      ".improved{background:#dafbe1}.regressed{background:#ffebe9}\n</style>\n</head>\n<body>\n";
  out += "<h1>FAIR assessments compared</h1>\n<p>Before: <code>" + html_text(c.old_name) +
         "</code> · after: <code>" + html_text(c.new_name) + "</code>";
  if (!c.profiles.empty()) out += " · profile <code>" + html_text(join(c.profiles, ", ")) + "</code>";
  out += "</p>\n<p><strong>Trend:</strong> " + html_text(trend_text(c)) +
         "</p>\n<h2>Compliance levels</h2>\n<table>\n<thead><tr><th>Level</th><th>Before</th>"
         "<th>After</th></tr></thead>\n<tbody>\n";
  auto levels = level_counts(c);
  for (std::size_t l = 0; l < kLevels.size(); ++l)
    out += "<tr><td>" + std::string(kLevels[l]) + "</td><td class=\"n\">" +
           std::to_string(levels[l].first) + "</td><td class=\"n\">" +
           std::to_string(levels[l].second) + "</td></tr>\n";
  out += "</tbody>\n</table>\n<h2>By indicator</h2>\n<table>\n<thead><tr><th>Indicator</th>"
         "<th>Passed before</th><th>Passed after</th><th>Improved</th><th>Regressed</th></tr>"
         "</thead>\n<tbody>\n";
  for (const auto& t : c.indicators) {
    out += "<tr><td>" + html_text(t.title) + " (<code>" + html_text(t.key) + "</code>" +
           (c.profiles.size() > 1 ? ", " + html_text(t.profile) : "") + ")</td><td class=\"n\">" +
           html_text(rate_text(t.before_passed, t.before_runs)) + "</td><td class=\"n\">" +
           html_text(rate_text(t.after_passed, t.after_runs)) + "</td><td class=\"n\">" +
           std::to_string(t.improved) + "</td><td class=\"n\">" + std::to_string(t.regressed) +
           "</td></tr>\n";
  }
  out += "</tbody>\n</table>\n";
  for (auto kind : kOrder) {
    std::vector<const RepositoryChange*> rows;
    for (const auto& r : c.repositories)
      if (r.kind == kind) rows.push_back(&r);
    if (rows.empty()) continue;
    out += "<h2>" + html_text(heading(kind)) + " (" + std::to_string(rows.size()) +
           ")</h2>\n<table>\n<thead><tr><th>Repository</th><th>Overall</th><th>Compliance</th>"
           "<th>Indicators</th></tr></thead>\n<tbody>\n";
    for (const auto* r : rows) {
      out += "<tr><td>" + html_text(r->name) + "</td><td>" + html_text(overall_text(*r)) +
             "</td><td>" + html_text(level_text(*r)) + "</td><td>";
      if (r->indicators.empty()) out += "—";
      for (std::size_t k = 0; k < r->indicators.size(); ++k) {
        const auto& i = r->indicators[k];
        out += (k ? "<br>" : "") + std::string("<span class=\"") + i.kind + "\">" +
               html_text(indicator_text(i)) + "</span>";
      }
      out += "</td></tr>\n";
    }
    out += "</tbody>\n</table>\n";
  }
  return out + "</body>\n</html>\n";
}

std::string csv(const Comparison& c) {
  std::string out = "input,name,profile,indicator,change,before_status,after_status,before_score,after_score\n";
  auto number = [](const std::optional<double>& v) { return v ? format_fixed(*v, 2) : std::string(); };
  for (const auto& r : c.repositories) {
    std::string head = csv_text(r.input) + "," + csv_text(r.name) + "," + csv_text(r.profile) + ",";
    out += head + "overall," + csv_text(r.kind) + "," + csv_text(r.from_level) + "," +
           csv_text(r.to_level) + "," + number(r.from_score) + "," + number(r.to_score) + "\n";
    for (const auto& i : r.indicators)
      out += head + i.key + "," + i.kind + "," + i.from + "," + i.to + "," + number(i.from_score) +
             "," + number(i.to_score) + "\n";
  }
  return out;
}

}  // namespace

Comparison compare_runs(const Summary& old_run, const Summary& new_run, std::string old_name,
                        std::string new_name) {
  Comparison c;
  c.old_name = std::move(old_name);
  c.new_name = std::move(new_name);
  std::map<std::string, const SummaryRow*> before;
  for (const auto& r : old_run.rows) before.emplace(key_of(r), &r);
  double old_sum = 0, new_sum = 0;
  for (const auto& r : new_run.rows) {
    auto it = before.find(key_of(r));
    const SummaryRow* was = it == before.end() ? nullptr : it->second;
    if (was) before.erase(it);
    if (was && was->assessed && r.assessed) {
      ++c.in_both;
      old_sum += was->overall_score;
      new_sum += r.overall_score;
    }
    c.repositories.push_back(repository_change(was, &r));
  }
  for (const auto& r : old_run.rows)
    if (before.count(key_of(r))) c.repositories.push_back(repository_change(&r, nullptr));
  if (c.in_both) {
    c.old_mean = old_sum / static_cast<double>(c.in_both);
    c.new_mean = new_sum / static_cast<double>(c.in_both);
  }
  for (const auto& r : c.repositories)
    if (std::find(c.profiles.begin(), c.profiles.end(), r.profile) == c.profiles.end())
      c.profiles.push_back(r.profile);
  for (const auto& name : c.profiles) {
    const Profile* profile = find_profile(name);
    if (!profile) continue;
    for (std::size_t i = 0; i < profile->indicators.size(); ++i) {
      const auto& spec = profile->indicators[i];
      IndicatorTrend t{name, std::string(spec.key), std::string(spec.title)};
      auto tally = [&](const Summary& run, std::size_t& passed, std::size_t& runs) {
        for (const auto& r : run.rows) {
          if (r.profile != name || !r.assessed || i >= r.statuses.size()) continue;
          const std::string& status = r.statuses[i];
          if (status.empty() || status == "exempt" || status == "skipped") continue;
          ++runs;
          if (status == "pass") ++passed;
        }
      };
      tally(old_run, t.before_passed, t.before_runs);
      tally(new_run, t.after_passed, t.after_runs);
      for (const auto& r : c.repositories) {
        if (r.profile != name) continue;
        for (const auto& change : r.indicators) {
          if (change.key != t.key) continue;
          if (change.kind == "improved") ++t.improved;
          if (change.kind == "regressed") ++t.regressed;
        }
      }
      c.indicators.push_back(std::move(t));
    }
  }
  // Within a kind, the largest movement first, then by name.
  auto order = [](const RepositoryChange& r) {
    return std::find(kOrder.begin(), kOrder.end(), r.kind) - kOrder.begin();
  };
  std::stable_sort(c.repositories.begin(), c.repositories.end(),
                   [&](const RepositoryChange& a, const RepositoryChange& b) {
                     if (order(a) != order(b)) return order(a) < order(b);
                     double ma = a.from_score && a.to_score ? std::abs(*a.to_score - *a.from_score) : 0;
                     double mb = b.from_score && b.to_score ? std::abs(*b.to_score - *b.from_score) : 0;
                     if (ma != mb) return ma > mb;
                     return a.name < b.name;
                   });
  return c;
}

std::string render_comparison(const Comparison& c, std::string_view format) {
  if (format == "csv") return csv(c);
  if (format == "html") return html(c);
  return markdown(c);
}

}  // namespace ostrameld
