#include "ostrameld/engine/project_config.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "ostrameld/metadata/model.h"
#include "ostrameld/services/forge.h"
#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

using namespace std::string_view_literals;

constexpr std::array kKeys{"profile"sv, "fail-under"sv, "forge"sv, "exempt"sv};
// A reason is a sentence for the report, not a document.
constexpr std::size_t kMaxReason = 500;

// A key as the message shows it: the file's text, made safe for one terminal line.
std::string shown(std::string_view key) { return "\"" + escape_line(sanitize_utf8(key)) + "\""; }

std::string type_name(const Json& v) {
  if (v.is_string()) return "a string";
  if (v.is_number()) return "a number";
  if (v.is_boolean()) return "a boolean";
  if (v.is_array()) return "an array";
  if (v.is_object()) return "a table";
  return "a value";
}

}  // namespace

std::string ProjectConfig::where() const {
  return file == "pyproject.toml" ? "pyproject.toml [tool.ostrameld]" : file;
}

ProjectConfig parse_project_config(std::string_view text, std::string_view file, bool pyproject) {
  ProjectConfig config;
  config.file = file;
  std::string where = config.where();
  auto fail = [&](const std::string& message) -> ConfigError {
    return ConfigError(where + ": " + message);
  };
  Json doc;
  try {
    doc = metadata::load_toml(text);
  } catch (const std::exception& e) {
    // A pyproject.toml that does not name our table is the metadata checks' to judge.
    if (pyproject && text.find("tool.ostrameld") == std::string_view::npos) return {};
    throw ConfigError(std::string(file) + ": not valid TOML: " + escape_line(sanitize_utf8(e.what())));
  }
  if (pyproject) {
    const Json* tool = doc.is_object() && doc.contains("tool") ? &doc["tool"] : nullptr;
    if (!tool || !tool->is_object() || !tool->contains("ostrameld")) return {};
    doc = (*tool)["ostrameld"];
    if (!doc.is_object()) throw fail("must be a table, not " + type_name(doc));
  }
  for (const auto& [key, value] : doc.items()) {
    if (std::find(kKeys.begin(), kKeys.end(), key) == kKeys.end())
      throw fail("unknown key " + shown(key) + " (known: profile, fail-under, forge, exempt)");
    if (key == "profile") {
      if (!value.is_string()) throw fail("profile must be a string, not " + type_name(value));
      std::string name = value.get<std::string>();
      if (!find_profile(name)) throw fail("profile: unknown profile " + shown(name));
      config.profile = name;
    } else if (key == "fail-under") {
      if (!value.is_number() || value.is_boolean())
        throw fail("fail-under must be a number from 0 to 10, not " + type_name(value));
      double v = value.get<double>();
      if (!(std::isfinite(v) && v >= 0.0 && v <= 10.0))
        throw fail("fail-under must be a number from 0 to 10, not " + format_seconds(v));
      config.fail_under = v;
    } else if (key == "forge") {
      if (!value.is_object())
        throw fail("forge must be a table of HOST = \"github\" | \"gitlab\" | \"gitea\", not " +
                   type_name(value));
      for (const auto& [host, style] : value.items()) {
        if (!style.is_string())
          throw fail("forge." + shown(host) + " must be a string, not " + type_name(style));
        std::string spec = host + "=" + style.get<std::string>();
        try {
          parse_forge_spec(spec);
        } catch (const std::invalid_argument& e) {
          throw fail("forge." + shown(host) + ": " + e.what());
        }
        config.forges.push_back(spec);
      }
    } else {
      if (!value.is_object())
        throw fail("exempt must be a table of indicator = \"reason\", not " + type_name(value));
      for (const auto& [indicator, reason] : value.items()) {
        if (!profile_of_indicator(indicator))
          throw fail("exempt." + shown(indicator) +
                     ": unknown indicator (see 'ostrameld indicators')");
        if (!reason.is_string())
          throw fail("exempt." + shown(indicator) + " must be a reason (a string), not " +
                     type_name(reason));
        std::string why(py_strip(sanitize_utf8(reason.get<std::string>())));
        if (why.empty()) throw fail("exempt." + shown(indicator) + ": an exemption needs a reason");
        if (why.size() > kMaxReason)
          throw fail("exempt." + shown(indicator) + ": the reason is longer than " +
                     std::to_string(kMaxReason) + " bytes");
        config.exempt.push_back({indicator, escape_line(why)});
      }
    }
  }
  return config;
}

ProjectConfig read_project_config(const Path& root) {
  ProjectConfig found;
  for (auto [name, pyproject] : {std::pair{".ostrameld.toml"sv, false}, {"pyproject.toml"sv, true}}) {
    Path file = root / name;
    std::error_code ec;
    if (!pyproject && std::filesystem::is_symlink(file, ec) && leads_outside(file, root))
      throw ConfigError(std::string(name) + ": a link out of the repository; not read");
    if (!path_exists(file, root)) continue;
    if (!is_file(file, root)) {
      if (pyproject) continue;  // not ours to judge: the metadata checks say what it is
      throw ConfigError(std::string(name) + ": not a regular file inside the repository");
    }
    std::string text;
    try {
      text = read_bytes_prefix(file, kMaxConfigBytes + 1, root);
    } catch (const std::exception& e) {
      if (pyproject) continue;
      throw ConfigError(std::string(name) + ": cannot be read: " + escape_line(sanitize_utf8(e.what())));
    }
    if (text.size() > kMaxConfigBytes) {
      if (pyproject && text.find("[tool.ostrameld") == std::string::npos) continue;
      throw ConfigError(std::string(name) + ": larger than " +
                        std::to_string(kMaxConfigBytes / 1024) + " KiB; not read");
    }
    // Only our table makes a pyproject.toml ours to judge: its other faults are the
    // metadata checks' findings, never a refusal to assess.
    if (pyproject && text.find("ostrameld") == std::string::npos) continue;
    ProjectConfig config = parse_project_config(text, name, pyproject);
    if (config.empty()) continue;
    if (!found.empty())
      throw ConfigError("both .ostrameld.toml and pyproject.toml [tool.ostrameld] hold settings; "
                        "keep one");
    found = std::move(config);
  }
  return found;
}

std::vector<Exemption> exemptions_for(const ProjectConfig& config, const Profile& profile) {
  std::vector<Exemption> out;
  for (const auto& e : config.exempt)
    if (profile.find(e.indicator)) out.push_back(e);
  return out;
}

}  // namespace ostrameld
