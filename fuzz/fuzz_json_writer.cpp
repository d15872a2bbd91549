// The report JSON writer: any document comes out as ASCII JSON that reads back to the
// same values (non-finite numbers aside, which are spelled NaN and Infinity).
#include <cstddef>
#include <cstdint>

#include "ostrameld/utils/json.h"
#include "ostrameld/utils/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ostrameld::Json doc = ostrameld::Json::parse(data, data + size, nullptr, false);
  if (doc.is_discarded()) {
    // Not JSON: write the bytes as a text value instead.
    doc = ostrameld::Json(ostrameld::sanitize_utf8({reinterpret_cast<const char*>(data), size}));
  }
  for (std::optional<int> indent : {std::optional<int>(), std::optional<int>(2)}) {
    std::string out = ostrameld::dump_json(doc, indent);
    for (unsigned char c : out)
      if (c >= 0x80 || (c < 0x20 && c != '\n')) __builtin_trap();
    if (out.find("Infinity") != std::string::npos || out.find("NaN") != std::string::npos) continue;
    ostrameld::Json back = ostrameld::Json::parse(out, nullptr, false);
    if (back.is_discarded() || back != doc) __builtin_trap();
  }
  return 0;
}
