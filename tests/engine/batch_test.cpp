#include "ostrameld/engine/batch.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

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

TEST(RunBatch, ResumeKeepsWhatAssessedAndRetriesWhatFailed) {
  TempRepo repos;
  repos.mkdir("a");
  repos.mkdir("c");
  TempRepo out_dir;
  Path out = out_dir / "out.jsonl";
  std::vector<std::string> inputs{(repos / "a").string(), (repos / "b").string(),
                                  (repos / "c").string()};
  // A first run: "b" does not exist yet and fails.
  BatchOptions options;
  options.output = out;
  BatchSummary first = run_batch(inputs, options);
  EXPECT_EQ(first.failed, 1u);
  // "b" appears (a transient failure mended), and the run was killed while writing.
  repos.mkdir("b");
  { std::ofstream(out, std::ios::app) << "{\"input\": \"" << inputs[2] << "\", \"sch"; }
  options.resume = true;
  BatchSummary s = run_batch(inputs, options);
  EXPECT_EQ(s.resumed, 2u);  // a and c were assessed
  EXPECT_EQ(s.retried, 1u);  // b's failure line was dropped and b done again
  EXPECT_EQ(s.assessed, 1u);
  EXPECT_EQ(s.failed, 0u);
  auto lines = lines_of(out);
  ASSERT_EQ(lines.size(), 3u);
  std::multiset<std::string> seen;
  for (const auto& l : lines) {
    seen.insert(l["input"].get<std::string>());
    EXPECT_TRUE(l.contains("indicators")) << l;
  }
  EXPECT_EQ(seen, std::multiset<std::string>(inputs.begin(), inputs.end()));
  // Nothing is left beside the output.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out_dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(RunBatch, ResumeRefusesAForeignOutputUntouched) {
  TempRepo out_dir;
  const std::string foreign[] = {
      "not json at all\n",
      "{\"input\": \"x\"}\n",                           // no schema of ours
      "{\"input\": \"x\", \"schema\": \"other/1\"}\n",  // another tool's
      "[1, 2]\n",
  };
  for (const auto& text : foreign) {
    SCOPED_TRACE(text);
    out_dir.write("out.jsonl", text);
    BatchOptions options;
    options.output = out_dir / "out.jsonl";
    options.resume = true;
    EXPECT_THROW(run_batch({"/nonexistent"}, options), BatchError);
    EXPECT_EQ(read_file(out_dir / "out.jsonl"), text);
  }
  // A large file without line breaks is refused without being read whole.
  out_dir.write("big.bin", "");
  std::filesystem::resize_file(out_dir / "big.bin", 80u << 20);
  BatchOptions options;
  options.output = out_dir / "big.bin";
  options.resume = true;
  EXPECT_THROW(run_batch({"/nonexistent"}, options), BatchError);
  EXPECT_EQ(std::filesystem::file_size(out_dir / "big.bin"), 80u << 20);
}

// FNV-1a of the input text, modulo N: every input lands in exactly one shard, and
// inserting a line into the list moves no other line.
TEST(RunBatch, ShardsByHashCoverTheListOnceAndStayPut) {
  TempRepo out_dir;
  std::vector<std::string> inputs;
  for (int i = 0; i < 40; ++i) inputs.push_back("/nonexistent/ostrameld/" + std::to_string(i));
  auto shard_of = [&](const std::vector<std::string>& list) {
    std::map<std::string, std::size_t> where;
    for (std::size_t shard = 0; shard < 3; ++shard) {
      BatchOptions options;
      options.output = out_dir / ("shard" + std::to_string(shard) + ".jsonl");
      options.shard = {shard, 3};
      options.jobs = 2;
      options.overwrite = true;  // the second round replaces the first
      BatchSummary s = run_batch(list, options);
      EXPECT_GT(s.inputs, 0u);
      for (const auto& l : lines_of(*options.output)) {
        EXPECT_TRUE(where.emplace(l["input"].get<std::string>(), shard).second);
      }
    }
    return where;
  };
  auto before = shard_of(inputs);
  EXPECT_EQ(before.size(), inputs.size());
  auto edited = inputs;
  edited.insert(edited.begin() + 7, "/nonexistent/ostrameld/new");
  auto after = shard_of(edited);
  EXPECT_EQ(after.size(), edited.size());
  for (const auto& [input, shard] : before) EXPECT_EQ(after.at(input), shard) << input;
  // The documented hash: FNV-1a 64 of "a" is 0xaf63dc4c8601ec8c.
  BatchOptions one;
  one.output = out_dir / "one.jsonl";
  one.shard = {0xaf63dc4c8601ec8cULL % 7, 7};
  EXPECT_EQ(run_batch({"a"}, one).inputs, 1u);
  // Pinned shards of FNV-1a for several counts (FNV-1, multiplying before the xor, puts
  // these elsewhere): a version that moved them would split lists differently.
  struct {
    const char* input;
    std::size_t count, shard;
  } pinned[] = {{"https://github.com/org/repo.git", 16, 10},
                {"/data/repos/alpha", 3, 1},
                {"/data/repos/alpha", 5, 3},
                {"/data/repos/alpha", 10, 3},
                {"x", 3, 2},
                {"x", 5, 1},
                {"x", 10, 1}};
  for (const auto& p : pinned) {
    BatchOptions o;
    o.output = out_dir / "pinned.jsonl";
    o.overwrite = true;
    o.shard = {p.shard, p.count};
    EXPECT_EQ(run_batch({p.input}, o).inputs, 1u) << p.input << " " << p.count;
  }
}

// Resume keeps one line per input, also when the output holds one twice, and a torn
// last line is cut before anything is appended, so no line is glued to it.
TEST(RunBatch, ResumeDropsRepeatsAndCutsATornLastLine) {
  TempRepo repos;
  repos.mkdir("a");
  repos.mkdir("b");
  TempRepo out_dir;
  Path out = out_dir / "out.jsonl";
  std::vector<std::string> inputs{(repos / "a").string()};
  BatchOptions options;
  options.output = out;
  ASSERT_EQ(run_batch(inputs, options).failed, 0u);
  std::string line = testing::read_file(out);
  { std::ofstream(out, std::ios::app) << line << "{\"input\": \"" << inputs[0] << "\", \"sch"; }
  options.resume = true;
  inputs.push_back((repos / "b").string());
  BatchSummary s = run_batch(inputs, options);
  EXPECT_EQ(s.resumed, 1u);
  EXPECT_EQ(s.assessed, 1u);
  auto lines = lines_of(out);  // each parses: nothing glued
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["input"], inputs[0]);
  EXPECT_EQ(lines[1]["input"], inputs[1]);
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
