// software_dependencies: each manifest type with and without constraints, lock files,
// bounded requirement includes, and projects that declare nothing.
#include <gtest/gtest.h>

#include <map>

#include "ostrameld/engine/assess.h"
#include "plugins/full/shapes.h"

namespace ostrameld {
namespace {

using testing::TempRepo;

TEST(SoftwareDependencies, EachManifestConstraintsAndLocks) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    std::size_t declared, constrained;
    double score;
    const char* advice;  // nullptr: none expected
  } cases[] = {
      {"PEP 621 with an unconstrained one, optional and dev groups left out",
       {{"pyproject.toml", "[project]\nname = \"p\"\ndependencies = [\"numpy>=1.21\", \"attrs\"]\n"
                           "[project.optional-dependencies]\ndocs = [\"sphinx\"]\n"
                           "[dependency-groups]\ntest = [\"pytest\"]\n"}},
       2, 1, 7.0, "attrs (pyproject.toml)"},
      {"Poetry's caret and tilde", {{"pyproject.toml", "[tool.poetry]\nname = \"p\"\n[tool.poetry.dependencies]\npython = \"^3.9\"\nnumpy = \"^1.2\"\nscipy = \"~1.10\"\n"}},
       2, 2, 10.0, nullptr},
      {"a lock file pins what the manifest leaves open",
       {{"pyproject.toml", "[project]\nname = \"p\"\ndependencies = [\"attrs\"]\n"}, {"uv.lock", "version = 1\n"}},
       1, 1, 10.0, nullptr},
      {"requirements with includes, bounded to the repository",
       {{"requirements.txt", "numpy>=1.2\n-r requirements/base.txt\n-r ../../etc/passwd\n"},
        {"requirements/base.txt", "scipy\n-r extra.txt\n"},
        {"requirements/extra.txt", "pandas==2.0\n-r ../requirements.txt\n"}},
       3, 2, 8.0, "scipy (requirements/base.txt)"},
      {"Julia: a workspace's packages declare, the standard libraries need no bounds",
       {{"Project.toml", "[workspace]\nprojects = [\"Core\", \"docs\"]\n"},
        {"Core/Project.toml", "name = \"Core\"\nversion = \"1.0.0\"\n[deps]\nLinearAlgebra = \"x\"\nStatsBase = \"y\"\n"
                              "[compat]\nStatsBase = \"0.34\"\n"}},
       1, 1, 10.0, nullptr},
      {"what developing, testing or documenting needs is no runtime dependency",
       {{"requirements.txt", "numpy>=1.2\n"}, {"requirements-dev.txt", "-r requirements.txt\npytest\nblack\n"},
        {"requirements/docs.txt", "sphinx\n"}, {"docs/requirements.txt", "furo\n"}},
       1, 1, 10.0, nullptr},
      {"conda environment with a pip section", {{"environment.yml", "name: e\ndependencies:\n  - python=3.11\n  - numpy>=1.21\n  - conda-forge::xarray\n  - pip\n  - pip:\n    - h5py>=3\n"}},
       4, 3, 8.5, "xarray"},
      {"R: base packages are no dependencies; unversioned Imports, R's norm, judged softly",
       {{"DESCRIPTION", "Package: p\nImports: dplyr (>= 1.0.0), methods, utils, rlang\nLinkingTo: Rcpp\nSuggests: testthat\n"}},
       3, 1, 9.0, "R packages usually leave Imports unversioned"},
      {"npm ranges, dev dependencies left out", {{"package.json", R"({"name": "p", "dependencies": {"a": "^1.0.0", "b": "*"}, "devDependencies": {"jest": "^29"}})"}},
       2, 1, 7.0, "b (package.json)"},
      {"Cargo", {{"Cargo.toml", "[package]\nname = \"p\"\n[dependencies]\nserde = \"1\"\nrand = { git = \"https://x\" }\n[dev-dependencies]\ncriterion = \"0.5\"\n"}},
       2, 2, 10.0, nullptr},
      {"go.mod names exact versions", {{"go.mod", "module example.org/p\n\nrequire (\n\tgolang.org/x/text v0.14.0\n\tgithub.com/a/b v1.2.3 // indirect\n)\n"}},
       2, 2, 10.0, nullptr},
      {"Maven: versions from a parent count", {{"pom.xml", "<project><artifactId>p</artifactId><dependencies><dependency><groupId>g</groupId><artifactId>a</artifactId></dependency></dependencies></project>"}},
       1, 1, 10.0, nullptr},
      {"Julia's [compat]", {{"Project.toml", "name = \"P\"\n[deps]\nA = \"u1\"\nB = \"u2\"\n[compat]\nA = \"1.2\"\n"}},
       2, 1, 7.0, "[compat]"},
      {"Gemfile", {{"Gemfile", "source \"https://rubygems.org\"\ngem \"rake\", \"~> 13.0\"\ngem 'nokogiri'\n"}},
       2, 1, 7.0, "nokogiri"},
      {"CMake's find_package with and without a version", {{"CMakeLists.txt", "project(p VERSION 1.0)\nfind_package(HDF5 1.10 REQUIRED)\nfind_package(Boost REQUIRED)\nfind_package(GTest)\n"}},
       2, 1, 7.0, "find_package(HDF5 1.10)"},
      {"vcpkg with a baseline", {{"vcpkg.json", R"({"name": "p", "builtin-baseline": "abc", "dependencies": ["fmt", {"name": "zlib"}]})"}},
       2, 2, 10.0, nullptr},
      {"conan", {{"conanfile.txt", "[requires]\nfmt/10.1.1\nboost/[>=1.80 <2]\n[generators]\nCMakeDeps\n"}},
       2, 2, 10.0, nullptr},
      {"a package that needs nothing", {{"pyproject.toml", "[project]\nname = \"p\"\n"}}, 0, 0, 10.0, nullptr},
      {"no manifest, but the code imports packages",
       {{"analysis.py", "import os\nimport numpy as np\nfrom scipy import stats\nimport helpers\n"},
        {"helpers.py", "import json\n"},
        {"tests/test_a.py", "import pytest\n"}},
       0, 0, 0.0, "numpy, scipy"},
      {"no manifest and only the language's own modules",
       {{"tool.py", "import os, sys\nfrom pathlib import Path\n"}}, 0, 0, 10.0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [file, text] : c.files) repo.write(file, text);
    testing::commit_all(repo);
    AssessOptions options;
    options.profile = &fair4rs_full_profile();
    options.offline = true;
    options.only = {"software_dependencies"};
    Assessment a = assess_repository(repo.path(), options);
    ASSERT_EQ(a.indicators.size(), 1u);
    const CheckResult& r = a.indicators.front();
    EXPECT_EQ(r.facts["declared"], c.declared) << r.output;
    EXPECT_EQ(r.facts["constrained"], c.constrained);
    EXPECT_DOUBLE_EQ(r.score, c.score) << r.output;
    bool found = false;
    for (const auto& line : r.advice) found = found || (c.advice && line.find(c.advice) != std::string::npos);
    EXPECT_EQ(found, c.advice != nullptr) << (r.advice.empty() ? "(no advice)" : r.advice.front());
  }
}

}  // namespace
}  // namespace ostrameld
