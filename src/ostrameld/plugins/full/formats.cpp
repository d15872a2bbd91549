#include "ostrameld/plugins/full/formats.h"

#include <algorithm>
#include <array>

#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/text.h"

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
    {"h5netcdf", "netCDF"},    {"astropy", "FITS"},          {"fitsio", "FITS"},
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
  for (const auto& f : m.files)
    if (auto format = format_of_file(f.name); !format.empty()) add(format, f.path);
  for (const auto& s : m.sources) {
    for (const auto& d : s.dependencies) {
      std::string name = ascii_lower(d.name);
      for (const auto& lib : kLibraries)
        if (lib.name == name) add(std::string(lib.format), d.name + " in " + s.path);
    }
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
