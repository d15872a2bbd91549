#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/regex.h"

namespace ostrameld::metadata {

void read_setup_py(std::string_view text, MetadataSource& out) {
  // Only literals count: a value computed by the script is not known without running it.
  static const Regex name(R"re(\bname\s*=\s*["']([A-Za-z0-9._-]+)["'])re");
  static const Regex version(R"re(\bversion\s*=\s*["']([0-9][A-Za-z0-9.+!_-]*)["'])re");
  static const Regex licence(R"re(\blicen[cs]e\s*=\s*["']([^"'\n]{1,100})["'])re");
  static const Regex classifier(R"re(["'](License :: [^"'\n]+)["'])re");
  std::string_view setup = text;
  if (auto at = text.find("setup("); at != std::string_view::npos) setup = text.substr(at);
  if (auto n = name.search_group(setup, 1)) out.title = std::string(*n);
  if (auto v = version.search_group(setup, 1)) out.version = std::string(*v);
  if (auto l = licence.search_group(setup, 1)) out.licences.emplace_back(*l);
  if (out.licences.empty())
    for (auto c : classifier.find_all_groups(text, 1))
      if (auto id = licence_of_classifier(c); !id.empty()) out.licences.push_back(id);
}

}  // namespace ostrameld::metadata
