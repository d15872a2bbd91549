#include "ostrameld/plugins/full/evidence.h"

#include <algorithm>
#include <array>

#include "ostrameld/utils/files.h"
#include "ostrameld/utils/identifiers.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/url.h"

namespace ostrameld::evidence {

namespace {

using namespace std::string_view_literals;

bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

struct Prefix {
  std::string_view prefix;
  std::string_view name;
};
constexpr std::array kArchives{
    Prefix{"10.5281/zenodo.", "Zenodo"},    Prefix{"10.6084/m9.figshare.", "figshare"},
    Prefix{"10.17605/osf.io/", "OSF"},      Prefix{"10.5061/dryad.", "Dryad"},
    Prefix{"10.7910/dvn/", "Dataverse"},    Prefix{"10.4121/", "4TU.ResearchData"},
    Prefix{"10.25080/", "SciPy proceedings"},
    // Registries that mint a DOI for each package they publish.
    Prefix{"10.32614/cran.package.", "CRAN"}, Prefix{"10.18129/b9.bioc.", "Bioconductor"},
};
// SciPy proceedings are papers; the table above names where a DOI comes from, and
// is_paper_doi decides what it names.
constexpr std::array kPapers{"10.21105/joss."sv, "10.48550/arxiv."sv, "10.1101/"sv,
                             "10.5334/jors."sv, "10.25080/"sv};

}  // namespace

std::string archive_of_doi(std::string_view doi) {
  std::string lower = ascii_lower(doi);  // DOIs are case-insensitive; CRAN's are capitalised
  for (const auto& a : kArchives)
    if (starts_with(lower, a.prefix) && !is_paper_doi(lower)) return std::string(a.name);
  return {};
}

bool is_paper_doi(std::string_view doi) {
  return std::any_of(kPapers.begin(), kPapers.end(),
                     [&](std::string_view p) { return starts_with(doi, p); });
}

std::string zenodo_record(std::string_view doi) {
  constexpr auto prefix = "10.5281/zenodo."sv;
  if (!starts_with(doi, prefix)) return {};
  std::string_view id = doi.substr(prefix.size());
  if (id.empty() || id.find_first_not_of("0123456789") != std::string_view::npos) return {};
  return std::string(id);
}

ReadmeDois readme_dois(std::string_view readme) {
  // A heading about citing the software ("Citation", "How to cite", "Citing X", "Cite
  // this work", "References"), not one that merely names citations ("Citation File
  // Format", "Supported citation styles").
  static const Regex citing(
      R"((?i)^\W*(?:how\s+to\s+|please\s+|when\s+)?(?:cite|citing|citations?(?!\s+file\s+format)|references?|publications?|acknowledg\w*|doi)\b|\bcite\b)");
  ReadmeDois out;
  // Headings: Markdown's "#", AsciiDoc's "=", and reStructuredText's underlined lines.
  enum class Place { Header, Citing, Other } place = Place::Header;
  int headings = 0;
  std::vector<std::string_view> lines;
  for (std::size_t pos = 0; pos <= readme.size();) {
    std::size_t eol = readme.find('\n', pos);
    if (eol == std::string_view::npos) eol = readme.size();
    lines.push_back(readme.substr(pos, eol - pos));
    pos = eol + 1;
  }
  auto underline = [](std::string_view l) {
    while (!l.empty() && (l.back() == '\r' || l.back() == ' ')) l.remove_suffix(1);
    return l.size() >= 3 && l.find_first_not_of(l.front()) == std::string_view::npos &&
           std::string_view("=-~^*#").find(l.front()) != std::string_view::npos;
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    std::optional<std::string_view> heading;
    int level = 0;
    if (!line.empty() && (line.front() == '#' || line.front() == '=')) {
      std::size_t n = line.find_first_not_of(line.front());
      if (n != std::string_view::npos && n <= 6 && line[n] == ' ') {
        heading = line.substr(n + 1);
        level = static_cast<int>(n);
      }
    } else if (i + 1 < lines.size() && !py_strip(line).empty() && underline(lines[i + 1]) &&
               !underline(line)) {
      heading = line;
      level = ++headings == 1 ? 1 : 2;  // the first underlined line is the title
      ++i;
    }
    if (heading) {
      // The title does not end the header; the first section does.
      if (level >= 2 || place != Place::Header)
        place = citing.search(*heading) ? Place::Citing : Place::Other;
      else if (citing.search(*heading))
        place = Place::Citing;
      continue;
    }
    if (place == Place::Other) continue;
    for (auto& doi : dois_in_text(line)) {
      auto& list = place == Place::Header ? out.header : out.citing;
      if (std::find(list.begin(), list.end(), doi) == list.end()) list.push_back(doi);
    }
  }
  return out;
}

std::vector<CitationFile> citation_files(const Path& root) {
  static const Regex bib_entry(R"((?m)^\s*@\s*([A-Za-z]+)\s*[{(])");
  static const Regex r_entry(R"((?m)\b(?:bibentry|citEntry)\s*\()");
  static const Regex bib_doi(R"((?i)\bdoi\s*=\s*[{"]\s*([^}"\s]+))");
  static const Regex r_type(R"((?i)\b(?:bibtype|entry)\s*=\s*["']([A-Za-z]+)["'])");
  std::vector<CitationFile> out;
  for (std::string_view rel : {"inst/CITATION"sv, "CITATION.bib"sv}) {
    Path file = root / std::string(rel);
    if (!file_seen(file, root)) continue;
    std::string text;
    try {
      text = read_text_prefix(file, ReadMode::Replace, 1 << 20, root);
    } catch (const OsError&) {
      continue;
    }
    const Regex& entry = rel == "CITATION.bib" ? bib_entry : r_entry;
    std::vector<std::size_t> starts;
    for (std::size_t from = 0; from < text.size();) {
      auto at = entry.find(std::string_view(text).substr(from));
      if (!at) break;
      starts.push_back(from + *at);
      from += *at + 1;
    }
    CitationFile f{std::string(rel), {}};
    for (std::size_t i = 0; i < starts.size(); ++i) {
      std::string_view body = std::string_view(text).substr(
          starts[i], (i + 1 < starts.size() ? starts[i + 1] : text.size()) - starts[i]);
      CitationEntry e;
      auto type = rel == "CITATION.bib" ? bib_entry.search_group(body, 1) : r_type.search_group(body, 1);
      e.type = ascii_lower(type.value_or(""));
      if (e.type == "comment" || e.type == "string" || e.type == "preamble") continue;
      if (auto d = bib_doi.search_group(body, 1)) {
        auto found = dois_in_text(*d);
        if (!found.empty()) e.doi = found.front();
      }
      f.entries.push_back(std::move(e));
    }
    if (!f.entries.empty()) out.push_back(std::move(f));
  }
  return out;
}

std::vector<std::string> reference_dois(const ProjectMetadata& m) {
  std::vector<std::string> out;
  for (const auto& s : m.sources) {
    if (s.path.find('/') != std::string::npos) continue;  // the root's sources only
    for (const auto& r : s.references) {
      // Zenodo's "isVersionOf"/"isIdenticalTo" name the software itself.
      if (r.relation == "isVersionOf" || r.relation == "isIdenticalTo" ||
          r.relation == "isNewVersionOf" || r.relation == "isPreviousVersionOf")
        continue;
      for (const auto& d : r.dois)
        if (std::find(out.begin(), out.end(), d) == out.end()) out.push_back(d);
    }
  }
  return out;
}

Reach reach_of(std::string_view url) {
  if (url.empty()) return Reach::Invalid;
  std::string lower = ascii_lower(url);
  if (starts_with(lower, "git+")) lower = lower.substr(4);
  if (starts_with(lower, "file:") || lower.front() == '/' || lower.front() == '.' ||
      lower.front() == '~')
    return Reach::LocalPath;
  auto parts = parse_url(lower);
  if (!parts || parts->host.empty()) {
    return lower.find("://") == std::string::npos && lower.find(':') == std::string::npos
               ? Reach::LocalPath
               : Reach::Invalid;
  }
  std::string host = parts->host.substr(0, parts->host.rfind(':') == std::string::npos ||
                                                   parts->host.back() == ']'
                                               ? std::string::npos
                                               : parts->host.rfind(':'));
  static const Regex private_v4(
      "^(?:127\\.|10\\.|192\\.168\\.|172\\.(?:1[6-9]|2[0-9]|3[01])\\.|169\\.254\\.|0\\.)");
  auto ends = [&](std::string_view tail) {
    return host.size() > tail.size() && host.compare(host.size() - tail.size(), tail.size(), tail) == 0;
  };
  bool private_host = host == "localhost" || host.find('.') == std::string::npos ||
                      private_v4.search(host) || host.front() == '[' || ends(".local") ||
                      ends(".internal") || ends(".lan") || ends(".localhost");
  if (private_host) return Reach::PrivateHost;
  if (parts->scheme == "http") return Reach::PlainHttp;
  if (parts->scheme == "https" || parts->scheme == "ssh" || parts->scheme == "git" ||
      parts->scheme == "git+ssh")
    return Reach::Public;
  return Reach::Invalid;
}

std::string normalize_repository(std::string_view url) {
  std::string u(url);
  if (starts_with(ascii_lower(u), "git+")) u = u.substr(4);
  auto parts = parse_url(u);
  if (!parts || parts->host.empty()) return ascii_lower(u);
  std::string host = parts->host;
  if (auto colon = host.rfind(':'); colon != std::string::npos && host.back() != ']')
    host.resize(colon);  // an ssh port or https port names the same repository
  if (starts_with(host, "www.")) host = host.substr(4);
  std::string path = parts->path;
  // A web page below a repository (/tree/main, /-/blob/...) is the repository.
  bool forge = host == "github.com" || host == "codeberg.org" || host == "bitbucket.org" ||
               host == "gitea.com";
  if (auto web = path.find("/-/"); web != std::string::npos) path.resize(web);
  if (forge) {
    auto first = path.find('/');
    if (first != std::string::npos) {
      auto second = path.find('/', first + 1);
      if (second != std::string::npos) path.resize(second);
    }
  }
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".git") == 0) path.resize(path.size() - 4);
  while (!path.empty() && path.back() == '/') path.pop_back();
  return host + "/" + ascii_lower(path);
}

std::string public_remote(const Context& ctx) {
  std::vector<std::string> candidates;
  if (ctx.repo_url) candidates.push_back(*ctx.repo_url);
  if (ctx.git_repo) candidates.push_back(ctx.git_repo->remote_url);
  for (const auto& c : candidates) {
    auto kind = reach_of(c);
    if (kind == Reach::Public || kind == Reach::PlainHttp) return redact_url(c);
  }
  return {};
}

namespace {

std::string alnum_lower(std::string_view s) {
  std::string out;
  for (char c : s)
    if (std::isalnum(static_cast<unsigned char>(c))) out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return out;
}

void add_name(std::vector<std::string>& out, std::string_view raw) {
  auto add = [&](std::string n) {
    if (n.size() >= 2 && std::find(out.begin(), out.end(), n) == out.end() && out.size() < 32) out.push_back(std::move(n));
  };
  std::string n = alnum_lower(raw);
  add(n);
  // The language's mark on a package name is not part of what its site is called.
  std::string lower = ascii_lower(raw);
  for (std::string_view suffix : {".jl", ".js", "-python", "-py", ".py", "-r", "-rs", "-go"})
    if (lower.size() > suffix.size() + 1 && lower.ends_with(suffix)) add(alnum_lower(lower.substr(0, lower.size() - suffix.size())));
  for (std::string_view prefix : {"py", "r-", "go-", "node-"})
    if (lower.size() > prefix.size() + 2 && lower.starts_with(prefix)) add(alnum_lower(lower.substr(prefix.size())));
  add(n + "js");
}

}  // namespace

// Needs the git metadata: only for checks that require git.
OwnNames own_names(const Context& ctx) {
  OwnNames own;
  std::vector<std::string> remotes;
  if (ctx.repo_url) remotes.push_back(*ctx.repo_url);
  if (ctx.git_repo) remotes.push_back(ctx.git_repo->remote_url);
  const ProjectMetadata& m = ctx.metadata();
  for (const auto& s : m.sources)
    if (s.path.find('/') == std::string::npos)
      for (const auto& r : s.repository_urls) remotes.push_back(r);
  for (const auto& r : remotes) {
    std::string n = normalize_repository(r);  // host/owner/repo
    std::size_t a = n.find('/');
    std::size_t b = a == std::string::npos ? a : n.find('/', a + 1);
    if (b == std::string::npos) continue;
    std::string owner = alnum_lower(n.substr(a + 1, b - a - 1));
    if (owner.size() >= 2 && std::find(own.owners.begin(), own.owners.end(), owner) == own.owners.end()) own.owners.push_back(owner);
    if (std::string whole = n.substr(a + 1); std::find(own.repositories.begin(), own.repositories.end(), whole) == own.repositories.end())
      own.repositories.push_back(whole);
    add_name(own.names, n.substr(b + 1));
  }
  for (const auto& s : m.sources) {
    if (s.path.find('/') != std::string::npos || s.title.empty()) continue;
    std::string_view t = s.title;
    // "nf-core/rnaseq", "@scope/name", "github.com/spf13/cobra": the last part names it.
    if (auto slash = t.rfind('/'); slash != std::string_view::npos) t = t.substr(slash + 1);
    add_name(own.names, t);
  }
  return own;
}

bool names_project(std::string_view url, const OwnNames& own, bool owners) {
  if (own.names.empty() && own.owners.empty()) return true;  // nothing to tell the project's pages by
  std::string lower = ascii_lower(url);
  for (std::size_t at; (at = lower.find("%2f")) != std::string::npos;) lower.replace(at, 3, "/");
  std::size_t scheme = lower.find("://");
  std::string_view rest = scheme == std::string::npos ? std::string_view(lower) : std::string_view(lower).substr(scheme + 3);
  std::string_view host = rest.substr(0, rest.find_first_of("/?#"));
  if (host.starts_with("www.")) host.remove_prefix(4);
  std::string_view path = host.size() < rest.size() ? rest.substr(rest.find_first_of("/?#")) : std::string_view{};
  while (!path.empty() && path.front() == '/') path.remove_prefix(1);
  std::string first = alnum_lower(path.substr(0, path.find_first_of("/?#")));
  std::string_view after = path.find('/') == std::string_view::npos ? std::string_view{} : path.substr(path.find('/') + 1);
  std::string second = alnum_lower(after.substr(0, after.find_first_of("/?#")));
  auto in = [](const std::string& token, const std::vector<std::string>& tokens) {
    return !token.empty() && std::find(tokens.begin(), tokens.end(), token) != tokens.end();
  };
  // A host names a token when one of its labels is the token, or, for names of four
  // letters or more, a run of its words is ("js.cytoscape.org", "nf-co.re").
  auto host_names = [&](const std::vector<std::string>& tokens) {
    std::vector<std::string> words;
    std::string cur;
    for (char c : host) {
      if (c == '.') {
        if (in(alnum_lower(cur), tokens)) return true;
        cur.clear();
      } else {
        cur.push_back(c);
      }
    }
    if (in(alnum_lower(cur), tokens)) return true;
    std::string run;
    std::vector<std::string> w;
    for (char c : host) {
      if (std::isalnum(static_cast<unsigned char>(c))) run.push_back(c);
      else if (!run.empty()) w.push_back(std::move(run)), run.clear();
    }
    if (!run.empty()) w.push_back(std::move(run));
    for (std::size_t i = 0; i < w.size(); ++i) {
      std::string joined;
      for (std::size_t j = i; j < w.size() && joined.size() < 64; ++j) {
        joined += w[j];
        if (joined.size() >= 4 && in(joined, tokens)) return true;
      }
    }
    return false;
  };
  static constexpr std::array kForges{"github.com"sv, "gitlab.com"sv, "bitbucket.org"sv, "codeberg.org"sv};
  if (std::find(kForges.begin(), kForges.end(), host) != kForges.end())
    return in(first, own.owners) && in(second, own.names);
  // A catalogue's page for this repository names it whole ("?usage=owner/name").
  for (const auto& r : own.repositories)
    if (path.find(r) != std::string_view::npos) return true;
  if (host.ends_with(".github.io") || host.ends_with(".gitlab.io")) {
    std::string site = alnum_lower(host.substr(0, host.size() - 10));
    if (in(first, own.names) || in(site, own.names)) return true;  // rust-bio.github.io
    return owners && first.empty() && in(site, own.owners);
  }
  // The site's own host names the project (fmt.dev, xarray.readthedocs.io); its owner's
  // host with the project in the path (nf-co.re/rnaseq); a host of every package's pages
  // with this one's (docs.rs/NAME, pkg.go.dev/...).
  if (host_names(own.names)) return true;
  bool shared_host = host_names(own.owners) || host == "docs.rs" || host == "pkg.go.dev" || host == "hexdocs.pm" ||
                     host == "rdrr.io" || host == "juliahub.com" || host.ends_with("bioconductor.org") ||
                     host.ends_with("r-project.org") || host.ends_with("readthedocs.io");
  if (shared_host && (in(first, own.names) || in(second, own.names))) return true;
  if (owners && host_names(own.owners)) return true;
  return false;
}

bool development_environment(const ProjectMetadata& m, const MetadataSource& s, const Path& root) {
  if (s.path.find('/') != std::string::npos) return false;
  bool installs_itself = s.data.is_object() && s.data.value("installs_project", false);
  if (s.name == "requirements.txt") return installs_itself;
  if (s.name == "environment.yml" || s.name == "environment.yaml") {
    static const Regex dev_name(R"((?i)(?:^|[-_])(?:dev|devel|development|test|tests|docs?|ci)(?:$|[-_]))");
    if (installs_itself || dev_name.search(s.title)) return true;
    return std::any_of(m.sources.begin(), m.sources.end(), [](const MetadataSource& p) {
      bool package = p.name == "pyproject.toml" || p.name == "setup.cfg" || p.name == "setup.py" || p.name == "DESCRIPTION";
      return package && p.path.find('/') == std::string::npos &&
             std::any_of(p.dependencies.begin(), p.dependencies.end(), [](const Dependency& d) { return d.scope == "runtime"; });
    });
  }
  if (s.name == "Gemfile") {
    static constexpr std::array kOther{"pyproject.toml"sv, "setup.cfg"sv, "setup.py"sv, "DESCRIPTION"sv, "package.json"sv,
                                       "Cargo.toml"sv, "pom.xml"sv, "Project.toml"sv, "go.mod"sv, "CMakeLists.txt"sv};
    bool other = std::any_of(m.sources.begin(), m.sources.end(), [](const MetadataSource& p) {
      return p.path.find('/') == std::string::npos && std::find(kOther.begin(), kOther.end(), p.name) != kOther.end();
    });
    if (!other) return false;
    std::vector<std::string> names;
    try {
      names = list_directory(root, root);
    } catch (const OsError&) {
    }
    return std::none_of(names.begin(), names.end(), [](const std::string& n) { return n.ends_with(".gemspec"); });
  }
  return false;
}

std::vector<std::string> links_in(std::string_view text) {
  static const Regex url("(https?://[^\\s<>\"'`\\[\\])|]+)");
  std::vector<std::string> out;
  for (auto u : url.find_all_groups(text, 1)) {
    std::string s(u);
    while (!s.empty() && std::string_view(".,;:!?").find(s.back()) != std::string_view::npos)
      s.pop_back();
    out.push_back(std::move(s));
  }
  return out;
}

std::string registry_title(std::string_view registry) {
  static const std::array<std::pair<std::string_view, std::string_view>, 23> kTitles{{
      {"zenodo", "Zenodo"},
      {"figshare", "figshare"},
      {"osf", "OSF"},
      {"dryad", "Dryad"},
      {"dataverse", "Dataverse"},
      {"4tu.researchdata", "4TU.ResearchData"},
      {"software-heritage", "Software Heritage"},
      {"pypi", "PyPI"},
      {"cran", "CRAN"},
      {"bioconductor", "Bioconductor"},
      {"conda-forge", "conda-forge"},
      {"bioconda", "Bioconda"},
      {"crates", "crates.io"},
      {"npm", "npm"},
      {"maven-central", "Maven Central"},
      {"julia-general", "Julia's General registry"},
      {"bio.tools", "bio.tools"},
      {"ascl", "ASCL"},
      {"vcpkg", "vcpkg"},
      {"conan-center", "Conan Center"},
      {"workflowhub", "WorkflowHub"},
      {"dockstore", "Dockstore"},
      {"jenkins-plugins", "the Jenkins update centre"},
  }};
  for (const auto& [k, v] : kTitles)
    if (k == registry) return std::string(v);
  return std::string(registry);
}

std::vector<RegistryEvidence> registry_evidence(const ProjectMetadata& m) {
  struct Pattern {
    std::string_view registry;
    Regex re;  // group 1: the package
  };
  static const std::array<Pattern, 27> kLinks{{
      {"pypi", Regex("^https?://(?:pypi\\.org|pypi\\.python\\.org)/(?:project|pypi)/([A-Za-z0-9._-]+)")},
      {"pypi", Regex("^https?://(?:img\\.shields\\.io|badge\\.fury\\.io)/(?:pypi/v|py)/([A-Za-z0-9._-]+?)(?:\\.svg)?(?:$|[?/])")},
      {"cran", Regex("^https?://cran\\.r-project\\.org/(?:package=|web/packages/)([A-Za-z][A-Za-z0-9.]*)", Regex::kCaseless)},
      {"cran", Regex("^https?://(?:www\\.)?r-pkg\\.org/(?:badges/version(?:-last-release)?/|pkg/)([A-Za-z][A-Za-z0-9.]*)")},
      {"cran", Regex("^https?://cranlogs\\.r-pkg\\.org/badges/(?:grand-total/|last-month/|last-week/)?([A-Za-z][A-Za-z0-9.]*)")},
      {"cran", Regex("^https?://img\\.shields\\.io/cran/v/([A-Za-z][A-Za-z0-9.]*)")},
      {"bioconductor", Regex("^https?://(?:www\\.)?bioconductor\\.org/packages/(?:release/bioc/html/|devel/bioc/html/|)([A-Za-z][A-Za-z0-9.]*)")},
      {"conda-forge", Regex("^https?://anaconda\\.org/conda-forge/([A-Za-z0-9._-]+)")},
      {"conda-forge", Regex("^https?://img\\.shields\\.io/conda/(?:vn|v|dn|pn)/conda-forge/([A-Za-z0-9._-]+?)(?:\\.svg)?(?:$|[?/])")},
      {"crates", Regex("^https?://crates\\.io/crates/([A-Za-z0-9_-]+)")},
      {"crates", Regex("^https?://img\\.shields\\.io/crates/v/([A-Za-z0-9_-]+?)(?:\\.svg)?(?:$|[?/])")},
      {"npm", Regex("^https?://(?:www\\.)?npmjs\\.(?:com|org)/package/((?:@[A-Za-z0-9._-]+/)?[A-Za-z0-9._-]+)")},
      {"npm", Regex("^https?://(?:img\\.shields\\.io/npm/v|badge\\.fury\\.io/js)/((?:@[A-Za-z0-9._-]+/)?[A-Za-z0-9._-]+?)(?:\\.svg)?(?:$|[?/])")},
      {"maven-central", Regex("^https?://(?:search\\.maven\\.org/artifact|central\\.sonatype\\.com/artifact|mvnrepository\\.com/artifact)/([A-Za-z0-9._-]+/[A-Za-z0-9._-]+)")},
      {"maven-central", Regex("^https?://(?:img\\.shields\\.io/maven-central/v|maven-badges\\.herokuapp\\.com/maven-central)/([A-Za-z0-9._-]+/[A-Za-z0-9._-]+)")},
      {"julia-general", Regex("^https?://juliahub\\.com/ui/Packages/(?:General/)?([A-Za-z0-9_]+)")},
      {"bio.tools", Regex("^https?://bio\\.tools/([A-Za-z0-9._-]+)")},
      {"ascl", Regex("^https?://(?:www\\.)?ascl\\.net/([0-9]{4}\\.[0-9]{3,})")},
      {"ascl", Regex("^ascl:([0-9]{4}\\.[0-9]{3,})")},
      {"pypi", Regex("^https?://pepy\\.tech/(?:badge/|project/)([A-Za-z0-9._-]+)")},
      {"conda-forge", Regex("^https?://github\\.com/conda-forge/([A-Za-z0-9._-]+)-feedstock")},
      {"bioconda", Regex("^https?://anaconda\\.org/bioconda/([A-Za-z0-9._-]+)")},
      {"bioconda", Regex("^https?://(?:bioconda\\.github\\.io/recipes/|img\\.shields\\.io/conda/(?:vn|v|dn|pn)/bioconda/)([A-Za-z0-9._-]+?)(?:\\.svg|/README\\.html|/)?(?:$|[?/])")},
      {"workflowhub", Regex("^https?://workflowhub\\.eu/workflows/([0-9]+)")},
      {"dockstore", Regex("^https?://dockstore\\.org/workflows/([A-Za-z0-9._/-]+?)(?:[:?#]|$)")},
      {"vcpkg", Regex("^https?://vcpkg\\.(?:io|link)/ports/([A-Za-z0-9-]+)")},
      {"conan-center", Regex("^https?://conan\\.io/center/recipes/([A-Za-z0-9_-]+)")},
  }};
  static const std::array<Pattern, 12> kInstalls{{
      {"pypi", Regex("(?m)\\bpip3? install(?: +-[-\\w=]+)* +[\"']?([A-Za-z0-9][A-Za-z0-9._-]*)")},
      {"cran", Regex("install\\.packages\\(\\s*[\"']([A-Za-z][A-Za-z0-9.]*)[\"']")},
      {"bioconductor", Regex("BiocManager::install\\(\\s*[\"']([A-Za-z][A-Za-z0-9.]*)[\"']")},
      {"conda-forge", Regex("conda install(?: +-[-\\w]+)*(?: +-c +conda-forge| +--channel +conda-forge)(?: +-[-\\w]+)* +([A-Za-z0-9][A-Za-z0-9._-]*)")},
      {"conda-forge", Regex("(?:conda|mamba) install(?: +-[-\\w]+)* +conda-forge::([A-Za-z0-9][A-Za-z0-9._-]*)")},
      {"crates", Regex("cargo (?:add|install) +([A-Za-z0-9_-]+)")},
      {"npm", Regex("(?:npm (?:install|i)(?: +-[-\\w]+)*|yarn add|pnpm add) +((?:@[A-Za-z0-9._-]+/)?[A-Za-z0-9._-]+)")},
      {"julia-general", Regex("(?:Pkg\\.add\\(\\s*\"|\\] ?add +|pkg> add +)([A-Za-z0-9_]+)")},
      {"bioconda", Regex("(?:conda|mamba) install(?: +-[-\\w]+)*(?: +-c +(?:conda-forge|defaults))*(?: +-c +bioconda| +--channel +bioconda)(?: +-c +[-\\w]+)*(?: +-[-\\w]+)* +([A-Za-z0-9][A-Za-z0-9._-]*)")},
      {"bioconda", Regex("(?:conda|mamba) install(?: +-[-\\w]+)* +bioconda::([A-Za-z0-9][A-Za-z0-9._-]*)")},
      {"vcpkg", Regex("\\bvcpkg install(?: +-[-\\w]+)* +([A-Za-z0-9][A-Za-z0-9-]*)")},
      {"conan-center", Regex("\\bconan install[^\\n]*?(?:--requires[= ]|--require[= ])([A-Za-z0-9_-]+)/")},
  }};
  std::vector<RegistryEvidence> out;
  auto add = [&](std::string_view registry, std::string package, std::string source) {
    if (registry == "pypi" || registry == "npm" || registry == "crates") package = ascii_lower(package);
    if (package.empty() || package == "-r" || package == "-e" || package == "." ||
        package == "git" || package == "requirements.txt")
      return;
    bool seen = std::any_of(out.begin(), out.end(), [&](const RegistryEvidence& e) {
      return e.registry == registry && e.package == package;
    });
    if (!seen) out.push_back({std::string(registry), std::move(package), std::move(source)});
  };
  auto scan_url = [&](const std::string& url, const std::string& source) {
    for (const auto& p : kLinks)
      if (auto g = p.re.search_group(url, 1)) add(p.registry, std::string(*g), source);
  };
  if (!m.readme_path.empty()) {
    for (const auto& link : links_in(m.readme_text)) scan_url(link, m.readme_path + " (link)");
    for (const auto& p : kInstalls)
      for (auto g : p.re.find_all_groups(m.readme_text, 1))
        add(p.registry, std::string(g), m.readme_path + " (install instructions)");
  }
  for (const auto& s : m.sources) {
    if (s.path.find('/') != std::string::npos) continue;
    for (const auto& u : s.urls) scan_url(u, s.name);
    for (const auto& id : s.identifiers) scan_url(id.raw, s.name);
  }
  // "pip install" of a name the project does not carry is a dependency, not this package.
  std::vector<std::string> names;
  for (const auto& s : m.sources)
    if (s.path.find('/') == std::string::npos && !s.title.empty()) names.push_back(ascii_lower(s.title));
  // A README links the packages it builds on, works with or competes with as often as its
  // own: a link to a registry that names packages by the manifest's name counts when it
  // names this package (Maven's, ASCL's and bio.tools' entries are named otherwise).
  auto own = [&](const RegistryEvidence& e) {
    bool from_readme = !m.readme_path.empty() && e.source.rfind(m.readme_path, 0) == 0;
    if (!from_readme) return true;  // the metadata's own addresses
    bool install = e.source.find("install instructions") != std::string::npos;
    bool by_name = e.registry == "pypi" || e.registry == "cran" || e.registry == "bioconductor" ||
                   e.registry == "conda-forge" || e.registry == "bioconda" || e.registry == "crates" || e.registry == "npm" ||
                   e.registry == "julia-general" || e.registry == "vcpkg" || e.registry == "conan-center";
    if (!install && (!by_name || names.empty())) return true;
    std::string p = ascii_lower(e.package);
    auto norm = [](std::string x) {
      std::replace(x.begin(), x.end(), '_', '-');
      std::replace(x.begin(), x.end(), '.', '-');
      return x;
    };
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return norm(n) == norm(p); });
  };
  out.erase(std::remove_if(out.begin(), out.end(), [&](const auto& e) { return !own(e); }), out.end());
  return out;
}

}  // namespace ostrameld::evidence
