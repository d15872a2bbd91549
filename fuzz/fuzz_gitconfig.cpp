// A repository's own .git/config, as the in-process reader parses it: never a crash, and
// what parses names every entry with a non-empty section or a bare key.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ostrameld/git/config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    for (const auto& e : ostrameld::parse_git_config(text, "config"))
      if (e.key.empty()) __builtin_trap();
  } catch (const ostrameld::GitConfigError&) {
  }
  return 0;
}
