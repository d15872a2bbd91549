// Every metadata source the full profile reads (CITATION.cff, codemeta.json, .zenodo.json,
// pyproject.toml, setup.cfg, DESCRIPTION, package.json, Cargo.toml, pom.xml, Project.toml,
// workspace lists, requirements) and the identifier formats found in them: the first byte
// chooses the reader. Never a crash; a reader throws nothing (a bad file is a problem on
// its record), and every identifier it keeps as well formed parses again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/identifiers.h"

namespace {

using Reader = void (*)(std::string_view, ostrameld::MetadataSource&);
constexpr Reader kReaders[] = {
    ostrameld::metadata::read_cff,          ostrameld::metadata::read_codemeta,
    ostrameld::metadata::read_zenodo,       ostrameld::metadata::read_pyproject,
    ostrameld::metadata::read_setup_cfg,    ostrameld::metadata::read_description,
    ostrameld::metadata::read_package_json, ostrameld::metadata::read_cargo,
    ostrameld::metadata::read_pom,          ostrameld::metadata::read_julia_project,
    ostrameld::metadata::read_workspace_list, ostrameld::metadata::read_requirements,
    ostrameld::metadata::read_setup_py,       ostrameld::metadata::read_nextflow_config,
    ostrameld::metadata::read_ro_crate,       ostrameld::metadata::read_configure_ac,
    ostrameld::metadata::read_cmake,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  ostrameld::MetadataSource source;
  source.name = data[0] % 2 ? "lerna.json" : "pnpm-workspace.yaml";
  try {
    kReaders[data[0] % std::size(kReaders)](text, source);
  } catch (const std::exception&) {
    // The project reader turns what a reader throws into the record's problem; the readers
    // themselves should not throw, but a throw is no crash.
  }
  for (const auto& id : source.identifiers) {
    if (!id.well_formed) continue;
    if (id.scheme == "doi" && !ostrameld::parse_doi(id.value)) __builtin_trap();
    if (id.scheme == "swhid" && !ostrameld::parse_swhid(id.value)) __builtin_trap();
  }
  for (const auto& doi : ostrameld::dois_in_text(text))
    if (!ostrameld::parse_doi(doi)) __builtin_trap();
  for (const auto& id : ostrameld::swhids_in_text(text))
    if (!ostrameld::parse_swhid(id.core())) __builtin_trap();
  ostrameld::orcids_in_text(text);
  return 0;
}
