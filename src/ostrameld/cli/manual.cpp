#include <algorithm>

#include "ostrameld/cli/commands.h"
#include "ostrameld/core/version.h"
#include "ostrameld/engine/profile.h"

namespace ostrameld::cli {

namespace {

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

// The values an option accepts when they are a fixed set, for completion.
std::string fixed_values(const CLI::Option* opt) {
  const auto& names = opt->get_lnames();
  auto named = [&](const char* n) {
    return std::find(names.begin(), names.end(), n) != names.end();
  };
  if (named("indicator")) {
    std::vector<std::string> keys;
    for (const Profile* p : profiles())
      for (const auto& spec : p->indicators)
        if (std::find(keys.begin(), keys.end(), spec.key) == keys.end()) keys.emplace_back(spec.key);
    return join(keys, " ");
  }
  // CLI11 describes an IsMember check as "{a,b,c}" in the option's type name.
  std::string type = opt->get_type_name();
  auto open = type.find('{');
  auto close = type.find('}', open);
  if (open == std::string::npos || close == std::string::npos) return {};
  std::string values = type.substr(open + 1, close - open - 1);
  std::replace(values.begin(), values.end(), ',', ' ');
  return values;
}

}  // namespace

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
      ".SH ENVIRONMENT\nGITHUB_TOKEN (sent to api.github.com only), GITLAB_TOKEN (gitlab.com), "
      "GITEA_TOKEN (codeberg.org, gitea.com), each also to hosts named with \\-\\-forge for its "
      "style: forge tokens, never printed.\n"
      ".SH FILES\n\\&.ostrameld.toml at a repository's root, or [tool.ostrameld] in its "
      "pyproject.toml: the project's own settings (profile, fail\\-under, forge, and [exempt] "
      "indicator = \"reason\"), under the flags; "
      "/usr/share/ostrameld/templates/report.md.j2 (the Markdown report), "
      "/usr/share/ostrameld/schema/ (the JSON schemas, settings.schema.json among them).\n";
  return out;
}

std::string completion(const CLI::App& app, std::string_view shell) {
  std::string commands;
  std::string cases;
  std::string value_cases;  // "command:--option) words"
  for (const CLI::App* cmd : visible_commands(app)) {
    commands += (commands.empty() ? "" : " ") + cmd->get_name();
    std::string opts;
    for (const CLI::Option* opt : cmd->get_options()) {
      for (const auto& l : opt->get_lnames()) opts += (opts.empty() ? "--" : " --") + l;
      for (const auto& s : opt->get_snames()) opts += " -" + s;
      std::string values = fixed_values(opt);
      if (values.empty()) continue;
      std::string patterns;
      for (const auto& l : opt->get_lnames())
        patterns += (patterns.empty() ? "" : "|") + cmd->get_name() + ":--" + l;
      for (const auto& s : opt->get_snames()) patterns += "|" + cmd->get_name() + ":-" + s;
      value_cases += "    " + patterns + ") values=\"" + values + "\" ;;\n";
    }
    cases += "    " + cmd->get_name() + ") opts=\"" + opts + "\" ;;\n";
  }
  if (shell == "zsh") {
    return "#compdef ostrameld\n_ostrameld() {\n  local -a opts\n  local values=\"\"\n"
           "  if (( CURRENT == 2 )); then\n"
           "    compadd -- " +
           commands +
           " --version --help\n    return\n  fi\n"
           "  case \"${words[2]}:${words[CURRENT-1]}\" in\n" +
           value_cases +
           "  esac\n"
           "  if [[ -n $values ]]; then compadd -- ${=values}; return; fi\n"
           "  case ${words[2]} in\n" +
           cases +
           "  esac\n"
           "  if [[ ${words[CURRENT]} == -* ]]; then compadd -- ${=opts}; else _files; fi\n}\n"
           "_ostrameld \"$@\"\n";
  }
  return "# bash completion for ostrameld\n_ostrameld() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} opts=\"\" "
         "values=\"\"\n"
         "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
         "    COMPREPLY=($(compgen -W \"" +
         commands +
         " --version --help\" -- \"$cur\"))\n"
         "    return\n  fi\n"
         "  case \"${COMP_WORDS[1]}:$prev\" in\n" +
         value_cases +
         "  esac\n"
         "  if [ -n \"$values\" ]; then COMPREPLY=($(compgen -W \"$values\" -- \"$cur\")); "
         "return; fi\n"
         "  case ${COMP_WORDS[1]} in\n" +
         cases +
         "  esac\n"
         "  if [[ $cur == -* ]]; then COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"));\n"
         "  else COMPREPLY=($(compgen -f -- \"$cur\")); fi\n}\n"
         "complete -o filenames -F _ostrameld ostrameld\n";
}

}  // namespace ostrameld::cli
