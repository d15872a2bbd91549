// The plugins the host can run, by name.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class PluginRegistry {
 public:
  // Throws std::invalid_argument for an empty or already registered name.
  void add(std::unique_ptr<BasePlugin> plugin);
  // Null when no plugin of that name is registered.
  const BasePlugin* find(std::string_view name) const;
  const std::vector<std::unique_ptr<BasePlugin>>& plugins() const { return plugins_; }

 private:
  std::vector<std::unique_ptr<BasePlugin>> plugins_;
};

// Every built-in plugin, registered once; the one list to extend with a new check.
const PluginRegistry& builtin_registry();

}  // namespace ostrameld
