#include "ostrameld/engine/project_config.h"

#include <gtest/gtest.h>

#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::TempRepo;

TEST(ProjectConfig, ReadsEveryKey) {
  ProjectConfig c = parse_project_config(R"(
profile = "fair4rs-full"
fail-under = 6.5
[forge]
"git.example.org" = "gitlab"
[exempt]
release_versions = "  analysis code for one paper; nothing is released  "
)",
                                         ".ostrameld.toml", false);
  EXPECT_EQ(c.profile, "fair4rs-full");
  EXPECT_EQ(c.fail_under, 6.5);
  EXPECT_EQ(c.forges, std::vector<std::string>{"git.example.org=gitlab"});
  ASSERT_EQ(c.exempt.size(), 1u);
  EXPECT_EQ(c.exempt[0].indicator, "release_versions");
  EXPECT_EQ(c.exempt[0].reason, "analysis code for one paper; nothing is released");
  // An exemption applies to the profile that has the indicator, and only there.
  EXPECT_EQ(exemptions_for(c, fair4rs_full_profile()).size(), 1u);
  EXPECT_TRUE(exemptions_for(c, fair4rs_profile()).empty());
}

// Each mistake is refused with one line that names the file and the key; none is
// passed over in silence.
TEST(ProjectConfig, RefusesWhatItDoesNotKnow) {
  struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"profiel = \"fair4rs\"", ".ostrameld.toml: unknown key \"profiel\""},
      {"profile = 3", ".ostrameld.toml: profile must be a string, not a number"},
      {"profile = \"strict\"", ".ostrameld.toml: profile: unknown profile \"strict\""},
      {"fail-under = \"7\"", ".ostrameld.toml: fail-under must be a number from 0 to 10, not a string"},
      {"fail-under = 11", ".ostrameld.toml: fail-under must be a number from 0 to 10, not 11"},
      {"fail-under = true", ".ostrameld.toml: fail-under must be a number from 0 to 10, not a boolean"},
      {"forge = \"x=gitlab\"", ".ostrameld.toml: forge must be a table"},
      {"[forge]\n\"git.example.org\" = \"sourcehut\"", ".ostrameld.toml: forge.\"git.example.org\": "},
      {"[exempt]\nreleases = \"no\"", ".ostrameld.toml: exempt.\"releases\": unknown indicator"},
      {"[exempt]\nrelease_versions = \"\"", ".ostrameld.toml: exempt.\"release_versions\": an exemption needs a reason"},
      {"[exempt]\nrelease_versions = \"   \"", "an exemption needs a reason"},
      {"[exempt]\nrelease_versions = true", "exempt.\"release_versions\" must be a reason (a string), not a boolean"},
      {"exempt = [\"release_versions\"]", ".ostrameld.toml: exempt must be a table"},
      {"[exempt\n", ".ostrameld.toml: not valid TOML: "},
      {"[exempt]\n\"bad\\u001b[2Jkey\" = \"x\"", "exempt.\"bad\\x1b[2Jkey\": unknown indicator"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      parse_project_config(c.text, ".ostrameld.toml", false);
      ADD_FAILURE() << "accepted";
    } catch (const ConfigError& e) {
      std::string message = e.what();
      EXPECT_NE(message.find(c.message), std::string::npos) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
  }
  std::string long_reason = "[exempt]\nrelease_versions = \"" + std::string(600, 'x') + "\"";
  EXPECT_THROW(parse_project_config(long_reason, ".ostrameld.toml", false), ConfigError);
}

TEST(ProjectConfig, PyprojectHoldsItInToolOstrameld) {
  ProjectConfig c = parse_project_config(
      "[project]\nname = \"x\"\n[tool.ostrameld.exempt]\nrelease_versions = \"not released\"\n",
      "pyproject.toml", true);
  EXPECT_EQ(c.where(), "pyproject.toml [tool.ostrameld]");
  ASSERT_EQ(c.exempt.size(), 1u);
  // Without our table, or not TOML at all without it, a pyproject.toml holds no settings:
  // its faults are the metadata checks' to report.
  EXPECT_TRUE(parse_project_config("[project]\nname = \"x\"\n", "pyproject.toml", true).empty());
  EXPECT_TRUE(parse_project_config("[project\nname = ostrameld", "pyproject.toml", true).empty());
  try {
    parse_project_config("[tool.ostrameld]\nfail_under = 5\n", "pyproject.toml", true);
    ADD_FAILURE() << "accepted";
  } catch (const ConfigError& e) {
    EXPECT_EQ(std::string(e.what()),
              "pyproject.toml [tool.ostrameld]: unknown key \"fail_under\" (known: profile, "
              "fail-under, forge, exempt)");
  }
}

TEST(ProjectConfig, FoundAtTheRootOnly) {
  TempRepo repo;
  EXPECT_TRUE(read_project_config(repo.path()).empty());
  repo.write("sub/.ostrameld.toml", "profile = \"nope\"\n");
  EXPECT_TRUE(read_project_config(repo.path()).empty());
  repo.write("pyproject.toml", "[tool.ostrameld]\nprofile = \"fair4rs-full\"\n");
  EXPECT_EQ(read_project_config(repo.path()).file, "pyproject.toml");
  repo.write(".ostrameld.toml", "profile = \"fair4rs\"\n");
  // Two places that both say something: which one holds is not for the program to guess.
  EXPECT_THROW(read_project_config(repo.path()), ConfigError);
  repo.write("pyproject.toml", "[project]\nname = \"x\"\n");
  EXPECT_EQ(read_project_config(repo.path()).file, ".ostrameld.toml");
  // Read whole or not at all.
  repo.write(".ostrameld.toml", "# " + std::string(kMaxConfigBytes, 'x') + "\n");
  EXPECT_THROW(read_project_config(repo.path()), ConfigError);
}

TEST(ProjectConfig, ALinkOutOfTheRepositoryIsNotFollowed) {
  TempRepo outside, repo;
  outside.write("settings.toml", "profile = \"fair4rs-full\"\n");
  std::filesystem::create_symlink(outside.path() / "settings.toml", repo.path() / ".ostrameld.toml");
  EXPECT_THROW(read_project_config(repo.path()), ConfigError);
}

}  // namespace
}  // namespace ostrameld
