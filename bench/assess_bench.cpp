// Whole assessments of generated repositories, in-process (no process start-up).
#include <benchmark/benchmark.h>

#include <filesystem>

#include "ostrameld/engine/assess.h"
#include "ostrameld/engine/profile.h"
#include "ostrameld/licences/matcher.h"
#include "repo_gen.h"

namespace {

using ostrameld::bench::generate_repo;
using ostrameld::bench::RepoShape;

void assess_shape(benchmark::State& state, const RepoShape& shape, bool full = false) {
  auto repo = generate_repo(shape);
  ostrameld::AssessOptions options;
  options.offline = true;
  if (full) options.profile = &ostrameld::fair4rs_full_profile();
  for (auto _ : state) {
    auto a = ostrameld::assess_repository(repo, options);
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

// The full profile on the common path: every source file's header read, the one walk
// shared by all its checks.
void BM_AssessFull_Licence(benchmark::State& state) {
  assess_shape(state, {.source_files = 2000, .licence = true}, true);
}

// One licence file against the SPDX texts: a standard text (found after the
// prefilters), a modified one (compared word by word, refused), and a README (no text
// passes the prefilters).
void BM_MatchLicence(benchmark::State& state) {
  std::string mit = "Copyright (c) 2024 A\n\nPermission is hereby granted, free of charge, to any person obtaining a copy "
                    "of this software and associated documentation files (the \"Software\"), to deal in the Software "
                    "without restriction, including without limitation the rights to use, copy, modify, merge, publish, "
                    "distribute, sublicense, and/or sell copies of the Software, and to permit persons to whom the "
                    "Software is furnished to do so, subject to the following conditions:\n\nThe above copyright notice "
                    "and this permission notice shall be included in all copies or substantial portions of the Software."
                    "\n\nTHE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR IMPLIED, INCLUDING "
                    "BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY, FITNESS FOR A PARTICULAR PURPOSE AND "
                    "NONINFRINGEMENT. IN NO EVENT SHALL THE AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY CLAIM, DAMAGES "
                    "OR OTHER LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR OTHERWISE, ARISING FROM, OUT OF OR IN "
                    "CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER DEALINGS IN THE SOFTWARE.\n";
  std::string text = state.range(0) == 0   ? mit
                     : state.range(0) == 1 ? mit + "The Software shall be used for Good, not Evil.\n"
                                           : std::string(2000, 'x') + " readme words about rivers and floods\n";
  for (auto _ : state) benchmark::DoNotOptimize(ostrameld::match_licence_text(text));
}
BENCHMARK(BM_MatchLicence)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// 200,000 entries and no licence file or source file: the header scan walks them all.
void BM_Assess_Walk200k(benchmark::State& state) {
  assess_shape(state, {.source_files = 0, .data_files = 200000});
}

BENCHMARK(BM_Assess_HeaderScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assess_Walk200k)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Assess_DocsAndWorkflows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assess_Licence)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssessFull_Licence)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
