// The summary page as a person reads it: rendered by headless Chromium at a thousand
// repositories, measured in the browser (labels whole, nothing overlapping, the header in
// view while scrolling, sorting by a header), and shot as a picture.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "ostrameld/reports/summary.h"
#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

constexpr const char* kStatuses[] = {"pass", "warn", "fail", "unknown", "pass", "error"};

// Repository i of a synthetic run over every indicator of the default profile.
std::string repository_line(int i, bool local_tags, const Profile& profile = fair4rs_profile()) {
  std::string indicators;
  int k = 0;
  for (const auto& spec : profile.indicators) {
    const char* status = kStatuses[(i * 7 + k * 3) % 6];
    double score = std::string(status) == "pass" ? 10 - (i % 3) : std::string(status) == "warn" ? 5 : 1 + (i % 2);
    std::string extra;
    if (i % 97 == 0 && (spec.key == "version_identifiers" || spec.key == "release_versions")) {
      status = "exempt";
      extra = ", \"exemption\": {\"reason\": \"analysis code for one paper\", \"source\": \".ostrameld.toml\"}";
    }
    if (spec.key == "version_identifiers" && local_tags)
      extra += ", \"process\": \"No remote URL, checked local tags\"";
    if (!indicators.empty()) indicators += ", ";
    indicators += "{\"indicator_id\": \"" + std::string(spec.key) + "\", \"score\": " + std::to_string(score) +
                  ", \"status\": \"" + status + "\", \"advice\": []" + extra + "}";
    ++k;
  }
  // Names long and short, some without a break opportunity.
  std::string name = i % 10 == 0 ? "an-unusually-long-repository-name-without-any-spaces-" + std::to_string(i)
                                  : "repo-" + std::to_string(i);
  return "{\"input\": \"https://git.example.org/group/" + name +
         "\", \"schema\": \"ostrameld-assessment/1\", \"ostrameld_version\": \"0.1.0\", "
         "\"timestamp\": \"2026-12-0" + std::to_string(1 + i % 2) + "T10:00:00Z\", \"profile\": \"" +
         std::string(profile.name) + "\", "
         "\"software\": {\"name\": \"" + name + "\"}, \"overall_score\": " + std::to_string((i * 37 % 100) / 10.0) +
         ", \"compliance_level\": \"basic\", \"indicators\": [" + indicators + "]}\n";
}

std::string thousand(bool local_tags, const Profile& profile = fair4rs_profile()) {
  std::string out;
  for (int i = 0; i < 1000; ++i) out += repository_line(i, local_tags && i % 5 == 0, profile);
  return out;
}

Summary read(const std::string& text) {
  Summary s;
  std::istringstream in(text);
  read_results(in, "run.jsonl", s);
  return s;
}

TEST(SummaryPage, SaysWhenByWhatAndWhetherReleasesCameFromLocalTags) {
  std::string page = summary_html(read(thousand(true)));
  EXPECT_NE(page.find("Assessed on 2026-12-01 to 2026-12-02 by ostrameld 0.1.0, profile <code>fair4rs</code>."),
            std::string::npos);
  // Every fifth repository, less the three whose releases are exempt (0, 485, 970).
  EXPECT_NE(page.find("Releases of 197 of 1000 repositories were read from local tags"), std::string::npos);
  EXPECT_EQ(summary_html(read(thousand(false))).find("local tags"), std::string::npos);
  // An exemption is its own value, with its reason, in the matrix and the CSV.
  EXPECT_NE(page.find("<td class=\"s-exempt\" data-v=\"-1\" title=\"exempt: analysis code for one paper\">exempt</td>"),
            std::string::npos);
  Summary s = read(thousand(false));
  EXPECT_NE(summary_csv(s).find(",exempt,"), std::string::npos);
  EXPECT_NE(summary_markdown(s).find("(11 exempt)"), std::string::npos);
  // Without a script the matrix is whole: every repository a row, ranked by score.
  EXPECT_EQ(static_cast<int>(std::count(page.begin(), page.end(), '\n')) > 1000, true);
  auto first = page.find("<tbody>\n<tr><td class=\"n\" data-v=\"1\">1</td>");
  EXPECT_NE(first, std::string::npos);
}

// Results of two profiles make one page: a part and a matrix each, one style in the head
// and one script that sorts them all.
TEST(SummaryPage, TwoProfilesShareOneStyleAndOneScript) {
  std::string full = repository_line(1, false);
  full.replace(full.find("\"profile\": \"fair4rs\""), 20, "\"profile\": \"fair4rs-full\"");
  std::string page = summarize(read(repository_line(0, false) + full), "html");
  auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (auto at = page.find(what); at != std::string::npos; at = page.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<table class=\"matrix\">"), 2u);
  EXPECT_EQ(count("<script"), 1u);
  EXPECT_EQ(count("<style>"), 1u);
  EXPECT_LT(page.find("<style>"), page.find("</head>"));
  EXPECT_NE(page.find("querySelectorAll('table.matrix')"), std::string::npos);
}

// What the browser measures, written into the page's title for --dump-dom to show.
constexpr const char* kProbe = R"(<script>
window.addEventListener('load', function () {
  var problems = [];
  var t = document.querySelector('table.matrix');
  var heads = t.tHead.rows[0].cells;
  for (var i = 0; i !== heads.length; i++) {
    var h = heads[i];
    if (h.scrollWidth > h.clientWidth + 1 || h.scrollHeight > h.clientHeight + 1) problems.push('cut label ' + h.textContent);
    if (i + 1 !== heads.length && h.getBoundingClientRect().right > heads[i + 1].getBoundingClientRect().left + 0.5)
      problems.push('overlap ' + h.textContent);
  }
  // A matrix wider than the window scrolls sideways with the repository's name in view.
  var wide = document.documentElement.scrollWidth > window.innerWidth;
  if (wide) {
    window.scrollTo(600, 0);
    var name = t.tBodies[0].rows[3].cells[1].getBoundingClientRect();
    if (Math.abs(name.left) > 1) problems.push('name scrolled away: ' + name.left);
    window.scrollTo(0, 0);
  }
  var rows = t.tBodies[0].rows;
  if (rows.length !== 1000) problems.push('rows ' + rows.length);
  for (var r = 0; r !== 60; r++) {
    for (var c = 0; c !== rows[r].cells.length; c++) {
      var cell = rows[r].cells[c];
      if (cell.scrollWidth > cell.clientWidth + 1) problems.push('cut cell ' + r + ',' + c + ' ' + cell.textContent);
    }
    var a = rows[r].getBoundingClientRect(), b = rows[r + 1].getBoundingClientRect();
    if (a.bottom > b.top + 0.5) problems.push('rows overlap at ' + r);
  }
  // The header stays in view far down the table.
  window.scrollTo(0, rows[900].getBoundingClientRect().top + window.scrollY);
  var top = heads[4].getBoundingClientRect().top;
  if (top < -1 || top > 5) problems.push('header not in view: ' + top);
  window.scrollTo(0, 0);
  // A click on an indicator's header sorts by it, highest first; a second, lowest first.
  function column(i) { var v = []; for (var r = 0; r !== rows.length; r++) v.push(parseFloat(t.tBodies[0].rows[r].cells[i].getAttribute('data-v'))); return v; }
  function sorted(v, down) { for (var k = 1; k !== v.length; k++) if (down ? v[k] > v[k - 1] : v[k] < v[k - 1]) return false; return true; }
  heads[4].click();
  if (!sorted(column(4), true) || heads[4].getAttribute('aria-sort') !== 'descending') problems.push('not sorted down');
  heads[4].click();
  if (!sorted(column(4), false)) problems.push('not sorted up');
  heads[1].click();
  var names = []; for (var r = 0; r !== 5; r++) names.push(t.tBodies[0].rows[r].cells[1].getAttribute('data-v'));
  if (names.slice().sort().join() !== names.join()) problems.push('names not sorted ' + names.join());
  document.title = 'PROBE ' + (problems.length ? problems.slice(0, 8).join('; ') : 'ok') + (wide ? ' wide' : '');
});
</script>)";

// The default profile's matrix fits a 1280-pixel window; the full profile's sixteen
// indicators scroll sideways under the repository's name.
TEST(SummaryPage, AThousandRepositoriesRenderWholeAndSortInChromium) {
  for (const Profile* profile : profiles()) {
  SCOPED_TRACE(profile->name);
  TempRepo dir;
  dir.write("run.jsonl", thousand(true, *profile));
  auto r = run_cli("summary " + shell_quote((dir / "run.jsonl").string()) + " -f html -o " +
                   shell_quote((dir / "summary.html").string()));
  ASSERT_EQ(r.status, 0) << r.err;
  std::string page = testing::read_file((dir / "summary.html").string());
  auto end = page.rfind("</body>");
  dir.write("probe.html", page.substr(0, end) + kProbe + page.substr(end));
  std::string chromium = "cd " + shell_quote(dir.path().string()) +
                         " && HOME=$PWD timeout 120 chromium --headless --no-sandbox --disable-gpu "
                         "--hide-scrollbars --window-size=1280,1000 ";
  ASSERT_EQ(std::system((chromium + "--virtual-time-budget=10000 --dump-dom probe.html > dom.html 2>/dev/null").c_str()), 0);
  std::string dom = testing::read_file((dir / "dom.html").string());
  auto title = dom.find("<title>PROBE ");
  ASSERT_NE(title, std::string::npos) << "the probe did not run";
  EXPECT_EQ(dom.substr(title + 13, dom.find("</title>", title) - title - 13),
            profile == &fair4rs_profile() ? "ok" : "ok wide");

  // The picture: the top of the page with the charts and the first rows of the matrix.
  ASSERT_EQ(std::system((chromium + "--screenshot=summary.png summary.html >/dev/null 2>&1").c_str()), 0);
  dir.write("blank.html", "<!DOCTYPE html><html><body></body></html>");
  ASSERT_EQ(std::system((chromium + "--screenshot=blank.png blank.html >/dev/null 2>&1").c_str()), 0);
  EXPECT_GT(std::filesystem::file_size(dir / "summary.png"), 8 * std::filesystem::file_size(dir / "blank.png"));
  if (const char* keep = std::getenv("OSTRAMELD_KEEP_SCREENSHOT"))
    std::filesystem::copy_file(dir / "summary.png", keep, std::filesystem::copy_options::overwrite_existing);
  }
}

}  // namespace
}  // namespace ostrameld
