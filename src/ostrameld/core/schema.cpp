#include "ostrameld/core/schema.h"

namespace ostrameld {

namespace {

Json optional_text(const std::optional<std::string>& text) {
  return text ? Json(*text) : Json(nullptr);
}

}  // namespace

Json to_json(const Assessment& a) {
  Json doc = Json::object();
  doc["schema"] = std::string(kSchemaId);
  doc["ostrameld_version"] = a.ostrameld_version;
  doc["software"] = Json{{"name", a.software.name}, {"url", optional_text(a.software.url)}};
  doc["git"] = Json{{"shallow", a.shallow}};
  doc["timestamp"] = a.timestamp;
  doc["profile"] = a.profile;
  doc["overall_score"] = a.overall_score;
  doc["compliance_level"] = optional_text(a.compliance_level);
  doc["duration_ms"] = a.duration_ms;
  doc["summary"] = Json{{"total", a.indicators.size()},
                        {"passed", a.passed_indicators.size()},
                        {"skipped", a.skipped.size()},
                        {"errors", a.errors.size()}};
  Json indicators = Json::array();
  for (const auto& r : a.indicators) {
    Json row = Json{{"indicator_id", r.indicator_id},
                              {"fair4rs_id", optional_text(r.fair4rs_id)},
                              {"plugin", r.plugin},
                              {"plugin_version", r.plugin_version},
                              {"score", r.score},
                              {"status", std::string(status_value(r.status))},
                              {"process", r.process},
                              {"output", r.output},
                              {"evidence", r.evidence},
                              {"advice", r.advice}};
    if (!r.facts.is_null()) row["facts"] = r.facts;
    if (r.status == CheckStatus::Exempt)
      row["exemption"] = Json{{"reason", r.exemption}, {"source", r.exemption_source}};
    indicators.push_back(std::move(row));
  }
  doc["indicators"] = std::move(indicators);
  Json skipped = Json::array();
  for (const auto& s : a.skipped)
    skipped.push_back(Json{{"indicator_id", s.indicator_id}, {"reason", s.reason}});
  doc["skipped"] = std::move(skipped);
  Json errors = Json::array();
  for (const auto& e : a.errors) {
    errors.push_back(
        Json{{"indicator_id", e.indicator_id}, {"plugin", e.plugin}, {"message", e.message}});
  }
  doc["errors"] = std::move(errors);
  if (!a.settings_file.empty()) doc["settings_file"] = a.settings_file;
  if (!a.notes.empty()) doc["notes"] = a.notes;  // only where there are any: reports stay as they were
  return doc;
}

}  // namespace ostrameld
