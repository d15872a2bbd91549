#include <fstream>
#include <iostream>

#include "ostrameld/cli/commands.h"
#include "ostrameld/reports/compare.h"
#include "ostrameld/reports/summary.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::cli {

void SummaryCommand::add(CLI::App& parent) {
  app = parent.add_subcommand(
      "summary", "Sum up batch results (JSON Lines) as Markdown, one HTML page or CSV");
  app->add_option("results", files, "JSON Lines files of batch runs (or shards)")->required();
  app->add_option("-f,--format", format, "markdown (default), html or csv")
      ->check(CLI::IsMember({"markdown", "html", "csv"}));
  app->add_option("-o,--output", output, "Write to FILE instead of stdout");
  app->add_flag("--compare", compare,
                "Compare two runs, OLD.jsonl NEW.jsonl: what improved, regressed, is new or gone");
}

namespace {

void read_file(const std::string& file, Summary& summary) {
  std::ifstream in(file);
  if (!is_file(Path(file), kAnywhere) || !in) throw UsageError("cannot read the results file " + file);
  try {
    read_results(in, file, summary);
  } catch (const SummaryError& e) {
    throw UsageError(e.what());
  }
  for (const auto& note : summary.notes) std::cerr << "ostrameld: note: " << escape_line(note) << '\n';
  summary.notes.clear();
}

}  // namespace

int SummaryCommand::run() const {
  if (compare && files.size() != 2)
    throw UsageError("--compare takes two results files, the earlier run first (OLD.jsonl NEW.jsonl)");
  std::optional<OutputFile> out = open_output(output);
  if (compare) {
    Summary before, after;
    read_file(files[0], before);
    read_file(files[1], after);
    std::string text = render_comparison(compare_runs(before, after, files[0], files[1]), format);
    if (out) {
      commit_output(*out, output, text);
    } else {
      std::cout << text;
    }
    return 0;
  }
  Summary summary;
  for (const auto& file : files) read_file(file, summary);
  if (auto used = profiles_in(summary); used.size() > 1) {
    std::vector<std::string> names;
    for (const Profile* p : used) names.emplace_back(p->name);
    std::cerr << "ostrameld: note: the results come from " << used.size() << " profiles ("
              << join(names, ", ") << "); each is summed up on its own\n";
  }
  std::string text = summarize(summary, format);
  if (out) {
    commit_output(*out, output, text);
  } else {
    std::cout << text;
  }
  return 0;
}

}  // namespace ostrameld::cli
