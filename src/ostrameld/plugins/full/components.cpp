#include "ostrameld/plugins/full/components.h"

#include <fnmatch.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kIndicators{"component_identifiers"sv};

struct Component {
  std::string name, version, manifest;
};

std::string dir_of(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// A workspace member pattern ("crates/*", "packages/**", "./lib/a") against a directory.
bool member_matches(std::string pattern, const std::string& dir) {
  while (pattern.rfind("./", 0) == 0) pattern = pattern.substr(2);
  while (!pattern.empty() && pattern.back() == '/') pattern.pop_back();
  if (pattern.empty() || pattern.front() == '!') return false;
  if (pattern.size() >= 3 && pattern.compare(pattern.size() - 3, 3, "/**") == 0) {
    std::string base = pattern.substr(0, pattern.size() - 3);
    return dir.rfind(base + "/", 0) == 0;
  }
  return fnmatch(pattern.c_str(), dir.c_str(), FNM_PATHNAME) == 0;
}

bool excluded(const std::vector<std::string>& patterns, const std::string& dir) {
  return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& p) {
    return !p.empty() && p.front() == '!' && member_matches(p.substr(1), dir);
  });
}

// Folders whose manifests are examples, fixtures or documentation, not components.
bool incidental(const std::string& path) {
  for (std::string_view part : {"test"sv, "tests"sv, "example"sv, "examples"sv, "docs"sv, "doc"sv,
                                "fixtures"sv, "benchmark"sv, "benchmarks"sv, "bench"sv})
    if (("/" + path + "/").find("/" + std::string(part) + "/") != std::string::npos) return true;
  return false;
}

// Members of a workspace: the nested manifests of `kind` whose folder a pattern names.
void members_of(const ProjectMetadata& m, std::string_view kind,
                const std::vector<std::string>& patterns, std::vector<const MetadataSource*>& out) {
  for (const auto& s : m.sources) {
    if (s.name != kind || s.path.find('/') == std::string::npos) continue;
    std::string dir = dir_of(s.path);
    bool named = std::any_of(patterns.begin(), patterns.end(),
                             [&](const std::string& p) { return member_matches(p, dir); });
    if (named && !excluded(patterns, dir)) out.push_back(&s);
  }
}

}  // namespace

std::span<const std::string_view> ComponentIdentifiersPlugin::supported_indicators() const {
  return kIndicators;
}

CheckResult ComponentIdentifiersPlugin::check(std::string_view indicator_id,
                                              const Context& ctx) const {
  const ProjectMetadata& m = ctx.metadata();
  std::vector<Component> components;
  std::vector<std::string> kinds;
  auto add = [&](const MetadataSource& s, std::string version = {}) {
    components.push_back({s.title, version.empty() ? s.version : version, s.path});
  };

  // Cargo: [workspace] members; a member's `version.workspace = true` takes the root's.
  if (const auto* cargo = m.find("Cargo.toml"); cargo && !cargo->members.empty()) {
    kinds.push_back("Cargo workspace");
    std::string shared;
    if (auto w = cargo->data.find("workspace"); cargo->data.is_object() && w != cargo->data.end() && w->is_object())
      if (auto p = w->find("package"); p != w->end() && p->is_object())
        shared = metadata::text_of(p->value("version", Json()));
    if (!cargo->title.empty()) add(*cargo);
    std::vector<const MetadataSource*> members;
    members_of(m, "Cargo.toml", cargo->members, members);
    for (const auto* s : members) {
      // Only `version.workspace = true` takes the workspace's version.
      bool inherits = false;
      if (auto p = s->data.find("package"); s->data.is_object() && p != s->data.end() && p->is_object())
        if (auto v = p->find("version"); v != p->end() && v->is_object())
          inherits = v->value("workspace", false);
      add(*s, inherits ? shared : s->version);
    }
  }
  // npm, yarn, pnpm and lerna workspaces.
  std::vector<std::string> js_patterns;
  for (const char* tool : {"package.json", "lerna.json", "pnpm-workspace.yaml"})
    if (const auto* s = m.find(tool)) js_patterns.insert(js_patterns.end(), s->members.begin(), s->members.end());
  if (!js_patterns.empty()) {
    kinds.push_back("JavaScript workspace");
    std::string fixed;
    if (const auto* lerna = m.find("lerna.json")) fixed = lerna->version;  // lerna's fixed mode
    std::vector<const MetadataSource*> members;
    members_of(m, "package.json", js_patterns, members);
    for (const auto* s : members) add(*s, s->version.empty() ? fixed : s->version);
  }
  // Maven modules.
  if (const auto* pom = m.find("pom.xml"); pom && !pom->members.empty()) {
    kinds.push_back("Maven modules");
    std::vector<const MetadataSource*> members;
    members_of(m, "pom.xml", pom->members, members);
    for (const auto* s : members) add(*s);
  }
  // Several Python packages, or Julia subpackages: named manifests below the root.
  for (const auto& [kind, label] : {std::pair{"pyproject.toml"sv, "Python packages"sv},
                                    std::pair{"setup.cfg"sv, "Python packages"sv},
                                    std::pair{"Project.toml"sv, "Julia packages"sv},
                                    std::pair{"DESCRIPTION"sv, "R packages"sv}}) {
    std::vector<const MetadataSource*> nested;
    for (const auto& s : m.sources)
      if (s.name == kind && s.path.find('/') != std::string::npos && !s.title.empty() &&
          !incidental(s.path))
        nested.push_back(&s);
    if (nested.empty()) continue;
    // A Python package is one pyproject.toml or setup.cfg per folder.
    bool counted = std::any_of(components.begin(), components.end(), [&](const Component& c) {
      return std::any_of(nested.begin(), nested.end(), [&](const MetadataSource* s) {
        return dir_of(s->path) == dir_of(c.manifest);
      });
    });
    if (counted) continue;
    if (std::find(kinds.begin(), kinds.end(), label) == kinds.end()) kinds.emplace_back(label);
    if (const auto* root = m.find(kind); root && !root->title.empty() &&
        std::none_of(components.begin(), components.end(),
                     [&](const Component& c) { return c.manifest == root->path; }))
      add(*root);
    for (const auto* s : nested) add(*s);
  }

  Json list = Json::array();
  for (const auto& c : components)
    list.push_back(Json{{"name", c.name}, {"version", c.version}, {"manifest", c.manifest}});
  Json facts{{"components", list}, {"kinds", kinds}};

  if (components.size() <= 1) {
    return make_result(indicator_id,
                       {.score = 0.0,
                        .status = CheckStatus::Skipped,
                        .process = "Looked for workspaces and multi-package layouts",
                        .output = "one component: identified by the repository's identifier",
                        .facts = std::move(facts)});
  }
  std::vector<std::string> advice;
  std::map<std::string, int> names;
  std::size_t complete = 0;
  for (const auto& c : components) {
    if (!c.name.empty()) ++names[c.name];
    if (!c.name.empty() && !c.version.empty()) {
      ++complete;
      continue;
    }
    std::string file = c.manifest.substr(c.manifest.rfind('/') + 1);
    std::string what = c.name.empty() && c.version.empty() ? "a name and a version"
                       : c.name.empty()                    ? "a name"
                                                           : "a version";
    std::string example = file == "Cargo.toml" ? " (version = \"0.1.0\", or version.workspace = true)"
                          : file == "package.json" ? " (\"version\": \"0.1.0\")"
                          : file == "pom.xml" ? " (<version>, or the parent's)"
                          : file == "Project.toml" ? " (version = \"0.1.0\")"
                                                   : "";
    advice.push_back("Give " + c.manifest + " " + what + example + ".");
  }
  std::size_t duplicates = 0;
  for (const auto& [name, count] : names) {
    if (count < 2) continue;
    duplicates += static_cast<std::size_t>(count - 1);
    advice.push_back("Several components are named " + name + ": give each its own name.");
  }
  double share = static_cast<double>(complete - std::min(complete, duplicates)) /
                 static_cast<double>(components.size());
  double score = std::round(share * 100.0) / 10.0;
  std::vector<std::string> shown;
  for (const auto& c : components)
    shown.push_back((c.name.empty() ? c.manifest : c.name) + (c.version.empty() ? "" : " " + c.version));
  return make_result(indicator_id,
                     {.score = score,
                      .process = "Looked for workspaces and multi-package layouts",
                      .output = std::to_string(complete) + " of " + std::to_string(components.size()) +
                                " components have a name and a version",
                      .evidence = "Components: " + join(shown, ", "),
                      .advice = std::move(advice),
                      .facts = std::move(facts)});
}

}  // namespace ostrameld
