// An R package's DESCRIPTION (Debian control format): fields, Authors@R's person()
// entries with their ORCIDs, and the dependency fields with their version constraints.
#include <map>

#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::metadata {

namespace {

std::map<std::string, std::string> fields_of(std::string_view text) {
  std::map<std::string, std::string> fields;
  std::string current;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    std::string_view line = text.substr(pos, eol == std::string_view::npos ? text.npos : eol - pos);
    pos = eol == std::string_view::npos ? text.size() : eol + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if ((line.front() == ' ' || line.front() == '\t') && !current.empty()) {
      fields[current] += "\n" + std::string(py_strip(line));
      continue;
    }
    auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;
    current = std::string(line.substr(0, colon));
    fields[current] = std::string(py_strip(line.substr(colon + 1)));
  }
  return fields;
}

// The person() calls of Authors@R: given, family (or a c() of names), roles and ORCID.
std::vector<Person> r_persons(std::string_view text) {
  std::vector<Person> out;
  static const Regex call("person\\s*\\(");
  std::size_t from = 0;
  while (from < text.size()) {
    auto at = call.find(text.substr(from));
    if (!at) break;
    std::size_t open = from + *at;
    open = text.find('(', open);
    // The call's arguments, to its matching parenthesis (strings may hold brackets).
    int depth = 0;
    std::size_t end = open;
    char quote = 0;
    for (; end < text.size(); ++end) {
      char c = text[end];
      if (quote) {
        if (c == '\\') ++end;
        else if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')' && --depth == 0) {
        break;
      }
    }
    std::string_view args = text.substr(open + 1, end - open - 1);
    from = end + 1;
    static const Regex given("(?:^|[,\\s(])given\\s*=\\s*(?:c\\(\\s*)?[\"']([^\"']*)[\"']");
    static const Regex family("(?:^|[,\\s(])family\\s*=\\s*[\"']([^\"']*)[\"']");
    static const Regex positional("^\\s*[\"']([^\"']*)[\"']\\s*,\\s*[\"']([^\"']*)[\"']");
    static const Regex role("role\\s*=\\s*c?\\(?([^)=]*)");
    Person p;
    std::string g, f;
    if (auto v = given.search_group(args, 1)) g = std::string(*v);
    if (auto v = family.search_group(args, 1)) f = std::string(*v);
    if (g.empty() && f.empty()) {
      if (auto v = positional.search_group(args, 1)) g = std::string(*v);
      if (auto v = positional.search_group(args, 2)) f = std::string(*v);
    }
    p.name = g + (g.empty() || f.empty() ? "" : " ") + f;
    if (auto roles = role.search_group(args, 1)) {
      std::string r(*roles);
      // Authors and creators are the authors; contributors, funders and holders are not.
      if (r.find("aut") == std::string::npos && r.find("cre") == std::string::npos) continue;
    }
    auto orcids = orcids_in_text(args);
    if (!orcids.empty()) {
      p.orcid = orcids.front();
      p.orcid_text = orcids.front().id;
    }
    if (!p.name.empty()) out.push_back(std::move(p));
  }
  return out;
}

void r_dependencies(const std::string& value, const std::string& scope, MetadataSource& out) {
  static const Regex item("^\\s*([A-Za-z][A-Za-z0-9.]*)\\s*(?:\\(\\s*([^)]*)\\))?\\s*$");
  std::size_t start = 0;
  while (start <= value.size()) {
    auto comma = value.find(',', start);
    std::string_view part = std::string_view(value).substr(start, comma - start);
    if (auto name = item.search_group(part, 1)) {
      Dependency d;
      d.name = std::string(*name);
      d.scope = scope;
      if (auto c = item.search_group(part, 2)) d.constraint = std::string(py_strip(*c));
      if (d.name != "R") out.dependencies.push_back(std::move(d));
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
}

std::vector<std::string> url_list(const std::string& value) {
  std::vector<std::string> out;
  static const Regex url("(https?://[^\\s,<>]+)");
  for (auto u : url.find_all_groups(value, 1)) out.emplace_back(u);
  return out;
}

}  // namespace

void read_description(std::string_view text, MetadataSource& out) {
  auto f = fields_of(text);
  if (f.empty()) {
    out.problem = "no fields";
    return;
  }
  auto get = [&](const char* key) {
    auto it = f.find(key);
    return it == f.end() ? std::string() : it->second;
  };
  out.title = get("Package");
  out.version = get("Version");
  if (auto l = get("License"); !l.empty()) out.licences.push_back(l);
  if (auto a = get("Authors@R"); !a.empty()) {
    out.authors = r_persons(a);
  } else if (auto a2 = get("Author"); !a2.empty()) {
    // "Jane Doe [aut, cre] (<https://orcid.org/...>), John Roe [ctb]"
    static const Regex entry("([^,\\[\\n]+?)\\s*(\\[[^\\]]*\\])?\\s*(\\([^)]*\\))?\\s*(?:,|and|$)");
    for (std::size_t start = 0; start < a2.size();) {
      auto comma = a2.find("],", start);
      std::string_view part = std::string_view(a2).substr(start, comma == std::string::npos ? a2.npos : comma + 1 - start);
      start = comma == std::string::npos ? a2.size() : comma + 2;
      if (part.find("aut") == std::string_view::npos && part.find('[') != std::string_view::npos) continue;
      Person p;
      auto bracket = part.find_first_of("[(");
      p.name = std::string(py_strip(part.substr(0, bracket)));
      auto orcids = orcids_in_text(part);
      if (!orcids.empty()) {
        p.orcid = orcids.front();
        p.orcid_text = orcids.front().id;
      }
      if (!p.name.empty()) out.authors.push_back(std::move(p));
    }
  }
  for (const auto& u : url_list(get("URL"))) {
    bool code = u.find("github.com") != std::string::npos || u.find("gitlab") != std::string::npos ||
                u.find("codeberg.org") != std::string::npos || u.find("bitbucket.org") != std::string::npos;
    (code ? out.repository_urls : out.urls).push_back(u);
  }
  for (const auto& u : url_list(get("BugReports"))) out.urls.push_back(u);
  r_dependencies(get("Depends"), "runtime", out);
  r_dependencies(get("Imports"), "runtime", out);
  r_dependencies(get("LinkingTo"), "build", out);
  r_dependencies(get("Suggests"), "optional", out);
  out.description = get("Title");
  out.data = Json::object();
  for (const auto& [k, v] : f) out.data[k] = v;
}

}  // namespace ostrameld::metadata
