#define PCRE2_CODE_UNIT_WIDTH 8
#include "ostrameld/utils/regex.h"

#include <pcre2.h>

#include <stdexcept>
#include <string>

namespace ostrameld {

namespace {

// The characters str.isspace() accepts, as a PCRE2 class body.
constexpr std::string_view kSpaceClass =
    "\\t\\n\\x0b\\f\\r\\x1c-\\x20\\x{85}\\x{a0}\\x{1680}\\x{2000}-\\x{200a}\\x{2028}\\x{2029}"
    "\\x{202f}\\x{205f}\\x{3000}";

// Rewrites \s and \S outside character classes; other escapes pass unchanged.
std::string with_python_space(std::string_view pattern) {
  std::string out;
  bool in_class = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '\\' && i + 1 < pattern.size()) {
      char n = pattern[i + 1];
      if (!in_class && (n == 's' || n == 'S')) {
        out += n == 's' ? "[" : "[^";
        out += kSpaceClass;
        out += "]";
      } else {
        out += c;
        out += n;
      }
      ++i;
      continue;
    }
    if (c == '[' && !in_class)
      in_class = true;
    else if (c == ']' && in_class)
      in_class = false;
    out += c;
  }
  return out;
}

// Bounds backtracking so that hostile text cannot stall a check.
constexpr std::uint32_t kMatchLimit = 20'000'000;

}  // namespace

struct Regex::Impl {
  pcre2_code* code = nullptr;
  pcre2_match_context* mctx = nullptr;
  ~Impl() {
    pcre2_match_context_free(mctx);
    pcre2_code_free(code);
  }
};

// Python's case-insensitive matching folds i, I, İ and ı together; Unicode case folding,
// which PCRE2 follows, keeps the dotted and dotless i apart. Every literal i and I (and
// each class holding one) is widened to all four.
std::string with_python_i(std::string_view p) {
  constexpr std::string_view kAll = "\\x{130}\\x{131}";
  std::string out;
  bool in_class = false;
  bool class_has_i = false;
  for (std::size_t i = 0; i < p.size(); ++i) {
    char c = p[i];
    if (c == '\\' && i + 1 < p.size()) {
      out += p.substr(i, 2);
      ++i;
      if ((p[i] == 'x' || p[i] == 'p' || p[i] == 'P') && i + 1 < p.size() && p[i + 1] == '{') {
        auto close = p.find('}', i);
        if (close == std::string_view::npos) close = p.size() - 1;
        out += p.substr(i + 1, close - i);
        i = close;
      }
      continue;
    }
    if (in_class) {
      if (c == ']' && !(out.back() == '[' || out.ends_with("[^"))) {
        if (class_has_i) out += kAll;
        in_class = false;
      } else if (c == 'i' || c == 'I') {
        class_has_i = true;
      }
      out.push_back(c);
      continue;
    }
    if (c == '[') {
      in_class = true;
      class_has_i = false;
      out.push_back(c);
      continue;
    }
    if (c == '(' && i + 1 < p.size() && p[i + 1] == '?') {
      // Group options such as "(?m)" or "(?i:" are flags, not letters to match.
      auto end = p.find_first_of(":)", i);
      if (end == std::string_view::npos) end = p.size() - 1;
      out += p.substr(i, end - i + 1);
      i = end;
      continue;
    }
    if (c == 'i' || c == 'I') {
      out += "[iI";
      out += kAll;
      out += "]";
      continue;
    }
    out.push_back(c);
  }
  return out;
}

Regex::Regex(std::string_view pattern, std::uint32_t flags) : impl_(std::make_unique<Impl>()) {
  std::string translated = with_python_space(pattern);
  if (flags & kCaseless) translated = with_python_i(translated);
  std::uint32_t options = PCRE2_UTF | PCRE2_UCP;
  if (flags & kCaseless) options |= PCRE2_CASELESS;
  if (flags & kDotAll) options |= PCRE2_DOTALL;
  if (flags & kMultiline) options |= PCRE2_MULTILINE;
  pcre2_compile_context* cctx = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(cctx, PCRE2_NEWLINE_LF);
  int err = 0;
  PCRE2_SIZE offset = 0;
  impl_->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.data()), translated.size(),
                              options, &err, &offset, cctx);
  pcre2_compile_context_free(cctx);
  if (!impl_->code) {
    PCRE2_UCHAR buf[256];
    pcre2_get_error_message(err, buf, sizeof buf);
    throw std::invalid_argument("bad regular expression '" + std::string(pattern) +
                                "': " + reinterpret_cast<const char*>(buf));
  }
  pcre2_jit_compile(impl_->code, PCRE2_JIT_COMPLETE);  // falls back to the interpreter
  impl_->mctx = pcre2_match_context_create(nullptr);
  pcre2_set_match_limit(impl_->mctx, kMatchLimit);
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

std::optional<std::string_view> Regex::run(std::string_view text, bool anchored, int group,
                                           std::size_t from) const {
  pcre2_match_data* md = pcre2_match_data_create_from_pattern(impl_->code, nullptr);
  if (!md) throw std::bad_alloc();
  int rc = pcre2_match(impl_->code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), from,
                       anchored ? PCRE2_ANCHORED : 0, md, impl_->mctx);
  std::optional<std::string_view> result;
  if (rc > group) {
    PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
    PCRE2_SIZE start = ov[2 * group];
    PCRE2_SIZE end = ov[2 * group + 1];
    result = start == PCRE2_UNSET ? std::string_view() : text.substr(start, end - start);
  } else if (rc == 0 || (rc > 0 && rc <= group)) {
    result = std::string_view();
  }
  pcre2_match_data_free(md);
  // Running out of the match budget counts as no match: the text is hostile or absurd.
  return result;
}

bool Regex::search(std::string_view text) const {
  return run(text, false, 0).has_value();
}

std::optional<std::string_view> Regex::search_group(std::string_view text, int group) const {
  return run(text, false, group);
}

bool Regex::match(std::string_view text) const {
  return run(text, true, 0).has_value();
}

std::optional<std::size_t> Regex::find(std::string_view text) const {
  auto m = run(text, false, 0);
  if (!m) return std::nullopt;
  return static_cast<std::size_t>(m->data() - text.data());
}

std::vector<std::string_view> Regex::find_all_groups(std::string_view text, int group) const {
  std::vector<std::string_view> out;
  std::size_t from = 0;
  while (from <= text.size()) {
    auto whole = run(text, false, 0, from);
    if (!whole) break;
    if (auto g = run(text, true, group, static_cast<std::size_t>(whole->data() - text.data())))
      out.push_back(*g);
    std::size_t end = static_cast<std::size_t>(whole->data() - text.data()) + whole->size();
    from = whole->empty() ? end + 1 : end;
  }
  return out;
}

}  // namespace ostrameld
