// Generated repositories for benchmarks: sizes and shapes chosen per benchmark.
#pragma once

#include <filesystem>

namespace ostrameld::bench {

struct RepoShape {
  int source_files = 2000;   // spread over nested directories
  bool licence = false;      // an Apache-2.0 LICENSE in the root
  int doc_pages = 0;         // docs/ pages (Markdown) at several depths
  int workflows = 0;         // .github/workflows/*.yml
  int data_files = 0;        // files the header scan never reads (*.dat), 100 per directory
};

// Creates a repository under a fresh temporary directory and returns its path.
std::filesystem::path generate_repo(const RepoShape& shape);

}  // namespace ostrameld::bench
