#include "ostrameld/utils/identifiers.h"

#include <algorithm>

#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

bool starts_with_ci(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && ascii_lower(s.substr(0, prefix.size())) == prefix;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' ||
                        s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::string_view without_resolver(std::string_view v) {
  for (std::string_view prefix :
       {"https://doi.org/", "http://doi.org/", "https://dx.doi.org/", "http://dx.doi.org/",
        "https://www.doi.org/", "http://www.doi.org/", "doi.org/", "doi:"}) {
    if (starts_with_ci(v, prefix)) {
      v.remove_prefix(prefix.size());
      return trim(v);
    }
  }
  return v;
}

const Regex& crossref() {
  static const Regex re("^10\\.\\d{4,9}/[-._;()/:A-Z0-9]+$", Regex::kCaseless);
  return re;
}
const Regex& early_wiley() {
  static const Regex re("^10\\.1002/\\S+$", Regex::kCaseless);
  return re;
}

// Bracket characters closed without being opened belong to the prose around the DOI.
std::string_view balanced(std::string_view s) {
  for (;;) {
    if (s.empty()) return s;
    char last = s.back();
    if (last == ')' || last == ']') {
      char open = last == ')' ? '(' : '[';
      auto opens = std::count(s.begin(), s.end(), open);
      auto closes = std::count(s.begin(), s.end(), last);
      if (closes > opens) {
        s.remove_suffix(1);
        continue;
      }
      return s;
    }
    if (std::string_view(".,;:'\"!?").find(last) != std::string_view::npos) {
      s.remove_suffix(1);
      continue;
    }
    return s;
  }
}

}  // namespace

std::optional<std::string> parse_doi(std::string_view value) {
  std::string_view v = without_resolver(trim(value));
  if (crossref().match(v) || early_wiley().match(v)) return ascii_lower(v);
  return std::nullopt;
}

std::vector<std::string> dois_in_text(std::string_view text) {
  // Candidates run to the next blank, quote or angle bracket; the pattern decides what
  // of a candidate is a DOI.
  static const Regex candidate("(?<![0-9A-Za-z])(10\\.\\d{4,9}/[^\\s\"'<>`|\\\\]+)");
  std::vector<std::string> out;
  for (std::string_view c : candidate.find_all_groups(text, 1)) {
    std::string_view s = c;
    // "](https://…" and "[![DOI](…)](…)" join a link's text to its target.
    if (auto link = s.find("]("); link != std::string_view::npos) s = s.substr(0, link);
    s = balanced(s);
    for (std::string_view image : {".svg", ".png"}) {
      if (s.size() > image.size() && ascii_lower(s.substr(s.size() - image.size())) == image)
        s.remove_suffix(image.size());
    }
    // A percent-encoded character ends the DOI where a URL carried it further.
    if (auto pct = s.find('%'); pct != std::string_view::npos) s = s.substr(0, pct);
    s = balanced(s);
    auto doi = parse_doi(s);
    if (doi && std::find(out.begin(), out.end(), *doi) == out.end()) out.push_back(*doi);
  }
  return out;
}

std::optional<Swhid> parse_swhid(std::string_view value) {
  static const Regex core("^swh:1:(cnt|dir|rev|rel|snp):[0-9a-f]{40}$");
  static const Regex context("^swh:1:snp:[0-9a-f]{40}$");
  static const Regex anchor("^swh:1:(dir|rev|rel|snp):[0-9a-f]{40}$");
  static const Regex lines("^[0-9]+(-[0-9]+)?$");
  std::string_view v = trim(value);
  auto semi = v.find(';');
  std::string_view head = v.substr(0, semi);
  if (!core.match(head) || head.size() != 50) return std::nullopt;
  Swhid id;
  id.kind = std::string(head.substr(6, 3));
  id.hash = std::string(head.substr(10));
  while (semi != std::string_view::npos) {
    std::size_t start = semi + 1;
    semi = v.find(';', start);
    std::string_view q = v.substr(start, semi == std::string_view::npos ? v.npos : semi - start);
    auto eq = q.find('=');
    if (eq == std::string_view::npos || eq == 0 || eq + 1 == q.size()) return std::nullopt;
    std::string_view key = q.substr(0, eq), val = q.substr(eq + 1);
    bool ok = key == "origin" || key == "path"
                  ? val.find_first_of(" \t\n") == std::string_view::npos
              : key == "visit"  ? context.match(val) && val.size() == 50
              : key == "anchor" ? anchor.match(val) && val.size() == 50
              : key == "lines"  ? lines.match(val)
                                : false;
    if (!ok) return std::nullopt;
    id.qualifiers.emplace_back(key, val);
  }
  return id;
}

std::vector<Swhid> swhids_in_text(std::string_view text) {
  static const Regex candidate("(swh:1:(?:cnt|dir|rev|rel|snp):[0-9a-f]{40}(?:;[^\\s;\"'<>)\\]]+)*)");
  std::vector<Swhid> out;
  for (std::string_view c : candidate.find_all_groups(text, 1)) {
    auto id = parse_swhid(balanced(c));
    if (!id) id = parse_swhid(c.substr(0, 50));  // the core stands without its qualifiers
    if (!id) continue;
    bool seen = std::any_of(out.begin(), out.end(),
                            [&](const Swhid& s) { return s.core() == id->core(); });
    if (!seen) out.push_back(std::move(*id));
  }
  return out;
}

namespace {

// ISO 7064 MOD 11-2 over the first fifteen digits.
char orcid_check_character(std::string_view digits) {
  int total = 0;
  for (char c : digits) total = (total + (c - '0')) * 2;
  int result = (12 - total % 11) % 11;
  return result == 10 ? 'X' : static_cast<char>('0' + result);
}

Orcid make_orcid(std::string_view id) {
  Orcid o;
  o.id = std::string(id);
  if (o.id.back() == 'x') o.id.back() = 'X';
  std::string digits;
  for (char c : o.id.substr(0, 18))
    if (c != '-') digits.push_back(c);
  o.checksum_valid = orcid_check_character(digits) == o.id.back();
  return o;
}

}  // namespace

std::optional<Orcid> parse_orcid(std::string_view value) {
  static const Regex re("^(?:(?:https?://)?(?:www\\.)?orcid\\.org/)?(\\d{4}-\\d{4}-\\d{4}-\\d{3}[\\dXx])/?$",
                        Regex::kCaseless);
  std::string_view v = trim(value);
  auto id = re.search_group(v, 1);
  if (!id || !re.match(v)) return std::nullopt;
  return make_orcid(*id);
}

std::vector<Orcid> orcids_in_text(std::string_view text) {
  static const Regex re("(?<![0-9-])(\\d{4}-\\d{4}-\\d{4}-\\d{3}[\\dXx])(?![0-9A-Za-z-])");
  std::vector<Orcid> out;
  for (std::string_view id : re.find_all_groups(text, 1)) {
    Orcid o = make_orcid(id);
    bool seen = std::any_of(out.begin(), out.end(), [&](const Orcid& x) { return x.id == o.id; });
    if (!seen) out.push_back(std::move(o));
  }
  return out;
}

}  // namespace ostrameld
