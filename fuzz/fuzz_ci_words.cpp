// The test-step word tokenizer of the CI check.
#include <cstddef>
#include <cstdint>

#include "ostrameld/plugins/builtin/drumlet.h"
#include "ostrameld/utils/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text = ostrameld::decode_utf8({reinterpret_cast<const char*>(data), size},
                                            ostrameld::ReadMode::Replace);
  bool hit = ostrameld::has_test_step(text);
  // Appending a separator and a plain word never turns a hit into a miss.
  if (hit && !ostrameld::has_test_step(text + " make")) __builtin_trap();
  return 0;
}
