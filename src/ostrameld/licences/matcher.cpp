#include "ostrameld/licences/matcher.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>

#include "ostrameld/utils/regex.h"

namespace ostrameld {

namespace {

struct LicenceIndex {
  std::string_view id;
  std::string_view name;
  std::size_t approx_words;  // for the length prefilter
  std::string_view rare;     // its rarest words among all texts: the second prefilter
};

using namespace std::string_view_literals;
#include "ostrameld/licences/spdx_texts.inc"

constexpr std::size_t kCount = std::size(kLicenceIndex);
static_assert(std::size(kLicenceTexts) == kCount);

using Grams = std::vector<std::uint64_t>;  // sorted, unique hashes of word pairs

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

bool starts_with_ci(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// A copyright notice says who, not on what terms: matchers ignore it.
bool copyright_line(std::string_view line) {
  line = trim(line);
  // Comment markers, and Markdown's quote marker (Julia's licence files quote the text).
  while (!line.empty() && (line.front() == '#' || line.front() == '*' || line.front() == '/' ||
                           line.front() == ' ' || line.front() == '>' || line.front() == '-'))
    line.remove_prefix(1);
  auto year_follows = [](std::string_view rest) {
    rest = trim(rest);
    return !rest.empty() && rest.front() >= '0' && rest.front() <= '9';
  };
  if (starts_with_ci(line, "all rights reserved")) return true;
  // "(c) 2020 Jane Doe" is a notice; "(c) You must retain ..." is clause (c) of a licence.
  if (starts_with_ci(line, "(c)")) return year_follows(line.substr(3));
  if (line.substr(0, 2) == "\xC2\xA9") return year_follows(line.substr(2));
  if (!starts_with_ci(line, "copyright")) return false;
  // "Copyright (c) 2020 ...", "Copyright 2019-2024 ...", "Copyright © ...", "Copyright
  // <year> ...": a notice; "copyright and certain other rights ..." is the licence's text.
  std::string_view rest = trim(line.substr(9));
  while (!rest.empty() && (rest.front() == ':' || rest.front() == ' ')) rest.remove_prefix(1);
  return rest.empty() || starts_with_ci(rest, "(c)") || rest.substr(0, 2) == "\xC2\xA9" ||
         rest.front() == '<' || (rest.front() >= '0' && rest.front() <= '9') ||
         starts_with_ci(rest, "by ");
}

// Typographic punctuation that plain-text copies of a licence spell in ASCII.
std::size_t unicode_punctuation(std::string_view s, std::size_t i) {
  static constexpr std::string_view kMarks[] = {
      "\xE2\x80\x9C", "\xE2\x80\x9D", "\xE2\x80\x98", "\xE2\x80\x99", "\xE2\x80\x93",
      "\xE2\x80\x94", "\xE2\x80\xA2", "\xC2\xB7",     "\xC2\xAB",     "\xC2\xBB",
      "\xE2\x80\xA6", "\xC2\xA0",     "\xC2\xA7",     "\xC2\xA9"};
  for (auto m : kMarks)
    if (s.substr(i, m.size()) == m) return m.size();
  return 0;
}

// British and American spellings are the same licence.
std::string_view canonical_word(std::string_view w) {
  static constexpr std::pair<std::string_view, std::string_view> kSame[] = {
      {"licence", "license"},           {"licences", "licenses"},
      {"licenced", "licensed"},         {"licencing", "licensing"},
      {"organisation", "organization"}, {"organisations", "organizations"},
      {"authorised", "authorized"},     {"recognised", "recognized"},
  };
  for (const auto& [from, to] : kSame)
    if (w == from) return to;
  return w;
}

std::uint64_t word_hash(std::string_view w) {
  std::uint64_t h = 14695981039346656037ULL;
  for (unsigned char c : w) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  return h;
}

// The words of a licence text as matchers compare them: lower case, without copyright
// lines, template blanks ("<year>"), punctuation, numbering or one-letter words. Each
// word is hashed as it is read: texts are compared by their words' hashes.
std::vector<std::uint64_t> words_of(std::string_view text) {
  static const std::uint64_t kDropped[] = {word_hash("http"), word_hash("https"),
                                           word_hash("www")};  // of addresses cut by a line break
  std::vector<std::uint64_t> words;
  words.reserve(text.size() / 6);
  std::uint64_t hash = 14695981039346656037ULL;
  std::size_t length = 0;
  std::size_t start = 0;
  auto flush = [&](std::string_view line, std::size_t end) {
    if (length > 1) {
      if (length >= 7 && length <= 13) {
        // Rare enough to look up by text: British spellings.
        std::string lower(line.substr(start, end - start));
        for (char& c : lower)
          if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        std::string_view canon = canonical_word(lower);
        if (canon != lower) hash = word_hash(canon);
      }
      if (std::find(std::begin(kDropped), std::end(kDropped), hash) == std::end(kDropped))
        words.push_back(hash);
    }
    hash = 14695981039346656037ULL;
    length = 0;
  };
  std::size_t pos = 0;
  // A notice runs on over the lines that continue its list of holders ("Copyright (c)
  // 2012: A, B,\n C and other\n contributors."): after a line ending in a comma or "and",
  // or, while its sentence is unfinished, on a line going on in lower case.
  bool after_comma = false, unfinished = false;
  auto notice_text = [](std::string_view line) {
    line = trim(line);
    while (!line.empty() && (line.front() == '#' || line.front() == '*' || line.front() == '/' ||
                             line.front() == '>' || line.front() == ' '))
      line.remove_prefix(1);
    return trim(line);
  };
  auto note = [&](std::string_view rest) {
    after_comma = !rest.empty() && (rest.back() == ',' || rest.back() == '&' ||
                                    (rest.size() >= 4 && rest.substr(rest.size() - 4) == " and"));
    unfinished = !rest.empty() && rest.back() != '.';
  };
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (copyright_line(line)) {
      note(notice_text(line));
      continue;
    }
    if (after_comma || unfinished) {
      std::string_view rest = notice_text(line);
      if (!rest.empty() && (after_comma || (rest.front() >= 'a' && rest.front() <= 'z'))) {
        note(rest);
        continue;
      }
      after_comma = unfinished = false;
    }
    for (std::size_t i = 0; i < line.size();) {
      auto c = static_cast<unsigned char>(line[i]);
      if (length == 0 && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t' ||
                          line[i - 1] == '<' || line[i - 1] == '(' || line[i - 1] == '"')) {
        // An address (with its scheme or without, "wiki.example.org/page"): copies
        // give it in brackets or not, with or without a scheme. Ignored on both sides.
        std::size_t end = i;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '>' &&
               line[end] != ')' && line[end] != '"')
          ++end;
        std::string_view chunk = line.substr(i, end - i);
        auto slash = chunk.find('/');
        bool address =
            chunk.find("://") != std::string_view::npos || starts_with_ci(chunk, "www.") ||
            (slash != std::string_view::npos && slash > 0 &&
             chunk.substr(0, slash).find('.') != std::string_view::npos &&
             chunk.substr(0, slash).find_first_of("0123456789") == std::string_view::npos);
        if (address) {
          flush(line, i);
          i = end;
          continue;
        }
      }
      if (c == '<') {
        // A template's blank or an address in angle brackets: ignored on both sides.
        auto close = line.find('>', i);
        if (close != std::string_view::npos && close - i <= 80 &&
            line.substr(i + 1, close - i - 1).find('<') == std::string_view::npos) {
          flush(line, i);
          i = close + 1;
          continue;
        }
      }
      if (c >= 0x80) {
        if (std::size_t n = unicode_punctuation(line, i)) {
          flush(line, i);
          i += n;
          continue;
        }
      }
      bool letter = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c >= 0x80;
      if (c >= 'A' && c <= 'Z') {
        c = static_cast<unsigned char>(c - 'A' + 'a');
        letter = true;
      }
      if (letter) {
        if (length == 0) start = i;
        hash ^= c;
        hash *= 1099511628211ULL;
        ++length;
      } else {
        flush(line, i);
      }
      ++i;
    }
    flush(line, line.size());
  }
  return words;
}

// The word pairs of a text in order (for runs of added or missing words).
std::vector<std::uint64_t> pair_sequence(const std::vector<std::uint64_t>& words,
                                         std::size_t count) {
  std::vector<std::uint64_t> seq;
  count = std::min(count, words.size());
  if (count == 1) seq.push_back(words[0]);
  for (std::size_t i = 0; i + 1 < count; ++i)
    seq.push_back(words[i] * 31 ^ (words[i + 1] + 0x9e3779b97f4a7c15ULL));
  return seq;
}

// Sentences that copies of a licence carry or leave out without changing its terms (a
// publisher's notes): removed before comparing, as a template's optional parts are.
void drop_optional_sentences(std::vector<std::uint64_t>& words) {
  static const std::vector<std::vector<std::uint64_t>> kOptional = [] {
    std::vector<std::vector<std::uint64_t>> out;
    for (std::string_view sentence : {
             "the text of the creative commons public licenses is dedicated to the public "
             "domain under the cc0 public domain dedication",
         }) {
      std::vector<std::uint64_t> hashed;
      for (std::size_t start = 0; start < sentence.size();) {
        auto space = sentence.find(' ', start);
        hashed.push_back(word_hash(sentence.substr(start, space - start)));
        if (space == std::string_view::npos) break;
        start = space + 1;
      }
      out.push_back(std::move(hashed));
    }
    return out;
  }();
  for (const auto& sentence : kOptional) {
    auto at = std::search(words.begin(), words.end(), sentence.begin(), sentence.end());
    if (at != words.end()) words.erase(at, at + static_cast<std::ptrdiff_t>(sentence.size()));
  }
}

Grams grams_of(std::vector<std::uint64_t> seq) {
  std::sort(seq.begin(), seq.end());
  seq.erase(std::unique(seq.begin(), seq.end()), seq.end());
  return seq;
}

// How two word sequences differ, as a diff shows it: the longest block of words only
// the first has (added) and only the second has (removed), inside the text and at its
// two ends apart. A sentence added to a licence or a clause removed is one such block,
// where a reworded title or a name is a few scattered words. Nothing when they differ
// in more than max_edits words (then they are no copies of each other anyway).
struct DiffBlocks {
  std::size_t added = 0, removed = 0;                    // inside
  std::size_t leading_added = 0, leading_removed = 0;    // before the first common word
  std::size_t trailing_added = 0, trailing_removed = 0;  // after the last
  std::size_t total_added = 0, total_removed = 0;
};

std::optional<DiffBlocks> diff_blocks(const std::vector<std::uint64_t>& a,
                                      const std::vector<std::uint64_t>& b, int max_edits) {
  // Myers' O((N+M)D) algorithm, keeping each round's frontier to walk the path back.
  const int n = static_cast<int>(a.size());
  const int m = static_cast<int>(b.size());
  const int offset = max_edits + 1;
  std::vector<int> v(static_cast<std::size_t>(2 * offset + 1), 0);
  std::vector<std::vector<int>> trace;
  int found = -1;
  for (int d = 0; d <= max_edits && found < 0; ++d) {
    trace.push_back(v);
    for (int k = -d; k <= d; k += 2) {
      int x = (k == -d || (k != d && v[k - 1 + offset] < v[k + 1 + offset]))
                  ? v[k + 1 + offset]
                  : v[k - 1 + offset] + 1;
      int y = x - k;
      while (x < n && y < m && a[static_cast<std::size_t>(x)] == b[static_cast<std::size_t>(y)]) {
        ++x;
        ++y;
      }
      v[k + offset] = x;
      if (x >= n && y >= m) {
        found = d;
        break;
      }
    }
  }
  if (found < 0) return std::nullopt;
  // The path back from the end, as steps: 'a' a word added, 'r' removed, '=' common.
  std::string steps;
  int x = n, y = m;
  for (int d = found; d > 0; --d) {
    const std::vector<int>& prev = trace[static_cast<std::size_t>(d)];
    int k = x - y;
    bool down = k == -d || (k != d && prev[k - 1 + offset] < prev[k + 1 + offset]);
    int prev_k = down ? k + 1 : k - 1;
    int prev_x = prev[prev_k + offset];
    int prev_y = prev_x - prev_k;
    int start_x = down ? prev_x : prev_x + 1;
    steps.append(static_cast<std::size_t>(x - start_x), '=');
    steps.push_back(down ? 'r' : 'a');
    x = prev_x;
    y = prev_y;
  }
  steps.append(static_cast<std::size_t>(x), '=');
  std::reverse(steps.begin(), steps.end());
  DiffBlocks blocks;
  auto first_common = steps.find('=');
  auto last_common = steps.rfind('=');
  std::size_t run_a = 0, run_r = 0;
  auto close = [&](std::size_t at) {
    bool leading = first_common == std::string::npos || at <= first_common;
    bool trailing = last_common != std::string::npos && at > last_common;
    std::size_t& added = leading    ? blocks.leading_added
                         : trailing ? blocks.trailing_added
                                    : blocks.added;
    std::size_t& removed = leading    ? blocks.leading_removed
                           : trailing ? blocks.trailing_removed
                                      : blocks.removed;
    added = std::max(added, run_a);
    removed = std::max(removed, run_r);
    run_a = run_r = 0;
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (steps[i] == '=') {
      close(i);
    } else if (steps[i] == 'a') {
      ++run_a;
      ++blocks.total_added;
    } else {
      ++run_r;
      ++blocks.total_removed;
    }
  }
  close(steps.size());
  return blocks;
}

double dice(const Grams& a, const Grams& b) {
  if (a.empty() || b.empty()) return 0.0;
  std::size_t common = 0;
  for (std::size_t i = 0, j = 0; i < a.size() && j < b.size();) {
    if (a[i] < b[j]) {
      ++i;
    } else if (b[j] < a[i]) {
      ++j;
    } else {
      ++common;
      ++i;
      ++j;
    }
  }
  return 2.0 * static_cast<double>(common) / static_cast<double>(a.size() + b.size());
}

// Where a text's terms end: after "END OF TERMS AND CONDITIONS", else its end.
std::size_t terms_end(const std::vector<std::uint64_t>& words) {
  static const std::array<std::uint64_t, 5> kEnd = {word_hash("end"), word_hash("of"),
                                                    word_hash("terms"), word_hash("and"),
                                                    word_hash("conditions")};
  auto at = std::search(words.begin(), words.end(), kEnd.begin(), kEnd.end());
  return at == words.end() ? words.size() : static_cast<std::size_t>(at - words.begin()) + 5;
}

// A standard text prepared once per process, when first compared: its word pairs, and
// those up to "END OF TERMS AND CONDITIONS" (the appendix on applying the licence, which
// many copies leave out).
struct Prepared {
  std::once_flag once;
  std::vector<std::uint64_t> words;
  Grams full;
  std::size_t terms_length = 0;  // words up to END OF TERMS AND CONDITIONS; 0: none
  Grams terms;
};

std::array<Prepared, kCount>& prepared_texts() {
  static std::array<Prepared, kCount> all;
  return all;
}

const Prepared& prepared(std::size_t i) {
  Prepared& p = prepared_texts()[i];
  std::call_once(p.once, [&] {
    p.words = words_of(kLicenceTexts[i]);
    drop_optional_sentences(p.words);
    const auto& words = p.words;
    p.full = grams_of(pair_sequence(words, words.size()));
    std::size_t end = terms_end(words);
    if (end < words.size()) {
      p.terms_length = end;
      p.terms = grams_of(pair_sequence(words, p.terms_length));
    }
  });
  return p;
}

// How alike a text is to one standard text: its whole, or its terms without the appendix
// on applying the licence, whichever is closer.
double similarity(std::size_t i, const Grams& grams) {
  const Prepared& p = prepared(i);
  double s = dice(grams, p.full);
  if (!p.terms.empty()) s = std::max(s, dice(grams, p.terms));
  return s;
}

// Whether a text is a copy of one standard text, word by word: within the terms a name or
// a few reworded words, never a sentence of its own or a clause left out. At the ends a
// title may be worded otherwise or missing, and a long legal code may carry its
// publisher's footer; a short licence gains no sentence at its end either. The appendix
// on applying the licence is no part of its terms.
bool standard_copy(std::size_t i, const std::vector<std::uint64_t>& words) {
  const Prepared& p = prepared(i);
  bool terms_only = !p.terms.empty();
  std::size_t ref_length = terms_only ? p.terms_length : p.words.size();
  std::size_t text_length = terms_only ? terms_end(words) : words.size();
  // A copy that stops with the last clause leaves out "END OF TERMS AND CONDITIONS" too.
  if (terms_only && text_length == words.size()) ref_length -= 5;
  std::vector<std::uint64_t> ref(p.words.begin(),
                                 p.words.begin() + static_cast<std::ptrdiff_t>(ref_length));
  std::vector<std::uint64_t> text(words.begin(),
                                  words.begin() + static_cast<std::ptrdiff_t>(text_length));
  int budget = static_cast<int>((text.size() + ref.size()) / 20) + 20;
  auto b = diff_blocks(text, ref, budget);
  if (!b) return false;
  bool long_text = ref.size() >= 500;
  bool terms = b->added <= 3 && b->removed <= 4 && b->leading_added <= (long_text ? 25u : 12u) &&
               b->leading_removed <= 12 && b->trailing_added <= (long_text ? 20u : 3u) &&
               b->trailing_removed <= 4;
  if (!terms || text_length == words.size()) return terms;
  // After the terms, the appendix may be shortened or its blanks filled in, but nothing
  // new may stand there (a "Commons Clause" appended to the licence, say).
  std::vector<std::uint64_t> tail(words.begin() + static_cast<std::ptrdiff_t>(text_length),
                                  words.end());
  std::vector<std::uint64_t> ref_tail(p.words.begin() + static_cast<std::ptrdiff_t>(ref_length),
                                      p.words.end());
  auto t = diff_blocks(tail, ref_tail, static_cast<int>(tail.size() + ref_tail.size()));
  return t && t->total_added <= 10;
}

// Each text's rare words, hashed once per process.
const std::array<std::vector<std::uint64_t>, kCount>& rare_words() {
  static const auto all = [] {
    std::array<std::vector<std::uint64_t>, kCount> out;
    for (std::size_t i = 0; i < kCount; ++i) {
      std::string_view rare = kLicenceIndex[i].rare;
      while (!rare.empty()) {
        auto space = rare.find(' ');
        out[i].push_back(word_hash(rare.substr(0, space)));
        if (space == std::string_view::npos) break;
        rare.remove_prefix(space + 1);
      }
    }
    return out;
  }();
  return all;
}

}  // namespace

std::optional<LicenceMatch> match_licence_text(std::string_view text) {
  auto words = words_of(text);
  drop_optional_sentences(words);
  if (words.size() < 8) return std::nullopt;
  Grams grams = grams_of(pair_sequence(words, words.size()));
  std::vector<std::uint64_t> vocabulary = words;
  std::sort(vocabulary.begin(), vocabulary.end());
  vocabulary.erase(std::unique(vocabulary.begin(), vocabulary.end()), vocabulary.end());
  double n = static_cast<double>(words.size());
  std::vector<std::pair<double, std::size_t>> alike;  // (similarity, text)
  for (std::size_t i = 0; i < kCount; ++i) {
    // Texts this different in size, or without most of a text's rare words, cannot be
    // 90 % alike: most standard texts are never prepared at all.
    double ref = static_cast<double>(kLicenceIndex[i].approx_words);
    if (ref < n * 0.85 || ref > n * 1.18) continue;
    const auto& rare = rare_words()[i];
    std::size_t held = 0;
    for (auto w : rare) held += std::binary_search(vocabulary.begin(), vocabulary.end(), w);
    if (held * 4 < rare.size() * 3) continue;
    double s = similarity(i, grams);
    if (s >= kStandardLicenceSimilarity) alike.emplace_back(s, i);
  }
  // The closest texts first (on a tie the plain one, "MPL-2.0" before its variants);
  // the word-by-word comparison is the costly one.
  std::sort(alike.begin(), alike.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  });
  if (alike.size() > 3) alike.resize(3);
  std::optional<LicenceMatch> best;
  for (const auto& [s, i] : alike) {
    if (standard_copy(i, words)) {
      best = LicenceMatch{kLicenceIndex[i].id, kLicenceIndex[i].name, s};
      break;
    }
  }
  return best;
}

std::optional<double> licence_similarity(std::string_view text, std::string_view spdx) {
  for (std::size_t i = 0; i < kCount; ++i) {
    if (kLicenceIndex[i].id != spdx) continue;
    auto words = words_of(text);
    drop_optional_sentences(words);
    return similarity(i, grams_of(pair_sequence(words, words.size())));
  }
  return std::nullopt;
}

std::vector<std::string> licences_named(std::string_view text) {
  struct Title {
    const char* pattern;
    const char* spdx;
  };
  // Titles as licences and notices write them; the first that names a licence wins
  // for that place in the text (LGPL before GPL).
  static const Title kTitles[] = {
      {R"(Apache License,?\s+(?:Version\s+)?2)", "Apache-2.0"},
      {R"(\bMIT License\b|\bMIT/X11\b|Permission is hereby granted, free of charge)", "MIT"},
      {R"(GNU\s+Lesser\s+General\s+Public\s+Licen[cs]e,?\s+(?:as published.*?)?version\s+2\.1)",
       "LGPL-2.1-only"},
      {R"(GNU\s+Lesser\s+General\s+Public\s+Licen[cs]e,?\s+(?:as published.*?)?version\s+3)",
       "LGPL-3.0-only"},
      {R"(GNU\s+Affero\s+General\s+Public\s+Licen[cs]e)", "AGPL-3.0-only"},
      {R"(GNU\s+(?:General\s+Public\s+Licen[cs]e|GPL),?\s+(?:as published.*?)?version\s+3)",
       "GPL-3.0-only"},
      {R"(GNU\s+(?:General\s+Public\s+Licen[cs]e|GPL),?\s+(?:as published.*?)?version\s+2)",
       "GPL-2.0-only"},
      {R"(BSD[ -]3-Clause|3-clause BSD|Redistribution and use in source and binary forms)",
       "BSD-3-Clause"},
      {R"(BSD[ -]2-Clause|2-clause BSD|Simplified BSD)", "BSD-2-Clause"},
      {R"(Mozilla Public Licen[cs]e,?\s+(?:v\.?|version\s+)?2\.0)", "MPL-2.0"},
      {R"(Boost Software Licen[cs]e)", "BSL-1.0"},
      {R"(Eclipse Public Licen[cs]e,?\s+(?:v\.?|version\s+)?2\.0)", "EPL-2.0"},
      {R"(\bISC Licen[cs]e\b)", "ISC"},
      {R"(zlib Licen[cs]e|zlib/libpng)", "Zlib"},
      {R"(This is free and unencumbered software)", "Unlicense"},
      {R"(CC0 1\.0|Creative Commons Zero)", "CC0-1.0"},
      {R"(Creative Commons Attribution(?:-ShareAlike)? 4\.0|CC[ -]BY(?:-SA)?[ -]4\.0)",
       "CC-BY-4.0"},
      {R"(European Union Public Licen[cs]e)", "EUPL-1.2"},
      {R"(Python Software Foundation License)", "PSF-2.0"},
  };
  static const std::vector<Regex> compiled = [] {
    std::vector<Regex> out;
    for (const auto& t : kTitles) out.emplace_back(t.pattern, Regex::kCaseless | Regex::kDotAll);
    return out;
  }();
  std::vector<std::pair<std::size_t, std::string>> found;  // (where first named, id)
  for (std::size_t i = 0; i < compiled.size(); ++i) {
    if (auto at = compiled[i].find(text)) {
      bool lesser = std::string_view(kTitles[i].spdx).substr(0, 4) == "LGPL";
      bool gpl_in_lgpl =
          !lesser && std::string_view(kTitles[i].spdx).substr(0, 3) == "GPL" &&
          std::any_of(found.begin(), found.end(), [&](const auto& f) { return f.first == *at; });
      if (gpl_in_lgpl) continue;
      // "version 3 of the License, or (at your option) any later version" names the
      // or-later licence; the plain title names the one version.
      std::string id = kTitles[i].spdx;
      static const Regex later(R"(^.{0,300}?any\s+later\s+version)", Regex::kCaseless | Regex::kDotAll);
      if (id.size() > 5 && id.compare(id.size() - 5, 5, "-only") == 0 && later.match(text.substr(*at)))
        id = id.substr(0, id.size() - 5) + "-or-later";
      found.emplace_back(*at, std::move(id));
    }
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> ids;
  for (auto& [at, id] : found)
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(std::move(id));
  return ids;
}

std::vector<std::string> spdx_identifiers_in(std::string_view text) {
  static const Regex line(R"(SPDX-License-Identifier:[ \t]*([^\r\n*]+?)[ \t]*(?:\*/|-->)?[ \t]*$)",
                          Regex::kMultiline);
  std::vector<std::string> ids;
  for (const auto& m : line.find_all_groups(text, 1)) {
    std::string id(m);
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(std::move(id));
  }
  return ids;
}

std::string_view spdx_list_version() {
  return kSpdxListVersion;
}

std::optional<std::string_view> licence_standard_text(std::string_view spdx_id) {
  for (std::size_t i = 0; i < kCount; ++i)
    if (kLicenceIndex[i].id == spdx_id) return kLicenceTexts[i];
  return std::nullopt;
}

}  // namespace ostrameld
