// Safe look at a YAML document as a YAML 1.1 safe loader sees it: its root kind and
// top-level keys, read from libyaml's parser events. Scalars are checked as the loader
// would build them (dates, numbers, tags of plain data only) and merge keys count, but
// nothing is built: aliases stay references, so hostile documents cost bounded work.
#pragma once

#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

#include "ostrameld/utils/json.h"

namespace ostrameld {

class YamlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct YamlShape {
  enum class Root { None, Mapping, Sequence, Scalar, Set };
  Root root = Root::None;          // None: an empty stream or a null document
  std::set<std::string> top_keys;  // scalar keys of a root mapping
};

// Throws YamlError for malformed YAML (tabs and characters where YAML 1.1 has none
// included), more than one document, a value the loader cannot build (2021-02-29,
// !!int abc, a sequence as a key), a tag that plain data cannot have, or nesting deeper
// than a sane document needs.
YamlShape inspect_yaml(std::string_view text);

// The document's data as a YAML 1.1 safe loader builds it, in JSON terms: dates and
// times as ISO text ("2021-08-09", "2021-08-09T10:00:00+00:00"), binary as its text,
// every key as text (true -> "true", 1 -> "1"), merge keys applied, aliases copied.
// Throws as inspect_yaml does, and when aliases copy more than a million nodes.
Json load_yaml(std::string_view text);

}  // namespace ostrameld
