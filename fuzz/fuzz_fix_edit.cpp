// fix's minimal edits on any bytes of a CITATION.cff or codemeta.json: the value read is
// the value replaced, and an edit changes nothing outside the value it replaces.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ostrameld/fix/edit.h"
#include "ostrameld/utils/diff.h"
#include "ostrameld/utils/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text = ostrameld::decode_utf8({reinterpret_cast<const char*>(data), size},
                                            ostrameld::ReadMode::Replace, false);
  for (bool json : {false, true}) {
    auto before = json ? ostrameld::fix::json_top_level(text, "version") : ostrameld::fix::yaml_top_level(text, "version");
    auto edited = json ? ostrameld::fix::set_json_top_level(text, "version", "9.9.9")
                       : ostrameld::fix::set_yaml_top_level(text, "version", "9.9.9");
    if (before.has_value() != edited.has_value()) __builtin_trap();
    if (!edited) continue;
    auto after = json ? ostrameld::fix::json_top_level(*edited, "version") : ostrameld::fix::yaml_top_level(*edited, "version");
    if (!after || *after != "9.9.9") __builtin_trap();
    (void)ostrameld::unified_diff("f", text, *edited, false);
  }
  return 0;
}
