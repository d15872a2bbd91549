// The strict INI reader behind setup.cfg scoring.
#include <cstddef>
#include <cstdint>

#include "ostrameld/plugins/builtin/sorrath.h"
#include "ostrameld/utils/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    auto doc = ostrameld::parse_ini(text);
    (void)doc.has_option("metadata", "name");
  } catch (const ostrameld::IniError&) {
  }
  auto s = ostrameld::sorrath::setup_cfg_from_text(text);
  if (s.first != 0.0 && s.first != 3.0 && s.first != 6.0) __builtin_trap();
  return 0;
}
