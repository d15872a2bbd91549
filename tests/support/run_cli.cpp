#include "support/run_cli.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ostrameld::testing {

namespace {

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

std::string shell_quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

CliResult run_cli(const std::string& args, const std::string& prefix, const std::string& program,
                  const std::string& stdin_file) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "ostrameld-cli-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) return {};
  std::filesystem::path dir(tmpl);
  std::string cmd = prefix + " " + shell_quote(program) + " " + args + " >" +
                    shell_quote((dir / "out").string()) + " 2>" +
                    shell_quote((dir / "err").string()) + " <" + shell_quote(stdin_file);
  int raw = std::system(cmd.c_str());
  CliResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = slurp(dir / "out");
  r.err = slurp(dir / "err");
  std::filesystem::remove_all(dir);
  return r;
}

std::string shell_output(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  ::pclose(p);
  return out;
}

}  // namespace ostrameld::testing
