// What the commands share: the errors that end a command, the options of assess and
// batch, and the reading of numbers, sizes and scores.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ostrameld/engine/assess.h"
#include "ostrameld/engine/output.h"
#include "ostrameld/engine/project_config.h"
#include "ostrameld/git/clone.h"
#include "ostrameld/git/repository.h"
#include "ostrameld/services/forge.h"

namespace ostrameld::cli {

// Bad usage or input: one line on stderr, exit status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Work stopped by Ctrl-C or a termination request.
struct Interrupted {};

constexpr int kInterruptedStatus = 130;

std::optional<std::string> env(const char* name);

// The token in FILE (one line; surrounding blanks dropped). Throws UsageError.
std::string read_token_file(const std::string& path, const char* option);

// Overwrites, in the program's own argument vector, the values of the token options and
// the credentials of any URL, so that other users' `ps` no longer shows them once the
// arguments are parsed (they were copied by then). The environment and token files are
// never visible that way.
void scrub_secrets(int argc, char** argv);

// A token given as --OPTION, in --OPTION-file (never both) or in the environment's
// VARIABLE, in that order. Throws UsageError.
std::optional<std::string> choose_token(const std::optional<std::string>& given,
                                        const std::optional<std::string>& file, const char* option,
                                        const char* variable);

// Options of assess and batch: network, forges, tokens, limits, the indicators to run.
struct CommonArgs {
  bool offline = false;
  bool trust_parent_repository = false;
  std::string profile = "fair4rs";
  std::vector<std::string> indicators;
  std::vector<std::string> forges;  // HOST=STYLE
  std::optional<std::string> github_token;
  std::optional<std::string> gitlab_token;
  std::optional<std::string> gitea_token;
  std::string clone_max_files;
  std::string clone_max_bytes;
  std::string max_memory;
  std::optional<std::string> github_token_file;
  std::optional<std::string> gitlab_token_file;
  std::optional<std::string> gitea_token_file;

  void add_to(CLI::App* cmd);
  // --max-memory in bytes: the default 2G, 0 for no limit. Throws UsageError.
  std::uintmax_t memory_limit() const;
  // The forges of --forge, and those the repository's settings claim (asked over https,
  // never with a token).
  ForgeOptions forge_options(const ProjectConfig& settings = {}) const;
  AssessOptions assess_options(const ForgeClient* forge) const;
  // The options for a repository with these settings: the file's profile unless
  // --profile or --indicator was given, and its exemptions for that profile.
  AssessOptions settled_options(const ProjectConfig& settings, const CLI::App& cmd,
                                const ForgeClient* forge) const;
  CloneLimits clone_limits() const;
};

// The settings file of the repository at root; a bad one is a UsageError.
ProjectConfig read_settings(const Path& root);

// The forge options of --forge HOST=STYLE specs. Throws UsageError.
ForgeOptions forge_options(const std::vector<std::string>& specs, bool offline);

// A whole number that the text spells exactly, or nothing.
std::optional<long> parse_whole(const std::string& text);

// --fail-under's score from 0 to 10; nothing for an empty text. Throws UsageError.
std::optional<double> parse_score(const std::string& text);

// Throws UsageError unless the timeout is a non-negative number of seconds.
void check_timeout(const std::optional<double>& timeout, const char* option = "--timeout");

// A count or a size such as "500000", "512K", "2G" (powers of 1024). Throws UsageError.
std::uintmax_t parse_amount(const std::string& text, const char* option, bool bytes);

// A report file written whole or not at all; nothing for an empty path. Throws UsageError.
std::optional<OutputFile> open_output(const std::string& path);
void commit_output(OutputFile& file, const std::string& path, std::string_view text);

}  // namespace ostrameld::cli
