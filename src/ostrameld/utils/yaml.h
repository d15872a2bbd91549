// Safe look at a YAML document: its root kind and top-level keys, read from parser
// events. Nothing is constructed, aliases are never expanded and tags are never
// executed, so hostile documents cost time linear in their size.
#pragma once

#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ostrameld {

class YamlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct YamlShape {
  enum class Root { None, Mapping, Sequence, Scalar };
  Root root = Root::None;          // None: an empty stream or a null document
  std::set<std::string> top_keys;  // scalar keys of a root mapping
};

// Throws YamlError for malformed YAML, more than one document, a tag that plain data
// cannot have, or nesting deeper than a sane document needs.
YamlShape inspect_yaml(std::string_view text);

}  // namespace ostrameld
