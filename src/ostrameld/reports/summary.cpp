#include "ostrameld/reports/summary.h"

#include <algorithm>
#include <array>
#include <map>
#include <unordered_set>

#include "ostrameld/core/schema.h"
#include "ostrameld/utils/json.h"
#include "ostrameld/utils/text.h"
#include "pytext/pytext.h"

namespace ostrameld {

namespace {

constexpr std::array<std::string_view, 4> kLevels{"none", "basic", "intermediate", "advanced"};
constexpr std::size_t kTopAdvice = 10;

std::string text_of(const Json& v) {
  return v.is_string() ? sanitize_utf8(v.get<std::string>()) : std::string();
}

SummaryRow row_of(const Json& doc, const Profile& profile) {
  SummaryRow r;
  r.input = text_of(doc["input"]);
  r.scores.assign(profile.indicators.size(), std::nullopt);
  r.passed.assign(profile.indicators.size(), std::nullopt);
  r.statuses.assign(profile.indicators.size(), std::string());
  r.exemptions.assign(profile.indicators.size(), std::string());
  r.timestamp = text_of(doc.value("timestamp", Json()));
  r.version = text_of(doc.value("ostrameld_version", Json()));
  if (auto errors = doc.find("errors"); errors != doc.end() && errors->is_array()) {
    for (const auto& e : *errors)
      if (e.is_object()) r.errors.push_back(text_of(e.value("message", Json())));
  }
  auto indicators = doc.find("indicators");
  r.assessed = indicators != doc.end() && indicators->is_array();
  if (auto sw = doc.find("software"); sw != doc.end() && sw->is_object())
    r.name = text_of(sw->value("name", Json()));
  if (!r.assessed) return r;
  if (auto o = doc.find("overall_score"); o != doc.end() && o->is_number())
    r.overall_score = o->get<double>();
  // Only the levels there are: a results file is input like any other.
  auto level = doc.find("compliance_level");
  r.compliance = "none";
  if (level != doc.end() && level->is_string()) {
    auto known = std::find(kLevels.begin(), kLevels.end(), level->get<std::string>());
    if (known != kLevels.end()) r.compliance = std::string(*known);
  }
  for (const auto& ind : *indicators) {
    if (!ind.is_object()) continue;
    std::string key = text_of(ind.value("indicator_id", Json()));
    for (std::size_t i = 0; i < profile.indicators.size(); ++i) {
      if (profile.indicators[i].key != key) continue;
      if (auto sc = ind.find("score"); sc != ind.end() && sc->is_number())
        r.scores[i] = sc->get<double>();
      std::string status = text_of(ind.value("status", Json()));
      r.statuses[i] = status;
      r.passed[i] = status == "pass";
      if (status == "exempt") {
        if (auto ex = ind.find("exemption"); ex != ind.end() && ex->is_object())
          r.exemptions[i] = text_of(ex->value("reason", Json()));
        continue;  // neither a pass nor advice: the project says it does not apply
      }
      if (profile.indicators[i].key == "version_identifiers" ||
          profile.indicators[i].key == "release_versions") {
        std::string process = text_of(ind.value("process", Json()));
        r.local_tags = process.find("local tags") != std::string::npos;
      }
      if (status != "pass") {
        if (auto adv = ind.find("advice"); adv != ind.end() && adv->is_array())
          for (const auto& a : *adv) r.advice.push_back(text_of(a));
      }
    }
  }
  return r;
}

// What every report says: counts, rates, levels, the spread and the common advice.
struct Figures {
  std::size_t assessed = 0;
  std::size_t failed = 0;
  std::vector<std::size_t> runs, passes, exempt;  // per indicator
  std::array<std::size_t, kLevels.size()> levels{};
  std::array<std::size_t, 10> histogram{};  // [0,1), [1,2), ... [9,10]
  std::vector<std::pair<std::string, std::size_t>> top_advice;
  std::vector<const SummaryRow*> ranked;  // assessed rows, best first

  Figures(const Summary& s, const Profile& profile)
      : runs(profile.indicators.size()),
        passes(profile.indicators.size()),
        exempt(profile.indicators.size()) {
    std::map<std::string, std::size_t> advice;
    for (const auto& r : s.rows) {
      if (!r.assessed) {
        ++failed;
        continue;
      }
      ++assessed;
      ranked.push_back(&r);
      for (std::size_t i = 0; i < runs.size(); ++i) {
        if (!r.passed[i]) continue;
        if (r.statuses[i] == "exempt") {
          ++exempt[i];  // not among the runs a rate is taken of
          continue;
        }
        ++runs[i];
        if (*r.passed[i]) ++passes[i];
      }
      auto level = std::find(kLevels.begin(), kLevels.end(), r.compliance);
      if (level != kLevels.end()) ++levels[static_cast<std::size_t>(level - kLevels.begin())];
      auto bin = static_cast<std::size_t>(std::clamp(r.overall_score, 0.0, 10.0));
      ++histogram[std::min<std::size_t>(bin, 9)];
      // Each text counts once per repository.
      std::unordered_set<std::string> seen(r.advice.begin(), r.advice.end());
      for (const auto& a : seen) ++advice[a];
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const SummaryRow* a, const SummaryRow* b) {
      if (a->overall_score != b->overall_score) return a->overall_score > b->overall_score;
      return a->name < b->name;
    });
    top_advice.assign(advice.begin(), advice.end());
    std::stable_sort(top_advice.begin(), top_advice.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    if (top_advice.size() > kTopAdvice) top_advice.resize(kTopAdvice);
  }

  double pass_rate(std::size_t i) const {
    return runs[i] ? 100.0 * static_cast<double>(passes[i]) / static_cast<double>(runs[i]) : 0.0;
  }
};

// Why there is no advice to show: all passed, or nothing was assessed at all.
std::string_view no_advice(const Figures& f) {
  if (f.assessed > 0) return "None: every indicator passed.";
  return f.failed > 0 ? "None: no repository could be assessed."
                      : "None: the results hold no repositories.";
}

std::string bin_label(std::size_t b) {
  return std::to_string(b) + "–" + std::to_string(b + 1);
}

// A cell as spreadsheets read it: quoted when needed, and never a formula.
std::string csv_cell(std::string s) {
  if (!s.empty() && std::string_view("=+-@\t\r").find(s.front()) != std::string_view::npos)
    s.insert(0, "'");
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// Text inside a Markdown table cell or list item: on one line, no markup of its own.
std::string md_cell(const std::string& s) {
  std::string out;
  for (char c : escape_line(s)) {
    if (c == '|' || c == '\\' || c == '`' || c == '*' || c == '_' || c == '[' || c == ']' ||
        c == '<' || c == '>')
      out += '\\';
    out += c;
  }
  return out;
}

// Control characters (ESC, CR) and bidirectional overrides spelled out before the markup
// is escaped: a page shows them as text, never acts on them.
std::string html(const std::string& s) {
  return pytext::html_escape(escape_line(s));
}

// An indicator's CSV value: its score, "exempt", or nothing when it did not run.
std::string score_cell(const SummaryRow& r, std::size_t i) {
  if (i < r.statuses.size() && r.statuses[i] == "exempt") return "exempt";
  return r.scores[i] ? format_fixed(*r.scores[i], 1) : "";
}

std::string percent(double v) {
  return format_fixed(v, 0) + "%";
}

// Horizontal bars with a label on the left and the value on the right, as inline SVG.
std::string svg_bars(const std::string& title,
                     const std::vector<std::pair<std::string, double>>& bars, double max,
                     const std::string& unit, const char* colour) {
  constexpr int kWidth = 380, kRow = 26;
  // Wide enough for the longest label ("Metadata naming the software" and the like), at
  // about 9 pixels a character in the page's sans-serif.
  std::size_t longest = 0;
  for (const auto& bar : bars) longest = std::max(longest, code_points(bar.first));
  const int kLabel = std::max(230, static_cast<int>(longest) * 9 + 16);
  int height = static_cast<int>(bars.size()) * kRow + 10;
  std::string out = "<figure><figcaption>" + html(title) +
                    "</figcaption>\n<svg role=\"img\" "
                    "aria-label=\"" +
                    html(title) + "\" width=\"" + std::to_string(kLabel + kWidth + 70) +
                    "\" height=\"" + std::to_string(height) +
                    "\" xmlns=\"http://www.w3.org/2000/svg\">\n";
  for (std::size_t i = 0; i < bars.size(); ++i) {
    int y = static_cast<int>(i) * kRow + 5;
    double w = max > 0 ? bars[i].second / max * kWidth : 0;
    std::string value = unit == "%" ? percent(bars[i].second) : format_fixed(bars[i].second, 0);
    out += "<text x=\"" + std::to_string(kLabel - 8) + "\" y=\"" + std::to_string(y + 16) +
           "\" text-anchor=\"end\">" + html(bars[i].first) + "</text>";
    out += "<rect x=\"" + std::to_string(kLabel) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
           format_fixed(std::max(w, 1.0), 1) + "\" height=\"20\" fill=\"" + colour + "\"/>";
    out += "<text x=\"" + format_fixed(kLabel + std::max(w, 1.0) + 6, 1) + "\" y=\"" +
           std::to_string(y + 16) + "\">" + value + "</text>\n";
  }
  return out + "</svg></figure>\n";
}

// The repository × indicator table: colours for the statuses (each also spelled in the
// cell, so that colour is never the only sign), a header that stays in view over a
// thousand rows, and labels that wrap rather than being cut.
constexpr std::string_view kMatrixStyle =
    "table.matrix{width:auto;font-size:.8rem}\n"
    "table.matrix th,table.matrix td{padding:.2rem .4rem}\n"
    "table.matrix th{position:sticky;top:0;background:#f6f8fa;vertical-align:bottom;z-index:1}\n"
    "table.matrix th.ind{white-space:normal;min-width:4.2rem;max-width:6.5rem}\n"
    "table.matrix th.name,table.matrix td.name{min-width:8rem;max-width:16rem;"
    "overflow-wrap:anywhere;white-space:normal}\n"
    "table.matrix td{white-space:nowrap}\n"
    // A page wider than the window (many indicators) scrolls sideways; the repository's
    // name stays in view at the left.
    "table.matrix td.name{position:sticky;left:0;background:#fff}"
    "table.matrix th.name{left:0;z-index:2}\n"
    "table.matrix th[data-sort]{cursor:pointer}\n"
    "table.matrix th[aria-sort=ascending]::after{content:\" \\25B2\"}\n"
    "table.matrix th[aria-sort=descending]::after{content:\" \\25BC\"}\n"
    ".s-pass{background:#dafbe1}.s-warn{background:#fff8c5}.s-fail{background:#ffebe9}"
    ".s-unknown{background:#eaeef2}.s-error{background:#ffd8b5}"
    ".s-exempt{background:#ddf4ff;font-style:italic}\n"
    ".legend span{display:inline-block;padding:0 .4rem;margin-right:.4rem}\n"
    ".note{border-left:4px solid #bf8700;padding-left:.6rem}\n";

// Sorting by a column header: without it the table is whole and ranked by score.
constexpr std::string_view kSortScript =
    "<script>\n"
    "(function(){\n"
    "document.querySelectorAll('table.matrix').forEach(function(t){\n"
    "var hs=t.tHead.rows[0].cells;\n"
    "function key(c){var v=c.getAttribute('data-v');var n=parseFloat(v);"
    "return isNaN(n)?v:n;}\n"
    "function sort(i){var h=hs[i];var asc=h.getAttribute('aria-sort')==='descending'||"
    "(!h.getAttribute('aria-sort')&&h.getAttribute('data-sort')==='text');\n"
    "for(var k=0;k!==hs.length;k++)hs[k].removeAttribute('aria-sort');\n"
    "h.setAttribute('aria-sort',asc?'ascending':'descending');\n"
    "var b=t.tBodies[0];var rows=Array.prototype.slice.call(b.rows);\n"
    "rows.sort(function(x,y){var a=key(x.cells[i]),c=key(y.cells[i]);"
    "var r=typeof a==='number'&&typeof c==='number'?a-c:String(a).localeCompare(String(c));"
    "return asc?r:-r;});\n"
    "rows.forEach(function(r){b.appendChild(r);});}\n"
    "for(var i=0;i!==hs.length;i++){if(!hs[i].hasAttribute('data-sort'))continue;"
    "hs[i].tabIndex=0;(function(i){hs[i].addEventListener('click',function(){sort(i);});"
    "hs[i].addEventListener('keydown',function(e){if(e.key==='Enter'||e.key===' '){"
    "e.preventDefault();sort(i);}});})(i);}\n"
    "});\n"
    "})();\n"
    "</script>\n";

// What a cell shows for a status: a mark beside the score, or the word itself.
std::string_view status_mark(std::string_view status) {
  if (status == "pass") return "\u2713 ";
  if (status == "warn") return "! ";
  if (status == "fail") return "\u2717 ";
  if (status == "unknown") return "? ";
  return "";
}

// When and by what the results were made; a note when releases came from local tags.
std::string run_line(const Summary& s, const Profile& profile) {
  std::string first, last;
  std::vector<std::string> versions;
  std::size_t local = 0, assessed = 0;
  for (const auto& r : s.rows) {
    if (r.timestamp.size() >= 10) {
      std::string day = r.timestamp.substr(0, 10);
      if (first.empty() || day < first) first = day;
      if (last.empty() || day > last) last = day;
    }
    if (!r.version.empty() && std::find(versions.begin(), versions.end(), r.version) == versions.end())
      versions.push_back(r.version);
    if (r.assessed) {
      ++assessed;
      if (r.local_tags) ++local;
    }
  }
  std::string out = "<p class=\"run\">Assessed " +
                    (first.empty() ? std::string("on an unrecorded date")
                                   : "on " + html(first) + (last != first ? " to " + html(last) : "")) +
                    " by ostrameld " + (versions.empty() ? std::string("(version unrecorded)") : html(join(versions, ", "))) +
                    ", profile <code>" + html(std::string(profile.name)) + "</code>.</p>\n";
  if (local > 0) {
    out += "<p class=\"note\">Releases of " + std::to_string(local) + " of " + std::to_string(assessed) +
           " repositories were read from local tags: the run was offline, or the forge did not "
           "answer, so releases published only on the forge were not counted.</p>\n";
  }
  return out;
}

// Repositories (ranked by score) by indicators, then those that could not be assessed.
std::string matrix(const Summary& s, const Figures& f, const Profile& profile) {
  std::string out =
      "<h2 id=\"repositories\">Repositories</h2>\n<p class=\"legend\">Status: <span class=\"s-pass\">\u2713 pass</span>"
      "<span class=\"s-warn\">! warn</span><span class=\"s-fail\">\u2717 fail</span>"
      "<span class=\"s-unknown\">? unknown</span><span class=\"s-error\">error</span>"
      "<span class=\"s-exempt\">exempt</span> \u2014 a column header sorts by it.</p>\n"
      "<table class=\"matrix\">\n<thead><tr><th data-sort=\"num\">#</th>"
      "<th class=\"name\" data-sort=\"text\">Repository</th><th data-sort=\"num\">Score</th>"
      "<th data-sort=\"num\">Compliance</th>";
  for (const auto& spec : profile.indicators)
    out += "<th class=\"ind\" data-sort=\"num\" title=\"" + html(std::string(spec.key)) + "\">" +
           html(std::string(spec.title)) + "</th>";
  out += "</tr></thead>\n<tbody>\n";
  std::size_t rank = 0;
  for (const auto* r : f.ranked) {
    std::string name = r->name.empty() ? r->input : r->name;
    auto level = std::find(kLevels.begin(), kLevels.end(), r->compliance) - kLevels.begin();
    ++rank;
    out += "<tr><td class=\"n\" data-v=\"" + std::to_string(rank) + "\">" + std::to_string(rank) +
           "</td><td class=\"name\" data-v=\"" + html(ascii_lower(name)) + "\" title=\"" +
           html(r->input) + "\">" + html(name) + "</td><td class=\"n\" data-v=\"" +
           format_fixed(r->overall_score, 2) + "\">" + format_fixed(r->overall_score, 1) +
           "</td><td data-v=\"" + std::to_string(level) + "\">" + html(r->compliance) + "</td>";
    for (std::size_t i = 0; i < profile.indicators.size(); ++i) {
      const std::string& status = r->statuses[i];
      if (status.empty()) {
        out += "<td data-v=\"-3\">\u2014</td>";
      } else if (status == "exempt") {
        out += "<td class=\"s-exempt\" data-v=\"-1\" title=\"exempt: " + html(r->exemptions[i]) +
               "\">exempt</td>";
      } else if (status == "error" || status == "skipped" || !r->scores[i]) {
        out += "<td class=\"s-" + html(status) + "\" data-v=\"-2\">" + html(status) + "</td>";
      } else {
        out += "<td class=\"n s-" + html(status) + "\" data-v=\"" + format_fixed(*r->scores[i], 2) +
               "\" title=\"" + html(status) + "\">" + std::string(status_mark(status)) +
               format_fixed(*r->scores[i], 1) + "</td>";
      }
    }
    out += "</tr>\n";
  }
  out += "</tbody>\n";
  if (f.failed) {
    out += "<tbody class=\"failed\">\n";
    for (const auto& r : s.rows) {
      if (r.assessed) continue;
      out += "<tr><td></td><td class=\"name\">" + html(r.input) + "</td><td colspan=\"" +
             std::to_string(profile.indicators.size() + 2) +
             "\">not assessed: " + html(join(r.errors, "; ")) + "</td></tr>\n";
    }
    out += "</tbody>\n";
  }
  return out + "</table>\n";
}

constexpr std::size_t kMaxLine = 64u << 20;

// One line, but never more than kMaxLine + 1 characters of it in memory; `ended` says
// whether a line break ended it.
bool read_bounded_line(std::istream& in, std::string& line, bool& ended) {
  line.clear();
  ended = false;
  char buf[1 << 16];
  auto keep = [&](std::streamsize n) {
    auto room = kMaxLine + 1 - std::min(line.size(), kMaxLine + 1);
    line.append(buf, std::min(static_cast<std::size_t>(n), room));
  };
  for (;;) {
    in.getline(buf, sizeof buf);
    std::streamsize n = in.gcount();
    if (in.good()) {  // the line break was read, and counted
      keep(n - 1);
      ended = true;
      return true;
    }
    if (in.bad()) return false;
    if (in.eof()) {  // a last line without a line break, or nothing at all
      keep(n);
      return n > 0 || !line.empty();
    }
    if (n == static_cast<std::streamsize>(sizeof buf) - 1) {  // the buffer is full: go on
      keep(n);
      in.clear();
      continue;
    }
    return false;
  }
}

}  // namespace

void read_results(std::istream& in, const std::string& name, Summary& summary,
                  const Profile& profile) {
  std::unordered_set<std::string> seen;
  // An input is counted once per profile: the same list assessed by two profiles is two sets.
  auto key = [](const SummaryRow& r) { return r.profile + '\n' + r.input; };
  for (const auto& r : summary.rows) seen.insert(key(r));
  std::string line;
  std::size_t line_no = 0;
  bool ended = false;
  while (read_bounded_line(in, line, ended)) {
    ++line_no;
    if (line.size() > kMaxLine) {
      throw SummaryError(name + ":" + std::to_string(line_no) +
                         ": not a line of ostrameld's JSON Lines (far too long)");
    }
    if (line.empty()) continue;
    auto doc = read_json(line);
    bool ours = doc && doc->is_object() && doc->contains("input") && (*doc)["input"].is_string() &&
                doc->contains("schema") && (*doc)["schema"].is_string() &&
                (*doc)["schema"].get<std::string>().rfind(kSchemaPrefix, 0) == 0;
    if (!ours && !ended && in.peek() == std::char_traits<char>::eof()) {
      // What a kill leaves: the last line cut short. --resume does it again.
      summary.notes.push_back(name + ":" + std::to_string(line_no) +
                              ": skipped a torn last line (a batch killed while writing it)");
      break;
    }
    if (!ours) {
      throw SummaryError(name + ":" + std::to_string(line_no) +
                         ": not a line of ostrameld's JSON Lines (batch output)");
    }
    const Profile* named = nullptr;
    if (auto pf = doc->find("profile"); pf != doc->end() && pf->is_string())
      named = find_profile(pf->get<std::string>());
    const Profile& by = named ? *named : profile;
    SummaryRow row = row_of(*doc, by);
    row.profile = by.name;
    if (!seen.insert(key(row)).second) {
      ++summary.duplicates;
      continue;
    }
    summary.rows.push_back(std::move(row));
  }
}

std::string summary_csv(const Summary& s, const Profile& profile) {
  std::string out = "input,name,overall_score,compliance_level";
  for (const auto& spec : profile.indicators) out += "," + std::string(spec.key);
  out += ",errors\n";
  for (const auto& r : s.rows) {
    out += csv_cell(r.input) + "," + csv_cell(r.name) + ",";
    out += r.assessed ? format_fixed(r.overall_score, 2) + "," + r.compliance : std::string(",");
    for (std::size_t i = 0; i < r.scores.size(); ++i) out += "," + score_cell(r, i);
    out += "," + csv_cell(join(r.errors, " | ")) + "\n";
  }
  return out;
}

std::string summary_markdown(const Summary& s, const Profile& profile) {
  Figures f(s, profile);
  std::string out = "# FAIR assessment of " + std::to_string(s.rows.size()) + " repositories\n\n";
  out += std::to_string(f.assessed) + " assessed, " + std::to_string(f.failed) +
         " could not be assessed";
  if (s.duplicates) out += ", " + std::to_string(s.duplicates) + " repeated lines counted once";
  out +=
      ".\n\n## Pass rate per indicator\n\n| Indicator | FAIR4RS | Passed | Rate "
      "|\n|---|---|---:|---:|\n";
  for (std::size_t i = 0; i < profile.indicators.size(); ++i) {
    const auto& spec = profile.indicators[i];
    out += "| " + std::string(spec.title) + " (`" + std::string(spec.key) + "`) | " +
           std::string(spec.fair4rs_id.value_or("—")) + " | " + std::to_string(f.passes[i]) +
           " of " + std::to_string(f.runs[i]) +
           (f.exempt[i] ? " (" + std::to_string(f.exempt[i]) + " exempt)" : std::string()) + " | " +
           percent(f.pass_rate(i)) + " |\n";
  }
  out += "\n## Compliance levels\n\n| Level | Repositories |\n|---|---:|\n";
  for (std::size_t l = 0; l < kLevels.size(); ++l)
    out += "| " + std::string(kLevels[l]) + " | " + std::to_string(f.levels[l]) + " |\n";
  out += "\n## Overall scores\n\n| Score | Repositories |\n|---|---:|\n";
  for (std::size_t b = 0; b < f.histogram.size(); ++b)
    out += "| " + bin_label(b) + " | " + std::to_string(f.histogram[b]) + " |\n";
  out += "\n## Most common advice\n\n";
  if (f.top_advice.empty()) out += std::string(no_advice(f)) + "\n";
  for (const auto& [text, count] : f.top_advice)
    out += "- " + std::to_string(count) + " × " + md_cell(text) + "\n";
  out += "\n## Repositories\n\n| # | Repository | Score | Compliance |\n|---:|---|---:|---|\n";
  std::size_t rank = 0;
  for (const auto* r : f.ranked) {
    out += "| " + std::to_string(++rank) + " | " + md_cell(r->name.empty() ? r->input : r->name) +
           " | " + format_fixed(r->overall_score, 1) + " | " + r->compliance + " |\n";
  }
  if (f.failed) {
    out += "\n## Not assessed\n\n";
    for (const auto& r : s.rows)
      if (!r.assessed) out += "- " + md_cell(r.input) + ": " + md_cell(join(r.errors, "; ")) + "\n";
  }
  return out;
}

std::string summary_html(const Summary& s, const Profile& profile) {
  Figures f(s, profile);
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>FAIR assessment of " +
      std::to_string(s.rows.size()) +
      " repositories</title>\n"
      "<style>\n"
      "body{font-family:system-ui,sans-serif;margin:2rem auto;max-width:72rem;padding:0 1rem;"
      "color:#1b1f24}\n"
      "h1{font-size:1.6rem}h2{font-size:1.2rem;margin-top:2rem}\n"
      "figure{margin:1rem 0}figcaption{font-weight:600;margin-bottom:.4rem}\n"
      "svg text{font-size:13px;fill:#1b1f24}\n"
      "table{border-collapse:collapse;width:100%}th,td{padding:.3rem .6rem;"
      "border-bottom:1px solid #d0d7de;text-align:left}td.n{text-align:right}\n"
      ".charts{display:flex;flex-wrap:wrap;gap:2rem}\n" +
      std::string(kMatrixStyle) + "</style>\n</head>\n<body>\n";
  out += "<h1>FAIR assessment of " + std::to_string(s.rows.size()) + " repositories</h1>\n";
  out += run_line(s, profile);
  out += "<p>" + std::to_string(f.assessed) + " assessed, " + std::to_string(f.failed) +
         " could not be assessed" +
         (s.duplicates ? ", " + std::to_string(s.duplicates) + " repeated lines counted once"
                       : std::string()) +
         ".</p>\n<div class=\"charts\">\n";
  std::vector<std::pair<std::string, double>> rates;
  for (std::size_t i = 0; i < profile.indicators.size(); ++i)
    rates.emplace_back(std::string(profile.indicators[i].title), f.pass_rate(i));
  out += svg_bars("Pass rate per indicator", rates, 100.0, "%", "#2f81f7");
  std::vector<std::pair<std::string, double>> bins;
  double most = 0;
  for (std::size_t b = 0; b < f.histogram.size(); ++b) {
    bins.emplace_back("score " + bin_label(b), static_cast<double>(f.histogram[b]));
    most = std::max(most, static_cast<double>(f.histogram[b]));
  }
  out += svg_bars("Overall scores", bins, most, "", "#8250df");
  std::vector<std::pair<std::string, double>> levels;
  double most_level = 0;
  for (std::size_t l = 0; l < kLevels.size(); ++l) {
    levels.emplace_back(std::string(kLevels[l]), static_cast<double>(f.levels[l]));
    most_level = std::max(most_level, static_cast<double>(f.levels[l]));
  }
  out += svg_bars("Compliance levels", levels, most_level, "", "#1a7f37");
  out += "</div>\n<h2>Most common advice</h2>\n<ul>\n";
  if (f.top_advice.empty()) out += "<li>" + std::string(no_advice(f)) + "</li>\n";
  for (const auto& [text, count] : f.top_advice)
    out += "<li>" + std::to_string(count) + " × " + html(text) + "</li>\n";
  out += "</ul>\n" + matrix(s, f, profile) + std::string(kSortScript) + "</body>\n</html>\n";
  return out;
}

std::vector<const Profile*> profiles_in(const Summary& s) {
  std::vector<const Profile*> out;
  for (const Profile* p : profiles())
    if (std::any_of(s.rows.begin(), s.rows.end(), [&](const SummaryRow& r) { return r.profile == p->name; }))
      out.push_back(p);
  return out;
}

namespace {

Summary rows_of(const Summary& s, const Profile& p) {
  Summary part;
  part.duplicates = 0;
  for (const auto& r : s.rows)
    if (r.profile == p.name) part.rows.push_back(r);
  return part;
}

// One level deeper, for a part of a larger report: "# x" becomes "## x".
std::string demoted(const std::string& markdown) {
  std::string out;
  std::size_t start = 0;
  while (start < markdown.size()) {
    auto nl = markdown.find('\n', start);
    std::string line = markdown.substr(start, nl == std::string::npos ? std::string::npos : nl - start + 1);
    if (!line.empty() && line.front() == '#') out += "#";
    out += line;
    start = nl == std::string::npos ? markdown.size() : nl + 1;
  }
  return out;
}

std::string body_of(const std::string& page) {
  auto open = page.find("<body>\n");
  auto close = page.rfind("</body>");
  if (open == std::string::npos || close == std::string::npos) return page;
  return page.substr(open + 7, close - open - 7);
}

}  // namespace

std::string csv_text(std::string s) { return csv_cell(std::move(s)); }
std::string markdown_text(const std::string& s) { return md_cell(s); }
std::string html_text(const std::string& s) { return html(s); }
std::string_view summary_style() { return kMatrixStyle; }
std::string_view summary_script() { return kSortScript; }

std::string summarize(const Summary& s, std::string_view format) {
  std::vector<const Profile*> used = profiles_in(s);
  if (used.size() <= 1) {
    const Profile& p = used.empty() ? fair4rs_profile() : *used.front();
    return format == "csv" ? summary_csv(s, p) : format == "html" ? summary_html(s, p) : summary_markdown(s, p);
  }
  if (format == "csv") {
    // Every profile's indicators, each once, and the profile of each row.
    std::vector<std::string_view> keys;
    for (const Profile* p : used)
      for (const auto& spec : p->indicators)
        if (std::find(keys.begin(), keys.end(), spec.key) == keys.end()) keys.push_back(spec.key);
    std::string out = "input,name,profile,overall_score,compliance_level";
    for (auto k : keys) out += "," + std::string(k);
    out += ",errors\n";
    for (const Profile* p : used) {
      for (const auto& r : s.rows) {
        if (r.profile != p->name) continue;
        out += csv_cell(r.input) + "," + csv_cell(r.name) + "," + std::string(p->name) + ",";
        out += r.assessed ? format_fixed(r.overall_score, 2) + "," + r.compliance : std::string(",");
        for (auto k : keys) {
          out += ",";
          for (std::size_t i = 0; i < p->indicators.size(); ++i)
            if (p->indicators[i].key == k) out += score_cell(r, i);
        }
        out += "," + csv_cell(join(r.errors, " | ")) + "\n";
      }
    }
    return out;
  }
  std::string out;
  if (format == "html") {
    // One style and one sorting script for all the parts.
    std::string style;
    for (const Profile* p : used) {
      std::string page = summary_html(rows_of(s, *p), *p);
      if (style.empty()) {
        auto open = page.find("<style>");
        auto close = page.find("</style>\n");
        if (open != std::string::npos && close != std::string::npos)
          style = page.substr(open, close + 9 - open);
      }
      std::string body = body_of(page);
      if (auto script = body.rfind(kSortScript); script != std::string::npos)
        body.erase(script, kSortScript.size());
      out += "<section>\n<p>Profile <code>" + std::string(p->name) + "</code>: " +
             std::string(p->description) + "</p>\n" + body + "</section>\n";
    }
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>FAIR assessment of " +
           std::to_string(s.rows.size()) + " repositories, by profile</title>\n" + style +
           "</head>\n<body>\n" + out + std::string(kSortScript) + "</body>\n</html>\n";
  }
  out = "# FAIR assessment of " + std::to_string(s.rows.size()) +
        " repositories, by profile\n\nThe results come from " + std::to_string(used.size()) +
        " profiles; each is summed up on its own.\n";
  if (s.duplicates) out += "\n" + std::to_string(s.duplicates) + " repeated lines counted once.\n";
  for (const Profile* p : used)
    out += "\n## Profile `" + std::string(p->name) + "`\n\n" + demoted(summary_markdown(rows_of(s, *p), *p));
  return out;
}

}  // namespace ostrameld
