// Licences as projects declare them, as SPDX: R's names ("GPL-3", "GPL (>= 2)", "MIT + file
// LICENSE"), codemeta's SPDX URLs, deprecated identifiers ("GPL-3.0"), the usual long names
// ("Apache License, Version 2.0"); and whether two declarations name the same licence.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrameld {

// The SPDX expression of a licence name as DESCRIPTION files write it, if R knows it.
std::optional<std::string_view> spdx_of_r_licence(std::string_view r_name);

// A declaration as SPDX, as far as it can be read ("MIT", "GPL-3.0-or-later", "MIT OR
// Apache-2.0"); else the text as written, trimmed.
std::string normalize_licence(std::string_view declared);

// Whether two declarations (normalised) can name the same licence: equal, or one is the
// vague form of the other's family ("GPL-3.0" beside "GPL-3.0-or-later").
bool same_licence(std::string_view a, std::string_view b);

}  // namespace ostrameld
