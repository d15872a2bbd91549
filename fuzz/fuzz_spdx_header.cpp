// The SPDX-License-Identifier header search on a source file's first characters.
#include <cstddef>
#include <cstdint>

#include "ostrameld/plugins/builtin/morvel.h"
#include "ostrameld/utils/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ostrameld::TextDecoder dec(ostrameld::ReadMode::Drop, 2048);
  dec.feed({reinterpret_cast<const char*>(data), size}, true);
  if (dec.chars() > 2048) __builtin_trap();
  if (auto id = ostrameld::spdx_header_in(dec.text())) {
    for (char c : *id)
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '+' || c == '-'))
        __builtin_trap();
  }
  return 0;
}
