// codemeta.json and package.json scoring on arbitrary text.
#include <cstddef>
#include <cstdint>

#include "ostrameld/plugins/builtin/sorrath.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::optional<std::string> text(std::in_place, reinterpret_cast<const char*>(data), size);
  auto codemeta = ostrameld::sorrath::codemeta_from_text(text);
  auto package = ostrameld::sorrath::package_json_from_text(text);
  if (codemeta.first < 1.0 || codemeta.first > 10.0 || package.first < 0.0 || package.first > 5.0)
    __builtin_trap();
  return 0;
}
