// The ostrameld command: a thin layer of argument handling over the library.
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ostrameld/core/version.h"
#include "ostrameld/engine/assess.h"
#include "ostrameld/engine/batch.h"
#include "ostrameld/engine/interrupts.h"
#include "ostrameld/engine/output.h"
#include "ostrameld/engine/profile.h"
#include "ostrameld/engine/source.h"
#include "ostrameld/plugins/registry.h"
#include "ostrameld/reports/markdown.h"
#include "ostrameld/reports/renderers.h"
#include "ostrameld/reports/sarif.h"
#include "ostrameld/reports/summary.h"
#include "ostrameld/utils/forge.h"
#include "ostrameld/utils/git.h"
#include "ostrameld/utils/text.h"

namespace {

using namespace ostrameld;

// Bad usage or input: one line on stderr, exit status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Work stopped by Ctrl-C or a termination request.
struct Interrupted {};

constexpr int kInterruptedStatus = 130;

std::optional<std::string> env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::optional<std::string>(v) : std::nullopt;
}

// What assess and batch share: network, forges, tokens and the indicators to run.
struct CommonArgs {
  bool offline = false;
  std::vector<std::string> indicators;
  std::vector<std::string> forges;  // HOST=STYLE
  std::optional<std::string> github_token;
  std::optional<std::string> gitlab_token;
  std::optional<std::string> gitea_token;

  void add_to(CLI::App* cmd) {
    cmd->add_flag("--offline", offline, "Make no forge API calls (a URL is still cloned)");
    // One value per flag, so that a path may follow: --indicator KEY PATH.
    cmd->add_option("--indicator", indicators, "Run only this indicator (repeatable)")
        ->allow_extra_args(false);
    cmd->add_option("--forge", forges,
                    "Self-hosted forge HOST=STYLE (github|gitlab|gitea), repeatable")
        ->allow_extra_args(false);
    cmd->add_option("--github-token", github_token, "GitHub token (default: $GITHUB_TOKEN)");
    cmd->add_option("--gitlab-token", gitlab_token, "GitLab token (default: $GITLAB_TOKEN)");
    cmd->add_option("--gitea-token", gitea_token, "Gitea/Forgejo token (default: $GITEA_TOKEN)");
  }

  ForgeOptions forge_options() const {
    ForgeOptions options;
    options.offline = offline;
    for (const auto& spec : forges) {
      try {
        options.forges.insert(parse_forge_spec(spec));
      } catch (const std::invalid_argument& e) {
        throw UsageError("--forge " + spec + ": " + e.what());
      }
    }
    return options;
  }

  AssessOptions assess_options(const ForgeClient* forge) const {
    const Profile& profile = fair4rs_profile();
    for (const auto& key : indicators) {
      if (!profile.find(key))
        throw UsageError("unknown indicator \"" + key + "\" (see 'ostrameld indicators')");
    }
    AssessOptions opts;
    opts.only = indicators;
    // Flags win over the environment; an empty value is a deliberate empty token.
    opts.github_token = github_token ? github_token : env("GITHUB_TOKEN");
    opts.gitlab_token = gitlab_token ? gitlab_token : env("GITLAB_TOKEN");
    opts.gitea_token = gitea_token ? gitea_token : env("GITEA_TOKEN");
    opts.forge = forge;
    return opts;
  }
};

struct AssessArgs {
  std::string path = ".";
  std::string format = "text";
  std::string output;
  std::string json_indent = "2";
  std::string template_dir;
  std::string badge;       // also write the badge here
  std::string fail_under;  // checked by parse_score: CLI11's own message says nothing useful
  std::optional<double> timeout;
  CommonArgs common;
};

struct BatchArgs {
  std::string list = "-";
  std::string jobs = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
  std::string output;
  bool resume = false;
  std::string shard = "0/1";
  std::optional<double> timeout = 600;
  CommonArgs common;
};

constexpr int kMaxJsonIndent = 16;

// A whole number that the text spells exactly, or nothing.
std::optional<long> parse_whole(const std::string& text) {
  try {
    std::size_t used = 0;
    long n = std::stol(text, &used);
    if (used == text.size()) return n;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

std::optional<double> parse_score(const std::string& text) {
  if (text.empty()) return std::nullopt;
  double v = 0;
  try {
    std::size_t used = 0;
    v = std::stod(text, &used);
    if (used != text.size()) throw std::invalid_argument("");
  } catch (const std::exception&) {
    throw UsageError("--fail-under takes a score from 0 to 10, not \"" + text + "\"");
  }
  if (!(v >= 0.0 && v <= 10.0))
    throw UsageError("--fail-under takes a score from 0 to 10, not \"" + text + "\"");
  return v;
}

// The one line a failed gate prints: the score, the threshold, and what pulled it down.
std::string gate_message(const Assessment& a, double threshold) {
  std::vector<const CheckResult*> low;
  const Profile& profile = fair4rs_profile();
  for (const auto& r : a.indicators) {
    const IndicatorSpec* spec = profile.find(r.indicator_id);
    if (spec && spec->weight > 0 && r.score < threshold && r.status != CheckStatus::Error &&
        r.status != CheckStatus::Skipped)
      low.push_back(&r);
  }
  std::stable_sort(low.begin(), low.end(),
                   [](const CheckResult* x, const CheckResult* y) { return x->score < y->score; });
  std::vector<std::string> shown;
  for (const auto* r : low)
    shown.push_back(r->indicator_id + " " + format_fixed(r->score, 1) + " (" +
                    std::string(status_value(r->status)) + ")");
  return "overall score " + format_fixed(a.overall_score, 2) + " is below --fail-under " +
         format_seconds(threshold) + "; lowest: " + (shown.empty() ? "none" : join(shown, ", "));
}

Json render_options(const AssessArgs& args) {
  Json options = Json::object();
  if (args.json_indent == "none" || args.json_indent == "null") {
    options["indent"] = nullptr;
    return options;
  }
  auto n = parse_whole(args.json_indent);
  if (!n || *n < 0 || *n > kMaxJsonIndent) {
    throw UsageError("--json-indent takes 0 to " + std::to_string(kMaxJsonIndent) +
                     " spaces or \"none\", not \"" + args.json_indent + "\"");
  }
  options["indent"] = static_cast<int>(*n);
  return options;
}

std::unique_ptr<Renderer> make_renderer(const AssessArgs& args) {
  if (args.format == "json") return std::make_unique<JsonRenderer>();
  if (args.format == "sarif") return std::make_unique<SarifRenderer>();
  if (args.format == "badge") return std::make_unique<BadgeRenderer>();
  if (args.format == "markdown") {
    Path dir = args.template_dir.empty() ? default_template_dir() : Path(args.template_dir);
    if (!is_file(dir / "report.md.j2", kAnywhere)) {
      throw UsageError(args.template_dir.empty()
                           ? "no report template found beside the program (" + dir.string() +
                                 "); use --template-dir"
                           : "no report.md.j2 in template directory " + args.template_dir);
    }
    return std::make_unique<MarkdownRenderer>(dir);
  }
  return std::make_unique<TextRenderer>();
}

void check_timeout(const std::optional<double>& timeout) {
  if (timeout && !(std::isfinite(*timeout) && *timeout >= 0))
    throw UsageError("--timeout takes a number of seconds (0 for no limit)");
}

// A report file written whole or not at all; nothing for an empty path.
std::optional<AtomicFile> open_output(const std::string& path) {
  if (path.empty()) return std::nullopt;
  try {
    return std::optional<AtomicFile>(std::in_place, Path(path));
  } catch (const OsError& e) {
    throw UsageError("cannot write " + path + ": " + e.what());
  }
}

// Options that only one format reads are worth a word when another format is chosen.
void note_ignored_options(const AssessArgs& args, const CLI::App& cmd) {
  auto given = [&](const char* name) { return cmd.count(name) > 0; };
  if (given("--template-dir") && args.format != "markdown")
    std::cerr << "ostrameld: note: --template-dir is read only with -f markdown; ignored\n";
  if (given("--json-indent") && args.format != "json")
    std::cerr << "ostrameld: note: --json-indent is read only with -f json; ignored\n";
}

int run_assess(const AssessArgs& args, const CLI::App& cmd) {
  check_timeout(args.timeout);
  std::optional<double> fail_under = parse_score(args.fail_under);
  Deadline deadline = deadline_after(args.timeout);
  Json options = render_options(args);
  std::unique_ptr<Renderer> renderer = make_renderer(args);
  note_ignored_options(args, cmd);
  HttpForgeClient forge(args.common.forge_options());
  AssessOptions opts = args.common.assess_options(&forge);

  // Both made before the work, so that a path that cannot be written fails at once.
  std::optional<AtomicFile> out = open_output(args.output);
  std::optional<AtomicFile> badge = open_output(args.badge);

  RepositorySource source = [&] {
    try {
      return RepositorySource::open(args.path, {.progress = true, .deadline = deadline});
    } catch (const SourceError& e) {
      if (Interrupts::requested()) throw Interrupted{};
      throw UsageError(e.what());
    }
  }();
  if (Interrupts::requested()) throw Interrupted{};

  opts.repo_url = source.url();
  opts.software_name = source.name();
  opts.deadline = deadline;
  opts.cancel = &Interrupts::flag();
  Assessment a = assess_repository(source.path(), opts);
  if (Interrupts::requested()) throw Interrupted{};

  std::string text;
  try {
    text = renderer->render(a, options);
  } catch (const std::exception& e) {
    throw UsageError(std::string("cannot render the report: ") + e.what());
  }
  if (badge) {
    try {
      badge->commit(BadgeRenderer().render(a) + "\n");
    } catch (const OsError& e) {
      throw UsageError("cannot write " + args.badge + ": " + e.what());
    }
  }
  if (out) {
    try {
      out->commit(text + "\n");
    } catch (const OsError& e) {
      throw UsageError("cannot write " + args.output + ": " + e.what());
    }
  } else {
    std::cout << text << '\n' << std::flush;
  }
  if (fail_under && a.overall_score < *fail_under) {
    std::cerr << "ostrameld: " << gate_message(a, *fail_under) << '\n';
    return 1;
  }
  return 0;
}

int run_batch_command(const BatchArgs& args) {
  check_timeout(args.timeout);
  Shard shard;
  try {
    shard = parse_shard(args.shard);
  } catch (const std::invalid_argument& e) {
    throw UsageError(e.what());
  }
  auto jobs = parse_whole(args.jobs);
  if (!jobs || *jobs < 1 || *jobs > 1024)
    throw UsageError("-j takes a number of workers from 1 to 1024, not \"" + args.jobs + "\"");
  if (args.resume && args.output.empty()) throw UsageError("--resume needs -o FILE.jsonl");

  std::vector<std::string> inputs;
  if (args.list == "-") {
    inputs = read_inputs(std::cin);
  } else {
    if (!is_file(Path(args.list), kAnywhere)) throw UsageError("cannot read the list " + args.list);
    std::ifstream in(args.list);
    if (!in) throw UsageError("cannot read the list " + args.list);
    inputs = read_inputs(in);
  }
  if (inputs.empty()) {
    throw UsageError("the list " + std::string(args.list == "-" ? "on standard input" : args.list) +
                     " names no repository (one path or URL per line; # starts a comment)");
  }

  HttpForgeClient forge(args.common.forge_options());
  BatchOptions options;
  options.jobs = static_cast<unsigned>(*jobs);
  if (!args.output.empty()) options.output = Path(args.output);
  options.resume = args.resume;
  options.shard = shard;
  options.assess = args.common.assess_options(&forge);
  options.timeout = args.timeout;
  options.progress = ::isatty(STDERR_FILENO) != 0;

  BatchSummary s;
  try {
    s = run_batch(inputs, options);
  } catch (const BatchError& e) {
    throw UsageError(e.what());
  } catch (const OsError& e) {
    // "[Errno 13] Permission denied: 'x'" says what, not which option: name it.
    std::string what = e.what();
    if (auto close = what.find("] "); what.rfind("[Errno", 0) == 0 && close != std::string::npos)
      what = what.substr(close + 2);
    throw UsageError("cannot write the batch output " + args.output + ": " + what);
  }
  std::fprintf(stderr,
               "batch: %zu repositories assessed in %.1f s (%.0f/s), %zu failed, %zu already done, "
               "%zu failures retried%s\n",
               s.assessed, s.seconds,
               s.seconds > 0 ? static_cast<double>(s.assessed) / s.seconds : 0.0, s.failed,
               s.resumed, s.retried, s.interrupted ? "; interrupted" : "");
  if (s.interrupted) return kInterruptedStatus;
  return s.failed > 0 ? 1 : 0;
}

struct ReposArgs {
  std::string url;
  bool include_archived = false;
  bool include_forks = false;
  std::vector<std::string> forges;
  std::optional<std::string> github_token;
  std::optional<std::string> gitlab_token;
  std::optional<std::string> gitea_token;
};

int run_repos(const ReposArgs& args) {
  CommonArgs common;
  common.forges = args.forges;
  HttpForgeClient forge(common.forge_options());
  auto info = forge.parse_forge_url(args.url + "/x");  // the style of the owner's forge
  std::string style = info ? info->api_style : "github";
  std::optional<std::string> token =
      style == "gitlab"  ? (args.gitlab_token ? args.gitlab_token : env("GITLAB_TOKEN"))
      : style == "gitea" ? (args.gitea_token ? args.gitea_token : env("GITEA_TOKEN"))
                         : (args.github_token ? args.github_token : env("GITHUB_TOKEN"));
  std::vector<std::string> urls;
  try {
    urls = forge.list_repositories(
        args.url, token,
        {.include_archived = args.include_archived, .include_forks = args.include_forks});
  } catch (const ForgeError& e) {
    throw UsageError(e.what());
  }
  for (const auto& u : urls) std::cout << u << '\n';
  std::cout << std::flush;
  return 0;
}

struct SummaryArgs {
  std::vector<std::string> files;
  std::string format = "markdown";
  std::string output;
};

int run_summary(const SummaryArgs& args) {
  Summary summary;
  for (const auto& file : args.files) {
    std::ifstream in(file);
    if (!is_file(Path(file), kAnywhere) || !in) throw UsageError("cannot read the results file " + file);
    try {
      read_results(in, file, summary);
    } catch (const SummaryError& e) {
      throw UsageError(e.what());
    }
  }
  std::string text = args.format == "csv"    ? summary_csv(summary)
                     : args.format == "html" ? summary_html(summary)
                                             : summary_markdown(summary);
  if (args.output.empty()) {
    std::cout << text << std::flush;
    return 0;
  }
  try {
    AtomicFile(Path(args.output)).commit(text);
  } catch (const OsError& e) {
    throw UsageError("cannot write " + args.output + ": " + e.what());
  }
  return 0;
}

int run_plugins() {
  for (const auto& p : builtin_registry().plugins()) {
    std::string keys;
    for (auto k : p->supported_indicators()) keys += (keys.empty() ? "" : ",") + std::string(k);
    std::cout << p->name() << ' ' << p->version() << "  [" << keys << "]  " << p->description()
              << '\n';
  }
  return 0;
}

int run_indicators() {
  const Profile& profile = fair4rs_profile();
  std::cout << "Profile: " << profile.name << '\n';
  for (const auto& spec : profile.indicators) {
    std::string id = spec.fair4rs_id ? std::string(*spec.fair4rs_id) : "-";
    std::string state = builtin_registry().find(spec.plugin) ? "" : "  (plugin not available)";
    std::cout << std::string(spec.key)
              << std::string(spec.key.size() < 26 ? 26 - spec.key.size() : 1, ' ') << id
              << std::string(id.size() < 6 ? 6 - id.size() : 1, ' ') << spec.plugin << "  weight "
              << format_fixed(spec.weight, 0) << state << '\n';
  }
  return 0;
}

std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1] ? 1 : 0)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// For an option nobody defined: the nearest one that the command has, if any is close.
std::string suggestion(int argc, char** argv, const CLI::App& cmd) {
  std::vector<std::string> known;
  for (const CLI::Option* opt : cmd.get_options())
    for (const auto& name : opt->get_lnames()) known.push_back("--" + name);
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0 || arg == "--") continue;
    arg = arg.substr(0, arg.find('='));
    if (std::find(known.begin(), known.end(), arg) != known.end()) continue;
    std::string best;
    std::size_t best_distance = std::max<std::size_t>(2, arg.size() / 3) + 1;
    for (const auto& name : known) {
      std::size_t d = edit_distance(arg, name);
      if (d < best_distance) {
        best_distance = d;
        best = name;
      }
    }
    if (!best.empty()) return " (did you mean " + best + "?)";
  }
  return {};
}

// The commands a user sees, in order.
std::vector<const CLI::App*> visible_commands(const CLI::App& app) {
  std::vector<const CLI::App*> out;
  for (const CLI::App* cmd : app.get_subcommands({}))
    if (!cmd->get_group().empty()) out.push_back(cmd);
  return out;
}

std::string option_names(const CLI::Option* opt) {
  std::string names;
  for (const auto& s : opt->get_snames()) names += (names.empty() ? "-" : ", -") + s;
  for (const auto& l : opt->get_lnames()) names += (names.empty() ? "--" : ", --") + l;
  if (names.empty()) names = opt->get_name();  // a positional argument
  if (opt->get_type_size() != 0 && !opt->get_lnames().empty()) names += " " + opt->get_type_name();
  return names;
}

std::string roff(std::string s) {
  std::string out;
  for (char c : s) {
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
  }
  if (!out.empty() && (out.front() == '.' || out.front() == '\'')) out.insert(0, "\\&");
  return out;
}

// ostrameld(1), written from the same option table as --help, so the two cannot drift.
std::string man_page(const CLI::App& app) {
  std::string out = ".TH OSTRAMELD 1 \"\" \"ostrameld " + std::string(kVersion) +
                    "\" \"User Commands\"\n.SH NAME\nostrameld \\- " + roff(app.get_description()) +
                    "\n.SH SYNOPSIS\n";
  for (const CLI::App* cmd : visible_commands(app))
    out += ".B ostrameld " + cmd->get_name() + "\n.RI [ options ]\n.br\n";
  out +=
      ".SH DESCRIPTION\nOstrameld scores how FAIR a research\\-software repository is (FAIR4RS), "
      "says what to improve, and writes text, JSON, Markdown, SARIF or an SVG badge.\n";
  for (const CLI::App* cmd : visible_commands(app)) {
    out += ".SH \"" + cmd->get_name() + "\"\n" + roff(cmd->get_description()) + "\n";
    for (const CLI::Option* opt : cmd->get_options()) {
      if (opt->get_name() == "--help") continue;
      out += ".TP\n.B " + roff(option_names(opt)) + "\n" + roff(opt->get_description()) + "\n";
    }
  }
  out +=
      ".SH EXIT STATUS\n0 done; 1 below \\-\\-fail\\-under, or some batch inputs failed; "
      "2 bad usage or input; 130 interrupted.\n"
      ".SH ENVIRONMENT\nGITHUB_TOKEN, GITLAB_TOKEN, GITEA_TOKEN: forge tokens, never printed.\n"
      ".SH FILES\n/usr/share/ostrameld/templates/report.md.j2 (the Markdown report), "
      "/usr/share/ostrameld/schema/ (the JSON schemas).\n";
  return out;
}

// Shell completion of commands and their options, from the same table.
std::string completion(const CLI::App& app, std::string_view shell) {
  std::string commands;
  std::string cases;
  for (const CLI::App* cmd : visible_commands(app)) {
    commands += (commands.empty() ? "" : " ") + cmd->get_name();
    std::string opts;
    for (const CLI::Option* opt : cmd->get_options()) {
      for (const auto& l : opt->get_lnames()) opts += (opts.empty() ? "--" : " --") + l;
      for (const auto& s : opt->get_snames()) opts += " -" + s;
    }
    cases += "    " + cmd->get_name() + ") opts=\"" + opts + "\" ;;\n";
  }
  if (shell == "zsh") {
    return "#compdef ostrameld\n_ostrameld() {\n  local -a opts\n  if (( CURRENT == 2 )); then\n"
           "    compadd -- " +
           commands +
           " --version --help\n    return\n  fi\n"
           "  case ${words[2]} in\n" +
           cases +
           "  esac\n"
           "  if [[ ${words[CURRENT]} == -* ]]; then compadd -- ${=opts}; else _files; fi\n}\n"
           "_ostrameld \"$@\"\n";
  }
  return "# bash completion for ostrameld\n_ostrameld() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} opts=\"\"\n"
         "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
         "    COMPREPLY=($(compgen -W \"" +
         commands +
         " --version --help\" -- \"$cur\"))\n"
         "    return\n  fi\n  case ${COMP_WORDS[1]} in\n" +
         cases +
         "  esac\n"
         "  if [[ $cur == -* ]]; then COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"));\n"
         "  else COMPREPLY=($(compgen -f -- \"$cur\")); fi\n}\n"
         "complete -o filenames -F _ostrameld ostrameld\n";
}

}  // namespace

int main(int argc, char** argv) {
  // First of all, so that a Ctrl-C at any moment is an orderly stop, never a bare kill.
  Interrupts::install();
  CLI::App app{"Assesses how FAIR a research-software repository is.", "ostrameld"};
  app.set_version_flag("--version", std::string("ostrameld ") + std::string(kVersion));
  app.require_subcommand(1);

  AssessArgs assess;
  CLI::App* assess_cmd =
      app.add_subcommand("assess", "Assess one repository (a directory or a clone URL)");
  assess_cmd->add_option("path", assess.path, "Repository directory or URL (default: .)");
  assess_cmd->add_option("-f,--format", assess.format, "Report format")
      ->check(CLI::IsMember({"text", "json", "markdown", "sarif", "badge"}));
  assess_cmd->add_option("-o,--output", assess.output,
                         "Write the report to FILE instead of stdout");
  assess_cmd->add_option("--badge", assess.badge, "Also write an SVG badge of the score to FILE");
  assess_cmd->add_option("--json-indent", assess.json_indent,
                         "Spaces per JSON level, or none for one line");
  assess_cmd->add_option("--template-dir", assess.template_dir,
                         "Directory holding report.md.j2 (Markdown)");
  assess_cmd->add_option("--fail-under", assess.fail_under,
                         "Exit with status 1 when the overall score is below SCORE");
  assess_cmd->add_option("--timeout", assess.timeout,
                         "Stop a clone or assessment still running after SECONDS (default: none)");
  assess.common.add_to(assess_cmd);

  BatchArgs batch;
  CLI::App* batch_cmd =
      app.add_subcommand("batch", "Assess every repository of a list, one JSON line each");
  batch_cmd->add_option("list", batch.list,
                        "File with one path or URL per line, or - for stdin (default: -)");
  batch_cmd->add_option("-j,--jobs", batch.jobs, "Worker threads (default: the number of cores)");
  batch_cmd->add_option("-o,--output", batch.output, "JSON Lines file (default: stdout)");
  batch_cmd->add_flag("--resume", batch.resume,
                      "Skip inputs already in the output and append the rest");
  batch_cmd->add_option("--shard", batch.shard,
                        "Take only the inputs whose position modulo N is I (I/N)");
  batch_cmd->add_option("--timeout", batch.timeout,
                        "Per repository: stop a clone or assessment after SECONDS (default: 600)");
  batch.common.add_to(batch_cmd);

  ReposArgs repos;
  CLI::App* repos_cmd = app.add_subcommand(
      "repos", "List the clone URLs of an organisation's, group's or user's repositories");
  repos_cmd->add_option("url", repos.url, "e.g. https://github.com/ORG or https://gitlab.com/GROUP")
      ->required();
  repos_cmd->add_flag("--include-archived", repos.include_archived, "Also archived repositories");
  repos_cmd->add_flag("--include-forks", repos.include_forks, "Also forks");
  repos_cmd->add_option("--forge", repos.forges, "Self-hosted forge HOST=STYLE, repeatable")
      ->allow_extra_args(false);
  repos_cmd->add_option("--github-token", repos.github_token, "(default: $GITHUB_TOKEN)");
  repos_cmd->add_option("--gitlab-token", repos.gitlab_token, "(default: $GITLAB_TOKEN)");
  repos_cmd->add_option("--gitea-token", repos.gitea_token, "(default: $GITEA_TOKEN)");

  SummaryArgs summary;
  CLI::App* summary_cmd = app.add_subcommand(
      "summary", "Sum up batch results (JSON Lines) as Markdown, one HTML page or CSV");
  summary_cmd->add_option("results", summary.files, "JSON Lines files of batch runs (or shards)")
      ->required();
  summary_cmd->add_option("-f,--format", summary.format, "markdown (default), html or csv")
      ->check(CLI::IsMember({"markdown", "html", "csv"}));
  summary_cmd->add_option("-o,--output", summary.output, "Write to FILE instead of stdout");

  CLI::App* plugins_cmd = app.add_subcommand("plugins", "List the built-in plugins");
  CLI::App* indicators_cmd =
      app.add_subcommand("indicators", "List the indicators of the default profile");

  // For the package build: the manual page and shell completions, from the table above.
  if (argc == 2 && std::string_view(argv[1]) == "__man") {
    std::cout << man_page(app);
    return 0;
  }
  if (argc == 3 && std::string_view(argv[1]) == "__completion") {
    std::cout << completion(app, argv[2]);
    return 0;
  }
  if (argc > 1 && argv[1][0] != '-') {
    std::string_view command = argv[1];
    if (command != "assess" && command != "batch" && command != "repos" && command != "summary" &&
        command != "plugins" && command != "indicators") {
      std::cerr << "ostrameld: error: unknown command '" << sanitize_utf8(command)
                << "' (expected assess, batch, repos, summary, plugins or indicators)\n";
      return 2;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::string hint;
    for (const CLI::App* cmd : {assess_cmd, batch_cmd, repos_cmd, summary_cmd})
      if (hint.empty() && cmd->parsed()) hint = suggestion(argc, argv, *cmd);
    std::cerr << "ostrameld: error: " << e.what() << hint << '\n';
    return 2;
  }

  try {
    if (*assess_cmd) return run_assess(assess, *assess_cmd);
    if (*batch_cmd) return run_batch_command(batch);
    if (*summary_cmd) return run_summary(summary);
    if (*repos_cmd) return run_repos(repos);
    if (*plugins_cmd) return run_plugins();
    if (*indicators_cmd) return run_indicators();
  } catch (const UsageError& e) {
    std::cerr << "ostrameld: error: " << sanitize_utf8(e.what()) << '\n';
    return 2;
  } catch (const TimeoutError&) {
    double t = *assess_cmd ? assess.timeout.value_or(0) : batch.timeout.value_or(0);
    std::cerr << "ostrameld: error: timed out after " << format_seconds(t) << " s\n";
    return 2;
  } catch (const Interrupted&) {
    std::cerr << "ostrameld: interrupted\n";
    return kInterruptedStatus;
  } catch (const std::exception& e) {
    std::cerr << "ostrameld: error: " << sanitize_utf8(e.what()) << '\n';
    return 2;
  }
  return 0;
}
