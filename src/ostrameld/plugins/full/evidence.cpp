#include "ostrameld/plugins/full/evidence.h"

#include <algorithm>
#include <array>

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
};
// SciPy proceedings are papers; the table above names where a DOI comes from, and
// is_paper_doi decides what it names.
constexpr std::array kPapers{"10.21105/joss."sv, "10.48550/arxiv."sv, "10.1101/"sv,
                             "10.5334/jors."sv, "10.25080/"sv};

}  // namespace

std::string archive_of_doi(std::string_view doi) {
  for (const auto& a : kArchives)
    if (starts_with(doi, a.prefix) && !is_paper_doi(doi)) return std::string(a.name);
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

std::vector<std::string> links_in(std::string_view text) {
  static const Regex url("(https?://[^\\s<>\"'`\\])|]+)");
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
  static const std::array<std::pair<std::string_view, std::string_view>, 17> kTitles{{
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
      {"crates", "crates.io"},
      {"npm", "npm"},
      {"maven-central", "Maven Central"},
      {"julia-general", "Julia's General registry"},
      {"bio.tools", "bio.tools"},
      {"ascl", "ASCL"},
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
  static const std::array<Pattern, 21> kLinks{{
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
  }};
  static const std::array<Pattern, 8> kInstalls{{
      {"pypi", Regex("(?m)\\bpip3? install(?: +-[-\\w=]+)* +[\"']?([A-Za-z0-9][A-Za-z0-9._-]*)")},
      {"cran", Regex("install\\.packages\\(\\s*[\"']([A-Za-z][A-Za-z0-9.]*)[\"']")},
      {"bioconductor", Regex("BiocManager::install\\(\\s*[\"']([A-Za-z][A-Za-z0-9.]*)[\"']")},
      {"conda-forge", Regex("conda install(?: +-[-\\w]+)*(?: +-c +conda-forge| +--channel +conda-forge)(?: +-[-\\w]+)* +([A-Za-z0-9][A-Za-z0-9._-]*)")},
      {"conda-forge", Regex("(?:conda|mamba) install(?: +-[-\\w]+)* +conda-forge::([A-Za-z0-9][A-Za-z0-9._-]*)")},
      {"crates", Regex("cargo (?:add|install) +([A-Za-z0-9_-]+)")},
      {"npm", Regex("(?:npm (?:install|i)(?: +-[-\\w]+)*|yarn add|pnpm add) +((?:@[A-Za-z0-9._-]+/)?[A-Za-z0-9._-]+)")},
      {"julia-general", Regex("(?:Pkg\\.add\\(\\s*\"|\\] ?add +|pkg> add +)([A-Za-z0-9_]+)")},
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
  auto own = [&](const RegistryEvidence& e) {
    if (e.source.find("install instructions") == std::string::npos) return true;
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
