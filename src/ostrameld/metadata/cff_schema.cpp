#include "ostrameld/metadata/cff_schema.h"

#include <valijson/adapters/nlohmann_json_adapter.hpp>
#include <valijson/schema.hpp>
#include <valijson/schema_parser.hpp>
#include <valijson/validation_results.hpp>
#include <valijson/validator.hpp>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_set>

namespace ostrameld {

namespace {

constexpr const char* kSchemaText =
#include "ostrameld/metadata/cff_schema.inc"
    ;

// The validator compares every pair of items for uniqueItems: hours for a list of a
// million keywords. The schema is given without it, and repeated_items checks the same
// lists in one pass.
void drop_unique_items(nlohmann::json& node) {
  if (node.is_object()) {
    node.erase("uniqueItems");
    for (auto& [key, value] : node.items()) drop_unique_items(value);
  } else if (node.is_array()) {
    for (auto& value : node) drop_unique_items(value);
  }
}

// valijson reads a value under "format" as text whatever it is, and aborts the process
// for a list or a number (an ORCID given as a list): each format is checked only where
// the value is text, its "type" beside it saying what else is wrong.
void guard_formats(nlohmann::json& node) {
  if (node.is_object()) {
    auto format = node.find("format");
    if (format != node.end() && format->is_string() && node.contains("type") && !node.contains("if")) {
      nlohmann::json kind = *format;
      node.erase("format");
      node["if"] = {{"type", "string"}};
      node["then"] = {{"format", kind}};
    }
    for (auto& [key, value] : node.items()) guard_formats(value);
  } else if (node.is_array()) {
    for (auto& value : node) guard_formats(value);
  }
}

// The lists CFF 1.2.0 says hold no item twice: at the top and in every reference
// (preferred-citation is one), and a list of licences wherever a licence may stand.
constexpr std::string_view kUniqueAtTop[] = {"authors", "contact", "identifiers", "keywords",
                                             "references", "license"};
constexpr std::string_view kUniqueInReference[] = {
    "authors",      "contact",       "editors",    "editors-series", "identifiers", "keywords",
    "languages",    "patent-states", "recipients", "senders",        "translators", "license"};

void check_unique(const nlohmann::json& list, const std::string& path,
                  std::vector<std::string>& out) {
  if (!list.is_array() || list.size() < 2) return;
  std::unordered_set<std::string> seen;
  seen.reserve(list.size());
  for (const auto& item : list) {
    // dump() writes objects with sorted keys: equal values, equal texts.
    if (!seen.insert(item.dump()).second) {
      out.push_back(path + ": has repeated items");
      return;
    }
  }
}

std::vector<std::string> repeated_items(const nlohmann::json& doc) {
  std::vector<std::string> out;
  if (!doc.is_object()) return out;
  auto in_reference = [&](const nlohmann::json& ref, const std::string& at) {
    if (!ref.is_object()) return;
    for (std::string_view key : kUniqueInReference) {
      auto it = ref.find(std::string(key));
      if (it != ref.end()) check_unique(*it, at + "." + std::string(key), out);
    }
  };
  for (std::string_view key : kUniqueAtTop) {
    auto it = doc.find(std::string(key));
    if (it != doc.end()) check_unique(*it, std::string(key), out);
  }
  if (auto pc = doc.find("preferred-citation"); pc != doc.end())
    in_reference(*pc, "preferred-citation");
  if (auto refs = doc.find("references"); refs != doc.end() && refs->is_array())
    for (std::size_t i = 0; i < refs->size(); ++i)
      in_reference((*refs)[i], "references[" + std::to_string(i) + "]");
  return out;
}

nlohmann::json shortened(const nlohmann::json& node) {
  constexpr std::size_t kKeptItems = 1000;  // more than minItems asks anywhere
  if (node.is_array()) {
    nlohmann::json out = nlohmann::json::array();
    for (std::size_t i = 0; i < node.size() && i < kKeptItems; ++i)
      out.push_back(shortened(node[i]));
    return out;
  }
  if (node.is_object()) {
    nlohmann::json out = nlohmann::json::object();
    for (const auto& [key, value] : node.items()) out[key] = shortened(value);
    return out;
  }
  return node;
}

// Parsed once, on first use (the schema is not copyable).
const valijson::Schema& cff_schema() {
  static const std::unique_ptr<valijson::Schema> schema = [] {
    auto s = std::make_unique<valijson::Schema>();
    nlohmann::json doc = nlohmann::json::parse(kSchemaText);
    drop_unique_items(doc);
    guard_formats(doc);
    valijson::SchemaParser parser(valijson::SchemaParser::kDraft7);
    valijson::adapters::NlohmannJsonAdapter adapter(doc);
    parser.populateSchema(adapter, *s);
    return s;
  }();
  return *schema;
}

// "[authors][0][family-names]" -> "authors[0].family-names"; the last key alone too.
std::pair<std::string, std::string> path_of(const std::vector<std::string>& context) {
  std::string path, last;
  for (const auto& c : context) {
    if (c == "<root>" || c.size() < 2 || c.front() != '[') continue;
    std::string inner = c.substr(1, c.size() - 2);
    bool index = !inner.empty() && inner.find_first_not_of("0123456789") == std::string::npos;
    if (index) {
      path += "[" + inner + "]";
    } else {
      path += (path.empty() ? "" : ".") + inner;
      last = inner;
    }
  }
  return {path, last};
}

bool has(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// What the schema's complaint means for the key it is about, in a few words.
std::string reason(const std::string& description, const std::string& key, const std::string& path) {
  if (has(description, "could not be validated using 'properties' or 'additionalProperties'")) {
    auto q = description.rfind(": '");
    std::string name = q == std::string::npos ? "" : description.substr(q + 3, description.size() - q - 5);
    return "'" + name + "' is not a CFF key";
  }
  if (has(description, "Missing required property")) {
    auto q = description.find('\'');
    std::string name = q == std::string::npos ? "" : description.substr(q + 1, description.rfind('\'') - q - 1);
    return "needs " + name;
  }
  if (has(description, "valid date") || (key == "date-released" || key == "date-published" ||
                                          key == "date-accessed" || key == "date-downloaded"))
    return "not a date (YYYY-MM-DD)";
  if (has(description, "'pattern'") || has(description, "format")) {
    if (key == "doi") return "not a DOI";
    if (key == "orcid") return "not an ORCID URL (https://orcid.org/NNNN-NNNN-NNNN-NNNX)";
    if (key == "url" || key == "repository" || key == "repository-code" || key == "repository-artifact")
      return "not a URL";
    if (key == "cff-version") return "not a CFF version";
    if (key == "email") return "not an e-mail address";
    return "not in the required form";
  }
  if (has(description, "anyOf") || has(description, "oneOf")) {
    if (has(path, "authors[") || has(path, "editors[") || has(path, "contact[") ||
        has(path, "translators[") || has(path, "recipients[") || has(path, "senders["))
      return "needs family-names or name";
    if (key == "license") return "not an SPDX licence identifier (or a list of them)";
    if (key == "identifiers" || has(path, "identifiers[")) return "needs type (doi, url, swh or other) and value";
    return "not any of the allowed forms";
  }
  if (has(description, "enum")) {
    if (key == "type") return "not a type CFF knows";
    if (key == "license") return "not an SPDX licence identifier";
    return "not one of the allowed values";
  }
  if (has(description, "type not permitted")) {
    // An item of a list is named by its index; the key is its list's.
    if (!path.empty() && path.back() == ']')
      return key == "keywords" ? "must be text" : "has the wrong type";
    if (key == "authors" || key == "keywords" || key == "references" || key == "identifiers" ||
        key == "contact")
      return "must be a list";
    if (key == "title" || key == "message" || key == "abstract" || key == "name" ||
        key == "family-names" || key == "given-names" || key == "commit")
      return "must be text";
    return "has the wrong type";
  }
  if (has(description, "minItems") || has(description, "at least")) return "must not be empty";
  if (has(description, "minLength")) return "must not be empty";
  if (has(description, "uniqueItems") || has(description, "unique")) return "has repeated items";
  return description;
}

// A complaint that only repeats, one level up, what a deeper one said.
bool summarises(const std::string& description) {
  return has(description, "Failed to validate against schema associated with property") ||
         has(description, "Failed to validate item #") ||
         has(description, "Failed to validate against child schema");
}

// Where a value must match one of several forms, the validator reports each form's
// complaints in turn, each closed by "Failed to validate against child schema #N". The
// form with the fewest complaints is the one the author meant (an identifier of type doi
// with one key too many fails the url form on its type and value too): only its
// complaints are kept.
void keep_closest_forms(std::vector<std::pair<std::string, std::string>>& raw, std::vector<std::string>& keys) {
  auto within = [](const std::string& path, const std::string& place) {
    return path == place || (path.size() > place.size() && path.compare(0, place.size(), place) == 0 &&
                             (path[place.size()] == '.' || path[place.size()] == '[' || place.empty()));
  };
  std::vector<bool> drop(raw.size(), false);
  std::map<std::string, std::vector<std::pair<std::size_t, std::size_t>>> forms;  // place -> [begin, end) of each form
  std::map<std::string, std::size_t> next;                                       // place -> where its next form begins
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const auto& [path, description] = raw[i];
    if (has(description, "Failed to validate against child schema #")) {
      std::size_t begin;
      if (auto it = next.find(path); it != next.end()) {
        begin = it->second;
      } else {
        begin = i;
        while (begin > 0 && within(raw[begin - 1].first, path) && !summarises(raw[begin - 1].second)) --begin;
      }
      forms[path].emplace_back(begin, i);
      next[path] = i + 1;
    } else if (has(description, "anyOf") || has(description, "oneOf")) {
      auto it = forms.find(path);
      if (it == forms.end() || it->second.size() < 2) continue;
      auto complaints = [&](std::pair<std::size_t, std::size_t> f) {
        std::size_t n = 0;
        for (std::size_t k = f.first; k < f.second; ++k) n += !summarises(raw[k].second) && !drop[k];
        return n;
      };
      auto best = std::min_element(it->second.begin(), it->second.end(),
                                   [&](auto a, auto b) { return complaints(a) < complaints(b); });
      // Only a form clearly closer than every other is the one meant.
      std::size_t fewest = complaints(*best);
      bool clear = std::none_of(it->second.begin(), it->second.end(),
                                [&](auto f) { return f != *best && complaints(f) <= fewest; });
      if (fewest == 0 || !clear) continue;
      for (auto f : it->second)
        if (f != *best)
          for (std::size_t k = f.first; k <= f.second; ++k) drop[k] = true;
      // Resolved: the place is no longer one of several forms.
      drop[best->second] = true;
      drop[i] = true;
      forms.erase(it);
      next.erase(path);
    }
  }
  std::size_t w = 0;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (drop[i]) continue;
    if (w != i) {
      raw[w] = std::move(raw[i]);
      keys[w] = std::move(keys[i]);
    }
    ++w;
  }
  raw.resize(w);
  keys.resize(w);
}

}  // namespace

std::vector<std::string> cff_schema_errors(const Json& document) {
  // valijson's adapter reads nlohmann's plain json; the document is small.
  nlohmann::json doc = nlohmann::json::parse(document.dump());
  thread_local valijson::Validator validator;  // keeps its compiled patterns
  valijson::ValidationResults results;
  valijson::adapters::NlohmannJsonAdapter target(doc);
  std::vector<std::string> repeated = repeated_items(doc);
  std::vector<std::string> out;
  // Without a place for complaints the validator stops at the first. Only an invalid
  // document is gone through again for them, with each long list cut to its first items:
  // the validator keeps every complaint it makes, a million of them for a million wrong
  // items, and the first thousand say as much.
  if (validator.validate(cff_schema(), target, nullptr)) return repeated;
  nlohmann::json head = shortened(doc);
  valijson::adapters::NlohmannJsonAdapter short_target(head);
  // A wrong item past the cut: the whole document is gone through once more, still in
  // one linear pass, so that the complaint names it.
  if (validator.validate(cff_schema(), short_target, &results))
    validator.validate(cff_schema(), target, &results);
  valijson::ValidationResults::Error e;
  std::vector<std::pair<std::string, std::string>> raw;
  std::vector<std::string> keys;  // the last named key of each path
  // A document wrong in every one of a million items says so in its first thousand
  // complaints; the sifting below compares them pairwise.
  constexpr std::size_t kMaxComplaints = 1000;
  while (raw.size() < kMaxComplaints && results.popError(e)) {
    auto [path, key] = path_of(e.context);
    raw.emplace_back(path, e.description);
    keys.push_back(key);
  }
  // Where a value matches none of several forms (a person or an entity; one licence or a
  // list), each form's complaints at that place are noise: the deeper, specific ones say
  // what is wrong, and without them the place gets one line of its own.
  keep_closest_forms(raw, keys);
  std::vector<std::string> alternatives;
  for (const auto& [path, description] : raw)
    if (has(description, "anyOf") || has(description, "oneOf")) alternatives.push_back(path);
  auto under = [&](const std::string& path, const std::string& place) {
    return path.size() > place.size() && path.compare(0, place.size(), place) == 0 &&
           (path[place.size()] == '.' || path[place.size()] == '[' || place.empty());
  };
  auto specific_under = [&](const std::string& place) {
    return std::any_of(raw.begin(), raw.end(), [&](const auto& r) {
      return under(r.first, place) && !summarises(r.second) &&
             std::find(alternatives.begin(), alternatives.end(), r.first) == alternatives.end();
    });
  };
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const auto& [path, description] = raw[i];
    if (summarises(description)) continue;
    if (std::find(alternatives.begin(), alternatives.end(), path) != alternatives.end()) {
      bool summary = has(description, "anyOf") || has(description, "oneOf");
      if (!summary || specific_under(path)) continue;
    }
    std::string why = reason(description, keys[i], path);
    std::string line;
    constexpr std::string_view unknown = " is not a CFF key";
    if (why.rfind("needs ", 0) == 0 && path.empty()) {
      line = why.substr(6) + ": missing";  // said of the missing key itself
    } else if (why.size() > unknown.size() + 2 &&
               why.compare(why.size() - unknown.size(), unknown.size(), unknown) == 0) {
      std::string name = why.substr(1, why.size() - unknown.size() - 2);
      line = (path.empty() ? name : path + "." + name) + ": not a CFF key";
    } else {
      line = (path.empty() ? "(the document)" : path) + ": " + why;
    }
    // The deepest complaint comes first; what repeats it is left out.
    if (std::find(out.begin(), out.end(), line) == out.end()) out.push_back(std::move(line));
  }
  // An item that matches one of its forms but for a key the form does not have
  // (an identifier with a "relation") fails every other form too, on its type and value:
  // the key is the fault, the rest is the other forms talking.
  std::vector<std::string> items_with_stray_key;
  for (const auto& line : out) {
    auto colon = line.find(": ");
    if (colon == std::string::npos || line.compare(colon, std::string::npos, ": not a CFF key") != 0) continue;
    auto dot = line.rfind('.', colon);
    if (dot != std::string::npos && dot > 0 && line[dot - 1] == ']') items_with_stray_key.push_back(line.substr(0, dot + 1));
  }
  if (!items_with_stray_key.empty()) {
    out.erase(std::remove_if(out.begin(), out.end(),
                             [&](const std::string& line) {
                               if (line.find(": not a CFF key") != std::string::npos) return false;
                               return std::any_of(items_with_stray_key.begin(), items_with_stray_key.end(),
                                                  [&](const std::string& item) { return line.rfind(item, 0) == 0; });
                             }),
              out.end());
  }
  for (auto& line : repeated)
    if (std::find(out.begin(), out.end(), line) == out.end()) out.push_back(std::move(line));
  if (out.empty())
    for (const auto& [path, description] : raw)
      out.push_back((path.empty() ? "(the document)" : path) + ": " + reason(description, path, path));
  return out;
}

}  // namespace ostrameld
