// The template engine on hostile templates: parse and render, errors only as TemplateError.
#include <cstddef>
#include <cstdint>

#include <jinja/jinja.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const jinja::Map vars{
      {"name", "x<y>"},
      {"n", 3},
      {"score", 7.5},
      {"items", jinja::List{"a", 2, jinja::Value::none()}},
      {"indicators",
       jinja::List{jinja::Map{{"indicator_id", "k"}, {"score", 1.0}, {"status", "pass"}}}},
  };
  std::string source(reinterpret_cast<const char*>(data), size);
  for (bool trim : {false, true}) {
    jinja::Environment env(jinja::Options{.trim_blocks = trim, .lstrip_blocks = trim});
    try {
      std::string out = env.from_string(source, "fuzz.j2")->render(vars);
      if (out.size() > (64u << 20)) __builtin_trap();
    } catch (const jinja::TemplateError&) {
    }
  }
  return 0;
}
