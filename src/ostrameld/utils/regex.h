// Perl-compatible regular expressions (PCRE2, UTF + UCP), compiled once and shared
// read-only between threads. "\s" and "\S" mean exactly the whitespace of
// str.isspace(), so that patterns behave the same on every kind of blank.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace ostrameld {

class Regex {
 public:
  enum Flags : std::uint32_t {
    kNone = 0,
    kCaseless = 1u << 0,
    kDotAll = 1u << 1,
    kMultiline = 1u << 2,
  };

  // Throws std::invalid_argument when the pattern does not compile.
  explicit Regex(std::string_view pattern, std::uint32_t flags = kNone);
  ~Regex();
  Regex(Regex&&) noexcept;
  Regex& operator=(Regex&&) noexcept;
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  // Unanchored search in valid UTF-8.
  bool search(std::string_view text) const;
  // Unanchored search; the text of capture group `group` of the first match.
  std::optional<std::string_view> search_group(std::string_view text, int group) const;
  // Match that must start at the beginning of the text.
  bool match(std::string_view text) const;
  // Where the first match starts.
  std::optional<std::size_t> find(std::string_view text) const;
  // Capture group `group` of every match, left to right, matches not overlapping.
  std::vector<std::string_view> find_all_groups(std::string_view text, int group) const;

 private:
  std::optional<std::string_view> run(std::string_view text, bool anchored, int group,
                                      std::size_t from = 0) const;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace ostrameld
