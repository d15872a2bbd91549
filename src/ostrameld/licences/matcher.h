// Standard licence texts recognised as licence matchers do: a file and each SPDX text
// are reduced to their words — case, punctuation, bullets and numbering, copyright lines
// and the template's blanks ignored — and compared as sets of word pairs. A file is a
// standard licence only when it is that licence's text nearly word for word, so that a
// licence with a clause removed or a restriction added is never called standard.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrameld {

struct LicenceMatch {
  std::string_view spdx;  // e.g. "BSD-3-Clause"; the GNU texts as their "-only" form
  std::string_view name;  // e.g. "BSD 3-Clause \"New\" or \"Revised\" License"
  double similarity;      // 0 to 1
};

// Word pairs shared from which a text is compared word by word with a standard one.
// Short licences lose several points to a holder's name in place of "ISC" or to a
// one-line preamble ("The X.jl package is licensed under the MIT "Expat" License:"); the
// word-by-word comparison is what tells a copy from a modified licence.
inline constexpr double kStandardLicenceSimilarity = 0.90;

// The standard licence whose whole text this is, if any.
std::optional<LicenceMatch> match_licence_text(std::string_view text);

// The similarity of a text with one licence's standard text (nothing for an unknown id).
std::optional<double> licence_similarity(std::string_view text, std::string_view spdx);

// Licences that a text names by their titles (a project's licence, and those of code it
// bundles), as SPDX identifiers in the order first named; for telling a file that holds
// several licences from one that holds none.
std::vector<std::string> licences_named(std::string_view text);

// The identifiers of every SPDX-License-Identifier line of a text, in order, once each.
std::vector<std::string> spdx_identifiers_in(std::string_view text);

// The standard text of a licence as the SPDX License List gives it, placeholders and all;
// nothing for an identifier the list has no text for.
std::optional<std::string_view> licence_standard_text(std::string_view spdx_id);

// The version of the SPDX License List the texts come from.
std::string_view spdx_list_version();

}  // namespace ostrameld
