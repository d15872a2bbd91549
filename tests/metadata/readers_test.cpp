#include <gtest/gtest.h>

#include "ostrameld/metadata/model.h"
#include "support/temp_repo.h"

namespace ostrameld {
namespace {

using metadata::read_cargo;
using metadata::read_cff;
using metadata::read_codemeta;
using metadata::read_description;
using metadata::read_julia_project;
using metadata::read_nextflow_config;
using metadata::read_setup_py;
using metadata::read_package_json;
using metadata::read_pom;
using metadata::read_pyproject;
using metadata::read_setup_cfg;
using metadata::read_zenodo;

// What each reader makes of a realistic file: name, version, licences, authors with
// ORCIDs, repository, identifiers and dependencies, in one line per field.
std::string summary(const MetadataSource& s) {
  std::string out = "title=" + s.title + " version=" + s.version + " licences=";
  for (const auto& l : s.licences) out += l + ";";
  out += " authors=";
  for (const auto& a : s.authors)
    out += a.name + (a.orcid ? "<" + a.orcid->id + (a.orcid->checksum_valid ? "" : "!") + ">" : "") + ";";
  out += " repo=";
  for (const auto& r : s.repository_urls) out += r + ";";
  out += " ids=";
  for (const auto& i : s.identifiers) out += i.scheme + ":" + i.value + (i.well_formed ? "" : "!") + ";";
  out += " refs=";
  for (const auto& r : s.references) out += r.field + "(" + std::to_string(r.dois.size()) + ");";
  out += " deps=";
  for (const auto& d : s.dependencies) out += d.name + "[" + d.constraint + "]" + d.scope.substr(0, 1) + ";";
  out += " members=";
  for (const auto& m : s.members) out += m + ";";
  if (!s.problem.empty()) out += " problem";
  return out;
}

TEST(MetadataReaders, EachSourceAsWrittenInRealProjects) {
  using Reader = void (*)(std::string_view, MetadataSource&);
  struct {
    const char* name;
    Reader read;
    std::string text;
    std::string expected;
  } cases[] = {
      {"CFF with a concept DOI, an ORCID, a preferred citation", read_cff,
       "cff-version: 1.2.0\ntitle: pkg\nversion: 1.3.0\nlicense: [MIT, Apache-2.0]\n"
       "authors:\n  - family-names: Doe\n    given-names: Jane\n    orcid: https://orcid.org/0000-0002-1825-0097\n"
       "repository-code: https://github.com/a/pkg\ndoi: 10.5281/zenodo.123\n"
       "identifiers:\n  - type: swh\n    value: swh:1:rev:94a9ed024d3859793618152ea559a168bbcbb5e2\n"
       "  - type: doi\n    value: zenodo.123\n"
       "preferred-citation:\n  type: article\n  title: Paper\n  doi: 10.21105/joss.00001\n",
       "title=pkg version=1.3.0 licences=MIT;Apache-2.0; authors=Jane Doe<0000-0002-1825-0097>; "
       "repo=https://github.com/a/pkg; ids=doi:10.5281/zenodo.123;"
       "swhid:swh:1:rev:94a9ed024d3859793618152ea559a168bbcbb5e2;doi:zenodo.123!; "
       "refs=preferred-citation(1); deps= members="},
      {"CFF that is not YAML", read_cff, "title: [x\n",
       "title= version= licences= authors= repo= ids= refs= deps= members= problem"},
      {"codemeta in its JSON-LD shapes", read_codemeta,
       R"J({"@context":"https://w3id.org/codemeta/3.0","name":"pkg","softwareVersion":"2.0",
           "license":{"@id":"https://spdx.org/licenses/GPL-3.0-or-later"},
           "author":[{"@type":"Person","@id":"https://orcid.org/0000-0002-1825-0098","givenName":"A","familyName":"B"}],
           "codeRepository":"git+https://github.com/a/pkg.git",
           "identifier":[{"@type":"PropertyValue","propertyID":"DOI","value":"10.5281/zenodo.9"},"https://pypi.org/project/pkg"],
           "referencePublication":{"@type":"ScholarlyArticle","@id":"https://doi.org/10.1000/paper"},
           "softwareRequirements":[{"name":"numpy","version":">=1.20"},"https://cran.r-project.org/package=x"]})J",
       "title=pkg version=2.0 licences=https://spdx.org/licenses/GPL-3.0-or-later; "
       "authors=A B<0000-0002-1825-0098!>; repo=git+https://github.com/a/pkg.git; "
       "ids=doi:10.5281/zenodo.9; refs=referencePublication[0](1); "
       "deps=numpy[>=1.20]r;https://cran.r-project.org/package=x[]r; members="},
      {".zenodo.json creators and related identifiers", read_zenodo,
       R"J({"title":"pkg","version":"v1","license":{"id":"mit"},
           "creators":[{"name":"Doe, Jane","orcid":"0000-0002-1825-0097"}],
           "related_identifiers":[{"identifier":"https://github.com/a/pkg/tree/v1","relation":"isSupplementTo","scheme":"url"},
                                  {"identifier":"10.1000/paper","relation":"isDocumentedBy","scheme":"doi"}]})J",
       "title=pkg version=v1 licences=mit; authors=Jane Doe<0000-0002-1825-0097>; "
       "repo=https://github.com/a/pkg/tree/v1; ids= refs=related_identifiers[1](1); deps= members="},
      {"pyproject, PEP 621", read_pyproject,
       "[project]\nname = \"pkg\"\nversion = \"0.4\"\nlicense = {text = \"BSD-3-Clause\"}\n"
       "authors = [{name = \"Jane Doe\", email = \"j@x.org\"}]\n"
       "dependencies = [\"numpy>=1.21\", \"requests[socks] (>=2,<3)\", \"attrs\", \"pkg2 @ https://x.org/p.whl\"]\n"
       "[project.optional-dependencies]\ndocs = [\"sphinx; python_version>'3.8'\"]\n"
       "[project.urls]\nSource = \"https://github.com/a/pkg\"\n"
       "[dependency-groups]\ntest = [\"pytest>=7\"]\n",
       "title=pkg version=0.4 licences=BSD-3-Clause; authors=Jane Doe; repo=https://github.com/a/pkg; ids= "
       "refs= deps=numpy[>=1.21]r;requests[>=2,<3]r;attrs[]r;pkg2[@ https://x.org/p.whl]r;sphinx[]o;pytest[>=7]t; members="},
      {"pyproject, Poetry", read_pyproject,
       "[tool.poetry]\nname = \"pkg\"\nversion = \"1.0.0\"\nlicense = \"MIT\"\n"
       "authors = [\"Jane Doe <j@x.org>\"]\nrepository = \"https://gitlab.com/a/pkg\"\n"
       "[tool.poetry.dependencies]\npython = \"^3.9\"\nnumpy = \"^1.2\"\nscipy = {version = \"~1.10\", optional = true}\nx = \"*\"\n"
       "[tool.poetry.group.test.dependencies]\npytest = \"^7\"\n",
       "title=pkg version=1.0.0 licences=MIT; authors=Jane Doe; repo=https://gitlab.com/a/pkg; ids= refs= "
       "deps=numpy[^1.2]r;scipy[~1.10]o;x[]r;pytest[^7]t; members="},
      {"pyproject that is not TOML", read_pyproject, "[project\nname=1\n",
       "title= version= licences= authors= repo= ids= refs= deps= members= problem"},
      {"setup.cfg", read_setup_cfg,
       "[metadata]\nname = pkg\nversion = attr: pkg.__version__\nlicense = MIT\nauthor = A B, C D\n"
       "project_urls =\n    Source Code = https://github.com/a/pkg\n    Docs = https://pkg.rtfd.io\n"
       "[options]\ninstall_requires =\n    numpy>=1.2\n    # a comment\n    six\n",
       "title=pkg version= licences=MIT; authors=A B;C D; repo=https://github.com/a/pkg; ids= refs= "
       "deps=numpy[>=1.2]r;six[]r; members="},
      {"DESCRIPTION with Authors@R and ORCIDs in comments", read_description,
       "Package: rpkg\nVersion: 0.2.1\nLicense: GPL (>= 3)\n"
       "Authors@R: c(\n    person(\"Jane\", \"Doe\", email = \"j@x.org\", role = c(\"aut\", \"cre\"),\n"
       "           comment = c(ORCID = \"0000-0002-1825-0097\")),\n"
       "    person(given = \"Max\", family = \"Roe\", role = \"ctb\"),\n"
       "    person(given = c(\"Ann\", \"B.\"), family = \"Lee\", role = \"aut\"))\n"
       "URL: https://github.com/a/rpkg, https://a.github.io/rpkg/\n"
       "Depends: R (>= 4.0)\nImports: dplyr (>= 1.0.0),\n    rlang\nLinkingTo: Rcpp\n",
       "title=rpkg version=0.2.1 licences=GPL (>= 3); authors=Jane Doe<0000-0002-1825-0097>;Ann Lee; "
       "repo=https://github.com/a/rpkg; ids= refs= deps=dplyr[>= 1.0.0]r;rlang[]r;Rcpp[]b; members="},
      {"package.json of a workspace root", read_package_json,
       R"J({"name":"root","private":true,"version":"0.0.0","license":"MIT","author":"Jane Doe <j@x.org> (https://orcid.org/0000-0002-1825-0097)",
           "repository":{"type":"git","url":"git+https://github.com/a/mono.git"},
           "workspaces":["packages/*"],"dependencies":{"lodash":"^4.17.0","left":"*"},"devDependencies":{"jest":"29"}})J",
       "title=root version=0.0.0 licences=MIT; authors=Jane Doe<0000-0002-1825-0097>; "
       "repo=https://github.com/a/mono.git; ids= refs= deps=lodash[^4.17.0]r;left[]r;jest[29]d; members=packages/*;"},
      {"Cargo workspace with inherited fields", read_cargo,
       "[workspace]\nmembers = [\"crates/*\"]\n[workspace.package]\nversion = \"0.3.0\"\nlicense = \"MIT OR Apache-2.0\"\n"
       "[package]\nname = \"top\"\nversion.workspace = true\nlicense.workspace = true\n"
       "[dependencies]\nserde = { version = \"1\", features = [\"derive\"] }\nlocal = { path = \"x\" }\n",
       "title=top version=0.3.0 licences=MIT OR Apache-2.0; authors= repo= ids= refs= "
       // TOML tables come sorted
       "deps=local[]r;serde[1]r; members=crates/*;"},
      {"pom.xml with a parent, modules and a developer's ORCID", read_pom,
       "<?xml version=\"1.0\"?><project><parent><groupId>org.x</groupId><version>2.1.0</version></parent>"
       "<artifactId>core</artifactId><licenses><license><name>Apache-2.0</name></license></licenses>"
       "<developers><developer><name>Jane Doe</name><properties><orcid>0000-0002-1825-0097</orcid></properties></developer></developers>"
       "<scm><connection>scm:git:https://github.com/x/core.git</connection></scm>"
       "<modules><module>a</module><module>b</module></modules>"
       "<dependencies><dependency><groupId>junit</groupId><artifactId>junit</artifactId><version>4.13</version><scope>test</scope></dependency></dependencies>"
       "</project>",
       "title=core version=2.1.0 licences=Apache-2.0; authors=Jane Doe<0000-0002-1825-0097>; "
       "repo=https://github.com/x/core.git; ids= refs= deps=junit:junit[4.13]t; members=a;b;"},
      {"pom.xml with ${properties}, one defined nowhere here, one naming itself", read_pom,
       "<project><artifactId>core</artifactId><version>${revision}</version>"
       "<properties><revision>1.4.0</revision><junit.version>${junit.major}.13</junit.version><junit.major>4</junit.major>"
       "<loop>${loop}</loop></properties>"
       "<dependencies><dependency><groupId>junit</groupId><artifactId>junit</artifactId><version>${junit.version}</version></dependency>"
       "<dependency><groupId>x</groupId><artifactId>y</artifactId><version>${from.parent}</version></dependency>"
       "<dependency><groupId>x</groupId><artifactId>z</artifactId><version>${loop}</version></dependency>"
       "<dependency><groupId>x</groupId><artifactId>self</artifactId><version>${project.version}</version></dependency>"
       "</dependencies></project>",
       "title=core version=1.4.0 licences= authors= repo= ids= refs= "
       "deps=junit:junit[4.13]r;x:y[${from.parent}]r;x:z[${loop}]r;x:self[1.4.0]r; members="},
      {"pom.xml with properties doubling at every step is not expanded past a few KiB", read_pom,
       "<project><artifactId>b</artifactId><version>${a}</version><properties>"
       "<a>${b}${b}</a><b>${c}${c}</b><c>${d}${d}</c><d>${e}${e}</d><e>${f}${f}</e><f>${g}${g}</f><g>${h}${h}</g>"
       "<h>${i}${i}</h><i>${j}${j}</i><j>${k}${k}</j><k>${l}${l}</k><l>xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx</l>"
       "</properties></project>",
       "title=b version=${a} licences= authors= repo= ids= refs= deps= members="},
      {"pom.xml with an entity bomb is not expanded", read_pom,
       "<?xml version=\"1.0\"?><!DOCTYPE p [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;\">]>"
       "<project><artifactId>&b;</artifactId></project>",
       "title=&b; version= licences= authors= repo= ids= refs= deps= members="},
      {"setup.py read, never run: literals only", read_setup_py,
       "import os\nfrom setuptools import setup\nVERSION = os.environ['V']\n"
       "setup(\n    name='pkg',\n    version=VERSION,\n    classifiers=[\n"
       "        'License :: OSI Approved :: GNU General Public License v3 or later (GPLv3+)',\n    ],\n)\n",
       "title=pkg version= licences=GPL-3.0-or-later; authors= repo= ids= refs= deps= members="},
      {"nextflow.config's manifest: the archive's DOI names the pipeline, the others are papers",
       read_nextflow_config,
       "params { x = 1 }\nmanifest {\n    name = 'nf-core/x'\n    author = \"\"\"A B, C D\"\"\"\n"
       "    homePage = 'https://github.com/nf-core/x'\n    nextflowVersion = '!>=24.04.2'\n    version = '2.1.0'\n"
       "    doi = 'https://doi.org/10.5281/zenodo.123, 10.1038/s41587-020-0439-x'\n}\n",
       "title=nf-core/x version=2.1.0 licences= authors=A B;C D; repo=https://github.com/nf-core/x; "
       "ids=doi:10.5281/zenodo.123; refs=manifest.doi(1); deps=nextflow[>=24.04.2]r; members="},
      {"Julia Project.toml with compat bounds", read_julia_project,
       "name = \"Pkg\"\nuuid = \"00000000-0000-0000-0000-000000000000\"\nversion = \"1.2.0\"\n"
       "authors = [\"Jane Doe <j@x.org>\"]\n[deps]\nDataFrames = \"a93c6f00-e57d-5684-b7b6-d8193f3e46c0\"\nLinearAlgebra = \"x\"\n"
       "[compat]\nDataFrames = \"1.3\"\njulia = \"1.6\"\n",
       "title=Pkg version=1.2.0 licences= authors=Jane Doe; repo= ids= refs= "
       "deps=DataFrames[1.3]r;LinearAlgebra[]r; members="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MetadataSource s;
    c.read(c.text, s);
    EXPECT_EQ(summary(s), c.expected);
  }
}


// A real manifest: contributors with their ORCIDs (some empty), three DOIs.
TEST(MetadataReaders, NextflowManifestOfARealPipeline) {
  MetadataSource s;
  metadata::read_nextflow_config(
      testing::read_file(std::string(OSTRAMELD_TEST_DATA) + "/real/sarek/nextflow.config"), s);
  EXPECT_EQ(s.title, "nf-core/sarek");
  EXPECT_EQ(s.version, "3.10.0");
  ASSERT_GE(s.authors.size(), 3u);
  EXPECT_EQ(s.authors[0].name, "Friederike Hanssen");
  ASSERT_TRUE(s.authors[0].orcid.has_value());
  EXPECT_EQ(s.authors[0].orcid->id, "0009-0001-9875-5262");
  EXPECT_FALSE(s.authors[3].orcid.has_value());  // orcid: ''
  ASSERT_EQ(s.identifiers.size(), 1u);
  EXPECT_EQ(s.identifiers[0].value, "10.5281/zenodo.3476425");
  EXPECT_EQ(s.references.size(), 2u);
}

// TOML values keep every character (Latin, Cyrillic, CJK, the private-use block), and a
// character no TOML allows outside strings is an error, never undefined behaviour.
TEST(MetadataReaders, TomlKeepsEveryCharacterOfItsStrings) {
  struct {
    const char* name;
    std::string text;
    std::string title;  // empty: the file is refused
  } cases[] = {
      {"accents", "[project]\nname = \"José Müller\"\n", "José Müller"},
      {"Cyrillic and CJK", "[project]\nname = \"\xd2\x8f \xe3\x81\x82 \xef\xbc\xa1\"\n",
       "\xd2\x8f \xe3\x81\x82 \xef\xbc\xa1"},
      {"private use, as written", "[project]\nname = \"\xef\x90\x80\xef\x80\x80\"\n",
       "\xef\x90\x80\xef\x80\x80"},
      {"in a key", "[project]\nname = \"x\"\n[project.urls]\n\"Dokumentation \xc3\xa9\" = \"https://x\"\n", "x"},
      {"a bare key with an accent", "[project]\nnamé = \"x\"\n", ""},
      {"after a backslash in a multi-line string", "[project]\nname = \"\"\"a\\\n   \xd2\x8f\"\"\"\n",
       "a\xd2\x8f"},
      {"between tokens", "[project]\nname\xd2\x8f= \"x\"\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MetadataSource s;
    read_pyproject(c.text, s);
    EXPECT_EQ(s.readable(), !c.title.empty()) << s.problem;
    EXPECT_EQ(s.title, c.title);
  }
  MetadataSource urls;
  read_pyproject("[project]\nname = \"x\"\n[project.urls]\n\"Dokumentation \xc3\xa9\" = \"https://x\"\n", urls);
  EXPECT_TRUE(urls.data["project"]["urls"].contains("Dokumentation \xc3\xa9"));
}

}  // namespace
}  // namespace ostrameld
