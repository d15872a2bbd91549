#include "ostrameld/fix/facts.h"

#include <algorithm>
#include <array>
#include <ctime>

#include "ostrameld/git/repository.h"
#include "ostrameld/licences/names.h"
#include "ostrameld/plugins/full/evidence.h"
#include "ostrameld/plugins/full/identifiers.h"
#include "ostrameld/plugins/full/licensing.h"
#include "ostrameld/plugins/full/versions.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::fix {

namespace {

using namespace std::string_view_literals;

// Where each ecosystem keeps the full list of authors, most complete first.
// (The citation files first: where they exist they hold the list the others must agree with.)
constexpr std::array kAuthorSources{"CITATION.cff"sv, "codemeta.json"sv, ".zenodo.json"sv,   "DESCRIPTION"sv,
                                    "pyproject.toml"sv, "setup.cfg"sv,   "setup.py"sv,       "package.json"sv,
                                    "Cargo.toml"sv,     "Project.toml"sv, "pom.xml"sv,       "nextflow.config"sv,
                                    "ro-crate-metadata.json"sv};
// Manifests whose name, description, keywords and version describe the software.
constexpr std::array kManifests{"DESCRIPTION"sv,  "pyproject.toml"sv, "setup.cfg"sv,   "setup.py"sv,     "package.json"sv,
                                "Cargo.toml"sv,   "Project.toml"sv,   "pom.xml"sv,     "nextflow.config"sv, "go.mod"sv,
                                "codemeta.json"sv, "CITATION.cff"sv,  ".zenodo.json"sv, "CMakeLists.txt"sv};

std::string language_of(std::string_view kind) {
  if (kind == "DESCRIPTION") return "R";
  if (kind == "pyproject.toml" || kind == "setup.cfg" || kind == "setup.py") return "Python";
  if (kind == "package.json") return "JavaScript";
  if (kind == "Cargo.toml") return "Rust";
  if (kind == "Project.toml") return "Julia";
  if (kind == "pom.xml") return "Java";
  if (kind == "go.mod") return "Go";
  if (kind == "CMakeLists.txt" || kind == "configure.ac") return "C++";
  if (kind == "nextflow.config") return "Nextflow";
  return {};
}

std::string ecosystem_of(std::string_view kind) {
  if (kind == "DESCRIPTION") return "r";
  if (kind == "pyproject.toml" || kind == "setup.cfg" || kind == "setup.py") return "python";
  if (kind == "package.json") return "node";
  if (kind == "Cargo.toml") return "rust";
  if (kind == "Project.toml") return "julia";
  if (kind == "pom.xml") return "java";
  if (kind == "go.mod") return "go";
  if (kind == "CMakeLists.txt") return "cmake";
  if (kind == "nextflow.config") return "nextflow";
  return {};
}

std::string utc_date(std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
  return buf;
}

bool same_person(const Person& a, const Person& b) {
  auto key = [](const std::string& n) {
    std::string k;
    for (char c : ascii_lower(fold_diacritics(n)))
      if (std::isalnum(static_cast<unsigned char>(c))) k += c;
    return k;
  };
  return (a.orcid && b.orcid && a.orcid->id == b.orcid->id) || (!a.name.empty() && key(a.name) == key(b.name));
}

}  // namespace

NameParts split_name(std::string_view name) {
  std::vector<std::string> words;
  std::string w;
  for (char c : std::string(py_strip(name)) + " ") {
    if (c == ' ') {
      if (!w.empty()) words.push_back(std::move(w));
      w.clear();
    } else {
      w += c;
    }
  }
  NameParts parts;
  if (words.empty()) return parts;
  parts.family = words.back();
  words.pop_back();
  static constexpr std::array kParticles{"van"sv, "von"sv, "der"sv, "den"sv, "de"sv, "del"sv, "della"sv,
                                         "da"sv,  "di"sv,  "du"sv,  "le"sv,  "la"sv, "ter"sv,  "ten"sv};
  std::vector<std::string> particle;
  while (!words.empty() && std::find(kParticles.begin(), kParticles.end(), words.back()) != kParticles.end()) {
    particle.insert(particle.begin(), words.back());
    words.pop_back();
  }
  parts.particle = join(particle, " ");
  parts.given = join(words, " ");
  return parts;
}

SoftwareFacts gather_facts(const Context& ctx) {
  const ProjectMetadata& m = ctx.metadata();
  SoftwareFacts f;
  auto root_source = [&](std::string_view kind) -> const MetadataSource* {
    const MetadataSource* s = m.find(kind);
    return s && s->readable() && s->path.find('/') == std::string::npos ? s : nullptr;
  };

  for (auto kind : kManifests) {
    const MetadataSource* s = root_source(kind);
    if (!s) continue;
    if (f.title.empty() && !s->title.empty()) {
      f.title = s->title;
      f.title_from = s->path;
    }
    if (f.description.empty() && !s->description.empty()) f.description = std::string(py_strip(s->description));
    if (f.keywords.empty()) f.keywords = s->keywords;
    if (f.ecosystem.empty()) f.ecosystem = ecosystem_of(kind);
    if (std::string l = language_of(kind); !l.empty() && std::find(f.languages.begin(), f.languages.end(), l) == f.languages.end())
      f.languages.push_back(l);
  }

  // The version: the newest release's, as the release check reads the tags, with its date;
  // else what a manifest declares.
  if (ctx.git_repo && ctx.git_repo->is_repo) {
    const GitInfo& git = *ctx.git_repo;
    std::vector<TaggedVersion> versions = release_tags(git.tags);
    if (const TaggedVersion* newest = newest_release(versions, root_package(versions, ctx))) {
      f.version = newest->v.text;
      f.version_from = "tag " + newest->tag;
      for (const auto& [tag, when] : git.tag_times)
        if (tag == newest->tag) f.date_released = utc_date(when);
    }
    std::int64_t first = 0;
    for (const auto& [tag, when] : git.tag_times)
      if (first == 0 || when < first) first = when;
    if (first > 0) f.first_year = std::stoi(utc_date(first).substr(0, 4));
  }
  if (f.version.empty()) {
    DeclaredVersion d = declared_version(m);
    if (!d.version.empty()) {
      f.version = d.version;
      f.version_from = d.source;
    }
  }

  // The licence as the licence check finds it: one identifier that every declaration
  // agrees with, as the consistency check compares them (a list in CITATION.cff cannot say
  // whether its licences are a choice or all apply).
  {
    CheckResult r = LicensingPlugin().check("licence", ctx);
    if (r.status == CheckStatus::Pass && r.facts.is_object() && r.facts["spdx"].is_string()) {
      std::string spdx = r.facts["spdx"].get<std::string>();
      std::vector<std::string> ids = spdx_expression_ids(spdx);
      bool agreed = ids.size() == 1;
      for (const auto& s : m.sources) {
        if (s.path.find('/') != std::string::npos || !s.readable()) continue;
        for (const auto& l : s.licences) agreed = agreed && same_licence(normalize_licence(l), spdx);
      }
      if (agreed) {
        f.licence = spdx;
        f.licence_ids = ids;
      } else {
        f.licence_left_out = spdx;
      }
    }
  }

  // The software's DOI and its papers, as the identifier check finds them.
  {
    CheckResult r = PersistentIdentifierPlugin().check("persistent_identifier", ctx);
    if (r.facts.is_object()) {
      for (const auto& id : r.facts.value("identifiers", Json::array()))
        if (f.doi.empty() && id.value("scheme", "") == "doi") f.doi = id.value("value", "");
      for (const auto& p : r.facts.value("papers", Json::array()))
        if (p.is_string()) f.paper_dois.push_back(p.get<std::string>());
        else if (p.is_object() && p.contains("value")) f.paper_dois.push_back(p.value("value", ""));
    }
  }
  // And the papers the metadata names as the one to cite or that describes the software.
  for (const auto& s : m.sources)
    for (const auto& r : s.references)
      if (r.field.rfind("preferred-citation", 0) == 0 || r.field.rfind("referencePublication", 0) == 0 ||
          r.relation == "isDocumentedBy" || r.relation == "isDescribedBy")
        for (const auto& d : r.dois)
          if (std::find(f.paper_dois.begin(), f.paper_dois.end(), d) == f.paper_dois.end()) f.paper_dois.push_back(d);
  std::erase(f.paper_dois, std::string());
  std::erase(f.paper_dois, f.doi);

  // The repository: the address the metadata declares (what other files are compared
  // with), else the public remote.
  for (const auto& s : m.sources)
    if (s.path.find('/') == std::string::npos && s.readable() && !s.repository_urls.empty()) {
      f.repository = s.repository_urls.front();
      break;
    }
  if (f.repository.empty()) f.repository = evidence::public_remote(ctx);
  if (f.repository.size() > 4 && f.repository.ends_with(".git")) f.repository.resize(f.repository.size() - 4);

  // Authors: the source that lists the most complete set, with the ORCIDs any source gives.
  for (auto kind : kAuthorSources) {
    const MetadataSource* s = root_source(kind);
    if (!s || s->authors.empty()) continue;
    f.authors = s->authors;
    f.authors_from = s->path;
    break;
  }
  // No source lists anyone: the people who made most of the commits, to be reviewed.
  if (f.authors.empty() && ctx.git_repo && ctx.git_repo->is_repo) {
    try {
      auto people = top_authors(ctx.repo_path, 5, ctx.deadline);
      for (const auto& [name, commits] : people)
        if (commits * 10 >= people.front().second) f.authors.push_back(Person{name, std::nullopt, {}});
      if (!f.authors.empty()) f.authors_from = "git history";
    } catch (const TimeoutError&) {
      throw;
    } catch (const std::exception&) {
      // a history git cannot read names nobody
    }
  }
  for (auto& a : f.authors) {
    if (a.orcid && a.orcid->checksum_valid) continue;
    a.orcid.reset();
    for (const auto& s : m.sources)
      for (const auto& b : s.authors)
        if (!a.orcid && b.orcid && b.orcid->checksum_valid && same_person(a, b)) a.orcid = b.orcid;
  }

  // Runtime dependencies, as the manifest of the software declares them.
  for (auto kind : kManifests) {
    const MetadataSource* s = root_source(kind);
    if (!s || kind == "codemeta.json" || kind == "CITATION.cff" || kind == ".zenodo.json") continue;
    for (const auto& d : s->dependencies)
      if (d.scope == "runtime" && f.requirements.size() < 200) f.requirements.push_back({d.name, d.constraint});
    if (!f.requirements.empty()) break;
  }
  return f;
}

}  // namespace ostrameld::fix
