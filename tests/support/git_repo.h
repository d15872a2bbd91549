// Git repositories for tests, made with the git command line with fixed identities and dates.
#pragma once

#include <string>

#include "support/temp_repo.h"

namespace ostrameld::testing {

// Runs "git ARGS" in the repository with a fixed author, committer and date.
inline void git(const TempRepo& repo, const std::string& args,
                const std::string& date = "2020-01-01T00:00:00Z") {
  repo.sh("GIT_AUTHOR_DATE='" + date + "' GIT_COMMITTER_DATE='" + date +
          "' git -c user.name=Tester -c user.email=tester@example.org -c init.defaultBranch=main "
          "-c commit.gpgsign=false -c tag.gpgsign=false -c advice.detachedHead=false " +
          args);
}

// A repository with `commits` empty commits on main, one day apart from 2020-01-01.
inline void git_history(const TempRepo& repo, int commits) {
  git(repo, "init -q");
  for (int i = 0; i < commits; ++i) {
    std::string day = std::to_string(10 + i % 18);
    git(repo, "commit -q --allow-empty -m c" + std::to_string(i), "2020-01-" + day + "T00:00:00Z");
  }
}

}  // namespace ostrameld::testing
