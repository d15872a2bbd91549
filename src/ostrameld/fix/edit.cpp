#include "ostrameld/fix/edit.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "ostrameld/utils/json.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::fix {

namespace {

struct YamlValue {
  std::size_t begin = 0, end = 0;  // the value's bytes, quotes included
  char quote = 0;                  // '"', '\'' or 0
  std::string value;
};

std::optional<YamlValue> find_yaml(std::string_view text, std::string_view key) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = text.substr(pos, eol - pos);
    std::size_t line_start = pos;
    pos = eol + 1;
    // A top-level key starts the line; the key may be quoted.
    std::size_t k = 0;
    if (line.starts_with(key)) k = key.size();
    else if (line.size() > key.size() + 2 && (line[0] == '"' || line[0] == '\'') && line.substr(1, key.size()) == key &&
             line[key.size() + 1] == line[0])
      k = key.size() + 2;
    else
      continue;
    if (k >= line.size() || line[k] != ':') continue;
    std::size_t v = k + 1;
    while (v < line.size() && line[v] == ' ') ++v;
    std::string_view rest = line.substr(v);
    if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
    if (rest.empty() || rest.front() == '|' || rest.front() == '>' || rest.front() == '&' || rest.front() == '*' ||
        rest.front() == '[' || rest.front() == '{' || rest.front() == '!')
      return std::nullopt;  // a block, an anchor or a collection: not a one-line scalar
    YamlValue out;
    if (rest.front() == '"' || rest.front() == '\'') {
      char q = rest.front();
      std::size_t i = 1;
      std::string value;
      for (; i < rest.size(); ++i) {
        if (q == '"' && rest[i] == '\\') return std::nullopt;  // escapes: not edited in place
        if (rest[i] == q) {
          if (q == '\'' && i + 1 < rest.size() && rest[i + 1] == '\'') {
            value += '\'';
            ++i;
            continue;
          }
          break;
        }
        value += rest[i];
      }
      if (i >= rest.size()) return std::nullopt;  // continues on the next line
      out = {line_start + v, line_start + v + i + 1, q, value};
    } else {
      std::size_t comment = rest.find(" #");
      std::string_view plain = rest.substr(0, comment);
      while (!plain.empty() && (plain.back() == ' ' || plain.back() == '\t')) plain.remove_suffix(1);
      // A value that starts with other blank characters is not one this edit can keep exact.
      if (plain.empty() || std::isspace(static_cast<unsigned char>(plain.front())) ||
          py_strip(plain).size() != plain.size())
        return std::nullopt;
      out = {line_start + v, line_start + v + plain.size(), 0, std::string(plain)};
    }
    return out;
  }
  return std::nullopt;
}

// A top-level member's string value in JSON: its token's bytes.
std::optional<std::pair<std::size_t, std::size_t>> find_json(std::string_view text, std::string_view key) {
  int depth = 0;
  bool in_string = false, expect_value = false, is_key = false;
  std::size_t string_start = 0;
  std::string last_key;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
        std::string_view token = text.substr(string_start, i + 1 - string_start);
        if (depth == 1 && expect_value) {
          if (last_key == key) return std::make_pair(string_start, i + 1);
          expect_value = false;
        } else if (depth == 1 && is_key) {
          try {
            last_key = Json::parse(token).get<std::string>();
          } catch (const std::exception&) {
            return std::nullopt;
          }
        }
      }
      continue;
    }
    switch (c) {
      case '"':
        in_string = true;
        string_start = i;
        is_key = depth == 1 && !expect_value;
        break;
      case '{':
      case '[':
        ++depth;
        expect_value = false;
        break;
      case '}':
      case ']':
        --depth;
        break;
      case ':':
        if (depth == 1) expect_value = true;
        break;
      case ',':
        if (depth == 1) expect_value = false;
        break;
      default:
        if (depth == 1 && expect_value && c != ' ' && c != '\n' && c != '\r' && c != '\t') expect_value = false;
        break;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> yaml_top_level(std::string_view text, std::string_view key) {
  auto v = find_yaml(text, key);
  if (!v) return std::nullopt;
  return v->value;
}

std::optional<std::string> set_yaml_top_level(std::string_view text, std::string_view key, std::string_view value) {
  auto v = find_yaml(text, key);
  if (!v) return std::nullopt;
  std::string token;
  if (v->quote == '\'') {
    token = "'";
    for (char c : value) token += c == '\'' ? std::string("''") : std::string(1, c);
    token += "'";
  } else {
    // Plain values that YAML would read as something else, or with characters that
    // end a plain scalar, are written double-quoted.
    // A plain "1.2" or "3" would be read back as a number.
    bool numeric = !value.empty() && value.find_first_not_of("0123456789.") == std::string_view::npos &&
                   std::count(value.begin(), value.end(), '.') <= 1;
    bool plain_ok = v->quote == 0 && !value.empty() && !numeric &&
                    value.find_first_of(":#'\"\\\n") == std::string_view::npos && value.front() != ' ' &&
                    value.back() != ' ';
    if (plain_ok) token = std::string(value);
    else token = dump_json(Json(std::string(value)), std::nullopt);  // a JSON string is a YAML double-quoted scalar
  }
  std::string out(text);
  out.replace(v->begin, v->end - v->begin, token);
  return out;
}

std::optional<std::string> json_top_level(std::string_view text, std::string_view key) {
  auto at = find_json(text, key);
  if (!at) return std::nullopt;
  try {
    return Json::parse(text.substr(at->first, at->second - at->first)).get<std::string>();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> set_json_top_level(std::string_view text, std::string_view key, std::string_view value) {
  auto at = find_json(text, key);
  if (!at || !json_top_level(text, key)) return std::nullopt;  // only a string that reads as one
  std::string out(text);
  out.replace(at->first, at->second - at->first, dump_json(Json(std::string(value)), std::nullopt));
  return out;
}

}  // namespace ostrameld::fix
