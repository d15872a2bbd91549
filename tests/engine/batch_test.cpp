#include "ostrameld/engine/batch.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "ostrameld/utils/json.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::read_file;
using testing::TempRepo;

TEST(ReadInputs, SkipsBlanksAndCommentsAndTrims) {
  std::istringstream in("# header\n\n  /a/b  \r\n\t# indented comment\nhttps://x/y.git\n   \n/c");
  EXPECT_EQ(read_inputs(in), (std::vector<std::string>{"/a/b", "https://x/y.git", "/c"}));
}

TEST(ParseShard, AcceptsOnlyIndexBelowCount) {
  EXPECT_EQ(parse_shard("0/1").count, 1u);
  EXPECT_EQ(parse_shard("2/3").index, 2u);
  for (const char* bad : {"3/3", "1", "a/b", "-1/3", "1/0", "1/3x", "/3", "1/", ""})
    EXPECT_THROW(parse_shard(bad), std::invalid_argument) << bad;
}

std::vector<Json> lines_of(const Path& file) {
  std::vector<Json> out;
  std::istringstream in(read_file(file));
  std::string line;
  while (std::getline(in, line)) out.push_back(Json::parse(line));
  return out;
}

TEST(RunBatch, OneLinePerInputWithFailuresRecorded) {
  TempRepo repos;
  repos.write("good/LICENSE", "MIT License\n");
  repos.write("also-good/README.md", "hello");
  TempRepo out_dir;
  BatchOptions options;
  options.jobs = 3;
  options.output = out_dir / "out.jsonl";
  std::vector<std::string> inputs{(repos / "good").string(), (repos / "missing").string(),
                                  (repos / "also-good").string()};
  BatchSummary s = run_batch(inputs, options);
  EXPECT_EQ(s.inputs, 3u);
  EXPECT_EQ(s.assessed, 3u);
  EXPECT_EQ(s.failed, 1u);
  auto lines = lines_of(*options.output);
  ASSERT_EQ(lines.size(), 3u);
  for (const auto& doc : lines) {
    EXPECT_EQ(doc.begin().key(), "input");  // the input comes first
    std::string input = doc["input"];
    if (input.ends_with("missing")) {
      EXPECT_EQ(doc["errors"][0]["message"], "no such file or directory: " + input);
      EXPECT_TRUE(doc["errors"][0]["indicator_id"].is_null());
    } else {
      EXPECT_EQ(doc["schema"], "ostrameld-assessment/1");
      EXPECT_EQ(doc["indicators"].size(), 9u);
    }
  }
}

TEST(RunBatch, ResumeDropsATornLineAndSkipsWhatIsDone) {
  TempRepo repos;
  repos.mkdir("a");
  repos.mkdir("b");
  repos.mkdir("c");
  TempRepo out_dir;
  Path out = out_dir / "out.jsonl";
  std::vector<std::string> inputs{(repos / "a").string(), (repos / "b").string(),
                                  (repos / "c").string()};
  // A previous run finished "a" and was killed while writing "b".
  out_dir.write("out.jsonl", "{\"input\": \"" + inputs[0] +
                                 "\", \"schema\": \"ostrameld-assessment/1\"}\n{\"input\": \"" +
                                 inputs[1] + "\", \"sche");
  BatchOptions options;
  options.output = out;
  options.resume = true;
  BatchSummary s = run_batch(inputs, options);
  EXPECT_EQ(s.resumed, 1u);
  EXPECT_EQ(s.assessed, 2u);
  auto lines = lines_of(out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["input"], inputs[0]);
  std::multiset<std::string> seen;
  for (const auto& l : lines) seen.insert(l["input"].get<std::string>());
  EXPECT_EQ(seen, std::multiset<std::string>(inputs.begin(), inputs.end()));
}

TEST(RunBatch, ShardsTogetherCoverTheListOnce) {
  TempRepo out_dir;
  std::vector<std::string> inputs;
  for (int i = 0; i < 17; ++i) inputs.push_back("/nonexistent/ostrameld/" + std::to_string(i));
  std::multiset<std::string> seen;
  for (std::size_t shard = 0; shard < 3; ++shard) {
    BatchOptions options;
    options.output = out_dir / ("shard" + std::to_string(shard) + ".jsonl");
    options.shard = {shard, 3};
    options.jobs = 2;
    BatchSummary s = run_batch(inputs, options);
    EXPECT_EQ(s.inputs, shard < 2 ? 6u : 5u);
    for (const auto& l : lines_of(*options.output)) {
      std::string input = l["input"];
      seen.insert(input);
      EXPECT_EQ(std::stoul(input.substr(input.rfind('/') + 1)) % 3, shard);
    }
  }
  EXPECT_EQ(seen, std::multiset<std::string>(inputs.begin(), inputs.end()));
}

TEST(RunBatch, EmptyListWritesNothing) {
  TempRepo out_dir;
  BatchOptions options;
  options.output = out_dir / "out.jsonl";
  BatchSummary s = run_batch({}, options);
  EXPECT_EQ(s.inputs, 0u);
  EXPECT_EQ(read_file(*options.output), "");
}

}  // namespace
}  // namespace ostrameld
