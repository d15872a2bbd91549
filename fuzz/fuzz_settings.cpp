// A project's settings file on arbitrary text: accepted with reasons that stay on one line
// and forges that parse, or refused with one line; never a crash or a hang.
#include <cstddef>
#include <cstdint>

#include "ostrameld/engine/project_config.h"
#include "ostrameld/services/forge.h"
#include "ostrameld/utils/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (bool pyproject : {false, true}) {
    try {
      auto config = ostrameld::parse_project_config(text, pyproject ? "pyproject.toml" : ".ostrameld.toml",
                                                    pyproject);
      for (const auto& e : config.exempt) {
        if (e.reason.empty() || e.reason.find('\n') != std::string::npos ||
            !ostrameld::is_valid_utf8(e.reason))
          __builtin_trap();
      }
      for (const auto& spec : config.forges) ostrameld::parse_forge_spec(spec);  // throws: a bug
      if (config.fail_under && !(*config.fail_under >= 0 && *config.fail_under <= 10)) __builtin_trap();
    } catch (const ostrameld::ConfigError& e) {
      std::string_view message = e.what();
      if (message.find('\n') != std::string_view::npos || !ostrameld::is_valid_utf8(message))
        __builtin_trap();
    }
  }
  return 0;
}
