#include "ostrameld/plugins/builtin/drumlet.h"

#include <array>
#include <string>

#include "ostrameld/utils/files.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array TEST_WORDS{"pytest"sv, "test"sv, "spec"sv, "check"sv, "unittest"sv};

bool is_test_token(std::string_view token) {
  if (token.rfind("test", 0) == 0) return true;
  for (auto word : TEST_WORDS) {
    if (token == word) return true;
    if (token.size() == word.size() + 1 && token.back() == 's' &&
        token.substr(0, word.size()) == word)
      return true;
  }
  return false;
}

}  // namespace

bool has_test_step(std::string_view text) {
  // Tokens are maximal runs of ASCII letters and digits of the lower-cased text. Lower-
  // casing turns KELVIN SIGN into "k" and I WITH DOT ABOVE into "i" + a combining mark.
  std::string token;
  std::size_t i = 0;
  auto flush = [&] {
    bool hit = !token.empty() && is_test_token(token);
    token.clear();
    return hit;
  };
  while (i < text.size()) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        token.push_back(static_cast<char>(c));
      } else if (c >= 'A' && c <= 'Z') {
        token.push_back(static_cast<char>(c - 'A' + 'a'));
      } else if (flush()) {
        return true;
      }
      continue;
    }
    char32_t cp = next_code_point(text, i);
    if (cp == 0x212A) {
      token.push_back('k');
      continue;
    }
    if (cp == 0x0130) token.push_back('i');
    if (flush()) return true;
  }
  return flush();
}

CheckResult DrumletPlugin::check(std::string_view indicator_id, const Context& ctx) const {
  return check_ci(ctx, indicator_id);
}

CheckResult DrumletPlugin::check_ci(const Context& ctx, std::string_view indicator_id) const {
  const Path& repo = ctx.repo_path;
  std::vector<CiConfig> configs = find_ci_configs(repo);  // errors propagate to the host
  if (configs.empty()) {
    return make_result(
        indicator_id,
        {.score = 0.0,
         .process = "Searched for CI configuration files",
         .output = "No CI configuration found",
         .evidence = "Checked: .github/workflows/, .gitlab-ci.yml, Jenkinsfile, .circleci/",
         .advice = {"Add a CI workflow that runs the tests on every push, e.g. "
                    ".github/workflows/tests.yml with a step such as `run: pytest`."}});
  }

  bool found_test_step = false;
  for (const auto& config : configs) {
    std::string text;
    try {
      text = read_text(config.path, ReadMode::Replace, repo);
    } catch (const OsError&) {
      continue;  // unreadable files neither add a test step nor an error
    }
    if (has_test_step(text)) {
      found_test_step = true;
      break;
    }
  }

  std::vector<std::string> names;
  std::vector<std::string> files;
  for (const auto& config : configs) {
    names.push_back(config.ci_name);
    files.push_back(relative_text(config.path, repo));
  }
  std::vector<std::string> advice;
  if (!found_test_step) {
    advice.push_back(join(files, ", ") +
                     " runs, but no test step was recognised: a step or command must contain "
                     "the word test, tests, pytest, unittest, spec or check (e.g. `pytest`, "
                     "`npm test`, `cargo test`, `go test ./...`, `make check`, `R CMD check`).");
  }
  return make_result(indicator_id, {.score = found_test_step ? 10.0 : 6.0,
                                    .process = "Checked CI configs for test steps",
                                    .output = "CI: " + join(names, ", ") + "; tests in CI: " +
                                              (found_test_step ? "yes" : "not detected"),
                                    .evidence = "Files: " + join(files, ", "),
                                    .advice = std::move(advice)});
}

}  // namespace ostrameld
