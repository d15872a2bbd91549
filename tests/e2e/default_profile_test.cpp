// The default profile is the Parts, exactly: on repositories of each ecosystem's shape its
// text and JSON reports are byte for byte what they were before the full profile came
// (recorded files), apart from the run's own time stamps.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>

#include "plugins/full/shapes.h"
#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

// What differs between two runs of the same program on the same repository.
std::string masked(std::string text, const TempRepo& repo) {
  std::string name = repo.path().filename().string();
  for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at))
    text.replace(at, name.size(), "REPO");
  text = std::regex_replace(text, std::regex(R"(skipped, \d+ms\))"), "skipped, Nms)");
  text = std::regex_replace(text, std::regex(R"("duration_ms": \d+)"), R"("duration_ms": N)");
  text = std::regex_replace(text, std::regex(R"("timestamp": "[^"]*")"), R"("timestamp": "T")");
  return text;
}

TEST(DefaultProfile, ReportsUnchangedOnEachShape) {
  const std::string dir = std::string(OSTRAMELD_TEST_DATA) + "/default-profile/";
  // OSTRAMELD_RECORD_WITH=PROGRAM writes the expected files with that build instead.
  const char* record = std::getenv("OSTRAMELD_RECORD_WITH");
  struct {
    const char* name;
    std::function<void(TempRepo&)> build;
  } shapes[] = {
      {"python", testing::python_with_zenodo},
      {"r", testing::r_package},
      {"rust", testing::rust_workspace},
      {"npm", testing::npm_monorepo},
      {"cpp", [](TempRepo& r) { testing::cpp_with_swhid(r, false); }},
  };
  for (const auto& s : shapes) {
    SCOPED_TRACE(s.name);
    TempRepo repo;
    s.build(repo);
    for (const char* format : {"text", "json"}) {
      SCOPED_TRACE(format);
      std::string args = "assess " + shell_quote(repo.path().string()) + " --offline -f " + format;
      auto r = record ? run_cli(args, "", record) : run_cli(args);
      ASSERT_EQ(r.status, 0) << r.err;
      std::string got = masked(r.out, repo);
      std::string file = dir + s.name + "." + format;
      if (record) {
        std::ofstream(file) << got;
        continue;
      }
      EXPECT_EQ(got, testing::read_file(file));
      // The explicit default is the same profile.
      auto explicit_default = run_cli(args + " --profile fair4rs");
      EXPECT_EQ(masked(explicit_default.out, repo), got);
    }
  }
}

}  // namespace
}  // namespace ostrameld
