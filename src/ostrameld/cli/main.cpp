// The ostrameld command: a thin layer of argument handling over the library; each
// command lives in a file of its own.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "ostrameld/cli/commands.h"
#include "ostrameld/core/version.h"
#include "ostrameld/engine/interrupts.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::cli {

namespace {

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

int dispatch(int argc, char** argv) {
  CLI::App app{"Assesses how FAIR a research-software repository is.", "ostrameld"};
  app.set_version_flag("--version", std::string("ostrameld ") + std::string(kVersion));
  app.require_subcommand(1);

  AssessCommand assess;
  BatchCommand batch;
  ReposCommand repos;
  SummaryCommand summary;
  FixCommand fix;
  ListingCommands listing;
  assess.add(app);
  batch.add(app);
  repos.add(app);
  summary.add(app);
  fix.add(app);
  listing.add(app);

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
    auto known = app.get_subcommands([&](const CLI::App* c) { return c->get_name() == command; });
    if (known.empty()) {
      std::cerr << "ostrameld: error: unknown command '" << escape_line(sanitize_utf8(command))
                << "' (expected assess, batch, repos, summary, fix, plugins or indicators)\n";
      return 2;
    }
  }
  try {
    app.parse(argc, argv);
    scrub_secrets(argc, argv);
  } catch (const CLI::ParseError& e) {
    scrub_secrets(argc, argv);
    if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
    std::string hint;
    for (const CLI::App* cmd : {assess.app, batch.app, repos.app, summary.app, fix.app})
      if (hint.empty() && cmd->parsed()) hint = suggestion(argc, argv, *cmd);
    std::cerr << "ostrameld: error: " << escape_line(sanitize_utf8(e.what())) << hint << '\n';
    return 2;
  }

  try {
    if (*assess.app) return assess.run();
    if (*batch.app) return batch.run();
    if (*summary.app) return summary.run();
    if (*fix.app) return fix.run();
    if (*repos.app) return repos.run();
    if (*listing.plugins) return listing.run_plugins();
    if (*listing.indicators) return listing.run_indicators();
  } catch (const UsageError& e) {
    std::cerr << "ostrameld: error: " << escape_line(sanitize_utf8(e.what())) << '\n';
    return 2;
  } catch (const TimeoutError&) {
    double t = *assess.app ? assess.timeout.value_or(0) : *fix.app ? fix.timeout.value_or(0) : batch.timeout.value_or(0);
    std::cerr << "ostrameld: error: timed out after " << format_seconds(t) << " s\n";
    return 2;
  } catch (const std::bad_alloc&) {
    std::cerr << "ostrameld: error: out of memory\n";
    return 2;
  } catch (const Interrupted&) {
    std::cerr << "ostrameld: interrupted\n";
    return kInterruptedStatus;
  } catch (const std::exception& e) {
    std::cerr << "ostrameld: error: " << escape_line(sanitize_utf8(e.what())) << '\n';
    return 2;
  }
  return 0;
}

}  // namespace

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

}  // namespace ostrameld::cli

int main(int argc, char** argv) {
  // First of all, so that a Ctrl-C at any moment is an orderly stop, never a bare kill.
  ostrameld::Interrupts::install();
  int status = ostrameld::cli::dispatch(argc, argv);
  // What went to standard output must have arrived: a full disk is no success.
  if (!ostrameld::close_stdout()) {
    std::cerr << "ostrameld: error: cannot write to standard output"
              << (errno ? std::string(": ") + std::strerror(errno) : std::string()) << '\n';
    return 2;
  }
  return status;
}
