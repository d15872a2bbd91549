#include "ostrameld/plugins/full/formats.h"

#include <algorithm>
#include <array>

#include "ostrameld/metadata/model.h"
#include "ostrameld/plugins/full/evidence.h"
#include "ostrameld/utils/text.h"

#include <cctype>

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kIndicators{"standard_formats"sv};

struct Library {
  std::string_view name;  // as a dependency is named, lower case
  std::string_view format;
};

// Reference libraries of community formats, in each ecosystem's spelling.
constexpr Library kLibraries[] = {
    {"netcdf4", "netCDF"},     {"netcdf", "netCDF"},         {"ncdf4", "netCDF"},
    {"rnetcdf", "netCDF"},     {"ncdatasets", "netCDF"},     {"netcdf-c", "netCDF"},
    {"h5py", "HDF5"},          {"hdf5", "HDF5"},             {"tables", "HDF5"},
    {"rhdf5", "HDF5"},         {"hdf5r", "HDF5"},            {"hdf5-sys", "HDF5"},
    {"h5netcdf", "netCDF"},    {"fitsio", "FITS"},
    {"cfitsio", "FITS"},       {"pyarrow", "Arrow/Parquet"}, {"arrow", "Arrow/Parquet"},
    {"parquet", "Arrow/Parquet"}, {"fastparquet", "Arrow/Parquet"}, {"polars", "Arrow/Parquet"},
    {"apache-arrow", "Arrow/Parquet"}, {"zarr", "Zarr"},     {"zarrs", "Zarr"},
    {"pysam", "SAM/BAM/VCF"},  {"htslib", "SAM/BAM/VCF"},    {"rust-htslib", "SAM/BAM/VCF"},
    {"noodles", "SAM/BAM/VCF"}, {"rsamtools", "SAM/BAM/VCF"}, {"variantannotation", "SAM/BAM/VCF"},
    {"vcfr", "SAM/BAM/VCF"},   {"cyvcf2", "SAM/BAM/VCF"},    {"xam", "SAM/BAM/VCF"},
    {"com.github.samtools:htsjdk", "SAM/BAM/VCF"},           {"gdal", "GDAL"},
    {"rasterio", "GDAL"},      {"fiona", "GDAL"},            {"sf", "GDAL"},
    {"terra", "GDAL"},         {"rgdal", "GDAL"},            {"archgdal", "GDAL"},
    {"rdflib", "RDF"},         {"oxigraph", "RDF"},          {"n3", "RDF"},
    {"org.apache.jena:jena-core", "RDF"},                    {"org.eclipse.rdf4j:rdf4j-model", "RDF"},
    {"jsonschema", "JSON Schema"}, {"ajv", "JSON Schema"},    {"valijson", "JSON Schema"},
};

// Formats a project says it is about, as its description, keywords or a README's opening
// paragraph name them: the word as written (acronyms in capitals) and the name reported.
struct DomainWord {
  std::string_view word;
  std::string_view format;
};
constexpr DomainWord kDomainWords[] = {
    {"JSON", "JSON"},         {"CBOR", "CBOR"},           {"MessagePack", "MessagePack"}, {"BSON", "BSON"},
    {"UBJSON", "UBJSON"},     {"YAML", "YAML"},           {"TOML", "TOML"},               {"SAM", "SAM"},
    {"BAM", "BAM"},           {"CRAM", "CRAM"},           {"VCF", "VCF"},                 {"BCF", "BCF"},
    {"FASTA", "FASTA"},       {"FASTQ", "FASTQ"},         {"GFF", "GFF"},                 {"GFF3", "GFF"},
    {"GTF", "GTF"},           {"BED", "BED"},             {"GenBank", "GenBank"},         {"PDB", "PDB"},
    {"mmCIF", "mmCIF"},       {"NIfTI", "NIfTI"},         {"GIFTI", "GIFTI"},             {"CIFTI", "CIFTI"},
    {"DICOM", "DICOM"},       {"BIDS", "BIDS"},           {"mzML", "mzML"},               {"mzXML", "mzXML"},
    {"MGF", "MGF"},           {"netCDF", "netCDF"},       {"NetCDF", "netCDF"},           {"HDF5", "HDF5"},
    {"FITS", "FITS"},         {"Parquet", "Arrow/Parquet"}, {"Zarr", "Zarr"},             {"GeoTIFF", "GeoTIFF"},
    {"GeoJSON", "GeoJSON"},   {"Shapefile", "Shapefile"}, {"shapefiles", "Shapefile"},    {"CITATION.cff", "CFF"},
    {"Citation File Format", "CFF"}, {"CodeMeta", "CodeMeta"}, {"BibTeX", "BibTeX"},       {"SBML", "SBML"},
    {"CellML", "CellML"},     {"Newick", "Newick"},       {"NeXML", "NeXML"},             {"RDF", "RDF"},
    {"OpenStreetMap", "OSM"}, {"GWF", "GWF"},
};

// The first paragraph of prose in a README: after its title, badges and pictures, without
// the addresses of its links (a link's URL names formats the text does not).
std::string opening_paragraph(std::string_view readme) {
  std::size_t pos = 0;
  while (pos < readme.size()) {
    std::size_t end = readme.find("\n\n", pos);
    if (end == std::string_view::npos) end = readme.size();
    std::string_view para = py_strip(readme.substr(pos, end - pos));
    pos = end + 2;
    if (para.empty()) continue;
    char c = para.front();
    bool markup = c == '#' || c == '<' || c == '!' || c == '[' || c == '=' || c == '|' || para.starts_with("```") ||
                  c == '-' || c == '*' || c == '.' || c == ':' || c == '>';
    if (markup || para.find(' ') == std::string_view::npos) continue;
    std::string text(para.substr(0, 800));
    for (std::size_t open; (open = text.find("](")) != std::string::npos;) {
      std::size_t close = text.find(')', open);
      text.erase(open + 1, (close == std::string::npos ? text.size() : close + 1) - open - 1);
    }
    return text;
  }
  return {};
}

// Whether `word` stands in `text` as a word of its own.
bool has_word(std::string_view text, std::string_view word) {
  for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
    auto boundary = [](char c) { return !std::isalnum(static_cast<unsigned char>(c)) && c != '_'; };
    bool before = at == 0 || boundary(text[at - 1]);
    bool after = at + word.size() >= text.size() || boundary(text[at + word.size()]) ||
                 (text[at + word.size()] == 's' && (at + word.size() + 1 >= text.size() || boundary(text[at + word.size() + 1])));
    if (before && after) return true;
  }
  return false;
}

// File names that are a standard format's mark.
std::string format_of_file(std::string_view name) {
  std::string lower = ascii_lower(name);
  auto ends = [&](std::string_view s) {
    return lower.size() > s.size() && lower.compare(lower.size() - s.size(), s.size(), s) == 0;
  };
  if (ends(".schema.json") || ends(".xsd")) return ends(".xsd") ? "XML Schema" : "JSON Schema";
  if (lower.rfind("openapi.", 0) == 0 || lower.rfind("swagger.", 0) == 0) return "OpenAPI";
  if (ends(".cwl")) return "CWL";
  if (ends(".wdl")) return "WDL";
  if (lower == "snakefile" || ends(".smk")) return "Snakemake";
  if (ends(".nf") || lower == "nextflow.config") return "Nextflow";
  if (ends(".ttl") || ends(".jsonld")) return "RDF";
  return {};
}

}  // namespace

std::span<const std::string_view> StandardFormatsPlugin::supported_indicators() const {
  return kIndicators;
}

CheckResult StandardFormatsPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  const ProjectMetadata& m = ctx.metadata();
  std::vector<std::string> formats, evidence;
  auto add = [&](const std::string& format, const std::string& why) {
    if (std::find(formats.begin(), formats.end(), format) == formats.end()) formats.push_back(format);
    if (evidence.size() < 12) evidence.push_back(format + " (" + why + ")");
  };
  // Schemas and workflows of the software itself, not its tests' fixtures.
  for (const auto& f : m.files) {
    std::string p = "/" + f.path;
    bool aside = p.find("/test/") != std::string::npos || p.find("/tests/") != std::string::npos ||
                 p.find("/fixtures/") != std::string::npos || p.find("/testdata/") != std::string::npos;
    if (auto format = format_of_file(f.name); !format.empty() && !aside) add(format, f.path);
  }
  // Format libraries the software needs to run: not what its tests, documents or optional
  // extras use.
  for (const auto& s : m.sources) {
    if (s.path.find('/') != std::string::npos) continue;
    if (evidence::development_environment(m, s, ctx.repo_path)) continue;
    bool python = s.name == "pyproject.toml" || s.name == "setup.cfg" || s.name == "setup.py" ||
                  s.name == "requirements.txt" || s.name == "environment.yml" || s.name == "environment.yaml";
    for (const auto& d : s.dependencies) {
      if (d.scope != "runtime" && d.scope != "build") continue;
      std::string name = ascii_lower(d.name);
      // PyTables is "tables" on PyPI; Julia's Tables.jl is an interface to any table.
      if (name == "tables" && !python) continue;
      for (const auto& lib : kLibraries)
        if (lib.name == name) add(std::string(lib.format), d.name + " in " + s.path);
    }
  }
  // What the software says it reads and writes.
  std::string said;
  for (const auto& s : m.sources) {
    if (s.path.find('/') != std::string::npos) continue;
    said += s.description + "\n";
    for (const auto& k : s.keywords) said += k + "\n";
  }
  std::string opening = opening_paragraph(m.readme_text);
  for (const auto& w : kDomainWords) {
    if (has_word(said, w.word)) add(std::string(w.format), "the description");
    else if (has_word(opening, w.word)) add(std::string(w.format), m.readme_path);
  }
  std::sort(formats.begin(), formats.end());
  if (formats.empty()) {
    return make_result(
        indicator_id,
        {.score = 0.0,
         .status = CheckStatus::Unknown,
         .process = "Looked for schemas, workflow languages and format libraries",
         .output = "No standard format seen",
         .advice = {"If the software reads or writes research data, use a community format "
                    "through its reference library (HDF5, netCDF, Parquet, Zarr; FITS, VCF in "
                    "their fields) and describe interfaces with a schema (JSON Schema, "
                    "OpenAPI)."},
         .facts = Json{{"formats", Json::array()}}});
  }
  return make_result(indicator_id,
                     {.score = 10.0,
                      .process = "Looked for schemas, workflow languages and format libraries",
                      .output = "Standard formats: " + join(formats, ", "),
                      .evidence = join(evidence, ", "),
                      .facts = Json{{"formats", formats}}});
}

}  // namespace ostrameld
