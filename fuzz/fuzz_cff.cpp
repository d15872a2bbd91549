// CITATION.cff validation (YAML parser events) on arbitrary text.
#include <cstddef>
#include <cstdint>

#include "ostrameld/plugins/builtin/bellwyn.h"
#include "ostrameld/utils/text.h"

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
  return 0;
}
