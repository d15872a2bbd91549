#include "ostrameld/fix/plan.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "ostrameld/core/context.h"
#include "ostrameld/engine/output.h"
#include "ostrameld/fix/edit.h"
#include "ostrameld/fix/facts.h"
#include "ostrameld/fix/writers.h"
#include "ostrameld/git/repository.h"
#include "ostrameld/licences/names.h"
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/json.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/versions.h"
#include "ostrameld/utils/yaml.h"

namespace ostrameld::fix {

namespace {

using namespace std::string_view_literals;

bool wanted(const FixOptions& o, std::string_view what) {
  if (o.only.empty()) return what != "zenodo";
  return std::find(o.only.begin(), o.only.end(), what) != o.only.end();
}

// Whether anything stands at the root under this name (a link or a directory included).
bool present(const Path& root, std::string_view name) {
  struct stat st {};
  return ::lstat((root / std::string(name)).c_str(), &st) == 0;
}

bool has_licence_file(const Path& root) {
  std::vector<std::string> names;
  try {
    names = list_directory(root, root);
  } catch (const OsError&) {
    return true;  // nothing known: nothing written
  }
  return std::any_of(names.begin(), names.end(), [](const std::string& n) {
    std::string l = ascii_lower(n);
    return l.rfind("license", 0) == 0 || l.rfind("licence", 0) == 0 || l.rfind("copying", 0) == 0 ||
           l.find("-license") != std::string::npos || l == "licenses";
  });
}

// A file as its bytes stand (line endings included), when it is UTF-8 and small enough
// to be a metadata file; throws otherwise.
std::string read_small(const Path& root, std::string_view name) {
  std::string bytes = read_bytes_prefix(root / std::string(name), (1 << 20) + 1, root);
  if (bytes.size() > (1 << 20)) throw std::runtime_error("larger than 1 MiB");
  if (!is_valid_utf8(bytes)) throw std::runtime_error("not UTF-8");
  return bytes;
}

// The file's version lags behind the newest release.
bool lags(const std::string& file_version, const SoftwareFacts& f) {
  if (f.version_from.rfind("tag ", 0) != 0) return false;  // without a release, no truth to sync to
  auto have = parse_version(file_version), want = parse_version(f.version);
  return have && want && compare_versions(*have, *want) < 0;
}

const FileChange* change(const FixPlan& plan, std::string_view path) {
  for (const auto& c : plan.changes)
    if (c.path == path) return &c;
  return nullptr;
}

std::string r_note(const SoftwareFacts& f, std::string_view file) {
  if (f.ecosystem != "r") return {};
  if (file == "CITATION.cff") return "R: cffr::cff_write() writes the same from DESCRIPTION and keeps it in step";
  if (file == "codemeta.json") return "R: codemetar::write_codemeta() writes it from DESCRIPTION";
  return {};
}

}  // namespace

FixPlan plan_fixes(const Path& repo, const FixOptions& options) {
  Context ctx;
  ctx.repo_path = std::filesystem::absolute(repo).lexically_normal();
  if (ctx.repo_path.has_relative_path() && !ctx.repo_path.has_filename()) ctx.repo_path = ctx.repo_path.parent_path();
  ctx.deadline = options.deadline;
  try {
    ctx.git_repo = read_git_info(ctx.repo_path, options.deadline);
  } catch (const TimeoutError&) {
    throw;
  } catch (const std::exception& e) {
    ctx.git_repo.reset();
    ctx.git_error = sanitize_utf8(e.what());
  }
  const Path& root = ctx.repo_path;
  const ProjectMetadata& m = ctx.metadata();
  SoftwareFacts f = gather_facts(ctx);
  FixPlan plan;
  auto add = [&](FileChange c) {
    c.note = r_note(f, c.path);
    plan.changes.push_back(std::move(c));
  };

  // New files.
  if (wanted(options, "cff") && !present(root, "CITATION.cff")) {
    if (auto text = citation_cff(f)) add({"CITATION.cff", true, "", *text, "new, from " + f.authors_from, ""});
    else if (f.title.empty())
      plan.messages.push_back("CITATION.cff: no source names the software: give it a name in its package manifest.");
    else
      plan.messages.push_back("CITATION.cff: no source lists the authors: add them to " +
                              (f.title_from.empty() ? std::string("the package manifest") : f.title_from) + ", then run fix again.");
  }
  if (wanted(options, "codemeta") && !present(root, "codemeta.json")) {
    if (auto text = codemeta_json(f)) add({"codemeta.json", true, "", *text, "new, from " + f.title_from, ""});
    else if (f.title.empty())
      plan.messages.push_back("codemeta.json: no source names the software: give it a name in its package manifest.");
    else
      plan.messages.push_back("codemeta.json: no source lists the authors: add them to " + f.title_from + ", then run fix again.");
  }
  if (wanted(options, "zenodo") && !present(root, ".zenodo.json")) {
    if (auto text = zenodo_json(f)) add({".zenodo.json", true, "", *text, "new, from " + f.authors_from, ""});
    else plan.messages.push_back(".zenodo.json: it needs a title and authors, and no source gives both.");
  }
  if (wanted(options, "licence") && !has_licence_file(root)) {
    // One SPDX identifier, declared alike wherever the licence is declared.
    std::vector<std::string> declared;
    bool r_stub = false;
    for (const auto& s : m.sources) {
      if (s.path.find('/') != std::string::npos || !s.readable()) continue;
      for (const auto& l : s.licences) {
        if (s.name == "DESCRIPTION" && l.find("file LICEN") != std::string::npos) r_stub = true;
        std::string id = normalize_licence(l);
        if (std::find(declared.begin(), declared.end(), id) == declared.end()) declared.push_back(id);
      }
    }
    bool one_id = declared.size() == 1 && declared.front().find(' ') == std::string::npos;
    std::vector<std::string> names;
    if (f.authors_from != "git history")
      for (const auto& a : f.authors) names.push_back(a.name);
    std::string year = f.first_year > 0 ? std::to_string(f.first_year) : f.date_released.substr(0, std::min<std::size_t>(4, f.date_released.size()));
    if (declared.empty()) {
      // nothing declared: nothing to write
    } else if (!one_id) {
      plan.messages.push_back("LICENSE: the metadata declares " + join(declared, ", ") +
                              ", not one SPDX identifier: add the licence text by hand.");
    } else if (r_stub) {
      // R's "MIT + file LICENSE" asks for CRAN's two-line stub naming the year and holder.
      if (names.empty() || year.empty())
        plan.messages.push_back("LICENSE: DESCRIPTION asks for a file naming the year and copyright holder, and no source gives both.");
      else
        add({"LICENSE", true, "", "YEAR: " + year + "\nCOPYRIGHT HOLDER: " + join(names, ", ") + "\n",
             "new, the stub " + declared.front() + " + file LICENSE asks for", ""});
    } else if (auto text = licence_text(f, declared.front())) {
      if (f.ecosystem == "r") {
        // An R package keeps the full text in LICENSE.md, kept out of the built package.
        add({"LICENSE.md", true, "", *text, "new, the standard text of " + declared.front(), ""});
        plan.changes.back().note = "R: usethis::use_*_license() writes the same";
      } else {
        add({"LICENSE", true, "", *text, "new, the standard text of " + declared.front(), ""});
      }
    } else {
      plan.messages.push_back("LICENSE: no standard text of " + declared.front() +
                              " with its holder can be written (no text, or no author named).");
    }
  }

  if (!f.licence_left_out.empty() && (change(plan, "CITATION.cff") || change(plan, "codemeta.json")))
    plan.messages.push_back("licence left out of the new files: the licence files say " + f.licence_left_out +
                            ", which is not one licence every declaration agrees with; declare it alike everywhere.");

  // An R package's new top-level files stay out of the package R builds: R CMD check
  // notes any file it does not know there.
  if (f.ecosystem == "r") {
    std::string ignore;
    bool exists = file_seen(root / ".Rbuildignore", root);
    try {
      if (exists) ignore = read_small(root, ".Rbuildignore");
    } catch (const std::exception&) {
      exists = false;
    }
    std::string edited = ignore;
    for (auto name : {"CITATION.cff"sv, "codemeta.json"sv, ".zenodo.json"sv, "LICENSE.md"sv}) {
      if (!change(plan, name)) continue;
      std::string pattern = "^" + std::string(name) + "$";
      for (std::size_t at = 0; (at = pattern.find('.', at)) != std::string::npos; at += 2) pattern.insert(at, "\\");
      if (ignore.find(pattern) != std::string::npos) continue;
      if (!edited.empty() && !edited.ends_with('\n')) edited += '\n';
      edited += pattern + "\n";
    }
    if (edited != ignore) add({".Rbuildignore", !exists, ignore, edited, "the new files kept out of the built package", ""});
  }

  // Values that lag behind the newest release, edited in place.
  if (wanted(options, "sync") && !f.version.empty()) {
    if (file_seen(root / "CITATION.cff", root)) {
      std::string text;
      bool readable = true;
      try {
        text = read_small(root, "CITATION.cff");
        Json parsed = load_yaml(text);
        if (!parsed.is_object()) throw std::runtime_error("not a mapping");
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const std::exception& e) {
        plan.messages.push_back("CITATION.cff: left as it is, it cannot be read (" + std::string(e.what()) + ").");
        readable = false;
      }
      auto version = readable ? yaml_top_level(text, "version") : std::nullopt;
      if (version && lags(*version, f)) {
        std::string edited = text;
        std::string why = "version " + *version + " -> " + f.version;
        if (auto v = set_yaml_top_level(edited, "version", f.version)) edited = *v;
        auto date = yaml_top_level(edited, "date-released");
        if (date && !f.date_released.empty() && *date != f.date_released)
          if (auto d = set_yaml_top_level(edited, "date-released", f.date_released)) {
            edited = *d;
            why += ", date-released " + *date + " -> " + f.date_released;
          }
        if (edited != text) add({"CITATION.cff", false, text, edited, why + " (" + f.version_from + ")", ""});
      }
    }
    for (auto name : {"codemeta.json"sv, ".zenodo.json"sv}) {
      if (!file_seen(root / std::string(name), root)) continue;
      std::string text;
      try {
        text = read_small(root, name);
        Json parsed = Json::parse(text);
        if (!parsed.is_object()) throw std::runtime_error("not an object");
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const std::exception&) {
        plan.messages.push_back(std::string(name) + ": left as it is, it is no valid JSON.");
        continue;
      }
      auto version = json_top_level(text, "version");
      if (version && lags(*version, f))
        if (auto edited = set_json_top_level(text, "version", f.version))
          add({std::string(name), false, text, *edited, "version " + *version + " -> " + f.version + " (" + f.version_from + ")", ""});
    }
  }
  return plan;
}

std::vector<std::string> apply_fixes(const Path& repo, const FixPlan& plan, std::vector<std::string>& refused) {
  Path root = std::filesystem::absolute(repo).lexically_normal();
  std::error_code ec;
  Path real_root = std::filesystem::canonical(root, ec);
  std::vector<std::string> written;
  for (const auto& c : plan.changes) {
    Path target = root / c.path;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
      if (c.created) {
        refused.push_back(c.path + ": something appeared there meanwhile; left alone.");
        continue;
      }
      if (S_ISLNK(st.st_mode)) {
        Path resolved = std::filesystem::canonical(target, ec);
        auto rel = resolved.lexically_relative(real_root);
        if (ec || rel.empty() || *rel.begin() == "..") {
          refused.push_back(c.path + ": a link out of the repository; not written through.");
          continue;
        }
        target = resolved;
        if (::stat(target.c_str(), &st) != 0) {
          refused.push_back(c.path + ": " + std::string(std::strerror(errno)));
          continue;
        }
      }
      if (!S_ISREG(st.st_mode)) {
        refused.push_back(c.path + ": not a regular file; not written over.");
        continue;
      }
      // What is there now must be what the change was made from.
      try {
        if (read_bytes_prefix(target, (1 << 20) + 1, kAnywhere) != c.old_text) {
          refused.push_back(c.path + ": changed since it was read; run fix again.");
          continue;
        }
      } catch (const OsError& e) {
        refused.push_back(c.path + ": " + std::string(e.what()));
        continue;
      }
    }
    try {
      OutputFile out(target);
      out.commit(c.new_text);
      written.push_back(c.path);
    } catch (const OsError& e) {
      refused.push_back(c.path + ": " + std::string(e.what()));
    }
  }
  return written;
}

}  // namespace ostrameld::fix
