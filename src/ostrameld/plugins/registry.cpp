#include "ostrameld/plugins/registry.h"

#include <stdexcept>
#include <string>

#include "ostrameld/plugins/builtin/bellwyn.h"
#include "ostrameld/plugins/builtin/documentation.h"
#include "ostrameld/plugins/builtin/drumlet.h"
#include "ostrameld/plugins/builtin/halsome.h"
#include "ostrameld/plugins/builtin/morvel.h"
#include "ostrameld/plugins/builtin/quenby.h"
#include "ostrameld/plugins/builtin/releases.h"
#include "ostrameld/plugins/builtin/sorrath.h"
#include "ostrameld/plugins/full/access.h"
#include "ostrameld/plugins/full/archives.h"
#include "ostrameld/plugins/full/citation.h"
#include "ostrameld/plugins/full/components.h"
#include "ostrameld/plugins/full/consistency.h"
#include "ostrameld/plugins/full/dependencies.h"
#include "ostrameld/plugins/full/community.h"
#include "ostrameld/plugins/full/docs.h"
#include "ostrameld/plugins/full/formats.h"
#include "ostrameld/plugins/full/history.h"
#include "ostrameld/plugins/full/licensing.h"
#include "ostrameld/plugins/full/identifiers.h"
#include "ostrameld/plugins/full/references.h"
#include "ostrameld/plugins/full/versions.h"

namespace ostrameld {

void PluginRegistry::add(std::unique_ptr<BasePlugin> plugin) {
  if (!plugin || plugin->name().empty()) throw std::invalid_argument("plugin without a name");
  if (find(plugin->name())) {
    throw std::invalid_argument("plugin registered twice: " + std::string(plugin->name()));
  }
  plugins_.push_back(std::move(plugin));
}

const BasePlugin* PluginRegistry::find(std::string_view name) const {
  for (const auto& p : plugins_)
    if (p->name() == name) return p.get();
  return nullptr;
}

const PluginRegistry& builtin_registry() {
  static const PluginRegistry registry = [] {
    PluginRegistry r;
    r.add(std::make_unique<MorvelPlugin>());
    r.add(std::make_unique<DocumentationPlugin>());
    r.add(std::make_unique<QuenbyPlugin>());
    r.add(std::make_unique<SorrathPlugin>());
    r.add(std::make_unique<BellwynPlugin>());
    r.add(std::make_unique<ReleasesPlugin>());
    r.add(std::make_unique<HalsomePlugin>());
    r.add(std::make_unique<DrumletPlugin>());
    // The full profile's own checks.
    r.add(std::make_unique<PersistentIdentifierPlugin>());
    r.add(std::make_unique<ComponentIdentifiersPlugin>());
    r.add(std::make_unique<OpenAccessPlugin>());
    r.add(std::make_unique<MetadataArchivedPlugin>());
    r.add(std::make_unique<QualifiedReferencesPlugin>());
    r.add(std::make_unique<StandardFormatsPlugin>());
    r.add(std::make_unique<DocsPlugin>());
    r.add(std::make_unique<LicensingPlugin>());
    r.add(std::make_unique<HistoryPlugin>());
    r.add(std::make_unique<CommunityPlugin>());
    r.add(std::make_unique<VersionsPlugin>());
    r.add(std::make_unique<CitationPlugin>());
    r.add(std::make_unique<ConsistencyPlugin>());
    r.add(std::make_unique<DependenciesPlugin>());
    return r;
  }();
  return registry;
}

}  // namespace ostrameld
