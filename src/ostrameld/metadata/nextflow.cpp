// nextflow.config read as text, never run: the manifest block Nextflow and nf-core keep
// the pipeline's name, version, DOI, home page and contributors in.
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/identifiers.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::metadata {

namespace {

// The text between "manifest {" and its closing brace, quotes and comments respected.
std::string_view manifest_block(std::string_view text) {
  static const Regex start(R"((?m)^\s*manifest\s*\{)");
  auto at = start.find(text);
  if (!at) return {};
  std::size_t open = text.find('{', *at);
  int depth = 0;
  char quote = 0;
  for (std::size_t i = open; i < text.size(); ++i) {
    char c = text[i];
    if (quote) {
      if (c == '\\') ++i;
      else if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') quote = c;
    else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') i = std::min(text.find('\n', i), text.size());
    else if (c == '{') ++depth;
    else if (c == '}' && --depth == 0) return text.substr(open + 1, i - open - 1);
  }
  return {};
}

// A DOI an archive of software mints; the others a manifest lists are its papers.
bool archive_doi(std::string_view doi) {
  for (std::string_view prefix : {"10.5281/", "10.6084/", "10.17605/", "10.5061/", "10.48546/workflowhub"})
    if (doi.substr(0, prefix.size()) == prefix) return true;
  return false;
}

}  // namespace

void read_nextflow_config(std::string_view text, MetadataSource& out) {
  std::string_view block = manifest_block(text);
  if (block.empty()) return;
  // key = 'value', "value" or """value""", one per line.
  static const Regex setting(R"re((?m)^\s*(\w+)\s*=\s*(?:"""([\s\S]*?)"""|'([^'\n]*)'|"([^"\n]*)"))re");
  auto value_of = [&](std::string_view key) -> std::string {
    std::size_t from = 0;
    while (from < block.size()) {
      auto at = setting.find(block.substr(from));
      if (!at) break;
      std::string_view rest = block.substr(from + *at);
      auto k = setting.search_group(rest, 1);
      if (k && *k == key) {
        for (int g : {2, 3, 4})
          if (auto v = setting.search_group(rest, g); v && !v->empty()) return std::string(*v);
        return {};
      }
      from += *at + 1;
    }
    return {};
  };
  out.title = value_of("name");
  out.version = value_of("version");
  out.description = std::string(py_strip(value_of("description")));
  if (auto home = value_of("homePage"); !home.empty()) out.repository_urls.push_back(home);
  // Several DOIs, comma-separated: the archive's names the pipeline, the rest its papers.
  std::string dois = value_of("doi");
  for (const auto& doi : dois_in_text(dois)) {
    if (archive_doi(doi)) {
      add_identifier(out, doi, "manifest.doi");
    } else {
      Reference r;
      r.field = "manifest.doi";
      r.type = "article";
      r.dois.push_back(doi);
      out.references.push_back(std::move(r));
    }
  }
  // contributors = [[name: 'A', orcid: '0000-...'], ...]; older manifests have author = 'A, B'.
  static const Regex person(R"re(\bname\s*:\s*['"]([^'"\n]+)['"])re");
  static const Regex orcid(R"re(orcid\s*:\s*['"]([^'"\n]*)['"])re");
  std::vector<std::size_t> starts;  // each contributor's entry runs to the next one's name
  for (std::size_t from = 0; from < block.size();) {
    auto at = person.find(block.substr(from));
    if (!at) break;
    starts.push_back(from + *at);
    from += *at + 1;
  }
  for (std::size_t i = 0; i < starts.size(); ++i) {
    std::string_view body = block.substr(starts[i], (i + 1 < starts.size() ? starts[i + 1] : block.size()) - starts[i]);
    Person p;
    p.name = std::string(person.search_group(body, 1).value_or(""));
    if (auto o = orcid.search_group(body, 1); o && !o->empty()) {
      p.orcid_text = std::string(*o);
      p.orcid = parse_orcid(p.orcid_text);
    }
    if (!p.name.empty()) out.authors.push_back(std::move(p));
  }
  if (out.authors.empty()) {
    std::string authors = value_of("author");
    for (std::size_t start = 0; start <= authors.size();) {
      auto comma = authors.find(',', start);
      auto name = py_strip(std::string_view(authors).substr(start, comma == std::string::npos ? comma : comma - start));
      if (!name.empty()) out.authors.push_back(Person{std::string(name), std::nullopt, {}});
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  if (auto nf = value_of("nextflowVersion"); !nf.empty()) {
    std::string constraint = nf;
    if (!constraint.empty() && constraint.front() == '!') constraint.erase(0, 1);  // "!": a hard requirement
    out.dependencies.push_back(Dependency{"nextflow", constraint, "runtime"});
  }
}

}  // namespace ostrameld::metadata
