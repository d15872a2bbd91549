// Repositories shaped like real research software of each ecosystem, for the full
// profile's tests: files as such projects keep them, git history with a remote.
#pragma once

#include <string>

#include "support/git_repo.h"
#include "support/temp_repo.h"

namespace ostrameld::testing {

// Commits what is there (or an empty commit) and sets origin, when given.
inline void commit_all(TempRepo& repo, const std::string& remote = "") {
  git(repo, "init -q");
  git(repo, "add -A");
  git(repo, "commit -q --allow-empty -m initial");
  if (!remote.empty()) git(repo, "remote add origin '" + remote + "'");
}

inline std::string head_commit(TempRepo& repo) {
  std::string out = (repo / ".head").string();
  repo.sh("git rev-parse HEAD > .head");
  std::string id = read_file(repo / ".head");
  std::filesystem::remove(repo / ".head");
  return id.substr(0, 40);
}

// A Python package with a Zenodo concept DOI in CITATION.cff and a badge, a JOSS paper
// as preferred citation, published on PyPI as its README says.
inline void python_with_zenodo(TempRepo& repo) {
  repo.write("pyproject.toml",
             "[project]\nname = \"pkgz\"\nversion = \"1.2.0\"\nlicense = \"MIT\"\n"
             "dependencies = [\"numpy>=1.21\", \"h5py>=3\"]\n"
             "[project.urls]\nSource = \"https://github.com/org/pkgz\"\n");
  repo.write("CITATION.cff",
             "cff-version: 1.2.0\nmessage: Cite it\ntitle: pkgz\nversion: 1.2.0\n"
             "doi: 10.5281/zenodo.1234\nrepository-code: https://github.com/org/pkgz\n"
             "authors:\n  - family-names: Doe\n    given-names: Jane\n"
             "    orcid: https://orcid.org/0000-0002-1825-0097\n"
             "preferred-citation:\n  type: article\n  title: pkgz, a package\n"
             "  doi: 10.21105/joss.01234\n  authors:\n    - family-names: Doe\n      given-names: Jane\n"
             "references:\n  - type: software\n    title: NumPy\n    doi: 10.1038/s41586-020-2649-2\n"
             "  - type: book\n    title: A book without an identifier\n");
  repo.write("README.md",
             "# pkgz\n\n[![DOI](https://zenodo.org/badge/DOI/10.5281/zenodo.1234.svg)]"
             "(https://doi.org/10.5281/zenodo.1234)\n\nInstall: `pip install pkgz`\n\n"
             "Paper: https://doi.org/10.21105/joss.01234.\n");
  commit_all(repo, "https://github.com/org/pkgz.git");
}

// An R package: ORCIDs in Authors@R, on CRAN as its README's install line says.
inline void r_package(TempRepo& repo) {
  repo.write("DESCRIPTION",
             "Package: rpkg\nTitle: Things\nVersion: 0.3.1\n"
             "Authors@R: c(\n    person(\"Jane\", \"Doe\", role = c(\"aut\", \"cre\"),\n"
             "           comment = c(ORCID = \"0000-0002-1825-0097\")))\n"
             "License: GPL-3\nURL: https://github.com/org/rpkg\nImports: ncdf4 (>= 1.17)\n");
  repo.write("README.md", "# rpkg\n\n```r\ninstall.packages(\"rpkg\")\n```\n");
  commit_all(repo, "git@github.com:org/rpkg.git");
}

// A Rust workspace: three crates, one without a version.
inline void rust_workspace(TempRepo& repo) {
  repo.write("Cargo.toml",
             "[workspace]\nmembers = [\"crates/*\"]\nexclude = [\"crates/skip\"]\n"
             "[workspace.package]\nversion = \"0.4.0\"\nrepository = \"https://github.com/org/ws\"\n");
  repo.write("crates/core/Cargo.toml",
             "[package]\nname = \"ws-core\"\nversion.workspace = true\n");
  repo.write("crates/cli/Cargo.toml", "[package]\nname = \"ws-cli\"\nversion = \"0.4.1\"\n");
  repo.write("crates/extra/Cargo.toml", "[package]\nname = \"ws-extra\"\n");
  repo.write("examples/demo/Cargo.toml", "[package]\nname = \"demo\"\nversion = \"0.0.0\"\n");
  commit_all(repo, "https://github.com/org/ws.git");
}

// An npm monorepo under lerna: every package named and versioned.
inline void npm_monorepo(TempRepo& repo) {
  repo.write("package.json",
             "{\"name\": \"root\", \"private\": true, \"workspaces\": [\"packages/*\"],"
             " \"repository\": \"github:org/mono\"}\n");
  repo.write("lerna.json", "{\"version\": \"independent\", \"packages\": [\"packages/*\"]}\n");
  repo.write("packages/core/package.json", "{\"name\": \"@org/core\", \"version\": \"2.0.0\"}\n");
  repo.write("packages/ui/package.json", "{\"name\": \"@org/ui\", \"version\": \"2.1.0\"}\n");
  repo.write("packages/ui/node_modules/dep/package.json", "{\"name\": \"dep\"}\n");
  commit_all(repo, "https://github.com/org/mono.git");
}

// A C++ project whose only identifier is a SWHID of its own first commit, named in the
// README; HDF5 through CMake.
inline std::string cpp_with_swhid(TempRepo& repo, bool own_commit) {
  repo.write("CMakeLists.txt", "project(sim CXX)\nfind_package(HDF5 REQUIRED)\n");
  repo.write("README.md", "# sim\n");
  commit_all(repo, "https://gitlab.com/org/sim.git");
  std::string id = own_commit ? head_commit(repo) : std::string(40, 'a');
  repo.write("README.md", "# sim\n\nArchived: swh:1:rev:" + id + ";origin=https://gitlab.com/org/sim\n");
  git(repo, "commit -q -am readme");
  return id;
}

}  // namespace ostrameld::testing
