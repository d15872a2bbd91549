// What a repository already says about itself, gathered once for writing metadata files:
// each value with the source it came from. Nothing here is made up: a value no source
// gives is empty.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ostrameld/core/context.h"
#include "ostrameld/metadata/model.h"

namespace ostrameld::fix {

struct Requirement {
  std::string name, constraint;
};

struct SoftwareFacts {
  std::string title, title_from;
  std::string description;
  std::vector<std::string> keywords;
  std::string version, version_from;  // the newest release's, else a manifest's
  std::string date_released;          // YYYY-MM-DD of the newest release's commit
  std::string licence;                // one SPDX expression, when the texts and declarations agree
  std::vector<std::string> licence_ids;  // its identifiers
  std::string licence_left_out;          // the licence found but not written, where the sources disagree
  std::vector<Person> authors;
  std::string authors_from;           // the source they came from; "git history" marks a guess
  std::string repository;             // the public repository address
  std::string doi;                    // the software's DOI (bare, lower case)
  std::vector<std::string> paper_dois;  // DOIs of papers about it
  std::vector<std::string> languages;   // programming languages of its manifests
  std::vector<Requirement> requirements;  // runtime dependencies, as declared
  int first_year = 0;                   // the year of the first commit, for a licence's notice
  std::string ecosystem;                // "r", "python", ... of the root manifest; empty when none
};

// Reads the repository at ctx.repo_path (ctx's git metadata must be read). Never throws for
// what a repository holds; an unreadable file is as absent.
SoftwareFacts gather_facts(const Context& ctx);

// "Jane Q. van der Berg" -> given "Jane Q.", particle "van der", family "Berg".
struct NameParts {
  std::string given, particle, family;
};
NameParts split_name(std::string_view name);

}  // namespace ostrameld::fix
