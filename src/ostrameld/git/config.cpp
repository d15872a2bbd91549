#include "ostrameld/git/config.h"

#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

bool is_alpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_alnum(char c) {
  return is_alpha(c) || (c >= '0' && c <= '9');
}
// Git's isspace: the C locale's, without the vertical tab.
bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

class Parser {
 public:
  Parser(std::string_view text, std::string_view file) : text_(text), file_(file) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
  }

  std::vector<GitConfigEntry> run() {
    std::vector<GitConfigEntry> out;
    bool comment = false;
    for (;;) {
      int c = get();
      if (c == '\n') {
        comment = false;
        continue;
      }
      if (c == kEnd) return out;
      if (comment) continue;
      if (is_space(static_cast<char>(c))) continue;
      if (c == '#' || c == ';') {
        comment = true;
        continue;
      }
      if (c == '[') {
        read_header();
        continue;
      }
      if (!is_alpha(static_cast<char>(c))) fail();
      out.push_back(read_entry(static_cast<char>(c)));
    }
  }

 private:
  static constexpr int kEnd = -1;

  int get() {
    if (pos_ >= text_.size()) {
      ++pos_;  // so that a last line without a line break counts as its own
      return kEnd;
    }
    char c = text_[pos_++];
    if (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n') c = text_[pos_++];
    if (c == '\n') ++line_;
    return static_cast<unsigned char>(c);
  }

  [[noreturn]] void fail() const {
    throw GitConfigError("bad config line " + std::to_string(line_) + " in file " +
                         std::string(file_));
  }

  // "[section]", "[section \"sub\"]" or the old "[section.sub]".
  void read_header() {
    section_.clear();
    subsection_.clear();
    for (;;) {
      int c = get();
      if (c == kEnd) fail();
      if (c == ']') break;
      if (is_space(static_cast<char>(c))) {
        read_quoted_subsection();
        break;
      }
      if (!is_alnum(static_cast<char>(c)) && c != '.' && c != '-') fail();
      section_.push_back(lower(static_cast<char>(c)));
    }
    if (section_.empty()) fail();
    if (auto dot = section_.find('.'); dot != std::string::npos && subsection_.empty()) {
      subsection_ = section_.substr(dot + 1);  // already lower-cased, as git does
      section_.resize(dot);
    }
  }

  void read_quoted_subsection() {
    int c;
    do c = get();
    while (c != kEnd && is_space(static_cast<char>(c)) && c != '\n');
    if (c != '"') fail();
    for (;;) {
      c = get();
      if (c == kEnd || c == '\n') fail();
      if (c == '"') break;
      if (c == '\\') {
        c = get();
        if (c == kEnd || c == '\n') fail();
      }
      subsection_.push_back(static_cast<char>(c));
    }
    if (get() != ']') fail();
  }

  GitConfigEntry read_entry(char first) {
    GitConfigEntry e{section_, subsection_, std::string(1, lower(first)), std::nullopt};
    int c;
    for (;;) {
      c = get();
      if (c == kEnd || !(is_alnum(static_cast<char>(c)) || c == '-')) break;
      e.key.push_back(lower(static_cast<char>(c)));
    }
    while (c == ' ' || c == '\t') c = get();
    if (c == '\n' || c == kEnd) return e;
    if (c != '=') fail();
    e.value = read_value();
    return e;
  }

  // The value up to the end of the line or a comment: quotes and escapes resolved,
  // each whitespace character outside quotes one space, none kept at either end.
  std::string read_value() {
    std::string value;
    std::size_t spaces = 0;
    bool quoted = false;
    bool comment = false;
    for (;;) {
      int c = get();
      if (c == '\n' || c == kEnd) {
        if (quoted) fail();
        return value;
      }
      if (comment) continue;
      if (is_space(static_cast<char>(c)) && !quoted) {
        if (!value.empty()) ++spaces;
        continue;
      }
      if (!quoted && (c == ';' || c == '#')) {
        comment = true;
        continue;
      }
      value.append(spaces, ' ');
      spaces = 0;
      if (c == '\\') {
        c = get();
        switch (c) {
          case '\n':
            continue;  // a continuation line
          case 't':
            c = '\t';
            break;
          case 'b':
            c = '\b';
            break;
          case 'n':
            c = '\n';
            break;
          case '\\':
          case '"':
            break;
          default:
            fail();
        }
        value.push_back(static_cast<char>(c));
        continue;
      }
      if (c == '"') {
        quoted = !quoted;
        continue;
      }
      value.push_back(static_cast<char>(c));
    }
  }

  std::string_view text_;
  std::string_view file_;
  std::size_t pos_ = 0;
  std::size_t line_ = 1;
  std::string section_;
  std::string subsection_;
};

}  // namespace

std::string GitConfigEntry::name() const {
  if (section.empty()) return key;  // a key before any section, as git allows
  std::string n = section;
  if (!subsection.empty()) n += "." + subsection;
  return n + "." + key;
}

std::vector<GitConfigEntry> parse_git_config(std::string_view text, std::string_view file) {
  return Parser(text, file).run();
}

std::optional<bool> git_config_bool(const std::optional<std::string>& value) {
  if (!value) return true;
  std::string v = ascii_lower(*value);
  if (v == "true" || v == "yes" || v == "on") return true;
  if (v == "false" || v == "no" || v == "off" || v.empty()) return false;
  if (!v.empty() && v.find_first_not_of("0123456789") == std::string::npos) return v != "0";
  return std::nullopt;
}

}  // namespace ostrameld
