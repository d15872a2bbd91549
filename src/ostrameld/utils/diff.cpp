#include "ostrameld/utils/diff.h"

#include <algorithm>
#include <vector>

namespace ostrameld {

namespace {

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size() - 1;
    out.push_back(text.substr(pos, eol + 1 - pos));
    pos = eol + 1;
  }
  return out;
}

struct Edit {
  char op;  // ' ', '-', '+'
  std::string_view line;
};

// The shortest edit script by the longest common subsequence; quadratic, so bounded.
std::vector<Edit> edits(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b) {
  std::vector<Edit> out;
  constexpr std::size_t kMaxCells = 16u << 20;
  if (a.size() * b.size() > kMaxCells) {
    for (auto l : a) out.push_back({'-', l});
    for (auto l : b) out.push_back({'+', l});
    return out;
  }
  std::vector<std::vector<std::uint32_t>> lcs(a.size() + 1, std::vector<std::uint32_t>(b.size() + 1, 0));
  for (std::size_t i = a.size(); i-- > 0;)
    for (std::size_t j = b.size(); j-- > 0;)
      lcs[i][j] = a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (i < a.size() && j < b.size() && a[i] == b[j]) {
      out.push_back({' ', a[i++]});
      ++j;
    } else if (i < a.size() && (j == b.size() || lcs[i + 1][j] >= lcs[i][j + 1])) {
      out.push_back({'-', a[i++]});  // deletions first, as diff -u shows them
    } else {
      out.push_back({'+', b[j++]});
    }
  }
  return out;
}

std::string range(std::size_t start, std::size_t count) {
  if (count == 0) return std::to_string(start == 0 ? 0 : start - 1) + ",0";
  return count == 1 ? std::to_string(start) : std::to_string(start) + "," + std::to_string(count);
}

}  // namespace

std::string unified_diff(std::string_view path, std::string_view old_text, std::string_view new_text, bool created) {
  if (old_text == new_text && !created) return {};
  std::vector<std::string_view> a = lines_of(old_text), b = lines_of(new_text);
  std::vector<Edit> script = edits(a, b);
  std::string out = std::string("--- ") + (created ? "/dev/null" : "a/" + std::string(path)) + "\n+++ b/" + std::string(path) + "\n";
  constexpr std::size_t kContext = 3;
  std::size_t n = script.size();
  std::size_t k = 0;
  while (k < n) {
    // The next change, and the hunk around it until changes are more than 2*context apart.
    while (k < n && script[k].op == ' ') ++k;
    if (k == n) break;
    std::size_t start = k >= kContext ? k - kContext : 0;
    std::size_t end = k;
    while (end < n) {
      std::size_t next = end;
      while (next < n && script[next].op != ' ') ++next;
      std::size_t gap = next;
      while (gap < n && script[gap].op == ' ') ++gap;
      if (gap == n || gap - next > 2 * kContext) {
        end = std::min(n, next + kContext);
        break;
      }
      end = gap;
    }
    std::size_t a_line = 1, b_line = 1;
    for (std::size_t x = 0; x < start; ++x) {
      if (script[x].op != '+') ++a_line;
      if (script[x].op != '-') ++b_line;
    }
    std::size_t a_count = 0, b_count = 0;
    for (std::size_t x = start; x < end; ++x) {
      if (script[x].op != '+') ++a_count;
      if (script[x].op != '-') ++b_count;
    }
    out += "@@ -" + range(a_line, a_count) + " +" + range(b_line, b_count) + " @@\n";
    for (std::size_t x = start; x < end; ++x) {
      out += script[x].op;
      out.append(script[x].line);
      if (!script[x].line.ends_with('\n')) out += "\n\\ No newline at end of file\n";
    }
    k = end;
  }
  return out;
}

}  // namespace ostrameld
