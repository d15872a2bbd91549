// Whole assessments of generated repositories, in-process (no process start-up).
#include <benchmark/benchmark.h>

#include <filesystem>

#include "ostrameld/engine/assess.h"
#include "repo_gen.h"

namespace {

using ostrameld::bench::generate_repo;
using ostrameld::bench::RepoShape;

void assess_shape(benchmark::State& state, const RepoShape& shape) {
  auto repo = generate_repo(shape);
  for (auto _ : state) {
    auto a = ostrameld::assess_repository(repo, {});
    benchmark::DoNotOptimize(a);
  }
  std::filesystem::remove_all(repo);
}

// 2,000 files, no licence file: the SPDX header scan walks the tree.
void BM_Assess_HeaderScan(benchmark::State& state) {
  assess_shape(state, {.source_files = 2000});
}
// 2,000 files with a LICENSE: the common path.
void BM_Assess_Licence(benchmark::State& state) {
  assess_shape(state, {.source_files = 2000, .licence = true});
}

// A documentation tree of 5,000 pages and 50 workflow files without a test step,
// so that every workflow is read.
void BM_Assess_DocsAndWorkflows(benchmark::State& state) {
  assess_shape(state, {.source_files = 200, .licence = true, .doc_pages = 5000, .workflows = 50});
}

// 200,000 entries and no licence file or source file: the header scan walks them all.
void BM_Assess_Walk200k(benchmark::State& state) {
  assess_shape(state, {.source_files = 0, .data_files = 200000});
}

BENCHMARK(BM_Assess_HeaderScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assess_Walk200k)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Assess_DocsAndWorkflows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assess_Licence)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
