// The commands of the program, one file each: their options, added to the parser, and
// what they do once it has read them.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "ostrameld/cli/common.h"

namespace ostrameld::cli {

struct AssessCommand {
  CLI::App* app = nullptr;
  std::string path = ".";
  std::string format = "text";
  std::string output;
  std::string json_indent = "2";
  std::string template_dir;
  std::string badge;       // also write the badge here
  std::string fail_under;  // checked by parse_score: CLI11's own message says nothing useful
  std::optional<double> timeout = 600;
  CommonArgs common;

  void add(CLI::App& parent);
  int run() const;
};

struct BatchCommand {
  CLI::App* app = nullptr;
  std::string list = "-";
  std::string jobs;
  std::string output;
  bool resume = false;
  bool overwrite = false;
  std::string shard = "0/1";
  std::optional<double> timeout = 600;
  CommonArgs common;

  void add(CLI::App& parent);
  int run() const;
};

struct ReposCommand {
  CLI::App* app = nullptr;
  std::string url;
  bool include_archived = false;
  bool include_forks = false;
  std::vector<std::string> forges;
  std::optional<std::string> github_token;
  std::optional<std::string> gitlab_token;
  std::optional<std::string> gitea_token;
  std::optional<std::string> github_token_file;
  std::optional<std::string> gitlab_token_file;
  std::optional<std::string> gitea_token_file;
  std::optional<double> timeout = 300;

  void add(CLI::App& parent);
  int run() const;
};

struct SummaryCommand {
  CLI::App* app = nullptr;
  std::vector<std::string> files;
  std::string format = "markdown";
  std::string output;
  bool compare = false;  // two files: an earlier run and a later one

  void add(CLI::App& parent);
  int run() const;
};

// fix: the metadata files a repository implies, shown as a diff or written.
struct FixCommand {
  CLI::App* app = nullptr;
  std::string path = ".";
  bool write = false;
  bool exit_zero = false;
  std::vector<std::string> only;
  bool offline = false;
  std::optional<double> timeout = 600;

  void add(CLI::App& parent);
  int run() const;
};

// plugins and indicators: what the program knows.
struct ListingCommands {
  CLI::App* plugins = nullptr;
  CLI::App* indicators = nullptr;

  void add(CLI::App& parent);
  int run_plugins() const;
  int run_indicators() const;
};

// ostrameld(1) and the shell completions, written from the parser's own option table.
std::string man_page(const CLI::App& app);
std::string completion(const CLI::App& app, std::string_view shell);

// For an option nobody defined: " (did you mean --x?)", or nothing.
std::string suggestion(int argc, char** argv, const CLI::App& cmd);

}  // namespace ostrameld::cli
