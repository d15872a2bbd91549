// configure.ac (or configure.in), read as text: the libraries the build checks for are its
// dependencies — AC_CHECK_LIB, AC_SEARCH_LIBS, PKG_CHECK_MODULES (with versions) and the
// AX_WITH_<LIB> macros. The C library's own parts and the system's are not.
#include <algorithm>
#include <array>

#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/regex.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::metadata {

namespace {

using namespace std::string_view_literals;

// Parts of the C library or the operating system that a build links by name.
constexpr std::array kSystemLibraries{"c"sv,      "m"sv,      "dl"sv,     "rt"sv,     "pthread"sv, "socket"sv,
                                      "nsl"sv,    "resolv"sv, "ws2_32"sv, "regex"sv,  "kernel32"sv, "dld"sv,
                                      "util"sv,   "posix4"sv, "network"sv, "iconv"sv, "intl"sv,     "shlwapi"sv};

std::string_view unquote(std::string_view s) {
  s = py_strip(s);
  while (!s.empty() && s.front() == '[') s.remove_prefix(1);
  while (!s.empty() && s.back() == ']') s.remove_suffix(1);
  return py_strip(s);
}

void add(MetadataSource& out, std::string_view name, std::string constraint = {}) {
  if (name.empty() || name.find('$') != std::string_view::npos ||
      std::find(kSystemLibraries.begin(), kSystemLibraries.end(), name) != kSystemLibraries.end())
    return;
  auto same = [&](const Dependency& d) { return d.name == name; };
  if (auto it = std::find_if(out.dependencies.begin(), out.dependencies.end(), same); it != out.dependencies.end()) {
    if (it->constraint.empty()) it->constraint = std::move(constraint);
    return;
  }
  if (out.dependencies.size() < 200) out.dependencies.push_back(Dependency{std::string(name), std::move(constraint), "build"});
}

}  // namespace

void read_configure_ac(std::string_view text, MetadataSource& out) {
  // dnl and # start comments in autoconf: a macro named there is not called.
  std::string code;
  code.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    std::string_view line = text.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
    pos = eol == std::string_view::npos ? text.size() : eol + 1;
    std::string_view body = py_strip(line);
    if (body.starts_with("dnl") || body.starts_with("#")) continue;
    code.append(line).push_back('\n');
  }
  static const Regex check_lib(R"(\bAC_CHECK_LIB\s*\(\s*\[?\s*([\w+.-]+))");
  for (auto lib : check_lib.find_all_groups(code, 1)) add(out, lib);
  static const Regex search_libs(R"(\bAC_SEARCH_LIBS\s*\(\s*\[?[\w$]+\]?\s*,\s*(\[[^\]]*\]|[\w+. -]+))");
  for (auto libs : search_libs.find_all_groups(code, 1)) {
    std::string_view list = unquote(libs);
    for (std::size_t i = 0; i < list.size();) {
      std::size_t j = list.find(' ', i);
      if (j == std::string_view::npos) j = list.size();
      add(out, list.substr(i, j - i));
      i = j + 1;
    }
  }
  // PKG_CHECK_MODULES([VAR], [glib-2.0 >= 2.40 gio-2.0]): modules, each with its bound.
  static const Regex pkg(R"(\bPKG_CHECK_MODULES(?:_STATIC)?\s*\(\s*\[?\w+\]?\s*,\s*(\[[^\]]*\]|[^,)]+))");
  for (auto spec : pkg.find_all_groups(code, 1)) {
    std::string_view list = unquote(spec);
    std::vector<std::string_view> words;
    for (std::size_t i = 0; i < list.size();) {
      while (i < list.size() && (list[i] == ' ' || list[i] == '\t' || list[i] == ',')) ++i;
      std::size_t j = list.find_first_of(" \t,", i);
      if (j == std::string_view::npos) j = list.size();
      if (j > i) words.push_back(list.substr(i, j - i));
      i = j;
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
      bool bounded = i + 2 < words.size() && (words[i + 1] == ">=" || words[i + 1] == "=" || words[i + 1] == ">");
      if (bounded) {
        add(out, words[i], std::string(words[i + 1]) + std::string(words[i + 2]));
        i += 2;
      } else {
        add(out, words[i]);
      }
    }
  }
  // AX_WITH_HTSLIB, AX_WITH_CURSES: autoconf-archive's finders of one library each.
  static const Regex ax_with(R"(\bAX_WITH_([A-Z0-9]+)\b)");
  for (auto lib : ax_with.find_all_groups(code, 1))
    if (lib != "PROG" && lib != "PROGS") add(out, ascii_lower(lib));
}

}  // namespace ostrameld::metadata
