// Many assessments at a glance: the JSON Lines of a batch (or of its shards) read back
// and summed up as CSV, Markdown or one self-contained HTML page.
#pragma once

#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ostrameld/engine/profile.h"

namespace ostrameld {

// A line that is not this program's JSON Lines: the file and line are in the message.
class SummaryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One repository of the results.
struct SummaryRow {
  std::string input;
  std::string profile;  // the profile the line was assessed by
  std::string name;
  bool assessed = false;  // false: the input could not be assessed at all
  double overall_score = 0.0;
  std::string compliance;                     // "none" when none was reached
  std::vector<std::optional<double>> scores;  // per indicator of the profile; absent: not run
  std::vector<std::optional<bool>> passed;    // per indicator: status pass
  std::vector<std::string> statuses;          // per indicator: its status; empty: not run
  std::vector<std::string> exemptions;        // per indicator: the reason when exempt
  std::string timestamp;                      // when it was assessed
  std::string version;                        // by which version of the program
  // Its releases were read from local tags (an offline run, or the forge did not answer).
  bool local_tags = false;
  std::vector<std::string> advice;            // of every indicator short of pass
  std::vector<std::string> errors;            // messages
};

struct Summary {
  std::vector<SummaryRow> rows;    // in the order read, each input once
  std::size_t duplicates = 0;      // later lines of an input already read
  std::vector<std::string> notes;  // what was passed over, for the user (a torn last line)
};

// Reads one file of results; `name` is used in messages. Each line is read by the profile
// it names (`profile` for lines that name none, as older files). A torn last line (a batch
// killed while writing it) is skipped with a note; a broken line elsewhere throws
// SummaryError.
void read_results(std::istream& in, const std::string& name, Summary& summary,
                  const Profile& profile = fair4rs_profile());

std::string summary_csv(const Summary& s, const Profile& profile = fair4rs_profile());
std::string summary_markdown(const Summary& s, const Profile& profile = fair4rs_profile());
std::string summary_html(const Summary& s, const Profile& profile = fair4rs_profile());

// The profiles the rows were assessed by, in the order of profiles().
std::vector<const Profile*> profiles_in(const Summary& s);
// The summary in "markdown", "html" or "csv": as above for results of one profile; for
// several, a part per profile (CSV: one table with a profile column and every profile's
// indicators).
std::string summarize(const Summary& s, std::string_view format);

// Repository text made safe for each format (a comparison's tables use them too): a CSV
// cell that is never a formula, a Markdown cell with no markup of its own, HTML text.
std::string csv_text(std::string s);
std::string markdown_text(const std::string& s);
std::string html_text(const std::string& s);
// The HTML page's style and sorting script, for pages built on the same table.
std::string_view summary_style();
std::string_view summary_script();

}  // namespace ostrameld
