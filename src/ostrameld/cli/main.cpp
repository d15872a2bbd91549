// The ostrameld command: a thin layer of argument handling over the library.
#include <unistd.h>
#include <CLI/CLI.hpp>

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
  std::optional<double> fail_under;
  std::optional<double> timeout;
  CommonArgs common;
};

struct BatchArgs {
  std::string list = "-";
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  std::string output;
  bool resume = false;
  std::string shard = "0/1";
  std::optional<double> timeout = 600;
  CommonArgs common;
};

Json render_options(const AssessArgs& args) {
  Json options = Json::object();
  if (args.json_indent == "none" || args.json_indent == "null") {
    options["indent"] = nullptr;
    return options;
  }
  try {
    std::size_t used = 0;
    int n = std::stoi(args.json_indent, &used);
    if (used != args.json_indent.size() || n < 0) throw std::invalid_argument("");
    options["indent"] = n;
  } catch (const std::exception&) {
    throw UsageError("--json-indent takes a whole number or \"none\", not \"" + args.json_indent +
                     "\"");
  }
  return options;
}

std::unique_ptr<Renderer> make_renderer(const AssessArgs& args) {
  if (args.format == "json") return std::make_unique<JsonRenderer>();
  if (args.format == "markdown") {
    Path dir = args.template_dir.empty() ? default_template_dir() : Path(args.template_dir);
    if (!is_file(dir / "report.md.j2")) {
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

int run_assess(const AssessArgs& args) {
  check_timeout(args.timeout);
  Deadline deadline = deadline_after(args.timeout);
  Json options = render_options(args);
  std::unique_ptr<Renderer> renderer = make_renderer(args);
  HttpForgeClient forge(args.common.forge_options());
  AssessOptions opts = args.common.assess_options(&forge);

  std::optional<AtomicFile> out;
  if (!args.output.empty()) {
    try {
      out.emplace(Path(args.output));
    } catch (const OsError& e) {
      throw UsageError("cannot write " + args.output + ": " + e.what());
    }
  }

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
  if (out) {
    try {
      out->commit(text + "\n");
    } catch (const OsError& e) {
      throw UsageError("cannot write " + args.output + ": " + e.what());
    }
  } else {
    std::cout << text << '\n' << std::flush;
  }
  return args.fail_under && a.overall_score < *args.fail_under ? 1 : 0;
}

int run_batch_command(const BatchArgs& args) {
  check_timeout(args.timeout);
  Shard shard;
  try {
    shard = parse_shard(args.shard);
  } catch (const std::invalid_argument& e) {
    throw UsageError(e.what());
  }
  if (args.jobs == 0) throw UsageError("-j takes a number of workers of at least 1");
  if (args.resume && args.output.empty()) throw UsageError("--resume needs -o FILE.jsonl");

  std::vector<std::string> inputs;
  if (args.list == "-") {
    inputs = read_inputs(std::cin);
  } else {
    if (!is_file(Path(args.list))) throw UsageError("cannot read the list " + args.list);
    std::ifstream in(args.list);
    if (!in) throw UsageError("cannot read the list " + args.list);
    inputs = read_inputs(in);
  }

  HttpForgeClient forge(args.common.forge_options());
  BatchOptions options;
  options.jobs = args.jobs;
  if (!args.output.empty()) options.output = Path(args.output);
  options.resume = args.resume;
  options.shard = shard;
  options.assess = args.common.assess_options(&forge);
  options.timeout = args.timeout;
  options.progress = ::isatty(STDERR_FILENO) != 0;

  BatchSummary s;
  try {
    s = run_batch(inputs, options);
  } catch (const OsError& e) {
    throw UsageError(e.what());
  }
  std::fprintf(
      stderr,
      "batch: %zu repositories assessed in %.1f s (%.0f/s), %zu failed, %zu already done%s\n",
      s.assessed, s.seconds, s.seconds > 0 ? static_cast<double>(s.assessed) / s.seconds : 0.0,
      s.failed, s.resumed, s.interrupted ? "; interrupted" : "");
  if (s.interrupted) return kInterruptedStatus;
  return s.failed > 0 ? 1 : 0;
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

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Assesses how FAIR a research-software repository is.", "ostrameld"};
  app.set_version_flag("--version", std::string("ostrameld ") + std::string(kVersion));
  app.require_subcommand(1);

  AssessArgs assess;
  CLI::App* assess_cmd =
      app.add_subcommand("assess", "Assess one repository (a directory or a clone URL)");
  assess_cmd->add_option("path", assess.path, "Repository directory or URL (default: .)");
  assess_cmd->add_option("-f,--format", assess.format, "Report format")
      ->check(CLI::IsMember({"text", "json", "markdown"}));
  assess_cmd->add_option("-o,--output", assess.output,
                         "Write the report to FILE instead of stdout");
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

  CLI::App* plugins_cmd = app.add_subcommand("plugins", "List the built-in plugins");
  CLI::App* indicators_cmd =
      app.add_subcommand("indicators", "List the indicators of the default profile");

  if (argc > 1 && argv[1][0] != '-') {
    std::string_view command = argv[1];
    if (command != "assess" && command != "batch" && command != "plugins" &&
        command != "indicators") {
      std::cerr << "ostrameld: error: unknown command '" << sanitize_utf8(command)
                << "' (expected assess, batch, plugins or indicators)\n";
      return 2;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::cerr << "ostrameld: error: " << e.what() << '\n';
    return 2;
  }

  Interrupts::install();
  try {
    if (*assess_cmd) return run_assess(assess);
    if (*batch_cmd) return run_batch_command(batch);
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
