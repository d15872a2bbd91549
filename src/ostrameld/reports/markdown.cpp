#include "ostrameld/reports/markdown.h"

#include <jinja/jinja.h>
#include <unistd.h>

#include <climits>

#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

constexpr const char* kTemplateName = "report.md.j2";

// Report text: valid UTF-8, no control characters that could act on a terminal.
jinja::Value safe(std::string_view text) {
  return jinja::Value(escape_controls(sanitize_utf8(text)));
}

jinja::Value text_or_none(const std::optional<std::string>& text) {
  return text ? safe(*text) : jinja::Value::none();
}

jinja::Value indicator_value(const CheckResult& r) {
  jinja::List advice;
  for (const auto& a : r.advice) advice.push_back(safe(a));
  return jinja::Map{
      {"title", safe(r.title)},
      {"advice", std::move(advice)},
      {"indicator_id", safe(r.indicator_id)},
      {"fair4rs_id", text_or_none(r.fair4rs_id)},
      {"plugin", safe(r.plugin)},
      {"plugin_version", safe(r.plugin_version)},
      {"score", r.score},
      {"status", std::string(status_value(r.status))},
      {"process", safe(r.process)},
      {"output", safe(r.output)},
      {"evidence", safe(r.evidence)},
      {"exemption", safe(r.exemption)},
  };
}

Path program_directory() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return Path(std::string(buf, static_cast<std::size_t>(n))).parent_path();
}

}  // namespace

Path default_template_dir() {
  Path exe_dir = program_directory();
  Path installed = exe_dir.parent_path() / "share" / "ostrameld" / "templates";
  if (is_dir(installed, kAnywhere)) return installed;
  return exe_dir / "templates";
}

MarkdownRenderer::MarkdownRenderer(const Path& template_dir)
    : dir_(template_dir.empty() ? default_template_dir() : template_dir),
      env_(std::make_unique<jinja::Environment>(
          dir_, jinja::Options{.trim_blocks = true, .lstrip_blocks = true, .autoescape = false})) {}

MarkdownRenderer::~MarkdownRenderer() = default;

std::string MarkdownRenderer::render(const Assessment& a, const Json& /*options*/) const {
  jinja::List indicators;
  for (const auto& r : a.indicators) indicators.push_back(indicator_value(r));
  jinja::List errors;
  for (const auto& e : a.errors) {
    errors.emplace_back(jinja::Map{{"indicator_id", safe(e.indicator_id)},
                                   {"plugin", safe(e.plugin)},
                                   {"message", safe(e.message)}});
  }
  jinja::List skipped;
  for (const auto& sk : a.skipped)
    skipped.emplace_back(
        jinja::Map{{"indicator_id", safe(sk.indicator_id)}, {"reason", safe(sk.reason)}});
  const jinja::Map variables{
      {"software_name", safe(a.software.name)},
      {"software_url", text_or_none(a.software.url)},
      {"timestamp", safe(a.timestamp)},
      {"profile", safe(a.profile)},
      {"compliance_level", text_or_none(a.compliance_level)},
      {"overall_score", a.overall_score},
      {"passed_count", a.passed_indicators.size()},
      {"total_count", a.indicators.size()},
      {"skipped_count", a.skipped.size()},
      {"skipped", std::move(skipped)},
      {"indicators", std::move(indicators)},
      {"errors", std::move(errors)},
      {"ostrameld_version", safe(a.ostrameld_version)},
      {"settings_file", safe(a.settings_file)},
  };
  return env_->get_template(kTemplateName)->render(variables);
}

}  // namespace ostrameld
