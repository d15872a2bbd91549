#include <iostream>

#include "ostrameld/cli/commands.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::cli {

void ReposCommand::add(CLI::App& parent) {
  app = parent.add_subcommand(
      "repos", "List the clone URLs of an organisation's, group's or user's repositories");
  app->add_option("url", url, "e.g. https://github.com/ORG or https://gitlab.com/GROUP")
      ->required();
  app->add_flag("--include-archived", include_archived, "Also archived repositories");
  app->add_flag("--include-forks", include_forks, "Also forks");
  app->add_option("--forge", forges,
                  "Self-hosted forge HOST=STYLE, repeatable; its token goes to HOST")
      ->allow_extra_args(false);
  app->add_option("--github-token", github_token, "(default: $GITHUB_TOKEN)");
  app->add_option("--gitlab-token", gitlab_token, "(default: $GITLAB_TOKEN)");
  app->add_option("--gitea-token", gitea_token, "(default: $GITEA_TOKEN)");
  app->add_option("--github-token-file", github_token_file, "Read the GitHub token from FILE");
  app->add_option("--gitlab-token-file", gitlab_token_file, "Read the GitLab token from FILE");
  app->add_option("--gitea-token-file", gitea_token_file, "Read the Gitea/Forgejo token from FILE");
  app->add_option("--timeout", timeout, "Stop listing after SECONDS (default: 300; 0: no limit)");
}

int ReposCommand::run() const {
  check_timeout(timeout);
  HttpForgeClient forge(forge_options(forges, false));
  auto info = forge.parse_forge_url(url + "/x");  // the style of the owner's forge
  std::string style = info ? info->api_style : "github";
  std::optional<std::string> token =
      style == "gitlab"  ? choose_token(gitlab_token, gitlab_token_file, "gitlab-token", "GITLAB_TOKEN")
      : style == "gitea" ? choose_token(gitea_token, gitea_token_file, "gitea-token", "GITEA_TOKEN")
                         : choose_token(github_token, github_token_file, "github-token", "GITHUB_TOKEN");
  RepositoryList listed;
  try {
    listed = forge.list_repositories(url, token,
                                     {.include_archived = include_archived,
                                      .include_forks = include_forks,
                                      .deadline = deadline_after(timeout)});
  } catch (const ForgeError& e) {
    throw UsageError(e.what());
  }
  for (const auto& u : listed.urls) std::cout << u << '\n';
  if (listed.refused > 0)
    std::cerr << "ostrameld: note: left out " << listed.refused
              << (listed.refused == 1 ? " address that is" : " addresses that are")
              << " not a clone URL on " << sanitize_utf8(listed.host) << "\n";
  return 0;
}

}  // namespace ostrameld::cli
