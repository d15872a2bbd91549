#include "repo_gen.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

namespace ostrameld::bench {

namespace {

void write(const std::filesystem::path& p, const std::string& text) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p) << text;
}

}  // namespace

std::filesystem::path generate_repo(const RepoShape& shape) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "ostrameld-bench-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  std::filesystem::path root(tmpl);
  const std::string body(1500, 'x');
  for (int i = 0; i < shape.source_files; ++i) {
    // node_modules holds a quarter of the files, as in many JavaScript projects.
    std::string dir = i % 4 == 0 ? "node_modules/pkg" + std::to_string(i % 40)
                                 : "src/mod" + std::to_string(i % 50);
    const char* ext = i % 3 == 0 ? ".py" : i % 3 == 1 ? ".js" : ".json";
    write(root / dir / ("file" + std::to_string(i) + ext), "// code\n" + body + "\n");
  }
  if (shape.licence) {
    write(root / "LICENSE",
          "                                 Apache License\n                           Version "
          "2.0, January 2004\n" +
              std::string(9000, ' ') + "\nLicensed under the Apache License, Version 2.0\n");
  }
  for (int i = 0; i < shape.doc_pages; ++i) {
    write(root / "docs" / ("part" + std::to_string(i % 20)) / ("sub" + std::to_string(i % 7)) /
              ("page" + std::to_string(i) + (i % 5 == 0 ? ".rst" : ".md")),
          "# Page\n");
  }
  for (int i = 0; i < shape.workflows; ++i) {
    write(root / ".github/workflows" / ("wf" + std::to_string(i) + ".yml"),
          "name: build\non: push\njobs:\n  build:\n    runs-on: ubuntu-latest\n    steps:\n"
          "      - uses: actions/checkout@v4\n      - run: make\n");
  }
  for (int i = 0; i < shape.data_files; ++i) {
    std::filesystem::path dir = root / "data" / ("d" + std::to_string(i / 100));
    if (i % 100 == 0) std::filesystem::create_directories(dir);
    std::ofstream(dir / ("f" + std::to_string(i) + ".dat"));
  }
  write(root / "README.md", std::string(2048, 'r'));
  return root;
}

}  // namespace ostrameld::bench
