// What the full profile's checks share: where a DOI was minted, whether an address is a
// public repository, and the README's links and install lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/core/context.h"
#include "ostrameld/metadata/model.h"

namespace ostrameld::evidence {

// The archive that minted a DOI ("Zenodo", "figshare", "OSF", "Dryad", "Dataverse",
// "4TU.ResearchData"), or empty for one minted elsewhere (a journal, a preprint server).
std::string archive_of_doi(std::string_view doi);
// A DOI of a paper, never of software: JOSS, arXiv, bioRxiv/medRxiv, JORS.
bool is_paper_doi(std::string_view doi);
// "10.5281/zenodo.123" -> "123"; empty for other DOIs.
std::string zenodo_record(std::string_view doi);

// Every DOI some source names as a reference (preferred citation, references,
// referencePublication, related identifiers): a paper about the software.
std::vector<std::string> reference_dois(const ProjectMetadata& m);

// DOIs a README gives as the software's or as how to cite it: those in its header (the
// badges before its first section) and those in sections about citing. A DOI elsewhere is
// something the README talks about (the formats it reads, the tools it compares with).
struct ReadmeDois {
  std::vector<std::string> header;
  std::vector<std::string> citing;
};
ReadmeDois readme_dois(std::string_view readme);

// The citation files R (inst/CITATION) and Julia and others (CITATION.bib) keep: each
// entry's type ("manual", "article", "software", ...) and DOI, if it has one.
struct CitationEntry {
  std::string type;
  std::string doi;
};
struct CitationFile {
  std::string path;
  std::vector<CitationEntry> entries;
};
std::vector<CitationFile> citation_files(const Path& root);

enum class Reach {
  Public,       // https, ssh or git on a public host
  PlainHttp,    // http:// on a public host
  PrivateHost,  // localhost, a private network address, a single-label or .local name
  LocalPath,    // a path or file:// URL
  Invalid,
};
Reach reach_of(std::string_view url);
// host/owner/repo, lower-cased host, no scheme, user, ".git", trailing "/" or web path
// below a forge's repository: the same repository gives the same text.
std::string normalize_repository(std::string_view url);

// The repository's public address for advice and lookups: the clone URL the user gave,
// else the git remote; empty when neither is a public address.
std::string public_remote(const Context& ctx);

// The names this project goes by — its repository's name and its manifests' names —
// and its repository's owner, lower-cased letters and digits only.
struct OwnNames {
  std::vector<std::string> names;
  std::vector<std::string> owners;
  std::vector<std::string> repositories;  // "owner/name", lower case
};
OwnNames own_names(const Context& ctx);
// Whether a URL's host or path names the project (a word or run of words equal to one
// of its names), or, with owners, its repository's owner. A forge's address counts only
// when it is this repository's; a GitHub Pages site only with the project in its path
// or as its owner's own site.
bool names_project(std::string_view url, const OwnNames& own, bool owners);

// Whether a root source sets up a place to develop the project rather than says what the
// software needs: a requirements.txt or environment.yml that installs the project itself,
// an environment.yml beside a package manifest that declares the package's own needs (or
// named for development), a Gemfile of tools beside another language's manifest.
bool development_environment(const ProjectMetadata& m, const MetadataSource& s, const Path& root);

// Links and badge targets of a README (Markdown, reStructuredText, AsciiDoc or HTML).
std::vector<std::string> links_in(std::string_view text);

// Where a README, a URL or an install line shows the package published.
struct RegistryEvidence {
  std::string registry;  // "pypi", "cran", "bioconductor", "conda-forge", "crates", "npm",
                         // "maven-central", "julia-general", "bio.tools", "ascl"
  std::string package;   // as the registry names it
  std::string source;    // where it was seen, e.g. "README.md (link)"
};
std::vector<RegistryEvidence> registry_evidence(const ProjectMetadata& m);
// What a registry is called in prose: "PyPI", "CRAN", ...
std::string registry_title(std::string_view registry);

}  // namespace ostrameld::evidence
