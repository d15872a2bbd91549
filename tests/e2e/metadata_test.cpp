// Real-world metadata files through the whole program.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/run_cli.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::data_file;
using testing::run_cli;
using testing::shell_quote;
using testing::TempRepo;

nlohmann::json assess(const TempRepo& repo) {
  auto r = run_cli("assess " + shell_quote(repo.path().string()) + " -f json --offline");
  EXPECT_EQ(r.status, 0) << r.err;
  auto doc = nlohmann::json::parse(r.out);
  nlohmann::json by_key = nlohmann::json::object();
  for (const auto& i : doc["indicators"]) by_key[i["indicator_id"].get<std::string>()] = i;
  return by_key;
}

TEST(Metadata, RealFilesEndToEnd) {
  TempRepo repo;
  for (auto name : {"codemeta.json", "CITATION.cff", "package.json", "setup.cfg"})
    repo.write(name, data_file(std::string("metadata/") + name));
  auto doc = assess(repo);

  EXPECT_EQ(doc["metadata_self_reference"]["score"], 10.0);
  EXPECT_EQ(doc["metadata_self_reference"]["output"],
            "codemeta.name; codemeta.codeRepository; codemeta.identifier; cff.title; "
            "cff.repository-code/url; "
            "cff.doi; package.json.name; package.json.repository/homepage; setup.cfg.name; "
            "setup.cfg.url");
  EXPECT_EQ(doc["searchable_metadata"]["score"], 10.0);
  EXPECT_EQ(doc["searchable_metadata"]["output"],
            "Metadata files: codemeta.json, package.json, setup.cfg, CITATION.cff");
  EXPECT_EQ(doc["rich_metadata"]["score"], 10.0);
  EXPECT_EQ(doc["rich_metadata"]["output"], "Valid CFF structure");
  EXPECT_EQ(doc["rich_metadata"]["evidence"], "Files: CITATION.cff, codemeta.json");
  EXPECT_EQ(doc["community_standards"]["output"], "style config (setup.cfg)");
}

TEST(Metadata, MalformedInputsGiveResultsNotCrashes) {
  TempRepo repo;
  repo.write("codemeta.json", "{\"name\": \"trunc");
  repo.write("package.json", std::string(10000, '[') + std::string(10000, ']'));
  repo.write("pyproject.toml", std::string("\x7f"
                                           "ELF\x02\x01\x01\x00",
                                           8));
  repo.write("setup.cfg", "[metadata]\nname = a\nname = b\n");
  std::string laughs =
      "cff-version: 1\ntitle: x\nauthors: x\na: &a [lol,lol,lol,lol,lol,lol,lol,lol,lol]\n";
  for (char c = 'b'; c <= 'z'; ++c) {
    laughs += std::string(1, c) + ": &" + c + " [";
    for (int i = 0; i < 9; ++i)
      laughs += std::string(i ? "," : "") + "*" + static_cast<char>(c - 1);
    laughs += "]\n";
  }
  repo.write("CITATION.cff", laughs);
  auto doc = assess(repo);
  EXPECT_EQ(doc["metadata_self_reference"]["score"], 4.0);  // 1.0 for codemeta + 3.0 cff title
  EXPECT_EQ(doc["metadata_self_reference"]["output"],
            "codemeta.json present but unparseable; cff.title");
  EXPECT_EQ(doc["rich_metadata"]["output"], "Valid CFF structure");
}

}  // namespace
}  // namespace ostrameld
