#include "ostrameld/utils/versions.h"

#include <algorithm>

#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

struct Patterns {
  Regex semver{
      "^(0|[1-9]\\d*)\\.(0|[1-9]\\d*)\\.(0|[1-9]\\d*)"
      "(?:-((?:0|[1-9]\\d*|\\d*[a-zA-Z-][0-9a-zA-Z-]*)(?:\\.(?:0|[1-9]\\d*|\\d*[a-zA-Z-][0-9a-zA-Z-]*))*))?"
      "(?:\\+([0-9a-zA-Z-]+(?:\\.[0-9a-zA-Z-]+)*))?$"};
  Regex pep440{
      "^(?:[1-9][0-9]*!)?(?:0|[1-9][0-9]*)(?:\\.(?:0|[1-9][0-9]*))*"
      "((?:a|b|rc)(?:0|[1-9][0-9]*))?(?:\\.post(0|[1-9][0-9]*))?(\\.dev(?:0|[1-9][0-9]*))?$"};
  // PEP 440 as its parsers read it before normalising: any case, "alpha"/"beta"/"c"/"pre"/
  // "preview" for a/b/rc, separators around the parts, implicit numbers, "-N" for a post
  // release, leading zeros.
  Regex pep440_loose{
      "(?i)^(?:[0-9]+!)?[0-9]+(?:\\.[0-9]+)*"
      "(?:[-_.]?(alpha|beta|preview|pre|rc|a|b|c)[-_.]?([0-9]+)?)?"
      "(?:-([0-9]+)|[-_.]?(?:post|rev|r)[-_.]?([0-9]+)?)?"
      "(?:[-_.]?(dev)[-_.]?([0-9]+)?)?"
      "(?:\\+[a-z0-9]+(?:[-_.][a-z0-9]+)*)?$"};
  Regex calver{"^(?:19|20)\\d{2}\\.(?:0?[1-9]|1[0-2])(?:\\.(?:0?[1-9]|[12]\\d|3[01]))?(?:\\.\\d+)?$"};
  Regex looks{"^\\d+(?:\\.\\d+)+"};  // at least two numbers
};

const Patterns& patterns() {
  static const Patterns p;
  return p;
}

std::vector<long long> numbers_of(std::string_view s) {
  std::vector<long long> out;
  std::size_t i = 0;
  // An epoch ("1!") belongs to PEP 440's order but not to the release numbers.
  if (auto bang = s.find('!'); bang != std::string_view::npos) i = bang + 1;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    long long n = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && n < 1'000'000'000'000LL) n = n * 10 + (s[i++] - '0');
    out.push_back(n);
    if (i < s.size() && s[i] == '.' && i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '9') {
      ++i;
    } else {
      break;
    }
  }
  return out;
}

// A release number written with a leading zero ("01.2.3"): a month in a calendar
// version, a slip anywhere else.
bool leading_zero(std::string_view text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '0' && (i == 0 || text[i - 1] == '.') && text[i + 1] >= '0' && text[i + 1] <= '9') return true;
  return false;
}

Version classify(std::string prefix, std::string_view text) {
  const Patterns& p = patterns();
  Version v;
  v.prefix = std::move(prefix);
  v.text = std::string(text);
  v.release = numbers_of(text);
  bool calendar = v.release.size() >= 2 && v.release[0] >= 1900 && v.release[0] <= 2099;
  if (calendar && p.calver.match(text)) {
    v.scheme = VersionScheme::CalVer;
  } else if (p.semver.match(text)) {
    v.scheme = VersionScheme::SemVer;
    auto dash = text.find('-');
    auto plus = text.find('+');
    if (dash != std::string_view::npos && (plus == std::string_view::npos || dash < plus)) {
      v.prerelease = true;
      v.pre = std::string(text.substr(dash + 1, plus == std::string_view::npos ? text.npos : plus - dash - 1));
    }
  } else if (p.pep440.match(text)) {
    v.scheme = VersionScheme::Pep440;
    if (auto pre = p.pep440.search_group(text, 1); pre && !pre->empty()) {
      v.prerelease = true;
      v.pre = std::string(*pre);
    }
    if (auto dev = p.pep440.search_group(text, 3); dev && !dev->empty()) {
      v.prerelease = true;
      if (v.pre.empty()) v.pre = "!" + std::string(*dev);  // .dev sorts before a, b, rc
    }
    if (auto post = p.pep440.search_group(text, 2); post && !post->empty()) v.post = std::stoll(std::string(*post));
  } else if (p.pep440_loose.match(text) && (calendar || !leading_zero(text))) {
    // Valid once normalised ("v2022.06.0rc0", "0.2.0alpha", "3.10-RC1"): the same
    // version, in its normal form for ordering.
    v.scheme = calendar ? VersionScheme::CalVer : VersionScheme::Pep440;
    if (auto letter = p.pep440_loose.search_group(text, 1); letter && !letter->empty()) {
      std::string l = ascii_lower(*letter);
      std::string normal = l == "alpha" || l == "a" ? "a" : l == "beta" || l == "b" ? "b" : "rc";
      auto n = p.pep440_loose.search_group(text, 2);
      v.prerelease = true;
      v.pre = normal + std::to_string(n && !n->empty() ? std::stoll(std::string(*n)) : 0);
    }
    auto post = p.pep440_loose.search_group(text, 3);
    if (!post || post->empty()) post = p.pep440_loose.search_group(text, 4);
    if (post && !post->empty()) v.post = std::stoll(std::string(*post));
    if (auto dev = p.pep440_loose.search_group(text, 5); dev && !dev->empty()) {
      v.prerelease = true;
      auto n = p.pep440_loose.search_group(text, 6);
      if (v.pre.empty()) v.pre = "!dev" + std::string(n && !n->empty() ? *n : "0");
    }
  }
  return v;
}

// Pre-release parts compared as SemVer does: dot by dot, numbers as numbers and before
// words, fewer parts first when all else is equal.
int compare_pre(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    std::size_t ei = a.find('.', i), ej = b.find('.', j);
    std::string x = a.substr(i, ei == std::string::npos ? std::string::npos : ei - i);
    std::string y = b.substr(j, ej == std::string::npos ? std::string::npos : ej - j);
    bool nx = !x.empty() && x.find_first_not_of("0123456789") == std::string::npos;
    bool ny = !y.empty() && y.find_first_not_of("0123456789") == std::string::npos;
    if (nx && ny && x != y) {
      if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
      return x < y ? -1 : 1;
    }
    if (nx != ny) return nx ? -1 : 1;
    if (x != y) return x < y ? -1 : 1;
    i = ei == std::string::npos ? a.size() : ei + 1;
    j = ej == std::string::npos ? b.size() : ej + 1;
  }
  if ((i < a.size()) != (j < b.size())) return i < a.size() ? 1 : -1;
  return 0;
}

}  // namespace

std::string_view scheme_name(VersionScheme s) {
  switch (s) {
    case VersionScheme::SemVer:
      return "semver";
    case VersionScheme::Pep440:
      return "pep440";
    case VersionScheme::CalVer:
      return "calver";
    default:
      return "other";
  }
}

std::optional<Version> version_of_tag(std::string_view tag) {
  // The version starts at the first digit that begins the tag, follows a separator, or
  // follows a "v" that does.
  auto sep = [](char c) { return c == '-' || c == '_' || c == '/' || c == '@' || c == '.'; };
  for (std::size_t i = 0; i < tag.size(); ++i) {
    if (tag[i] < '0' || tag[i] > '9') continue;
    bool starts = i == 0 || sep(tag[i - 1]) ||
                  ((tag[i - 1] == 'v' || tag[i - 1] == 'V') && (i == 1 || sep(tag[i - 2])));
    if (!starts) continue;
    std::string_view rest = tag.substr(i);
    if (!patterns().looks.search(rest)) return std::nullopt;
    return classify(std::string(tag.substr(0, i)), rest);
  }
  return std::nullopt;
}

std::optional<Version> parse_version(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n')) text.remove_suffix(1);
  std::string prefix;
  if (!text.empty() && (text.front() == 'v' || text.front() == 'V')) {
    prefix = text.substr(0, 1);
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  // R writes 1.2-3 where the others write 1.2.3.
  return classify(prefix, text);
}

int compare_versions(const Version& a, const Version& b) {
  std::size_t n = std::max(a.release.size(), b.release.size());
  for (std::size_t i = 0; i < n; ++i) {
    long long x = i < a.release.size() ? a.release[i] : 0;
    long long y = i < b.release.size() ? b.release[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.prerelease != b.prerelease) return a.prerelease ? -1 : 1;
  if (int c = compare_pre(a.pre, b.pre); c != 0) return c;
  if (a.post != b.post) return a.post < b.post ? -1 : 1;
  return 0;
}

bool same_version(const Version& a, const Version& b) { return compare_versions(a, b) == 0; }

}  // namespace ostrameld
