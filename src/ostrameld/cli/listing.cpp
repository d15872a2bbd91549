#include <iostream>

#include "ostrameld/cli/commands.h"
#include "ostrameld/engine/profile.h"
#include "ostrameld/plugins/registry.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::cli {

void ListingCommands::add(CLI::App& parent) {
  plugins = parent.add_subcommand("plugins", "List the built-in plugins");
  indicators = parent.add_subcommand(
      "indicators", "List each profile's indicators with their principles and weights");
}

int ListingCommands::run_plugins() const {
  for (const auto& p : builtin_registry().plugins()) {
    std::string keys;
    for (auto k : p->supported_indicators()) keys += (keys.empty() ? "" : ",") + std::string(k);
    std::cout << p->name() << ' ' << p->version() << "  [" << keys << "]  " << p->description()
              << '\n';
  }
  return 0;
}

int ListingCommands::run_indicators() const {
  bool first = true;
  for (const Profile* profile : profiles()) {
    if (!first) std::cout << '\n';
    first = false;
    std::cout << "Profile: " << profile->name
              << (profile == &fair4rs_profile() ? " (default)" : " (--profile " + std::string(profile->name) + ")")
              << " - " << profile->description << '\n';
    for (const auto& spec : profile->indicators) {
      std::string id = spec.fair4rs_id ? std::string(*spec.fair4rs_id) : "-";
      std::string plugin = spec.plugin.empty() ? "-" : std::string(spec.plugin);
      std::string state = spec.plugin.empty()                     ? "  (not built yet)"
                          : builtin_registry().find(spec.plugin)  ? ""
                                                                  : "  (plugin not available)";
      auto pad = [](const std::string& s, std::size_t width) {
        return s + std::string(s.size() < width ? width - s.size() : 1, ' ');
      };
      std::cout << pad(std::string(spec.key), 26) << pad(id, 16) << pad(plugin, 22) << "weight "
                << format_fixed(spec.weight, 0) << state << '\n';
    }
  }
  return 0;
}

}  // namespace ostrameld::cli
