// The project's metadata as the full profile's checks see it: one record per metadata
// source (CITATION.cff, codemeta.json, the package manifests, ...), read once per
// assessment and shared. Each source has its own reader; a source that cannot be read
// keeps its record with the problem, so that checks can say what is wrong with it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/utils/files.h"
#include "ostrameld/utils/identifiers.h"
#include "ostrameld/utils/json.h"

namespace ostrameld {

struct Person {
  std::string name;              // "Given Family", or an entity's name
  std::optional<Orcid> orcid;    // when the source gives one in ORCID's form
  std::string orcid_text;        // as written, when the source gives something as ORCID
};

// An identifier a source gives for the software itself.
struct NamedIdentifier {
  std::string scheme;  // "doi", "swhid" or "other"
  std::string value;   // DOI bare and lower case; SWHID core; else as written
  std::string raw;     // as written
  std::string field;   // where in the source, e.g. "doi", "identifiers[1]"
  bool well_formed = true;  // a value given as a DOI or SWHID that is neither
};

// Something the software cites or is described by.
struct Reference {
  std::string field;     // e.g. "preferred-citation", "references[2]", "related_identifiers[0]"
  std::string title;
  std::string type;      // as the source says: "article", "software", "isSupplementTo", ...
  std::string relation;  // a relation the source names, else empty
  std::vector<std::string> dois;
  std::vector<std::string> other_identifiers;  // URLs, arXiv ids, ISBNs, SWHIDs, ...
  bool has_identifier() const { return !dois.empty() || !other_identifiers.empty(); }
};

struct Dependency {
  std::string name;
  std::string constraint;  // as written; empty when unconstrained
  std::string scope;       // "runtime", "build", "test", "dev" or "optional"
};

struct MetadataSource {
  std::string name;     // the source's kind: "CITATION.cff", "codemeta.json", "pyproject.toml", ...
  std::string path;     // relative to the root, "/"-separated
  std::string problem;  // why it could not be read; empty when it was
  std::string title;    // the software's name
  std::string version;
  std::vector<std::string> licences;  // as declared: SPDX expressions, R forms, URLs
  std::vector<Person> authors;
  std::vector<std::string> repository_urls;  // where the source code is
  std::vector<std::string> urls;             // home page, documentation, bug tracker
  std::vector<NamedIdentifier> identifiers;
  std::vector<Reference> references;
  std::vector<Dependency> dependencies;
  std::vector<std::string> keywords;
  std::string description;
  std::vector<std::string> members;  // workspace members or modules, as written (globs)
  bool is_private = false;           // not for publication (package.json "private": true)
  Json data;                         // the loaded document, for checks that need more
  bool readable() const { return problem.empty(); }
};

// A file of interest below the root, found by the one walk of the tree.
struct NotableFile {
  std::string path;  // relative, "/"-separated
  std::string name;  // final component
};

struct ProjectMetadata {
  std::vector<MetadataSource> sources;  // root sources first, in a fixed order
  std::string readme_path;              // the root README read for badges and links
  std::string readme_text;              // its first 256 KiB
  std::vector<NotableFile> files;       // manifests below the root, schemas, workflows, bibliographies
  std::vector<std::string> directories;   // every directory the walk entered, relative, walk order
  std::vector<std::string> source_files;  // files with a source-code suffix, relative, walk order
  std::vector<std::string> test_files;    // files their ecosystem's naming marks as tests
  bool walk_truncated = false;          // the walk stopped at its bound
  // Directories the walk could not list (relative, "." for the root): what is inside is
  // unknown, and every check goes on without it.
  std::vector<std::string> unlistable_directories;

  // The first source of a kind with that path (default: at the root).
  const MetadataSource* find(std::string_view name) const;
  // Every source of a kind, root first.
  std::vector<const MetadataSource*> all(std::string_view name) const;
};

// Reads every metadata source at the root and walks the tree once for the rest.
ProjectMetadata read_project_metadata(const Path& root);

// Whether a file name has a source-code suffix (C/C++, Python, R, Java, JS/TS, Rust, Julia,
// Go, Fortran, shell, ...), and whether its ecosystem's naming marks it as a test
// ("test_x.py", "x_test.go", "x.test.ts", "XTest.java", "x_spec.rb", "test-x.R").
bool is_source_file_name(std::string_view name);
bool is_test_file_name(std::string_view name);

// The readers, one per source: each takes the file's text and fills a record.
namespace metadata {
void read_cff(std::string_view text, MetadataSource& out);
void read_codemeta(std::string_view text, MetadataSource& out);
void read_zenodo(std::string_view text, MetadataSource& out);
void read_pyproject(std::string_view text, MetadataSource& out);
void read_setup_cfg(std::string_view text, MetadataSource& out);
// setup.py read as text, never run: the literal name, version and licence given to
// setup(), and its "License ::" classifiers.
void read_setup_py(std::string_view text, MetadataSource& out);
void read_description(std::string_view text, MetadataSource& out);
void read_package_json(std::string_view text, MetadataSource& out);
void read_cargo(std::string_view text, MetadataSource& out);
void read_pom(std::string_view text, MetadataSource& out);
void read_julia_project(std::string_view text, MetadataSource& out);
void read_workspace_list(std::string_view text, MetadataSource& out);  // lerna.json, pnpm-workspace.yaml
void read_requirements(std::string_view text, MetadataSource& out);
void read_environment(std::string_view text, MetadataSource& out);  // environment.yml
void read_go_mod(std::string_view text, MetadataSource& out);
void read_gemfile(std::string_view text, MetadataSource& out);      // Gemfile, *.gemspec
void read_cmake(std::string_view text, MetadataSource& out);        // CMakeLists.txt
void read_configure_ac(std::string_view text, MetadataSource& out); // configure.ac, configure.in
void read_vcpkg(std::string_view text, MetadataSource& out);
void read_conanfile(std::string_view text, MetadataSource& out);    // .txt or .py
void read_nextflow_config(std::string_view text, MetadataSource& out);  // its manifest block
void read_ro_crate(std::string_view text, MetadataSource& out);         // ro-crate-metadata.json

// TOML as JSON: tables as objects, dates and times as ISO text. Throws std::runtime_error
// with the parser's message for malformed TOML.
Json load_toml(std::string_view text);

// Helpers the readers share.
// f on a JSON-LD value, or on each item of a list of them; nothing for null.
template <typename F>
void each_value(const Json& v, F&& f) {
  if (v.is_array()) {
    for (const auto& item : v) f(item);
  } else if (!v.is_null()) {
    f(v);
  }
}
std::string text_of(const Json& v);  // a string, or a number's text; else empty
void add_identifier(MetadataSource& out, std::string_view raw, std::string field,
                    std::string_view declared_scheme = {});
Person person_from_text(std::string_view text);  // "Name <email> (url)"
// The SPDX id a trove classifier names ("License :: OSI Approved :: MIT License" -> MIT);
// empty for one that names no single licence ("BSD License", "Other/Proprietary").
std::string licence_of_classifier(std::string_view classifier);
// A PEP 508 requirement: "requests[socks]>=2.0; python_version<'3.8'".
Dependency parse_pep508(std::string_view spec, std::string scope);
}  // namespace metadata

}  // namespace ostrameld
