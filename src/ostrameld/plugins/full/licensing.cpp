#include "ostrameld/plugins/full/licensing.h"

#include <algorithm>
#include <array>
#include <map>

#include "ostrameld/licences/matcher.h"
#include "ostrameld/licences/names.h"
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/ecosystem.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kIndicators{"licence"sv};

constexpr std::size_t kLicenceFileBytes = 512 * 1024;
constexpr std::size_t kHeaderBytes = 4096;  // SPDX headers sit in a file's first lines

// Sources that declare the software's licence, in the order their declaration is preferred.
constexpr std::array kDeclaring{"DESCRIPTION"sv,  "pyproject.toml"sv, "setup.cfg"sv,    "setup.py"sv, "package.json"sv,
                                "Cargo.toml"sv,   "pom.xml"sv,        "Project.toml"sv, "CITATION.cff"sv,
                                "codemeta.json"sv, ".zenodo.json"sv};

bool looks_like_spdx_id(std::string_view id) {
  static const Regex re(R"(^(?:(?:DocumentRef-[A-Za-z0-9.-]+:)?LicenseRef-[A-Za-z0-9.-]+|0BSD|[A-Za-z][A-Za-z0-9.-]*[A-Za-z0-9]\+?)$)");
  return re.match(id);
}

// An SPDX expression: licence identifiers joined by AND, OR and WITH (parentheses aside),
// never two identifiers in a row as a licence's name has them ("GNU LGPL v2").
bool is_spdx_expression(std::string_view expression) {
  bool want_id = true, any = false;
  std::string token;
  auto take = [&]() -> bool {
    if (token.empty()) return true;
    std::string upper = token;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    bool op = upper == "AND" || upper == "OR" || upper == "WITH";
    bool ok = op ? !want_id : (want_id && looks_like_spdx_id(token));
    want_id = op;
    any = any || !op;
    token.clear();
    return ok;
  };
  for (char c : expression) {
    if (c == ' ' || c == '\t' || c == '(' || c == ')') {
      if (!take()) return false;
    } else {
      token += c;
    }
  }
  return take() && any && !want_id;
}

// SPDX-License-Identifier lines that are a header: alone in a comment, not text in code.
std::vector<std::string> header_expressions(std::string_view head) {
  static const Regex line(
      R"((?m)^[ \t]*(?:#+!?|//+!?|/\*+!?|\*|--|;+|%+|<!--|\.\.|REM|@REM|::)?[ \t]*SPDX-License-Identifier:[ \t]*([A-Za-z0-9.+:() -]+?)[ \t]*(?:\*/|-->)?[ \t]*$)");
  std::vector<std::string> out;
  for (auto e : line.find_all_groups(head, 1)) out.emplace_back(e);
  return out;
}

// Fixtures a project's tests read: their headers are the fixtures', not the project's.
bool fixture(std::string_view rel) {
  std::string p = "/" + ascii_lower(rel);
  for (std::string_view part : {"/testdata/"sv, "/test/data/"sv, "/tests/data/"sv, "/test-data/"sv, "/fixtures/"sv,
                                "/test/resources/"sv, "/tests/resources/"sv})
    if (p.find(part) != std::string::npos) return true;
  return false;
}

// Test code: a directory of tests anywhere, as the ecosystems name them.
bool in_tests(std::string_view rel) {
  std::string p = "/" + ascii_lower(rel);
  for (std::string_view part : {"/test/"sv, "/tests/"sv, "/testing/"sv, "/t/"sv, "/spec/"sv, "/__tests__/"sv})
    if (p.find(part) != std::string::npos) return true;
  return false;
}

// "either version 2.1 of the License, or (at your option) any later version", the
// grant that makes a GNU licence "-or-later", wrapped over comment lines as it may be.
bool later_version(std::string_view head) {
  static const Regex grant(R"((?i)at\W+your\W+option\W*\)?\W+any\W+later\W+version)");
  return grant.search(head);
}

bool add_once(std::vector<std::string>& list, std::string value) {
  if (std::find(list.begin(), list.end(), value) != list.end()) return false;
  list.push_back(std::move(value));
  return true;
}

bool cran_stub(std::string_view text) {
  static const Regex stub(R"(^\s*YEAR:[^\n]*\n\s*COPYRIGHT HOLDER:[^\n]*\s*$)", Regex::kCaseless);
  return stub.match(text);
}

// A GNU licence's text does not say "only" or "or later": the declaration does.
bool same_family(std::string_view detected, std::string_view declared) {
  if (same_licence(detected, declared)) return true;
  auto base = [](std::string_view id) {
    std::string s(id);
    for (std::string_view suffix : {"-or-later"sv, "-only"sv, "+"sv})
      if (s.size() > suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0) {
        s.resize(s.size() - suffix.size());
        break;
      }
    return ascii_lower(s);
  };
  return base(detected) == base(declared);
}

// What one licence file holds.
struct FileFinding {
  std::string path;
  std::string how;                // "standard text", "SPDX identifier", "R licence stub", "several licences", "file name"
  std::vector<std::string> ids;   // empty: nothing a tool can name
  double similarity = 0.0;
  std::vector<std::string> others;  // licences the file gives to parts not the project's own
  bool choice = false;              // its licences are alternatives ("a choice of one of two")
  bool pointer = false;             // it says where the licence is, or which, without its text
};

// Where a licence file turns to what is not the project's own code: third-party parts,
// bundled libraries, documentation under other terms. A licence named only after this
// is "also contained", not the project's.
std::optional<std::size_t> others_start(std::string_view text) {
  static const Regex cue(
      R"((?im)^[^\n]*(?:third[ _-]?party\s+(?:files?|code|components?|librar(?:y|ies)|software|sources?|licen[cs]es?|notices?|dependenc(?:y|ies)|modules?|packages?|projects?|works?|materials?)|third_?party/|^licen[cs]e for \S|uses parts of|\buses the [^\n]* (?:library|package|module)|incorporates|\bbundle[sd]?\b|vendored|has its own licen[cs]e|documentation\b[^\n]*\blicensed under|documentation \(|from other sources)[^\n]*$)");
  return cue.find(text);
}

FileFinding describe(const std::string& rel, std::string_view text, std::string_view reuse_name) {
  FileFinding f{rel, "", {}, 0.0, {}};
  if (cran_stub(text)) {
    f.how = "R licence stub";
    return f;
  }
  // REUSE names each text after its identifier: a GNU text does not say "only" or "or
  // later", its name does (LICENSES/GPL-3.0-or-later.txt).
  auto named_by_file = [&](std::string_view id) -> std::string {
    if (!reuse_name.empty() && looks_like_spdx_id(reuse_name) && same_family(id, reuse_name))
      return std::string(reuse_name);
    return std::string(id);
  };
  if (auto m = match_licence_text(text)) {
    f.how = "standard text";
    f.ids.push_back(named_by_file(m->spdx));
    f.similarity = m->similarity;
    return f;
  }
  auto split = others_start(text);
  std::string_view own = split ? text.substr(0, *split) : text;
  std::string_view rest = split ? text.substr(*split) : std::string_view();
  if (split) {
    // The licence followed by a note on another part ("uses the RMath library, which has
    // its own license"): the licence is the project's.
    if (auto m = match_licence_text(own)) {
      f.how = "standard text";
      f.ids.push_back(named_by_file(m->spdx));
      f.similarity = m->similarity;
      for (auto& id : licences_named(rest))
        if (!same_family(id, f.ids.front())) add_once(f.others, id);
      return f;
    }
  }
  auto ids = spdx_identifiers_in(text);
  if (!ids.empty()) {
    f.how = "SPDX identifier";
    f.ids = ids;
    return f;
  }
  // REUSE names each text after its identifier; a LicenseRef- has no standard text.
  if (!reuse_name.empty() && looks_like_spdx_id(reuse_name)) {
    f.how = "file name";
    f.ids.emplace_back(reuse_name);
    return f;
  }
  // "Licensed under the BSD licence, see the LICENSE file": a pointer to the text, not a
  // text that should have been the standard one.
  static const Regex points(
      R"((?i)\bsee (?:the )?(?:file )?[`'"]?(?:LICEN[CS]E|COPYING)|\blicen[cs]e file\b|\bLICEN[CS]E-[A-Z]|under the terms of either)");
  auto named = licences_named(text);
  f.pointer = points.search(text) || (text.size() < 600 && !named.empty());
  static const Regex choice(
      R"((?i)choice of (?:one of )?(?:two|the following|these)|dual[- ]licen[cs]ed|at your (?:option|choice)[^.]{0,40}\b(?:either|one of)|\beither (?:the )?[^.]{0,60}\blicen[cs]e[^.]{0,60}\bor\b|terms of either licen[cs]e)");
  f.choice = choice.search(own);
  // A licence's text names others without adding them: the GPL's section 13 names the
  // Affero licence, the LGPL builds on the GPL.
  auto drop_family = [&](std::string_view family) {
    named.erase(std::remove_if(named.begin(), named.end(),
                               [&](const std::string& id) { return id.rfind(family, 0) == 0; }),
                named.end());
  };
  if (text.find("Use with the GNU Affero General Public License") != std::string_view::npos &&
      text.find("GNU AFFERO GENERAL PUBLIC LICENSE") == std::string_view::npos)
    drop_family("AGPL-3.0");
  if (text.find("GNU LESSER GENERAL PUBLIC LICENSE") != std::string_view::npos &&
      text.find("GNU GENERAL PUBLIC LICENSE") == std::string_view::npos)
    drop_family("GPL-");
  if (named.size() == 1 && licences_named(text).size() > 1) {
    // The GNU text with words of the project's own around it: that one licence.
    f.how = "licence text";
    f.ids.push_back(named_by_file(named.front()));
    return f;
  }
  if (named.size() > 1) {
    f.how = "several licences";

    // The project's own licences are those named before the file turns to other parts;
    // what only those parts carry is also contained, not the project's licence.
    std::vector<std::string> first = split ? licences_named(own) : named;
    if (first.empty()) first = named;
    for (auto& id : named) {
      if (std::find(first.begin(), first.end(), id) != first.end()) f.ids.push_back(id);
      else f.others.push_back(id);
    }
  }
  return f;
}

// The licence advice each ecosystem's maintainers would give.
std::string how_to_declare(const Ecosystems& eco) {
  if (eco.r) return "DESCRIPTION's License field, written by usethis (e.g. usethis::use_mit_license())";
  if (eco.python) return "license = \"<SPDX id>\" in pyproject.toml's [project] table";
  if (eco.rust) return "license = \"<SPDX expression>\" in Cargo.toml";
  if (eco.node) return "\"license\": \"<SPDX id>\" in package.json";
  if (eco.maven) return "a <licenses> entry in pom.xml";
  return "an SPDX-License-Identifier header in each source file";
}

}  // namespace

std::vector<std::string> spdx_expression_ids(std::string_view expression) {
  std::vector<std::string> ids;
  std::string token;
  bool after_with = false;
  auto flush = [&] {
    if (token.empty()) return;
    std::string upper = token;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "AND" || upper == "OR") {
      after_with = false;
    } else if (upper == "WITH") {
      after_with = true;
    } else if (after_with) {
      after_with = false;
    } else {
      add_once(ids, token);
    }
    token.clear();
  };
  for (char c : expression) {
    if (c == ' ' || c == '\t' || c == '(' || c == ')' || c == '\n') flush();
    else token += c;
  }
  flush();
  return ids;
}

std::string declared_expression(std::string_view declared) {
  std::string_view v = py_strip(declared);
  // R: "GPL-2 | GPL-3", "MIT + file LICENSE"; alternatives are OR.
  if (v.find('|') != std::string_view::npos || v.find("+ file") != std::string_view::npos) {
    if (auto whole = spdx_of_r_licence(v)) return std::string(*whole);
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= v.size()) {
      std::size_t bar = v.find('|', start);
      std::string_view part = py_strip(v.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
      if (auto file = part.find("+ file"); file != std::string_view::npos) part = py_strip(part.substr(0, file));
      if (!part.empty()) parts.push_back(normalize_licence(part));
      if (bar == std::string_view::npos) break;
      start = bar + 1;
    }
    return join(parts, " OR ");
  }
  return normalize_licence(v);
}

bool is_licence_file_name(std::string_view name) {
  std::string lower = ascii_lower(name);
  std::string_view suffix = file_suffix(lower);
  // R's LICENSE.note lists the licences of bundled code: notes, not the licence.
  if (suffix == ".note") return false;
  // Code that handles licences is not a licence.
  if (suffix != ".txt" && suffix != ".md" && is_source_file_name(lower)) return false;
  for (std::string_view prefix : {"license"sv, "licence"sv, "copying"sv, "copyright"sv, "unlicense"sv})
    if (lower.rfind(prefix, 0) == 0) return true;
  for (std::string_view part : {"-license"sv, "_license"sv, "-licence"sv, "_licence"sv})
    if (lower.find(part) != std::string::npos) return true;
  return false;
}

// A licence file nobody may read is one whose licence cannot be named, not a broken check.
FileFinding describe_file(const Path& root, const std::string& rel, std::string_view reuse_name) {
  std::string text;
  try {
    text = read_text_prefix(root / rel, ReadMode::Replace, kLicenceFileBytes, root);
  } catch (const OsError&) {
    return {rel, "unreadable", {}, 0.0};
  }
  return describe(rel, text, reuse_name);
}

std::span<const std::string_view> LicensingPlugin::supported_indicators() const { return kIndicators; }

CheckResult LicensingPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const Path& root = ctx.repo_path;
  const ProjectMetadata& m = ctx.metadata();
  Ecosystems eco = detect_ecosystems(root);

  // Licence files: the root's variants, then REUSE's LICENSES/.
  std::vector<FileFinding> files;
  for (const auto& name : list_directory(root, root)) {
    if (!is_licence_file_name(name) || !file_seen(root / name, root)) continue;
    files.push_back(describe_file(root, name, {}));
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
  // A monorepo without a licence file at its root keeps one in each package its
  // workspace names: those are its texts.
  if (files.empty()) {
    for (const auto& s : m.sources) {
      if (s.path.find('/') != std::string::npos || s.members.empty()) continue;
      for (const auto& member : s.members) {
        if (files.size() >= 50 || member.find_first_of("*?[") != std::string::npos || member.find("..") != std::string::npos)
          continue;
        Path dir = root / member;
        if (!dir_seen(dir, root)) continue;
        std::vector<std::string> names = list_directory_seen(dir, root);
        std::sort(names.begin(), names.end());
        for (const auto& name : names)
          if (is_licence_file_name(name) && file_seen(dir / name, root))
            files.push_back(describe_file(root, member + "/" + name, {}));
      }
    }
  }
  bool reuse = false;
  if (dir_seen(root / "LICENSES", root)) {
    std::vector<std::string> names = list_directory_seen(root / "LICENSES", root);
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
      Path file = root / "LICENSES" / name;
      if (!file_seen(file, root)) continue;
      reuse = true;
      files.push_back(describe_file(root, "LICENSES/" + name, file_stem(name)));
    }
  }

  // REUSE's own declarations.
  std::vector<std::string> reuse_ids;
  // Each declaration or header as a whole: a choice ("MIT OR Apache-2.0") stays one.
  std::vector<std::string> units;
  auto add_unit = [&units](std::string_view expr) {
    if (!is_spdx_expression(expr)) return;
    std::string unit(py_strip(expr));
    if (spdx_expression_ids(unit).size() > 1) unit = "(" + unit + ")";
    add_once(units, std::move(unit));
  };
  if (file_seen(root / "REUSE.toml", root)) {
    reuse = true;
    try {
      Json doc = metadata::load_toml(read_text_prefix(root / "REUSE.toml", ReadMode::Replace, 1 << 20, root));
      if (doc.contains("annotations") && doc["annotations"].is_array())
        for (const auto& a : doc["annotations"]) {
          auto it = a.find("SPDX-License-Identifier");
          if (it != a.end() && it->is_string()) {
            for (auto& id : spdx_expression_ids(it->get<std::string>())) add_once(reuse_ids, id);
            add_unit(it->get<std::string>());
          }
        }
    } catch (const std::runtime_error&) {
      // A malformed REUSE.toml declares nothing.
    }
  }
  if (file_seen(root / ".reuse" / "dep5", root)) {
    reuse = true;
    static const Regex line(R"((?m)^License:[ \t]*(\S[^\n]*))");
    std::string text;
    try {
      text = read_text_prefix(root / ".reuse" / "dep5", ReadMode::Replace, 1 << 20, root);
    } catch (const OsError&) {
    }
    for (auto expr : line.find_all_groups(text, 1)) {
      for (auto& id : spdx_expression_ids(expr)) add_once(reuse_ids, id);
      add_unit(expr);
    }
  }

  // SPDX headers of every source file the walk found.
  std::vector<std::string> header_ids;
  std::size_t with_header = 0, read = 0;
  std::size_t gnu_notices = 0, later_grants = 0;  // GNU notices in headers, and those granting "any later version"
  for (const auto& rel : m.source_files) {
    // Tests and their fixtures carry licences of their own making (a licence tool's tests
    // are full of them): not the project's.
    if (fixture(rel) || in_tests(rel)) continue;
    std::string head;
    try {
      head = read_bytes_prefix(root / rel, kHeaderBytes, root);
    } catch (const OsError&) {
      continue;
    }
    ++read;
    if (head.find("General Public Licen") != std::string::npos) {
      ++gnu_notices;
      if (later_version(head)) ++later_grants;
    }
    // Most files have no header: only those with the tag are decoded and parsed.
    if (head.find("SPDX-License-Identifier") == std::string::npos) continue;
    head = sanitize_utf8(head);
    bool any = false;
    for (const auto& expr : header_expressions(head)) {
      for (auto& id : spdx_expression_ids(expr))
        if (looks_like_spdx_id(id)) {
          any = true;
          add_once(header_ids, id);
        }
      add_unit(expr);
    }
    if (any) ++with_header;
  }

  // What the manifests and metadata files declare.
  Json declared = Json::object();
  std::vector<std::pair<std::string, std::string>> declarations;  // path, expression
  for (auto kind : kDeclaring) {
    const MetadataSource* s = m.find(kind);
    if (!s || s->licences.empty()) continue;
    std::vector<std::string> exprs;
    for (const auto& l : s->licences) {
      std::string e = declared_expression(l);
      if (!e.empty()) add_once(exprs, e);
    }
    if (exprs.empty()) continue;
    std::string expr = exprs.size() == 1 ? exprs.front() : "(" + join(exprs, ") AND (") + ")";
    if (exprs.size() == 1 && expr.find(' ') == std::string::npos) expr = exprs.front();
    declared[s->path] = expr;
    declarations.emplace_back(s->path, expr);
  }

  // The texts' licences, once each: the root's licence files are the project's; the
  // texts under LICENSES/ are the project's only when the root has none (a REUSE
  // project), else what parts of it carry.
  std::vector<std::string> detected, root_ids, licenses_dir_ids, others;
  bool stub = false;
  Json file_list = Json::array();
  Json identified = Json::array();
  for (const auto& f : files) {
    file_list.push_back(f.path);
    if (f.how == "R licence stub") stub = true;
    bool in_licenses = f.path.rfind("LICENSES/", 0) == 0;
    for (const auto& id : f.ids) {
      add_once(detected, id);
      add_once(in_licenses ? licenses_dir_ids : root_ids, id);
    }
    for (const auto& id : f.others) add_once(others, id);
    if (!f.how.empty())
      identified.push_back({{"file", f.path}, {"how", f.how}, {"spdx", f.ids}});
  }
  std::vector<std::string> root_detected = detected;
  for (const auto& id : reuse_ids) add_once(detected, id);
  for (const auto& id : header_ids) add_once(detected, id);
  // What a declaration must cover to be the project's licence.
  const std::vector<std::string>& own = !root_ids.empty() ? root_ids : licenses_dir_ids;

  // A declaration that names none of the licences the root's texts hold contradicts them.
  std::vector<std::string> advice;
  std::vector<std::string> conflicts;
  for (const auto& [path, expr] : declarations) {
    auto ids = spdx_expression_ids(expr);
    bool any_valid = is_spdx_expression(expr);
    // A POM's licence <name> is free text by Maven's convention.
    if (!any_valid && path != "pom.xml")
      advice.push_back(path + " declares \"" + expr + "\", which is no SPDX expression; write the SPDX id (e.g. MIT, GPL-3.0-or-later).");
    if (root_detected.empty() || !any_valid) continue;
    bool shared = std::any_of(ids.begin(), ids.end(), [&](const std::string& d) {
      return std::any_of(root_detected.begin(), root_detected.end(), [&](const std::string& t) { return same_family(t, d); });
    });
    if (!shared) conflicts.push_back(path + " declares " + expr + " but the licence text is " + join(root_detected, ", "));
  }

  // One expression: the declaration when it covers every text, else the texts' licences.
  std::string spdx;
  for (const auto& [path, expr] : declarations) {
    auto ids = spdx_expression_ids(expr);
    if (!is_spdx_expression(expr)) continue;
    bool covers = std::all_of(own.begin(), own.end(), [&](const std::string& t) {
      return std::any_of(ids.begin(), ids.end(), [&](const std::string& d) { return same_family(t, d); });
    });
    // A bare GNU id ("LGPL-2.1", as a licence page's address gives it) says less than
    // another declaration's "LGPL-2.1-only": the more precise one is the expression.
    auto precise = [](const std::string& e) {
      return e.find("GPL") == std::string::npos || e.find("-only") != std::string::npos ||
             e.find("-or-later") != std::string::npos;
    };
    if (covers && conflicts.empty() && (spdx.empty() || (!precise(spdx) && precise(expr)))) {
      spdx = expr;
      if (precise(spdx)) break;
    }
  }
  if (spdx.empty() && !root_ids.empty()) {
    // The root's licence texts are the project's licence; what REUSE files, headers and
    // LICENSES/ add is what parts of it carry. A file offering a choice is one unit.
    std::vector<std::string> all, seen;
    // A note beside the texts that they are alternatives ("dual-licensed", "either").
    bool alternatives = std::any_of(files.begin(), files.end(), [](const FileFinding& f) {
      return f.choice && f.ids.empty() && f.path.rfind("LICENSES/", 0) != 0;
    });
    for (const auto& f : files) {
      if (f.path.rfind("LICENSES/", 0) == 0) continue;
      std::vector<std::string> ids;
      for (const auto& id : f.ids)
        if (looks_like_spdx_id(id) && add_once(seen, id)) ids.push_back(id);
      if (ids.empty()) continue;
      if (f.choice && ids.size() > 1) add_once(all, "(" + join(ids, " OR ") + ")");
      else for (auto& id : ids) add_once(all, id);
    }
    spdx = join(all, alternatives ? " OR " : " AND ");
    if (all.size() == 1 && spdx.front() == '(') spdx = spdx.substr(1, spdx.size() - 2);
  }
  if (spdx.empty() && !detected.empty()) {
    // The licence files' licences and each REUSE declaration and header as written; a
    // text in LICENSES/ stands for itself only when nothing names it (it is there for
    // the declarations that do, a choice among them included).
    std::vector<std::string> named_by_units;
    for (const auto& unit : units)
      for (auto& id : spdx_expression_ids(unit)) named_by_units.push_back(id);
    std::vector<std::string> all;
    for (const auto& f : files)
      for (const auto& id : f.ids) {
        bool in_licenses = f.path.rfind("LICENSES/", 0) == 0;
        bool named = std::find(named_by_units.begin(), named_by_units.end(), id) != named_by_units.end();
        if (looks_like_spdx_id(id) && !(in_licenses && named)) add_once(all, id);
      }
    for (const auto& unit : units) add_once(all, unit);
    spdx = join(all, " AND ");
  }
  if (spdx.empty() && conflicts.empty())
    for (const auto& [path, expr] : declarations) {
      if (is_spdx_expression(expr)) {
        spdx = expr;
        break;
      }
    }

  // The texts do not say "only" or "or later" and a bare GNU id (LGPL-2.1) says neither:
  // the source files' notices granting "any later version" do, unless a declaration
  // says "-only" in so many words.
  bool said_only = false;
  for (auto kind : kDeclaring)
    if (const MetadataSource* src = m.find(kind))
      for (const auto& l : src->licences)
        said_only = said_only || ascii_lower(l).find("only") != std::string::npos;
  if (!said_only && later_grants > 0 && later_grants * 2 >= gnu_notices) {
    for (std::string_view gnu : {"GPL-2.0"sv, "GPL-3.0"sv, "LGPL-2.0"sv, "LGPL-2.1"sv, "LGPL-3.0"sv, "AGPL-3.0"sv}) {
      std::string only = std::string(gnu) + "-only";
      for (std::size_t at = 0; (at = spdx.find(only, at)) != std::string::npos;) {
        bool whole = at == 0 || spdx[at - 1] == ' ' || spdx[at - 1] == '(';
        if (whole) spdx.replace(at, only.size(), std::string(gnu) + "-or-later");
        at += only.size();
      }
      // A bare id, as written in a declaration.
      std::vector<std::string> ids = spdx_expression_ids(spdx);
      if (std::find(ids.begin(), ids.end(), std::string(gnu)) != ids.end() && spdx == gnu)
        spdx = std::string(gnu) + "-or-later";
    }
  }
  // Every other licence the repository shows: parts under their own terms.
  std::vector<std::string> also;
  {
    std::vector<std::string> in_spdx = spdx_expression_ids(spdx);
    auto covered = [&](const std::string& id) {
      return std::any_of(in_spdx.begin(), in_spdx.end(), [&](const std::string& t) { return same_family(t, id); });
    };
    for (const auto* list : {&others, &licenses_dir_ids, &reuse_ids, &header_ids})
      for (const auto& id : *list)
        if (looks_like_spdx_id(id) && !covered(id)) add_once(also, id);
  }

  const bool texts_named = !root_detected.empty() || !reuse_ids.empty() || !header_ids.empty();
  // Licence files whose text no tool names: neither a standard text nor R's stub.
  std::vector<std::string> unnamed;
  for (const auto& f : files)
    if (f.ids.empty() && f.how.empty() && !f.pointer && f.path.rfind("LICENSES/", 0) != 0) unnamed.push_back(f.path);
  const bool declared_only = !texts_named && unnamed.empty();
  const bool r_declared = eco.r && declared.contains("DESCRIPTION");
  double score;
  std::string output;
  if (spdx.empty() && files.empty()) {
    score = 0.0;
    output = "No licence: no licence file, SPDX header or declared licence";
    advice.push_back("Choose a licence and add its standard text as LICENSE, and declare it as " + how_to_declare(eco) + ".");
  } else if (!conflicts.empty()) {
    score = 5.0;
    output = "The declared licence contradicts the licence text";
    for (const auto& c : conflicts) advice.push_back(c + ": make them name the same licence.");
  } else if (spdx.empty()) {
    score = 4.0;
    output = "A licence file that no tool can identify";
    advice.push_back((files.empty() ? std::string("The licence file") : files.front().path) +
                     " is no standard licence text: use the licence's text unchanged (choosealicense.com, "
                     "spdx.org/licenses) and declare its SPDX id as " + how_to_declare(eco) + ".");
  } else if (!texts_named && !unnamed.empty()) {
    // A declaration beside a text that is no standard one: the licence as modified, or a
    // copy with edits the matcher does not accept.
    score = 7.0;
    output = "Licensed under " + spdx + " as declared; " + unnamed.front() + " is no standard licence text";
    advice.push_back(unnamed.front() + " is not the standard text of " + spdx +
                     ": if the licence is " + spdx + ", use its text unchanged; if the text was changed, it is "
                     "another licence, to be declared as LicenseRef-<name>.");
  } else if (declared_only && (r_declared || stub)) {
    // CRAN asks for the standard licences to be named in DESCRIPTION, not shipped.
    score = 10.0;
    output = "Licensed under " + spdx + " as DESCRIPTION declares it";
  } else if (declared_only) {
    score = 7.0;
    output = "Licensed under " + spdx + " by declaration; no licence text";
    advice.push_back("Add the licence's text as LICENSE: most licences (MIT and BSD included) require their text "
                     "to travel with every copy (ostrameld fix --only licence writes the standard text).");
  } else if (root_detected.empty() && reuse_ids.empty()) {
    score = 7.0;
    output = "Licensed under " + spdx + " by SPDX headers; no licence text";
    advice.push_back("Add each licence's text under LICENSES/ (reuse download --all), so that the headers "
                     "name a text that ships with the code.");
  } else {
    score = 10.0;
    output = "Licensed under " + spdx;
    if (!unnamed.empty()) {
      score = 8.0;
      advice.push_back(unnamed.front() + " is no standard licence text; keep the standard text unchanged so that "
                       "tools and registries recognise it.");
    }
  }
  if (reuse && !header_ids.empty())
    for (const auto& id : header_ids) {
      if (!looks_like_spdx_id(id)) continue;
      bool has_text = std::any_of(files.begin(), files.end(), [&](const FileFinding& f) {
        return f.path.rfind("LICENSES/", 0) == 0 && file_stem(f.path.substr(9)) == id;
      });
      if (!has_text) {
        advice.push_back("The SPDX headers name " + id + " but LICENSES/ has no " + id + ".txt (reuse download " + id + ").");
        break;
      }
    }

  std::vector<std::string> evidence;
  for (const auto& f : files)
    if (!f.ids.empty()) evidence.push_back(f.path + ": " + join(f.ids, ", ") + " (" + f.how + ")");
  if (with_header) evidence.push_back(std::to_string(with_header) + " of " + std::to_string(read) + " source files with an SPDX header");

  if (!spdx.empty() && !also.empty() && conflicts.empty())
    output += "; also contains: " + join(also, ", ");
  Json facts{{"spdx", spdx.empty() ? Json(nullptr) : Json(spdx)},
             {"also_contains", also},
             {"files", file_list},
             {"declared", declared},
             {"identified", identified},
             {"headers", {{"files_read", read}, {"with_identifier", with_header}, {"ids", header_ids}}},
             {"reuse", reuse},
             {"matcher", {{"spdx_list_version", spdx_list_version()}, {"threshold", kStandardLicenceSimilarity}}}};
  return make_result(indicator_id, {.score = score,
                                    .process = "Matched every licence file's whole text against the SPDX licence texts, "
                                               "read REUSE files, the SPDX header of every source file and the "
                                               "licences the manifests declare",
                                    .output = output,
                                    .evidence = join(evidence, "; "),
                                    .advice = std::move(advice),
                                    .facts = std::move(facts)});
}

}  // namespace ostrameld
