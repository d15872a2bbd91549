#include "ostrameld/reports/renderers.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "ostrameld/core/schema.h"
#include "ostrameld/engine/profile.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

// Width counts characters, not bytes; longer texts are never cut.
std::string pad_left_aligned(std::string_view s, std::size_t width) {
  std::string out(s);
  std::size_t n = code_points(s);
  if (n < width) out.append(width - n, ' ');
  return out;
}

std::string pad_right_aligned(std::string_view s, std::size_t width) {
  std::size_t n = code_points(s);
  std::string out;
  if (n < width) out.append(width - n, ' ');
  out.append(s);
  return out;
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string row(std::string_view indicator, std::string_view plugin, std::string_view score,
                std::string_view status) {
  return pad_left_aligned(indicator, 28) + " " + pad_left_aligned(plugin, 18) + " " +
         pad_right_aligned(score, 5) + "  " + pad_left_aligned(status, 6);
}

// What a repository put in a text stays on its line: no forged rows or headings.
std::string shown(std::string_view text) {
  return escape_line(sanitize_utf8(text));
}

void append_indicator(const CheckResult& r, std::vector<std::string>& lines) {
  std::string name =
      r.title.empty() ? shown(r.indicator_id) : shown(r.title) + " (" + shown(r.indicator_id) + ")";
  lines.push_back(name + ": " + format_fixed(r.score, 1) + ", " +
                  std::string(status_value(r.status)));
  if (r.status == CheckStatus::Error) {
    lines.push_back("  - error: " + shown(r.output));
    return;
  }
  for (const auto& advice : r.advice) lines.push_back("  - " + shown(advice));
}

// After the table: what to do about each indicator short of pass (and what stopped
// each check that could not run), then what would raise those that passed below 10.
void append_to_improve(const Assessment& a, std::vector<std::string>& lines) {
  std::vector<const CheckResult*> short_of_pass, room;
  bool unknown = false;
  for (const auto& r : a.indicators) {
    if (r.status == CheckStatus::Skipped || r.status == CheckStatus::Exempt) continue;
    if (r.status != CheckStatus::Pass) {
      short_of_pass.push_back(&r);
      unknown = unknown || r.status == CheckStatus::Unknown;
    } else if (r.score < 10.0 && !r.advice.empty()) {
      room.push_back(&r);
    }
  }
  if (!short_of_pass.empty()) {
    lines.emplace_back();
    lines.emplace_back(unknown ? "To improve (unknown: nothing found to judge)" : "To improve");
    for (const auto* r : short_of_pass) append_indicator(*r, lines);
  }
  if (!room.empty()) {
    lines.emplace_back();
    lines.emplace_back("Passed, with room to improve");
    for (const auto* r : room) append_indicator(*r, lines);
  }
}

// Exemptions are the repository's claim: said as such, with each reason.
void append_exempt(const Assessment& a, std::vector<std::string>& lines) {
  std::vector<const CheckResult*> exempt;
  for (const auto& r : a.indicators)
    if (r.status == CheckStatus::Exempt) exempt.push_back(&r);
  if (exempt.empty()) return;
  lines.emplace_back();
  lines.push_back("Exempt by the repository's " + shown(a.settings_file) +
                  " (not counted in the overall score)");
  for (const auto* r : exempt) lines.push_back("  - " + shown(r->indicator_id) + ": " + shown(r->exemption));
}

// Indicators of the profile that did not run for a reason of their own (not because
// --indicator left them out): never silently absent.
void append_not_assessed(const Assessment& a, std::vector<std::string>& lines) {
  // The default report stays as it was; the opt-in profiles name what they left out.
  const Profile* profile = find_profile(a.profile);
  if (!profile || profile == &fair4rs_profile()) return;
  std::vector<std::pair<std::string, std::vector<std::string>>> by_reason;
  for (const auto& s : a.skipped) {
    if (s.reason == "not selected (--indicator)") continue;
    auto it = std::find_if(by_reason.begin(), by_reason.end(),
                           [&](const auto& r) { return r.first == s.reason; });
    if (it == by_reason.end()) it = by_reason.insert(by_reason.end(), {s.reason, {}});
    it->second.push_back(shown(s.indicator_id));
  }
  for (const auto& [reason, keys] : by_reason)
    lines.push_back("Not assessed (" + shown(reason) + "): " + join(keys, ", "));
}

}  // namespace

std::string TextRenderer::render(const Assessment& a, const Json& /*options*/) const {
  std::vector<std::string> lines;
  lines.emplace_back("Assessment Results");
  lines.emplace_back(60, '=');
  std::string hdr = row("Indicator", "Plugin", "Score", "Status");
  std::size_t rule = code_points(hdr);
  lines.push_back(std::move(hdr));
  lines.emplace_back(rule, '-');
  for (const auto& r : a.indicators) {
    lines.push_back(row(shown(r.indicator_id), shown(r.plugin), format_fixed(r.score, 1),
                        upper(status_value(r.status))));
  }
  lines.emplace_back();
  lines.push_back(std::to_string(a.passed_indicators.size()) + "/" +
                  std::to_string(a.indicators.size()) + " passed (" +
                  std::to_string(a.skipped.size()) + " skipped, " + std::to_string(a.duration_ms) +
                  "ms)");
  std::string level =
      a.compliance_level && !a.compliance_level->empty() ? shown(*a.compliance_level) : "none";
  lines.push_back("Compliance: " + level);
  lines.push_back("Overall score: " + format_fixed(a.overall_score, 1));
  for (const auto& note : a.notes) lines.push_back("Note: " + shown(note));
  append_not_assessed(a, lines);
  append_exempt(a, lines);
  append_to_improve(a, lines);
  return join(lines, "\n");
}

std::string JsonRenderer::render(const Assessment& a, const Json& options) const {
  std::optional<int> indent = 2;
  if (options.is_object() && options.contains("indent")) {
    const Json& v = options["indent"];
    if (v.is_null()) {
      indent = std::nullopt;
    } else if (v.is_number_integer()) {
      indent = std::max(0, v.get<int>());
    } else {
      throw std::invalid_argument("JSON indent must be a whole number or null");
    }
  }
  return dump_json(to_json(a), indent);
}

}  // namespace ostrameld
