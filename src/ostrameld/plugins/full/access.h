// Open access to the source (A1, A1.1, A1.2, open_access): the source is retrievable by
// an open, standard protocol: an https, ssh or git address on a public host, declared in
// the metadata and agreeing with the git remote. Online, the forge says whether the
// repository is public.
#pragma once

#include "ostrameld/plugins/base.h"

namespace ostrameld {

class OpenAccessPlugin final : public BasePlugin {
 public:
  std::string_view name() const override { return "access"; }
  std::string_view version() const override { return "0.1.0"; }
  std::string_view description() const override { return "The source retrievable by an open protocol (A1)"; }
  std::span<const std::string_view> supported_indicators() const override;
  bool requires_git() const override { return true; }
  CheckResult check(std::string_view indicator_id, const Context& ctx) const override;
};

}  // namespace ostrameld
