// setup.cfg: setuptools' declarative [metadata] and [options]. Values are read leniently
// (the default profile's strict reader decides validity); continuation lines are list items.
#include <map>

#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::metadata {

namespace {

using Sections = std::map<std::string, std::map<std::string, std::string>>;

Sections parse(std::string_view text) {
  Sections sections;
  std::string section, option;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    std::string_view line = text.substr(pos, eol == std::string_view::npos ? text.npos : eol - pos);
    pos = eol == std::string_view::npos ? text.size() : eol + 1;
    std::string_view v = py_strip(line);
    if (v.empty() || v.front() == '#' || v.front() == ';') continue;
    bool indented = line.front() == ' ' || line.front() == '\t';
    if (indented && !option.empty()) {
      sections[section][option] += "\n" + std::string(v);
      continue;
    }
    if (v.front() == '[' && v.back() == ']') {
      section = std::string(v.substr(1, v.size() - 2));
      option.clear();
      continue;
    }
    auto delim = v.find_first_of("=:");
    if (delim == std::string_view::npos) continue;
    option = py_lower(py_strip(v.substr(0, delim)));
    sections[section][option] = std::string(py_strip(v.substr(delim + 1)));
  }
  return sections;
}

std::vector<std::string> items(const std::string& value) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= value.size()) {
    auto nl = value.find('\n', start);
    auto item = py_strip(std::string_view(value).substr(start, nl - start));
    if (!item.empty() && item.front() != '#') out.emplace_back(item);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return out;
}

}  // namespace

void read_setup_cfg(std::string_view text, MetadataSource& out) {
  Sections s = parse(text);
  auto get = [&](const char* section, const char* option) -> std::string {
    auto it = s.find(section);
    if (it == s.end()) return {};
    auto o = it->second.find(option);
    return o == it->second.end() ? std::string() : o->second;
  };
  out.title = get("metadata", "name");
  out.version = get("metadata", "version");
  // "attr: pkg.__version__" and "file: VERSION" name where the version is, not what it is.
  if (out.version.find(':') != std::string::npos) out.version.clear();
  if (auto l = get("metadata", "license"); !l.empty()) out.licences.push_back(l);
  if (out.licences.empty())
    for (const auto& c : items(get("metadata", "classifiers")))
      if (auto id = licence_of_classifier(c); !id.empty()) out.licences.push_back(id);
  if (auto a = get("metadata", "author"); !a.empty()) {
    for (std::size_t start = 0;;) {
      auto comma = a.find(',', start);
      auto name = py_strip(std::string_view(a).substr(start, comma - start));
      if (!name.empty()) out.authors.push_back(Person{std::string(name), std::nullopt, {}});
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  if (auto u = get("metadata", "url"); !u.empty()) out.urls.push_back(u);
  for (const auto& line : items(get("metadata", "project_urls"))) {
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string label = ascii_lower(py_strip(std::string_view(line).substr(0, eq)));
    std::string url(py_strip(std::string_view(line).substr(eq + 1)));
    if (label.find("source") != std::string::npos || label.find("repository") != std::string::npos ||
        label == "code")
      out.repository_urls.push_back(url);
    else
      out.urls.push_back(url);
  }
  for (const auto& req : items(get("options", "install_requires"))) {
    Dependency d = parse_pep508(req, "runtime");
    if (!d.name.empty()) out.dependencies.push_back(std::move(d));
  }
  out.description = get("metadata", "description");
}

}  // namespace ostrameld::metadata
