// Runs the built ostrameld program as a user would, capturing its output.
#pragma once

#include <string>

namespace ostrameld::testing {

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

// `args` is a shell-quoted argument string; `prefix` goes before the program
// (environment assignments or a privilege-dropping wrapper).
// Standard input comes from `stdin_file`.
CliResult run_cli(const std::string& args, const std::string& prefix = "",
                  const std::string& program = OSTRAMELD_BIN,
                  const std::string& stdin_file = "/dev/null");

// Single-quotes a text for the shell.
std::string shell_quote(const std::string& s);

// A shell command's standard output (git's own answers, for comparisons).
std::string shell_output(const std::string& command);

}  // namespace ostrameld::testing
