// How real projects keep their citations and identifiers, from their own files: R's
// inst/CITATION and Julia's CITATION.bib credited, a registry's DOI taken as the
// software's, a README's DOIs only in its badges or where it says how to cite.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "ostrameld/engine/assess.h"
#include "ostrameld/metadata/model.h"
#include "plugins/full/shapes.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using testing::TempRepo;

std::string real(const std::string& path) {
  return testing::read_file(std::filesystem::path(OSTRAMELD_TEST_DATA) / "real" / path);
}

// The full profile's results for these indicators only, offline, by indicator.
std::map<std::string, CheckResult> assess_only(const TempRepo& repo, std::vector<std::string> indicators) {
  AssessOptions options;
  options.profile = &fair4rs_full_profile();
  options.offline = true;
  options.only = std::move(indicators);
  Assessment a = assess_repository(repo.path(), options);
  std::map<std::string, CheckResult> by_key;
  for (auto& r : a.indicators) by_key[r.indicator_id] = r;
  return by_key;
}

std::map<std::string, CheckResult> assess_full(TempRepo& repo) {
  testing::commit_all(repo);
  return assess_only(repo, {"persistent_identifier", "citation_metadata", "qualified_references"});
}

std::vector<std::string> archives_of(const CheckResult& r) {
  std::vector<std::string> out;
  for (const auto& entry : r.facts["archives"])
    out.push_back(entry["kind"].get<std::string>() + ":" + entry["value"].get<std::string>());
  return out;
}

TEST(RealShapes, CitationFilesIdentifiersAndReferences) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;  // path in the repository -> file under tests/data/real
    std::vector<std::string> dois;             // the software's, as found
    double citation_score;
    const char* citation_advice;               // in the citation advice, or nullptr
    std::size_t references;
  } cases[] = {
      {"R: inst/CITATION cites the package by its CRAN DOI", {{"inst/CITATION", "rredlist/inst/CITATION"}},
       {"10.32614/cran.package.rredlist"}, 4.0, "cffr::cff_write()", 0},
      {"R: inst/CITATION cites the paper", {{"inst/CITATION", "DESeq2/inst/CITATION"}}, {}, 4.0, "cffr::cff_write()", 1},
      {"Julia: CITATION.bib with the article; the README's badge",
       {{"CITATION.bib", "DataFrames.jl/CITATION.bib"}, {"README.md", "DataFrames.jl/README.md"}},
       {"10.5281/zenodo.7632427"}, 4.0, "beside CITATION.bib", 1},
      {"Julia: CITATION.bib with the Zenodo record and the article",
       {{"CITATION.bib", "Distributions.jl/CITATION.bib"}, {"README.md", "Distributions.jl/README.md"}},
       {"10.5281/zenodo.2647458"}, 4.0, "beside CITATION.bib", 1},
      {"a README's table of another work's DOIs is no identifier of this software",
       {{"README.md", "cffconvert/README.md"}}, {"10.5281/zenodo.1162057"}, 0.0, "Add CITATION.cff (", 0},
      {"a README's Citation section", {{"README.md", "cytoscape.js/README.md"}}, {}, 0.0, nullptr, 1},
      {"a README's Citing subsection", {{"README.md", "htslib/README.md"}}, {}, 0.0, nullptr, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [to, from] : c.files) repo.write(to, real(from));
    auto r = assess_full(repo);
    std::vector<std::string> dois;
    for (const auto& id : r["persistent_identifier"].facts["identifiers"])
      if (id["scheme"] == "doi") dois.push_back(ascii_lower(id["value"].get<std::string>()));
    EXPECT_EQ(dois, c.dois) << r["persistent_identifier"].output;
    EXPECT_DOUBLE_EQ(r["citation_metadata"].score, c.citation_score) << r["citation_metadata"].output;
    if (c.citation_advice) {
      bool found = false;
      for (const auto& a : r["citation_metadata"].advice) found = found || a.find(c.citation_advice) != std::string::npos;
      EXPECT_TRUE(found) << (r["citation_metadata"].advice.empty() ? "" : r["citation_metadata"].advice.front());
    }
    EXPECT_EQ(r["qualified_references"].facts["references"], c.references) << r["qualified_references"].evidence;
  }
}

// Advice an expert would follow: never to mint what the repository shows exists, never a
// to-do for what could not be looked up offline.
TEST(RealShapes, AdviceAnExpertWouldFollow) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    const char* wanted;    // in the identifier advice, or nullptr
    const char* unwanted;  // in no identifier advice
  } cases[] = {
      {"Zenodo's badge of a GitHub repository: the DOIs exist",
       {{"README.md", "# x\n\n[![DOI](https://zenodo.org/badge/123456.svg)](https://zenodo.org/badge/latestdoi/123456)\n"}},
       "Zenodo archives this repository", "Mint a DOI"},
      {"no archive at all", {{"README.md", "# x\n"}}, "Mint a DOI", "Zenodo archives"},
      {"offline, a DOI is not looked up and that is no to-do",
       {{"CITATION.cff", "cff-version: 1.2.0\nmessage: m\ntitle: x\ndoi: 10.5281/zenodo.1234\nauthors:\n  - name: A\n"}},
       nullptr, "could not confirm"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [path, text] : c.files) repo.write(path, text);
    auto r = assess_full(repo)["persistent_identifier"];
    bool wanted = false, unwanted = false;
    for (const auto& a : r.advice) {
      wanted = wanted || (c.wanted && a.find(c.wanted) != std::string::npos);
      unwanted = unwanted || a.find(c.unwanted) != std::string::npos;
    }
    EXPECT_EQ(wanted, c.wanted != nullptr) << (r.advice.empty() ? "" : r.advice.front());
    EXPECT_FALSE(unwanted);
    EXPECT_FALSE(r.facts.contains("notes"));
  }
}

// A README links other packages as often as its own: only the project's own registry
// entry is its archive.
TEST(RealShapes, OnlyTheProjectsOwnRegistryEntryIsItsArchive) {
  TempRepo repo;
  repo.write("README.rst", real("ipython/README.rst"));
  repo.write("pyproject.toml", "[project]\nname = \"ipython\"\n");
  testing::commit_all(repo);
  EXPECT_EQ(archives_of(assess_only(repo, {"metadata_archived"})["metadata_archived"]),
            std::vector<std::string>{"pypi:ipython"});

  // Bioconda is a bioinformatics tool's registry: its install line and its page count.
  TempRepo tool;
  tool.write("CMakeLists.txt", "project(mytool C)\n");
  tool.write("README.md", "# mytool\n\n    conda install -c conda-forge -c bioconda mytool\n\n"
                          "Also: `conda install -c bioconda othertool` for the plots.\n");
  testing::commit_all(tool);
  EXPECT_EQ(archives_of(assess_only(tool, {"metadata_archived"})["metadata_archived"]),
            std::vector<std::string>{"bioconda:mytool"});
}

// A Nextflow pipeline keeps its metadata in nextflow.config's manifest: its DOI, its
// papers and its contributors' ORCIDs are read from there.
TEST(RealShapes, ANextflowPipelinesManifest) {
  TempRepo repo;
  repo.write("nextflow.config", real("sarek/nextflow.config"));
  repo.write("main.nf", "workflow { }\n");
  testing::commit_all(repo, "https://github.com/nf-core/sarek");
  auto r = assess_only(repo, {"persistent_identifier", "qualified_references", "provenance"});
  ASSERT_EQ(r["persistent_identifier"].facts["identifiers"].size(), 1u);
  EXPECT_EQ(r["persistent_identifier"].facts["identifiers"][0]["value"], "10.5281/zenodo.3476425");
  EXPECT_EQ(r["persistent_identifier"].facts["identifiers"][0]["source"], "nextflow.config manifest.doi");
  EXPECT_EQ(r["qualified_references"].facts["references"], 2);
  EXPECT_GE(r["provenance"].facts["orcids_valid"].get<int>(), 30);
}

// Workflows pin what each step runs in an environment of its own: those are their
// dependencies, not a manifest of a package they are not.
TEST(RealShapes, AWorkflowsStepEnvironmentsAreItsDependencies) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    std::size_t declared;
  } cases[] = {
      {"nf-core: a module's environment.yml",
       {{"main.nf", "workflow { }\n"}, {"bin/plot.R", "library(DESeq2)\n"},
        {"modules/nf-core/dupradar/environment.yml", real("rnaseq/environment.yml")}},
       1},
      {"Snakemake: workflow/envs/ and the Snakemake it needs",
       {{"workflow/Snakefile", "from snakemake.utils import min_version\n\nmin_version(\"8.8.0\")\n\nrule all:\n    input: []\n"},
        {"workflow/scripts/x.R", "library(biomaRt)\n"},
        {"workflow/envs/biomart.yaml", real("rna-seq-star-deseq2/env.yaml")}},
       4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [path, text] : c.files) repo.write(path, text);
    testing::commit_all(repo);
    const CheckResult r = assess_only(repo, {"software_dependencies"})["software_dependencies"];
    EXPECT_EQ(r.facts["declared"], c.declared) << r.output;
    EXPECT_EQ(r.facts["constrained"], c.declared) << r.output;
    EXPECT_DOUBLE_EQ(r.score, 10.0) << r.output;
  }
}

// Advice through each ecosystem's own tools: R's metadata lives in DESCRIPTION and is
// carried into codemeta.json and CITATION.cff by codemetar and cffr; a pipeline's authors
// live in its manifest.
TEST(RealShapes, AdviceThroughEachEcosystemsOwnTools) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    const char* indicator;
    const char* wanted;
  } cases[] = {
      {"an R package without a citation file", {{"DESCRIPTION", "Package: p\nVersion: 1.0.0\nLicense: MIT\n"}},
       "citation_metadata", "cffr::cff_write()"},
      {"an R package's authors without ORCIDs",
       {{"DESCRIPTION", "Package: p\nVersion: 1.0.0\nAuthors@R: person(\"Jane\", \"Doe\", role = \"aut\")\n"}},
       "provenance", "comment = c(ORCID ="},
      {"an R package's codemeta.json to complete",
       {{"DESCRIPTION", "Package: p\nVersion: 1.0.0\n"},
        {"codemeta.json", "{\"@context\": \"https://w3id.org/codemeta/3.0\", \"name\": \"p\"}"}},
       "citation_metadata", "codemetar::write_codemeta()"},
      {"a pipeline's authors without ORCIDs",
       {{"nextflow.config", "manifest {\n    name = 'x'\n    author = 'Jane Doe'\n}\n"}}, "provenance",
       "nextflow.config's manifest"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [path, text] : c.files) repo.write(path, text);
    testing::commit_all(repo);
    const CheckResult r = assess_only(repo, {c.indicator})[c.indicator];
    bool found = false;
    for (const auto& line : r.advice) found = found || line.find(c.wanted) != std::string::npos;
    EXPECT_TRUE(found) << (r.advice.empty() ? "" : r.advice.front());
  }
}

// How real projects run their tests in CI: through their own composite actions and
// GitLab includes, make targets, variables, a pom's default goal, Jenkins' plugin
// pipeline, workflows run on test data and linted, and Bioconductor's own builds.
TEST(RealShapes, CiThatRunsTheTestsAsEachProjectWiresIt) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;  // path in the repository -> file under tests/data/real
    std::vector<std::string> commands;         // facts.ci_test_commands, in order
  } cases[] = {
      {"nf-core: nf-test in a composite action of the repository",
       {{".github/workflows/nf-test.yml", "sarek/nf-test.yml"}, {".github/actions/nf-test/action.yml", "sarek/nf-test-action.yml"}},
       {"nf-test"}},
      {"nf-core: the workflow without its action runs nothing", {{".github/workflows/nf-test.yml", "sarek/nf-test.yml"}}, {}},
      {"Snakemake: the workflow linted and run on .test", {{".github/workflows/main.yml", "rna-seq-star-deseq2/main.yml"}},
       {"snakemake --lint", "snakemake .test"}},
      {"GitLab: jobs in local includes, a template after its spec header, !reference",
       {{".gitlab-ci.yml", "gwpy/gitlab-ci.yml"}, {".gitlab/ci/test.yml", "gwpy/test.yml"}, {".gitlab/ci/test-job.yml", "gwpy/test-job.yml"}},
       {"pytest"}},
      {"GitHub: ${{ env.CARGO }} test", {{".github/workflows/ci.yml", "ripgrep/ci.yml"}}, {"cargo test"}},
      {"make richtest runs richgo test", {{".github/workflows/test.yml", "cobra/test.yml"}, {"Makefile", "cobra/Makefile"}}, {"go test"}},
      {"a bare mvn runs the pom's defaultGoal", {{".github/workflows/maven.yml", "commons-lang/maven.yml"}, {"pom.xml", "commons-lang/pom.xml"}},
       {"mvn verify"}},
      {"a bare mvn without a pom's defaultGoal runs no tests", {{".github/workflows/maven.yml", "commons-lang/maven.yml"}}, {}},
      {"Jenkins: buildPlugin()", {{"Jenkinsfile", "git-plugin/Jenkinsfile"}}, {"mvn verify"}},
      {"Bioconductor builds and checks its packages", {{"DESCRIPTION", "DESeq2/DESCRIPTION"}}, {"R CMD check"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [path, data] : c.files) repo.write(path, real(data));
    testing::commit_all(repo);
    const CheckResult r = assess_only(repo, {"community"})["community"];
    EXPECT_EQ(r.facts["ci_test_commands"], Json(c.commands)) << r.output;
    EXPECT_EQ(r.output.find("CI runs the tests") != std::string::npos, !c.commands.empty()) << r.output;
  }
}

// A README links the documentation of what the project builds on and its community's
// general guides as well as its own: only the project's own pages are its site.
TEST(RealShapes, OnlyTheProjectsOwnPagesAreItsDocumentationSite) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    const char* remote;
    const char* site;  // in facts.site; nullptr: none
  } cases[] = {
      {"ripgrep links the regex crate's docs", {{"README.md", "ripgrep/README.md"}}, "https://github.com/BurntSushi/ripgrep", nullptr},
      {"an nf-core pipeline's own pages before nf-core's general docs", {{"README.md", "rnaseq/README.md"}},
       "https://github.com/nf-core/rnaseq", "https://nf-co.re/rnaseq/usage"},
      {"a Snakemake workflow's page in the catalogue", {{"README.md", "rna-seq-star-deseq2/README.md"}},
       "https://github.com/snakemake-workflows/rna-seq-star-deseq2", "snakemake-workflow-catalog"},
      {"the repository's wiki", {{"README.md", "spdlog/README.md"}}, "https://github.com/gabime/spdlog", "spdlog/wiki"},
      {"\"Official Documentation\": the owner's site", {{"README.md", "jq/README.md"}}, "https://github.com/jqlang/jq", "https://jqlang.org"},
      {"a Bioconductor package's landing page", {{"DESCRIPTION", "DESeq2/DESCRIPTION"}}, "https://github.com/thelovelab/DESeq2",
       "Bioconductor landing page (DESeq2)"},
      {"docs.rs has no pages for a crate of programs only",
       {{"Cargo.toml", "ripgrep/Cargo.toml"}, {"README.md", "ripgrep/README.md"}}, "https://github.com/BurntSushi/ripgrep", nullptr},
      {"nor when the crate's manifest points there", {{"Cargo.toml", "fd/Cargo.toml"}},
       "https://github.com/sharkdp/fd", nullptr},
      {"pkg.go.dev has little for a command", {{"go.mod", "fzf/go.mod"}, {"main.go", "fzf/main.go"}},
       "https://github.com/junegunn/fzf", nullptr},
      {"pkg.go.dev documents a library module", {{"go.mod", "fzf/go.mod"}}, "https://github.com/junegunn/fzf",
       "pkg.go.dev (github.com/junegunn/fzf)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [path, data] : c.files) repo.write(path, real(data));
    testing::commit_all(repo, c.remote);
    const CheckResult r = assess_only(repo, {"documentation"})["documentation"];
    if (!c.site) {
      EXPECT_TRUE(r.facts["site"].is_null()) << r.facts["site"];
      continue;
    }
    ASSERT_TRUE(r.facts["site"].is_string()) << r.output;
    EXPECT_NE(r.facts["site"].get<std::string>().find(c.site), std::string::npos) << r.facts["site"];
  }
}

// What real projects declare as their dependencies, read where each keeps it, and what
// only sets up a place to develop them.
TEST(RealShapes, DependenciesWhereEachProjectDeclaresThem) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    std::vector<std::string> dependencies;  // facts.dependencies, in order
  } cases[] = {
      {"a conda environment to develop a package that declares its own needs",
       {{"pyproject.toml", "cartopy/pyproject.toml"}, {"environment.yml", "cartopy/environment.yml"}},
       {"numpy", "matplotlib", "shapely", "packaging", "pyshp", "pyproj"}},
      {"a requirements.txt that installs the project itself, with its tools",
       {{"pyproject.toml", "httpx/pyproject.toml"}, {"requirements.txt", "httpx/requirements.txt"}},
       {"certifi (no constraint)", "httpcore", "anyio (no constraint)", "idna (no constraint)"}},
      {"a Gemfile of test tools beside a Go module", {{"go.mod", "fzf/go.mod"}, {"Gemfile", "fzf/Gemfile"}},
       {"github.com/charlievieth/fastwalk", "github.com/gdamore/tcell/v2", "github.com/junegunn/go-shellwords",
        "github.com/mattn/go-isatty", "github.com/rivo/uniseg", "golang.org/x/sys", "golang.org/x/term",
        "github.com/gdamore/encoding", "github.com/lucasb-eyer/go-colorful", "github.com/mattn/go-runewidth", "golang.org/x/text"}},
      {"autotools: the libraries configure.ac checks for, not the C library's own",
       {{"configure.ac", "htslib/configure.ac"}},
       {"z (no constraint)", "bz2 (no constraint)", "lzma (no constraint)", "htscodecs (no constraint)",
        "deflate (no constraint)", "curl (no constraint)", "crypto (no constraint)"}},
      {"autotools: AX_WITH_HTSLIB finds HTSlib", {{"configure.ac", "bcftools/configure.ac"}},
       {"z (no constraint)", "gsl (no constraint)", "cblas (no constraint)", "gslcblas (no constraint)",
        "perl (no constraint)", "htslib (no constraint)"}},
      {"CMake: find_package in a module the root includes; a test framework is none",
       {{"CMakeLists.txt", "ccache/CMakeLists.txt"}, {"cmake/Dependencies.cmake", "ccache/Dependencies.cmake"}},
       {"Blake3", "CppHttplib", "Fmt", "TlExpected", "Xxhash", "Zstd", "Hiredis"}},
      {"Julia: Future comes with Julia", {{"Project.toml", "DataFrames.jl/Project.toml"}},
       {"Compat", "DataAPI", "DataStructures", "InlineStrings", "InvertedIndices", "IteratorInterfaceExtensions",
        "Missings", "PooledArrays", "PrecompileTools", "PrettyTables", "Reexport", "SentinelArrays",
        "SortingAlgorithms", "TableTraits", "Tables"}},
      {"Maven: a test library whose scope the parent manages", {{"pom.xml", "commons-lang/pom.xml"}}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [path, data] : c.files) repo.write(path, real(data));
    testing::commit_all(repo);
    const CheckResult r = assess_only(repo, {"software_dependencies"})["software_dependencies"];
    EXPECT_EQ(r.facts["dependencies"], Json(c.dependencies)) << r.output;
  }
  // A version a CMake variable holds, set where it is used or in another file read with it.
  MetadataSource s;
  metadata::read_cmake("set(FMT_MIN 9.1.0)\nfind_package(fmt ${FMT_MIN} REQUIRED)\nfind_package(ZLIB ${UNSET})\n", s);
  ASSERT_EQ(s.dependencies.size(), 2u);
  EXPECT_EQ(s.dependencies[0].constraint, ">=9.1.0");
  EXPECT_EQ(s.dependencies[1].constraint, "");
}

// Registries a project shows it publishes to by how it is built: TagBot, a .dockstore.yml,
// a Jenkins plugin's pom, biocViews, a README's Maven <dependency> or vcpkg install line.
TEST(RealShapes, RegistriesShownByHowAProjectIsBuilt) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    const char* remote;
    std::vector<std::string> archives;
  } cases[] = {
      {"Julia: TagBot releases what the General registry registered",
       {{"Project.toml", "ForwardDiff.jl/Project.toml"}, {".github/workflows/TagBot.yml", "ForwardDiff.jl/TagBot.yml"}},
       "https://github.com/JuliaDiff/ForwardDiff.jl", {"julia-general:ForwardDiff"}},
      {"Julia: TagBot alone, without a package, shows nothing", {{".github/workflows/TagBot.yml", "ForwardDiff.jl/TagBot.yml"}},
       "https://github.com/JuliaDiff/ForwardDiff.jl", {}},
      {"nf-core: .dockstore.yml", {{".github/.dockstore.yml", "sarek/dockstore.yml"}}, "https://github.com/nf-core/sarek",
       {"dockstore:github.com/nf-core/sarek"}},
      {"Jenkins: a plugin is published in the update centre", {{"pom.xml", "git-plugin/pom.xml"}},
       "https://github.com/jenkinsci/git-plugin", {"jenkins-plugins:git"}},
      {"Maven: the README's <dependency> on the project's own groupId",
       {{"pom.xml", "biojava/pom.xml"}, {"README.md", "biojava/README.md"}}, "https://github.com/biojava/biojava",
       {"maven-central:org.biojava/biojava-core"}},
      {"Bioconductor: biocViews", {{"DESCRIPTION", "DESeq2/DESCRIPTION"}}, "https://github.com/thelovelab/DESeq2",
       {"bioconductor:DESeq2"}},
      {"C++: vcpkg and conda-forge install lines naming the project",
       {{"README.md", "spdlog/README.md"}, {"CMakeLists.txt", "spdlog/CMakeLists.txt"}},
       "https://github.com/gabime/spdlog", {"conda-forge:spdlog", "vcpkg:spdlog"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [path, data] : c.files) repo.write(path, real(data));
    testing::commit_all(repo, c.remote);
    std::vector<std::string> got = archives_of(assess_only(repo, {"metadata_archived"})["metadata_archived"]);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, c.archives);
  }
}

// Changelogs where documentation keeps them, at any depth: a website's folder, a Sphinx
// source tree's release notes, a docs site's history pages.
TEST(RealShapes, ChangelogsBesideTheDocumentation) {
  struct {
    const char* name;
    std::vector<std::string> files;
    const char* changelog;  // nullptr: none
  } cases[] = {
      {"paramiko: sites/www/changelog.rst", {"sites/www/changelog.rst", "sites/docs/conf.py"}, "sites/www/changelog.rst"},
      {"pvlib: docs/sphinx/source/whatsnew/", {"docs/sphinx/source/whatsnew/v0.11.0.rst", "docs/sphinx/source/conf.py"},
       "docs/sphinx/source/whatsnew/"},
      {"hatch: docs/history/", {"docs/history/hatch.md", "mkdocs.yml"}, "docs/history/"},
      {"release notes in the code are none", {"src/pkg/history/model.py", "src/pkg/changelog.py"}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& f : c.files) repo.write(f, "# notes\n\nv1.0.0: first release\n");
    testing::commit_all(repo);
    const CheckResult r = assess_only(repo, {"provenance"})["provenance"];
    EXPECT_EQ(r.facts["changelog"], c.changelog ? Json(c.changelog) : Json(nullptr));
  }
}

// Standard formats as a project shows them: what it says it reads and writes, and the
// format libraries it needs to run, not those of its development environment; a name
// that means a format library in one ecosystem and an interface in another.
TEST(RealShapes, StandardFormatsTheSoftwareItselfWorksWith) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    std::vector<std::string> formats;
  } cases[] = {
      {"htslib: the formats its README opens with", {{"README.md", "htslib/README.md"}}, {"CRAM", "SAM", "VCF"}},
      {"jq: an opening paragraph that starts with code", {{"README.md", "jq/README.md"}}, {"JSON"}},
      {"cffconvert: its description", {{"pyproject.toml", "cffconvert/pyproject.toml"}}, {"BibTeX", "CFF", "CodeMeta", "JSON Schema"}},
      {"Julia's Tables.jl is no HDF5 library", {{"Project.toml", "DataFrames.jl/Project.toml"}}, {}},
      {"cartopy: fiona only in the development environment",
       {{"pyproject.toml", "cartopy/pyproject.toml"}, {"environment.yml", "cartopy/environment.yml"}}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [path, data] : c.files) repo.write(path, real(data));
    testing::commit_all(repo);
    const CheckResult r = assess_only(repo, {"standard_formats"})["standard_formats"];
    EXPECT_EQ(r.facts["formats"], Json(c.formats)) << r.evidence;
  }
}

// Metadata that says one thing in each source's own way is consistent: a name with or
// without its diacritics, composed or not; a team beside a person; a trove classifier's
// licence name; a pom's licence by its steward's page; the root package's tags of a
// repository of several packages.
TEST(RealShapes, OneThingSaidInEachSourcesOwnWay) {
  struct {
    const char* name;
    std::map<std::string, std::string> files;
    std::vector<std::string> tags;
    std::vector<std::string> conflicts;  // the fields in conflict
  } cases[] = {
      {"poetry: a decomposed accent and a team of contributors",
       {{"pyproject.toml", "poetry/pyproject.toml"}, {"CITATION.cff", "poetry/CITATION.cff"}}, {}, {}},
      {"cffconvert: \"Apache Software License\" beside Apache-2.0",
       {{"pyproject.toml", "cffconvert/pyproject.toml"}, {"CITATION.cff", "cffconvert/CITATION.cff"}}, {}, {}},
      {"biojava: the pom's LGPL by its URL; a stale CITATION.cff and authors missing from it",
       {{"pom.xml", "biojava/pom.xml"}, {"CITATION.cff", "biojava/CITATION.cff"}}, {"biojava-7.2.5"}, {"version", "authors"}},
      {"a package's own tags, not another package's of the same repository",
       {{"Project.toml", "DataFrames.jl/Project.toml"}}, {"v1.8.2", "OtherPkg-v9.0.0"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [path, data] : c.files) repo.write(path, real(data));
    testing::commit_all(repo);
    for (const auto& tag : c.tags) testing::git(repo, "tag " + tag);
    const CheckResult r = assess_only(repo, {"metadata_consistency"})["metadata_consistency"];
    std::vector<std::string> fields;
    for (const auto& conflict : r.facts["conflicts"]) fields.push_back(conflict["field"].get<std::string>());
    EXPECT_EQ(fields, c.conflicts) << r.output << (r.advice.empty() ? "" : "; " + r.advice.front());
  }
  // The pom's licence page names LGPL 2.1 without "only"; CITATION.cff says "only": the
  // precise declaration is the project's expression.
  TempRepo repo;
  for (auto f : {"pom.xml", "CITATION.cff", "LICENSE"}) repo.write(f, real(std::string("biojava/") + f));
  testing::commit_all(repo);
  EXPECT_EQ(assess_only(repo, {"licence"})["licence"].facts["spdx"], "LGPL-2.1-only");
}

// A workflow's RO-Crate, as WorkflowHub reads it: the workflow's name, version, licence,
// authors with their ORCIDs and repository, compared with the pipeline's manifest.
TEST(RealShapes, AWorkflowsRoCrate) {
  MetadataSource crate;
  metadata::read_ro_crate(real("sarek/ro-crate-metadata.json"), crate);
  ASSERT_TRUE(crate.readable()) << crate.problem;
  EXPECT_EQ(crate.title, "nf-core/sarek");
  EXPECT_EQ(crate.version, "3.10.0");
  EXPECT_EQ(crate.licences, std::vector<std::string>{"MIT"});
  ASSERT_EQ(crate.authors.size(), 3u);
  for (const auto& a : crate.authors) {
    EXPECT_FALSE(a.name.empty());
    ASSERT_TRUE(a.orcid.has_value());
    EXPECT_TRUE(a.orcid->checksum_valid) << a.orcid_text;
  }
  EXPECT_EQ(crate.repository_urls.front(), "https://github.com/nf-core/sarek");

  struct {
    const char* name;
    std::map<std::string, std::string> files;
    std::vector<std::string> tags;
    std::vector<std::string> conflicts;
  } cases[] = {
      {"sarek: the crate agrees with the manifest; its main authors are not the whole list",
       {{"nextflow.config", "sarek/nextflow.config"}, {"ro-crate-metadata.json", "sarek/ro-crate-metadata.json"}}, {"3.10.0"}, {}},
      {"rnaseq: a crate left at the development version after the release",
       {{"nextflow.config", "rnaseq/nextflow.config"}, {"ro-crate-metadata.json", "rnaseq/ro-crate-metadata.json"}}, {"3.24.0"}, {"version"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRepo repo;
    for (const auto& [path, data] : c.files) repo.write(path, real(data));
    testing::commit_all(repo);
    for (const auto& tag : c.tags) testing::git(repo, "tag " + tag);
    const CheckResult r = assess_only(repo, {"metadata_consistency"})["metadata_consistency"];
    std::vector<std::string> fields;
    for (const auto& conflict : r.facts["conflicts"]) fields.push_back(conflict["field"].get<std::string>());
    EXPECT_EQ(fields, c.conflicts) << r.output;
  }
}

// A workflow is documented as workflows are: its test run is its worked example, and it
// is deployed and run, not installed.
TEST(RealShapes, AWorkflowsDocumentation) {
  TempRepo repo;
  repo.write("README.md", real("rna-seq-star-deseq2/README.md"));
  repo.write("workflow/Snakefile", "configfile: \"config/config.yaml\"\n");
  repo.write(".test/config/config.yaml", "samples: samples.tsv\n");
  testing::commit_all(repo, "https://github.com/snakemake-workflows/rna-seq-star-deseq2");
  const CheckResult r = assess_only(repo, {"documentation"})["documentation"];
  EXPECT_EQ(r.facts["examples"], Json(std::vector<std::string>{".test/"}));
  bool deploy = false, install = false;
  for (const auto& a : r.advice) {
    deploy = deploy || a.find("snakedeploy deploy-workflow") != std::string::npos;
    install = install || a.find("\"Installation\"") != std::string::npos;
  }
  EXPECT_TRUE(deploy);
  EXPECT_FALSE(install);
}

}  // namespace
}  // namespace ostrameld
