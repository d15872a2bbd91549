#include <iostream>

#include "ostrameld/cli/commands.h"
#include "ostrameld/engine/profile.h"
#include "ostrameld/plugins/registry.h"
#include "ostrameld/utils/text.h"

namespace ostrameld::cli {

void ListingCommands::add(CLI::App& parent) {
  plugins = parent.add_subcommand("plugins", "List the built-in plugins");
  indicators = parent.add_subcommand("indicators", "List the indicators of the default profile");
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
  const Profile& profile = fair4rs_profile();
  std::cout << "Profile: " << profile.name << '\n';
  for (const auto& spec : profile.indicators) {
    std::string id = spec.fair4rs_id ? std::string(*spec.fair4rs_id) : "-";
    std::string state = builtin_registry().find(spec.plugin) ? "" : "  (plugin not available)";
    std::cout << std::string(spec.key)
              << std::string(spec.key.size() < 26 ? 26 - spec.key.size() : 1, ' ') << id
              << std::string(id.size() < 6 ? 6 - id.size() : 1, ' ') << spec.plugin << "  weight "
              << format_fixed(spec.weight, 0) << state << '\n';
  }
  return 0;
}

}  // namespace ostrameld::cli
