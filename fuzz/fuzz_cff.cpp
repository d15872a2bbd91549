// CITATION.cff validation on arbitrary text: the default profile's (YAML parser events)
// and the full profile's (the document loaded within its alias budget, then the schema).
#include <cstddef>
#include <cstdint>

#include "ostrameld/metadata/cff_schema.h"
#include "ostrameld/plugins/builtin/bellwyn.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/yaml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text;
  try {
    text = ostrameld::decode_utf8({reinterpret_cast<const char*>(data), size},
                                  ostrameld::ReadMode::Strict);
  } catch (const ostrameld::DecodeError&) {
    return 0;  // reported before validation ever sees it
  }
  auto [valid, message] = ostrameld::validate_cff(text);
  if (message.empty() || !ostrameld::is_valid_utf8(message)) __builtin_trap();
  (void)valid;
  ostrameld::Json doc;
  try {
    doc = ostrameld::load_yaml(text);
  } catch (const ostrameld::YamlError&) {
    return 0;  // said as the file's problem
  }
  for (const auto& error : ostrameld::cff_schema_errors(doc))
    if (error.empty() || !ostrameld::is_valid_utf8(error)) __builtin_trap();
  return 0;
}
