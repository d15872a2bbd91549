#include "ostrameld/plugins/full/docs.h"

#include <algorithm>
#include <array>

#include "ostrameld/metadata/model.h"
#include "ostrameld/plugins/full/evidence.h"
#include "ostrameld/utils/ecosystem.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kIndicators{"documentation"sv};

// Folder names that hold documentation sources.
constexpr std::array kDocDirs{"doc"sv, "docs"sv, "documentation"sv, "sphinx"sv, "docsrc"sv, "doc-src"sv,
                              "website"sv, "manual"sv, "user-guide"sv, "guide"sv};
constexpr std::array kExampleDirs{"examples"sv, "example"sv, "demo"sv, "demos"sv, "tutorials"sv, "tutorial"sv,
                                  "notebooks"sv, "samples"sv, "vignettes"sv, "cookbook"sv, "gallery"sv};
constexpr std::array kPageSuffixes{".md"sv, ".rst"sv, ".adoc"sv, ".txt"sv, ".html"sv, ".Rmd"sv,
                                   ".qmd"sv, ".ipynb"sv, ".tex"sv, ".org"sv, ".markdown"sv, ".Rd"sv};

std::string last_component(std::string_view rel) {
  auto slash = rel.rfind('/');
  return std::string(slash == std::string_view::npos ? rel : rel.substr(slash + 1));
}

std::size_t word_count(std::string_view text) {
  std::size_t words = 0;
  bool in_word = false;
  for (char c : text) {
    bool letter = std::isalnum(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) >= 0x80;
    if (letter && !in_word) ++words;
    in_word = letter;
  }
  return words;
}

bool any_heading(const std::vector<std::string>& headings, const Regex& re) {
  return std::any_of(headings.begin(), headings.end(), [&](const std::string& h) { return re.search(h); });
}

// Where the ecosystem's documentation site lives, for the advice.
std::string site_advice(const Ecosystems& eco) {
  if (eco.r) return "a pkgdown site (usethis::use_pkgdown_github_pages())";
  if (eco.python) return "a Sphinx or MkDocs site built on Read the Docs";
  if (eco.julia) return "a Documenter.jl site (docs/make.jl)";
  if (eco.rust) return "doc comments, published on docs.rs with the crate";
  if (eco.go) return "doc comments, published on pkg.go.dev with the module";
  if (eco.maven || eco.gradle) return "Javadoc (maven-javadoc-plugin) or a Maven site";
  if (eco.node) return "TypeDoc or a docs/ site";
  if (eco.cmake) return "Doxygen (a Doxyfile) or a Sphinx site";
  return "a docs/ folder or a documentation site (MkDocs, Sphinx)";
}

}  // namespace

std::vector<std::string> readme_headings(std::string_view text) {
  static const Regex atx(R"((?m)^[ ]{0,3}#{1,6}[ \t]+([^\n]+?)[ \t#]*$)");
  static const Regex underlined(R"((?m)^([^\s\n][^\n]*)\n[=\-~^"'`*+#]{3,}[ \t]*$)");
  static const Regex adoc(R"((?m)^={1,6}[ \t]+([^\n]+)$)");
  static const Regex org(R"((?m)^\*{1,6}[ \t]+([^\n]+)$)");
  static const Regex html(R"(<[hH][1-6][^>]*>([^<]{1,200})</[hH][1-6]>)");
  static const Regex bold(R"((?m)^\*\*([^*\n]{1,80})\*\*:?[ \t]*$)");
  std::vector<std::string> out;
  for (const Regex* re : {&atx, &underlined, &adoc, &org, &html, &bold})
    for (auto h : re->find_all_groups(text, 1)) out.emplace_back(py_strip(h));
  return out;
}

std::span<const std::string_view> DocsPlugin::supported_indicators() const { return kIndicators; }

CheckResult DocsPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  static const Regex install_heading(
      R"((?i)install|set[ -]?up\b|getting started|quick[ -]?start|download|build|compil|obtain)");
  static const Regex usage_heading(
      R"((?i)usage|example|tutorial|getting started|quick[ -]?start|how to|\busing\b|\buse\b|run|user guide|manual|demo|documentation|walkthrough)");
  static const Regex install_command(
      R"((?i)pip install|conda install|mamba install|install\.packages\(|remotes::install_|devtools::install_|pak::pkg_install|BiocManager::install|cargo (?:add|install)|npm (?:install|i) |yarn add|pnpm add|go (?:get|install) |Pkg\.add|\]\s*add |mvn install|cmake --build|make install|apt(?:-get)? install|brew install|<dependency>|nextflow run |nextflow pull |snakedeploy deploy-workflow)");
  const Path& root = ctx.repo_path;
  const ProjectMetadata& m = ctx.metadata();
  Ecosystems eco = detect_ecosystems(root);

  // The README and its sections.
  const bool has_readme = !m.readme_path.empty();
  std::size_t words = has_readme ? word_count(m.readme_text) : 0;
  std::vector<std::string> headings = readme_headings(m.readme_text);
  bool install = has_readme && (any_heading(headings, install_heading) || install_command.search(m.readme_text));
  bool usage = has_readme && any_heading(headings, usage_heading);
  std::vector<std::string> root_names = list_directory(root, root);
  std::sort(root_names.begin(), root_names.end());
  std::vector<std::string> reference;
  for (const auto& name : root_names) {
    std::string lower = ascii_lower(name);
    if (!file_seen(root / name, root)) continue;
    bool manual = lower.rfind("manual", 0) == 0 || lower.rfind("usage", 0) == 0 ||
                  (file_suffix(lower) == ".markdown" && lower.rfind("readme", 0) != 0);
    if (lower.rfind("install", 0) == 0 && file_suffix(lower) != ".sh" && file_suffix(lower) != ".py") {
      install = true;
      reference.push_back(name);
    } else if (manual) {
      usage = true;
      reference.push_back(name);
    }
  }

  // A documentation site, wherever its configuration lies.
  std::string site;
  auto probe = [&](std::string_view rel, std::string_view kind) {
    if (site.empty() && file_seen(root / rel, root)) site = std::string(kind) + " (" + std::string(rel) + ")";
  };
  for (auto rel : {"mkdocs.yml"sv, "mkdocs.yaml"sv, "docs/mkdocs.yml"sv}) probe(rel, "MkDocs");
  for (auto rel : {"_pkgdown.yml"sv, "_pkgdown.yaml"sv, "pkgdown/_pkgdown.yml"sv, "inst/_pkgdown.yml"sv}) probe(rel, "pkgdown");
  probe("docs/make.jl", "Documenter.jl");
  for (auto rel : {"book.toml"sv, "docs/book.toml"sv, "book/book.toml"sv}) probe(rel, "mdBook");
  for (auto rel : {"typedoc.json"sv, "typedoc.config.js"sv}) probe(rel, "TypeDoc");
  for (auto rel : {"_quarto.yml"sv, "docs/_quarto.yml"sv}) probe(rel, "Quarto");
  for (const auto& dir : m.directories) {
    if (!site.empty()) break;
    // Sphinx's conf.py in any docs-like folder (docs/, doc/source/, python/docs/, ...).
    if (has_component(dir, kDocDirs)) probe(dir + "/conf.py", "Sphinx");
  }
  for (auto rel : {"Doxyfile"sv, "Doxyfile.in"sv, "docs/Doxyfile"sv, "doc/Doxyfile"sv, "docs/Doxyfile.in"sv, "doc/Doxyfile.in"sv})
    probe(rel, "Doxygen");
  for (auto rel : {".readthedocs.yaml"sv, ".readthedocs.yml"sv, "readthedocs.yml"sv}) probe(rel, "Read the Docs");
  if (site.empty() && dir_seen(root / "src" / "site", root)) site = "Maven site (src/site)";
  if (site.empty() && (eco.maven) && file_seen(root / "pom.xml", root)) {
    try {
      std::string pom = read_text_prefix(root / "pom.xml", ReadMode::Replace, 1 << 20, root);
      if (pom.find("maven-javadoc-plugin") != std::string::npos) site = "Javadoc (pom.xml)";
    } catch (const OsError&) {
    }
  }
  if (site.empty())
    if (const MetadataSource* pkg = m.find("package.json"))
      for (const auto& d : pkg->dependencies)
        if (d.name == "typedoc") site = "TypeDoc (package.json)";
  // docs.rs documents a crate's library; a crate of programs only has no pages there.
  bool rust_library = false;
  if (eco.rust) {
    const MetadataSource* cargo = m.find("Cargo.toml");
    rust_library = file_seen(root / "src" / "lib.rs", root) ||
                   (cargo && cargo->data.is_object() && cargo->data.contains("lib"));
  }
  auto useless = [&](const std::string& u) { return !rust_library && u.find("docs.rs/") != std::string::npos; };
  if (site.empty()) {
    // Documentation published elsewhere: the address a manifest gives for it.
    static const Regex doc_url(R"((?i)readthedocs\.(?:io|org)|\.github\.io|docs\.rs/|pkg\.go\.dev|/docs?\b|documentation|\bdocs\.)");
    for (const auto& s : m.sources) {
      if (s.path.find('/') != std::string::npos) continue;
      for (const auto& u : s.urls)
        if (site.empty() && doc_url.search(u) && !useless(u)) site = "published at " + u + " (" + s.path + ")";
    }
  }
  if (site.empty() && has_readme) {
    // Documentation the README links to by name.
    static const Regex doc_link(
        R"((?i)\[[^\]\n]{0,40}\b(?:docs|documentation|api reference|reference manual|user guide|manual|handbook)\b[^\]\n]{0,40}\]\((https?://[^)\s]+)\))");
    static const Regex image(R"((?i)shields\.io|badge|\.(?:svg|png|gif|jpe?g|webp)(?:\?|$))");
    static const Regex doc_url(R"((?i)^https?://(?:docs?\.|[^/]*readthedocs\.(?:io|org)|[^/]*\.github\.io/|[^/]+/(?:docs?|documentation|manual|reference)(?:/|$|\.html)))");
    // Only the project's own pages: a README also links the documentation of what it
    // builds on and its community's general guides. Pages that name the project come
    // before its owner's.
    evidence::OwnNames own = evidence::own_names(ctx);
    std::vector<std::string> named, links = evidence::links_in(m.readme_text);
    // "Documentation: [site](URL)", "The usage ... is described in the [catalog](URL)".
    static const Regex doc_line(
        R"((?i)\b(?:docs|documentation|usage|manual|user guide)\b[^\n\[]{0,60}\[[^\]\n]{0,60}\]\((https?://[^)\s]+)\))");
    for (auto u : doc_link.find_all_groups(m.readme_text, 1)) named.emplace_back(u);
    for (auto u : doc_line.find_all_groups(m.readme_text, 1)) named.emplace_back(u);
    // A forge's page counts only as the repository's wiki.
    static const Regex forge(R"((?i)^https?://(?:www\.)?(?:github\.com|gitlab\.com|bitbucket\.org|codeberg\.org)/)");
    std::erase_if(named, [](const std::string& u) { return forge.search(u) && u.find("/wiki") == std::string::npos; });
    std::erase_if(links, [](const std::string& u) { return forge.search(u) && u.find("/wiki") == std::string::npos; });
    std::erase_if(named, useless);
    std::erase_if(links, useless);
    for (bool owners : {false, true}) {
      for (const auto& u : named)
        if (site.empty() && !image.search(u) && evidence::names_project(u, own, owners)) site = "linked from the README: " + u;
      for (const auto& u : links)
        if (site.empty() && !image.search(u) && doc_url.search(u) && evidence::names_project(u, own, owners))
          site = "linked from the README: " + u;
    }
  }
  if (site.empty() && rust_library)
    for (const auto& r : evidence::registry_evidence(m))
      if (r.registry == "crates") site = "docs.rs (published crate)";
  // pkg.go.dev documents a module's packages; of a command (package main at the root) it
  // shows little more than the doc comment.
  bool go_command = false;
  if (eco.go && file_seen(root / "main.go", root)) {
    try {
      static const Regex main_package(R"((?m)^package\s+main\b)");
      go_command = main_package.search(read_text_prefix(root / "main.go", ReadMode::Replace, 16 * 1024, root));
    } catch (const OsError&) {
    }
  }
  if (site.empty() && eco.go && !go_command)
    if (const MetadataSource* mod = m.find("go.mod"); mod && mod->title.find('.') != std::string::npos &&
                                                      mod->title.find('/') != std::string::npos)
      site = "pkg.go.dev (" + mod->title + ")";

  // Bioconductor builds each of its packages' vignettes into the package's landing page,
  // which also says how to install it.
  if (eco.r && site.empty())
    if (const MetadataSource* d = m.find("DESCRIPTION"); d && d->data.is_object()) {
      auto views = d->data.find("biocViews");
      if (views != d->data.end() && views->is_string() && !py_strip(views->get<std::string>()).empty()) {
        site = "Bioconductor landing page (" + (d->title.empty() ? std::string("the package") : d->title) + ")";
        install = true;
      }
    }
  // An R package's vignettes are its usage guides.
  if (eco.r && !usage && dir_seen(root / "vignettes", root)) usage = true;

  // Reference pages and examples.
  if (eco.r && dir_seen(root / "man", root)) reference.emplace_back("man/");
  for (auto dir : kDocDirs) {
    std::string d(dir);
    if (!dir_seen(root / d, root)) continue;
    std::vector<std::string> names = list_directory_seen(root / d, root);
    bool pages = std::any_of(names.begin(), names.end(), [&](const std::string& n) {
      return std::find(kPageSuffixes.begin(), kPageSuffixes.end(), file_suffix(n)) != kPageSuffixes.end() ||
             dir_seen(root / d / n, root);
    });
    if (pages) reference.push_back(d + "/");
  }
  std::vector<std::string> examples;
  // A workflow's example is its test run: nf-core's test profile, Snakemake's .test/.
  for (auto rel : {"conf/test.config"sv, ".test"sv})
    if (file_seen(root / rel, root) || dir_seen(root / rel, root)) examples.push_back(std::string(rel) + (rel == ".test" ? "/" : ""));
  for (const auto& dir : m.directories) {
    int depth = static_cast<int>(std::count(dir.begin(), dir.end(), '/'));
    if (depth > 1 || examples.size() >= 10) continue;
    std::string name = ascii_lower(last_component(dir));
    // R CMD check keeps the examples' output in tests/Examples: no examples of its own.
    bool in_tests = dir.rfind("tests/", 0) == 0 || dir.rfind("test/", 0) == 0;
    if (!in_tests && std::find(kExampleDirs.begin(), kExampleDirs.end(), name) != kExampleDirs.end())
      examples.push_back(dir + "/");
  }
  // Go's runnable examples are tests named for them (example_test.go, x_example_test.go).
  for (const auto& f : m.test_files)
    if (examples.size() < 10 && file_suffix(f) == ".go" && last_component(f).find("example") != std::string::npos) {
      examples.push_back(f);
      break;
    }
  std::size_t notebooks = static_cast<std::size_t>(std::count_if(m.files.begin(), m.files.end(), [](const NotableFile& f) {
    return file_suffix(f.name) == ".ipynb";
  }));
  if (notebooks && examples.empty()) examples.push_back(std::to_string(notebooks) + " notebooks");

  double score = 0.0;
  std::vector<std::string> advice;
  std::vector<std::string> found;
  const bool snakemake = std::any_of(m.files.begin(), m.files.end(), [](const NotableFile& f) { return f.name == "Snakefile"; });
  if (has_readme) {
    score += words >= 100 ? 4.0 : words >= 30 ? 3.0 : 1.0;
    found.push_back(m.readme_path + " (" + std::to_string(words) + " words)");
    if (words < 100) advice.push_back(m.readme_path + " is short: say what the software does, for whom, how to install and how to use it.");
  } else {
    advice.push_back("Add a README.md that says what the software does, how to install it and how to use it.");
  }
  if (install) score += 1.5;
  else if (has_readme && snakemake)
    advice.push_back("Say in " + m.readme_path + " how to deploy the workflow (snakedeploy deploy-workflow URL DIR --tag VERSION) and run it.");
  else if (has_readme && m.find("nextflow.config"))
    advice.push_back("Say in " + m.readme_path + " how to run the pipeline (nextflow run OWNER/NAME -r VERSION -profile docker).");
  else if (has_readme) advice.push_back("Add an \"Installation\" section to " + m.readme_path + ".");
  if (usage) score += 1.5;
  else if (has_readme) advice.push_back("Add a \"Usage\" section with an example to " + m.readme_path + ".");
  if (!site.empty() || !reference.empty()) {
    score += 2.0;
    if (!site.empty()) found.push_back(site);
  } else {
    advice.push_back("Document the interface with " + site_advice(eco) + ".");
  }
  if (!examples.empty()) score += 1.0;
  else if (eco.r) advice.push_back("Add a vignette that walks through a typical analysis (usethis::use_vignette(\"intro\")).");
  else advice.push_back("Add worked examples (an examples/ folder or notebooks).");
  if (!has_readme) score = std::min(score, 5.0);

  std::string output = has_readme ? "README " + m.readme_path : "No README";
  if (has_readme) {
    std::vector<std::string> parts;
    if (install) parts.emplace_back("installation");
    if (usage) parts.emplace_back("usage");
    output += parts.empty() ? " without installation or usage sections" : " with " + join(parts, " and ");
  }
  if (!site.empty()) output += "; documentation site: " + site;
  Json facts{{"readme", has_readme ? Json(m.readme_path) : Json(nullptr)},
             {"site", site.empty() ? Json(nullptr) : Json(site)},
             {"readme_words", words},
             {"sections", {{"install", install}, {"usage", usage}}},
             {"reference", reference},
             {"examples", examples}};
  return make_result(indicator_id, {.score = score,
                                    .process = "Read the README's headings and looked for documentation sites, "
                                               "reference pages and examples",
                                    .output = output,
                                    .evidence = join(found, "; "),
                                    .advice = std::move(advice),
                                    .facts = std::move(facts)});
}

}  // namespace ostrameld
