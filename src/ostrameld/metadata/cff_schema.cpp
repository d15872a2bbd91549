#include "ostrameld/metadata/cff_schema.h"

#include <valijson/adapters/nlohmann_json_adapter.hpp>
#include <valijson/schema.hpp>
#include <valijson/schema_parser.hpp>
#include <valijson/validation_results.hpp>
#include <valijson/validator.hpp>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <memory>

namespace ostrameld {

namespace {

constexpr const char* kSchemaText =
#include "ostrameld/metadata/cff_schema.inc"
    ;

// Parsed once, on first use (the schema is not copyable).
const valijson::Schema& cff_schema() {
  static const std::unique_ptr<valijson::Schema> schema = [] {
    auto s = std::make_unique<valijson::Schema>();
    nlohmann::json doc = nlohmann::json::parse(kSchemaText);
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

}  // namespace

std::vector<std::string> cff_schema_errors(const Json& document) {
  // valijson's adapter reads nlohmann's plain json; the document is small.
  nlohmann::json doc = nlohmann::json::parse(document.dump());
  thread_local valijson::Validator validator;  // keeps its compiled patterns
  valijson::ValidationResults results;
  valijson::adapters::NlohmannJsonAdapter target(doc);
  std::vector<std::string> out;
  if (validator.validate(cff_schema(), target, &results)) return out;
  valijson::ValidationResults::Error e;
  std::vector<std::pair<std::string, std::string>> raw;
  std::vector<std::string> keys;  // the last named key of each path
  while (results.popError(e)) {
    auto [path, key] = path_of(e.context);
    raw.emplace_back(path, e.description);
    keys.push_back(key);
  }
  // Where a value matches none of several forms (a person or an entity; one licence or a
  // list), each form's complaints at that place are noise: the deeper, specific ones say
  // what is wrong, and without them the place gets one line of its own.
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
  if (out.empty())
    for (const auto& [path, description] : raw)
      out.push_back((path.empty() ? "(the document)" : path) + ": " + reason(description, path, path));
  return out;
}

}  // namespace ostrameld
