// UTF-8 decoding in the three reading modes: chunking never changes the result, the
// output is always valid UTF-8, and strict decoding fails exactly when replacing is needed.
#include <cstddef>
#include <cstdint>

#include "ostrameld/utils/text.h"

using ostrameld::ReadMode;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (ReadMode mode : {ReadMode::Replace, ReadMode::Drop}) {
    std::string whole = ostrameld::decode_utf8(bytes, mode);
    if (!ostrameld::is_valid_utf8(whole)) __builtin_trap();
    ostrameld::TextDecoder dec(mode);
    std::size_t split = size ? data[0] % (size + 1) : 0;
    dec.feed(bytes.substr(0, split), false);
    dec.feed(bytes.substr(split), true);
    if (dec.text() != whole) __builtin_trap();
  }
  bool valid = ostrameld::is_valid_utf8(bytes);
  try {
    ostrameld::decode_utf8(bytes, ReadMode::Strict);
    if (!valid) __builtin_trap();
  } catch (const ostrameld::DecodeError&) {
    if (valid) __builtin_trap();
  }
  return 0;
}
