#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "ostrameld/cli/commands.h"
#include "ostrameld/engine/interrupts.h"
#include "ostrameld/engine/locations.h"
#include "ostrameld/engine/profile.h"
#include "ostrameld/engine/source.h"
#include "ostrameld/engine/watchdog.h"
#include "ostrameld/git/directory.h"
#include "ostrameld/reports/markdown.h"
#include "ostrameld/reports/renderers.h"
#include "ostrameld/reports/sarif.h"
#include "ostrameld/utils/tempdir.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::cli {

namespace {

constexpr int kMaxJsonIndent = 16;

// The one line a failed gate prints: the score, the threshold, and what pulled it down.
std::string gate_message(const Assessment& a, double threshold, bool from_settings) {
  std::vector<const CheckResult*> low;
  const Profile* named = find_profile(a.profile);
  const Profile& profile = named ? *named : fair4rs_profile();
  for (const auto& r : a.indicators) {
    const IndicatorSpec* spec = profile.find(r.indicator_id);
    if (spec && spec->weight > 0 && r.score < threshold && r.status != CheckStatus::Error &&
        r.status != CheckStatus::Skipped && r.status != CheckStatus::Exempt)
      low.push_back(&r);
  }
  std::stable_sort(low.begin(), low.end(),
                   [](const CheckResult* x, const CheckResult* y) { return x->score < y->score; });
  std::vector<std::string> shown;
  for (const auto* r : low)
    shown.push_back(r->indicator_id + " " + format_fixed(r->score, 1) + " (" +
                    std::string(status_value(r->status)) + ")");
  std::string gate = from_settings ? a.settings_file + "'s fail-under" : "--fail-under";
  return "overall score " + format_fixed(a.overall_score, 2) + " is below " + gate + " " +
         format_seconds(threshold) + "; lowest: " + (shown.empty() ? "none" : join(shown, ", "));
}

Json render_options(const std::string& json_indent) {
  Json options = Json::object();
  if (json_indent == "none" || json_indent == "null") {
    options["indent"] = nullptr;
    return options;
  }
  auto n = parse_whole(json_indent);
  if (!n || *n < 0 || *n > kMaxJsonIndent) {
    throw UsageError("--json-indent takes 0 to " + std::to_string(kMaxJsonIndent) +
                     " spaces or \"none\", not \"" + json_indent + "\"");
  }
  options["indent"] = static_cast<int>(*n);
  return options;
}

std::unique_ptr<Renderer> make_renderer(const std::string& format,
                                        const std::string& template_dir) {
  if (format == "json") return std::make_unique<JsonRenderer>();
  if (format == "sarif") return std::make_unique<SarifRenderer>();
  if (format == "badge") return std::make_unique<BadgeRenderer>();
  if (format == "markdown") {
    Path dir = template_dir.empty() ? default_template_dir() : Path(template_dir);
    if (!is_file(dir / "report.md.j2", kAnywhere)) {
      throw UsageError(template_dir.empty()
                           ? "no report template found beside the program (" + dir.string() +
                                 "); use --template-dir"
                           : "no report.md.j2 in template directory " + template_dir);
    }
    return std::make_unique<MarkdownRenderer>(dir);
  }
  return std::make_unique<TextRenderer>();
}

// Options that only one format reads are worth a word when another format is chosen.
void note_ignored_options(const AssessCommand& c) {
  auto given = [&](const char* name) { return c.app->count(name) > 0; };
  if (given("--template-dir") && c.format != "markdown")
    std::cerr << "ostrameld: note: --template-dir is read only with -f markdown; ignored\n";
  if (given("--json-indent") && c.format != "json")
    std::cerr << "ostrameld: note: --json-indent is read only with -f json; ignored\n";
}

// A directory inside a work tree is assessed as it is; the user should know that the
// repository's root would be judged differently.
void note_subdirectory(const Path& path) {
  try {
    if (auto foreign = foreign_parent_repository(path)) {
      std::cerr << "ostrameld: note: the repository at " << escape_line(sanitize_utf8(foreign->native()))
                << " above " << escape_line(sanitize_utf8(path.native()))
                << " belongs to another user and is not taken as its repository; "
                   "--trust-parent-repository takes it\n";
      return;
    }
    auto top = work_tree_top(path);
    if (!top) return;
    Path real = std::filesystem::canonical(path);
    if (real != *top)
      std::cerr << "ostrameld: note: " << escape_line(sanitize_utf8(path.native()))
                << " is a directory inside the repository at "
                << escape_line(sanitize_utf8(top->native()))
                << "; assess that path for the whole repository\n";
  } catch (const std::exception&) {
    // The assessment itself says what is wrong with the repository.
  }
}

}  // namespace

void AssessCommand::add(CLI::App& parent) {
  app = parent.add_subcommand("assess", "Assess one repository (a directory or a clone URL)");
  app->add_option("path", path, "Repository directory or URL (default: .)");
  app->add_option("-f,--format", format, "Report format")
      ->check(CLI::IsMember({"text", "json", "markdown", "sarif", "badge"}));
  app->add_option("-o,--output", output, "Write the report to FILE instead of stdout");
  app->add_option("--badge", badge, "Also write an SVG badge of the score to FILE");
  app->add_option("--json-indent", json_indent, "Spaces per JSON level, or none for one line");
  app->add_option("--template-dir", template_dir, "Directory holding report.md.j2 (Markdown)");
  // The last one counts, so that a hook's "none" can be overridden by its args.
  app->add_option("--fail-under", fail_under,
                  "Exit with status 1 when the overall score is below SCORE (none: no gate, "
                  "not even the project's settings')")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app->add_option("--timeout", timeout,
                  "Stop a clone or assessment still running after SECONDS, forge requests "
                  "included (default: 600; 0: no limit)");
  common.add_to(app);
}

int AssessCommand::run() const {
  check_timeout(timeout);
  std::uintmax_t max_memory = common.memory_limit();
  trust_parent_repositories_of_others(common.trust_parent_repository);
  remove_abandoned_temp_dirs(std::filesystem::temp_directory_path());  // of killed runs
  bool no_gate = fail_under == "none";
  std::optional<double> threshold;
  if (!no_gate) threshold = parse_score(fail_under);
  // Behind the deadline checks, a wall for what they miss: past the time and a second,
  // the process ends with the same one line.
  Watchdog watchdog(timeout);
  limit_memory(max_memory);
  Deadline deadline = deadline_after(timeout);
  Json options = render_options(json_indent);
  std::unique_ptr<Renderer> renderer = make_renderer(format, template_dir);
  note_ignored_options(*this);
  CloneLimits limits = common.clone_limits();
  common.assess_options(nullptr);  // the flags checked before any clone

  // Both made before the work, so that a path that cannot be written fails at once.
  std::optional<OutputFile> out = open_output(output);
  std::optional<OutputFile> badge_file = open_output(badge);

  RepositorySource source = [&] {
    try {
      return RepositorySource::open(path,
                                    {.progress = true, .deadline = deadline, .limits = limits});
    } catch (const SourceError& e) {
      if (Interrupts::requested()) throw Interrupted{};
      throw UsageError(e.what());
    }
  }();
  if (Interrupts::requested()) throw Interrupted{};
  if (!source.url()) note_subdirectory(source.path());

  // The repository's own settings, under the flags.
  ProjectConfig settings = read_settings(source.path());
  HttpForgeClient forge(common.forge_options(settings));
  AssessOptions opts = common.settled_options(settings, *app, &forge);
  if (!threshold && !no_gate) threshold = settings.fail_under;
  opts.repo_url = source.url();
  opts.software_name = source.name();
  opts.deadline = deadline;
  opts.cancel = &Interrupts::flag();
  Assessment a = [&] {
    try {
      return assess_repository(source.path(), opts);
    } catch (const std::bad_alloc&) {
      throw UsageError("the assessment needed more memory than " + memory_limit_text(max_memory) +
                       " allows");
    }
  }();
  if (Interrupts::requested()) throw Interrupted{};
  if (format == "sarif") locate_findings(a, std::filesystem::absolute(source.path()));

  std::string text;
  try {
    text = renderer->render(a, options);
  } catch (const std::exception& e) {
    throw UsageError(std::string("cannot render the report: ") + e.what());
  }
  if (badge_file) commit_output(*badge_file, badge, BadgeRenderer().render(a) + "\n");
  if (out) {
    commit_output(*out, output, text + "\n");
  } else {
    std::cout << text << '\n';
  }
  if (threshold && a.overall_score < *threshold) {
    std::cerr << "ostrameld: " << gate_message(a, *threshold, fail_under.empty()) << '\n';
    return 1;
  }
  return 0;
}

}  // namespace ostrameld::cli
