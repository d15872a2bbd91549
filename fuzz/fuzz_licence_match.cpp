// Licence files as a repository could write them, against the licence matcher: never a
// crash, and a match is always similar enough to be one.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ostrameld/licences/matcher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto m = ostrameld::match_licence_text(text)) {
    if (m->similarity < ostrameld::kStandardLicenceSimilarity) __builtin_trap();
  }
  ostrameld::licences_named(text);
  ostrameld::spdx_identifiers_in(text);
  return 0;
}
