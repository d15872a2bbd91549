// The line and keyword patterns on CITATION.cff, pyproject.toml and setup.py text.
#include <cstddef>
#include <cstdint>

#include "ostrameld/plugins/builtin/sorrath.h"
#include "ostrameld/utils/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text = ostrameld::decode_utf8({reinterpret_cast<const char*>(data), size},
                                            ostrameld::ReadMode::Replace);
  auto cff = ostrameld::sorrath::citation_cff_from_text(text);
  auto pyproject = ostrameld::sorrath::pyproject_from_text(text);
  auto setup_py = ostrameld::sorrath::setup_py_from_text(text);
  if (cff.first > 7.0 || pyproject.first > 6.0 || setup_py.first > 5.0) __builtin_trap();
  return 0;
}
