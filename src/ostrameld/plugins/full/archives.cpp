#include "ostrameld/plugins/full/archives.h"

#include <algorithm>
#include <array>

#include "ostrameld/metadata/model.h"
#include "ostrameld/plugins/full/evidence.h"
#include "ostrameld/services/lookups.h"
#include "ostrameld/utils/identifiers.h"
#include "ostrameld/utils/files.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kIndicators{"metadata_archived"sv};

struct Archive {
  std::string kind;  // "zenodo", "software-heritage", "pypi", ...
  std::string value;
  std::string source;
  std::optional<bool> verified;
  std::string why;  // when verified is null
};

// Registries the lookups can ask.
constexpr std::array kAskable{"pypi"sv, "cran"sv, "crates"sv, "npm"sv, "conda-forge"sv};

// What an expert of each ecosystem would publish to.
std::string registry_advice(const ProjectMetadata& m) {
  if (m.find("DESCRIPTION"))
    return "Submit the package to CRAN (or Bioconductor for bioinformatics): its records "
           "keep the metadata after the repository is gone; link the CRAN page in the README.";
  if (m.find("pyproject.toml") || m.find("setup.cfg"))
    return "Publish the package on PyPI (python -m build, then twine upload, or a trusted "
           "publisher in CI) and link https://pypi.org/project/NAME in the README.";
  if (m.find("Cargo.toml")) return "Publish the crate on crates.io (cargo publish) and link it in the README.";
  if (const auto* p = m.find("package.json"); p && !p->is_private)
    return "Publish the package on npm (npm publish) and link it in the README.";
  if (m.find("Project.toml"))
    return "Register the package in Julia's General registry (JuliaRegistrator) and show "
           "its JuliaHub page in the README.";
  if (const MetadataSource* pom = m.find("pom.xml")) {
    if (pom->data.is_object() && (pom->data.value("packaging", "") == "hpi" ||
                                  pom->data.value("parent", "") == "org.jenkins-ci.plugins:plugin"))
      return "Publish the plugin in the Jenkins update centre (host it under jenkinsci and release it with "
             "the plugin pipeline).";
    return "Publish the artifacts on Maven Central and link them in the README.";
  }
  bool snakemake = std::any_of(m.files.begin(), m.files.end(), [](const NotableFile& f) { return f.name == "Snakefile"; });
  if (m.find("nextflow.config") || snakemake)
    return "Register the workflow in WorkflowHub (or Dockstore, with a .dockstore.yml) so that it keeps "
           "its metadata and gets a DOI.";
  return {};
}

// Registries a repository shows it publishes to by how it is built rather than by a
// link: Julia's TagBot acts on the General registry's registrations, a .dockstore.yml
// registers the workflow with Dockstore, a Jenkins plugin's pom builds for the Jenkins
// update centre, biocViews are what Bioconductor asks of its packages, and a README's
// <dependency> on the project's own groupId tells Maven users to take it from Central.
std::vector<evidence::RegistryEvidence> repository_registries(const Context& ctx) {
  const Path& root = ctx.repo_path;
  const ProjectMetadata& m = ctx.metadata();
  std::vector<evidence::RegistryEvidence> out;
  if (const MetadataSource* p = m.find("Project.toml"))
    for (auto name : {"TagBot.yml"sv, "tagbot.yml"sv, "TagBot.yaml"sv, "tagbot.yaml"sv}) {
      if (!file_seen(root / ".github" / "workflows" / std::string(name), root)) continue;
      std::string source = ".github/workflows/" + std::string(name) + " (TagBot)";
      if (!p->title.empty()) {
        out.push_back({"julia-general", p->title, source});
      } else {
        // A workspace without a package of its own registers its members.
        for (const auto* member : m.all("Project.toml"))
          if (member != p && !member->title.empty() && out.size() < 10) out.push_back({"julia-general", member->title, source});
      }
      break;
    }
  for (auto rel : {".dockstore.yml"sv, ".github/.dockstore.yml"sv})
    if (file_seen(root / std::string(rel), root)) {
      std::string remote = evidence::public_remote(ctx);
      std::string repo = remote.empty() ? std::string() : evidence::normalize_repository(remote);
      out.push_back({"dockstore", repo.empty() ? std::string(rel) : repo, std::string(rel)});
      break;
    }
  if (const MetadataSource* pom = m.find("pom.xml"); pom && pom->data.is_object()) {
    std::string packaging = pom->data.value("packaging", "");
    std::string parent = pom->data.value("parent", "");
    std::string artifact = pom->data.value("artifactId", "");
    if (!artifact.empty() && (packaging == "hpi" || parent == "org.jenkins-ci.plugins:plugin"))
      out.push_back({"jenkins-plugins", artifact, "pom.xml (a Jenkins plugin)"});
    std::string group = pom->data.value("groupId", "");
    static const Regex dependency(R"((?s)<dependency>\s*<groupId>\s*([\w.-]+)\s*</groupId>\s*<artifactId>\s*([\w.-]+)\s*</artifactId>)");
    if (!group.empty() && !m.readme_path.empty() && m.readme_text.find("<dependency>") != std::string::npos) {
      std::string_view text = m.readme_text;
      while (auto at = dependency.find(text)) {
        std::string_view rest = text.substr(*at);
        std::string g(dependency.search_group(rest, 1).value_or(""));
        std::string a(dependency.search_group(rest, 2).value_or(""));
        if (g == group || g.rfind(group + ".", 0) == 0) {
          out.push_back({"maven-central", g + "/" + a, m.readme_path + " (Maven dependency)"});
          break;
        }
        text = rest.substr(1);
      }
    }
  }
  if (const MetadataSource* d = m.find("DESCRIPTION"); d && d->data.is_object() && !d->title.empty()) {
    auto views = d->data.find("biocViews");
    if (views != d->data.end() && views->is_string() && !py_strip(views->get<std::string>()).empty())
      out.push_back({"bioconductor", d->title, "DESCRIPTION (biocViews)"});
  }
  return out;
}

}  // namespace

std::span<const std::string_view> MetadataArchivedPlugin::supported_indicators() const {
  return kIndicators;
}

CheckResult MetadataArchivedPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const ProjectMetadata& m = ctx.metadata();
  std::vector<Archive> archives;
  auto add = [&](std::string kind, std::string value, std::string source) {
    for (const auto& a : archives)
      if (a.kind == kind && a.value == value) return;
    archives.push_back({std::move(kind), std::move(value), std::move(source), {}, {}});
  };
  std::vector<std::string> papers = evidence::reference_dois(m);
  // Archive DOIs and SWHIDs the metadata gives for the software.
  for (const auto& s : m.sources) {
    if (s.path.find('/') != std::string::npos) continue;
    for (const auto& id : s.identifiers) {
      if (!id.well_formed) continue;
      if (id.scheme == "swhid") {
        add("software-heritage", id.value, s.name);
      } else if (id.scheme == "doi") {
        std::string archive = evidence::archive_of_doi(id.value);
        if (!archive.empty()) add(ascii_lower(archive), id.value, s.name);
      }
    }
  }
  if (!m.readme_path.empty()) {
    for (const auto& doi : dois_in_text(m.readme_text)) {
      std::string archive = evidence::archive_of_doi(doi);
      if (!archive.empty() && std::find(papers.begin(), papers.end(), doi) == papers.end())
        add(ascii_lower(archive), doi, m.readme_path);
    }
    for (const auto& id : swhids_in_text(m.readme_text)) add("software-heritage", id.core(), m.readme_path);
    for (const auto& link : evidence::links_in(m.readme_text))
      if (link.find("archive.softwareheritage.org/") != std::string::npos)
        add("software-heritage", link, m.readme_path + " (link)");
  }
  for (const auto& r : evidence::registry_evidence(m)) add(r.registry, r.package, r.source);
  for (auto& r : repository_registries(ctx)) add(std::move(r.registry), std::move(r.package), std::move(r.source));

  // Online: one request per service confirms what was found.
  std::string remote = evidence::public_remote(ctx);
  if (ctx.lookups) {
    bool asked_doi = false, asked_registry = false;
    for (auto& a : archives) {
      Lookup l;
      if (a.kind == "software-heritage") {
        continue;  // the origin lookup below answers for the repository
      } else if (a.value.rfind("10.", 0) == 0) {
        if (asked_doi) continue;
        asked_doi = true;
        std::string record = evidence::zenodo_record(a.value);
        l = record.empty() ? ctx.lookups->doi(a.value) : ctx.lookups->zenodo(record);
      } else if (std::find(kAskable.begin(), kAskable.end(), a.kind) != kAskable.end()) {
        if (asked_registry) continue;
        asked_registry = true;
        l = ctx.lookups->registry(a.kind, a.value);
      } else {
        continue;
      }
      a.verified = l.verified;
      a.why = l.why;
    }
    if (!remote.empty()) {
      Lookup swh = ctx.lookups->software_heritage(remote);
      bool listed = false;
      for (auto& a : archives) {
        if (a.kind != "software-heritage") continue;
        a.verified = swh.verified;
        a.why = swh.why;
        listed = true;
      }
      if (!listed && swh.verified == true)
        archives.push_back({"software-heritage", remote, "Software Heritage (origin lookup)", true, {}});
    }
  }

  Json list = Json::array();
  for (const auto& a : archives)
    list.push_back(Json{{"kind", a.kind},
                        {"value", a.value},
                        {"source", a.source},
                        {"verified", a.verified ? Json(*a.verified) : Json(nullptr)}});
  std::vector<std::string> advice;
  bool confirmed = std::any_of(archives.begin(), archives.end(), [](const Archive& a) { return a.verified == true; });
  bool open = std::any_of(archives.begin(), archives.end(), [](const Archive& a) { return !a.verified; });
  double score = 0.0;
  std::string output;
  if (archives.empty()) {
    output = "Nothing shows the metadata kept by an archive or a registry";
    bool github = remote.find("github.com") != std::string::npos;
    advice.push_back(github ? "Archive releases on Zenodo (its GitHub integration deposits every "
                              "release with its metadata and a DOI)."
                            : "Archive releases on Zenodo or another archive that mints DOIs.");
    if (!remote.empty())
      advice.push_back("Ask Software Heritage to archive " + remote +
                       " (https://archive.softwareheritage.org/save/).");
    if (auto r = registry_advice(m); !r.empty()) advice.push_back(r);
  } else if (confirmed) {
    score = 10.0;
    output = "Archived, confirmed by the archive or registry";
  } else if (open) {
    score = 8.0;
    output = "Archived, as the repository shows (not confirmed online)";
  } else {
    score = 3.0;
    output = "The archives and registries named do not have this software";
  }
  // A service that could not answer leaves a note naming it: nothing for the user to do.
  std::vector<std::string> notes;
  for (const auto& a : archives) {
    if (a.verified == false)
      advice.push_back(evidence::registry_title(a.kind) + " has no " + a.value + " (named in " + a.source +
                       "): correct the name or publish it there.");
    else if (!a.verified && !a.why.empty() && a.why != "offline" && a.why.rfind("not asked", 0) != 0)
      notes.push_back(evidence::registry_title(a.kind) + " could not confirm " + a.value + " (" + a.why + ")");
  }
  Json facts{{"archives", list}};
  if (!notes.empty()) facts["notes"] = notes;
  std::vector<std::string> shown;
  for (const auto& a : archives) shown.push_back(evidence::registry_title(a.kind) + " " + a.value);
  return make_result(indicator_id,
                     {.score = score,
                      .process = "Looked for archive DOIs, SWHIDs and package-registry records",
                      .output = output,
                      .evidence = shown.empty() ? "" : "Archives: " + join(shown, ", "),
                      .advice = std::move(advice),
                      .facts = std::move(facts)});
}

}  // namespace ostrameld
