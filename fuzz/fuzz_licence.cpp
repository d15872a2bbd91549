// Licence identification on arbitrary licence-file bytes.
#include <cstddef>
#include <cstdint>

#include "ostrameld/plugins/builtin/morvel.h"
#include "ostrameld/utils/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text = ostrameld::decode_utf8({reinterpret_cast<const char*>(data), size},
                                            ostrameld::ReadMode::Replace);
  auto id = ostrameld::detect_spdx(text);
  if (id && id->empty()) __builtin_trap();
  return 0;
}
