#include "ostrameld/engine/assess.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <exception>
#include <future>
#include <new>

#include "ostrameld/core/version.h"
#include "ostrameld/git/repository.h"
#include "ostrameld/metadata/model.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/url.h"

namespace ostrameld {

namespace {

// Unknown (nothing found to judge) counts with its score, so that adding a file can
// never lower the overall score; a broken or skipped check says nothing.
bool counts(CheckStatus s) {
  return s == CheckStatus::Pass || s == CheckStatus::Warn || s == CheckStatus::Fail ||
         s == CheckStatus::Unknown;
}

const CheckResult* result_for(const std::vector<CheckResult>& results, std::string_view key) {
  for (const auto& r : results)
    if (r.indicator_id == key) return &r;
  return nullptr;
}

bool passes(const std::vector<CheckResult>& results, std::string_view key) {
  const CheckResult* r = result_for(results, key);
  return r && r->status == CheckStatus::Pass;
}

CheckResult run_check(const BasePlugin& plugin, const IndicatorSpec& spec, const Context& ctx,
                      std::vector<AssessmentError>& errors) {
  std::string message;
  try {
    CheckResult r = plugin.check(spec.key, ctx);
    r.fair4rs_id = spec.fair4rs_id ? std::optional<std::string>(*spec.fair4rs_id) : std::nullopt;
    r.title = spec.title;
    return r;
  } catch (const TimeoutError&) {
    throw;  // the whole assessment is over, not this check
  } catch (const std::bad_alloc&) {
    throw;  // so is it at the memory limit: what was read cannot be trusted whole
  } catch (const std::exception& e) {
    message = sanitize_utf8(e.what());
  } catch (...) {
    message = "unknown error";
  }
  // One broken check never ends the run: it becomes an error row.
  errors.push_back({std::string(spec.key), std::string(plugin.name()), message});
  CheckResult r;
  r.indicator_id = spec.key;
  r.plugin = plugin.name();
  r.plugin_version = plugin.version();
  r.score = 0.0;
  r.status = CheckStatus::Error;
  r.output = message;
  r.advice = {"Fix what stopped the check, then assess again: " + message};
  r.title = spec.title;
  r.fair4rs_id = spec.fair4rs_id ? std::optional<std::string>(*spec.fair4rs_id) : std::nullopt;
  return r;
}

}  // namespace

double overall_score(const std::vector<CheckResult>& results, const Profile& profile) {
  double weighted = 0.0;
  double weights = 0.0;
  for (const auto& r : results) {
    const IndicatorSpec* spec = profile.find(r.indicator_id);
    if (!spec || !counts(r.status)) continue;
    weighted += spec->weight * r.score;
    weights += spec->weight;
  }
  return weights > 0.0 ? weighted / weights : 0.0;
}

std::optional<std::string> compliance_level(const std::vector<CheckResult>& results, double overall,
                                            const Profile& profile) {
  for (std::string_view key : profile.compliance.basic)
    if (!passes(results, key)) return std::nullopt;
  for (std::string_view key : profile.compliance.intermediate) {
    const CheckResult* r = result_for(results, key);
    if (!r || (r->status != CheckStatus::Pass && r->status != CheckStatus::Warn)) return "basic";
  }
  if (overall < 6.0) return "basic";
  if (overall < 8.0) return "intermediate";
  for (const auto& spec : profile.indicators)
    if (spec.weight > 0.0 && !passes(results, spec.key)) return "intermediate";
  return "advanced";
}

std::vector<std::string> exemption_notes(const std::vector<CheckResult>& results,
                                         const Profile& profile) {
  auto listed = [](std::span<const std::string_view> keys, std::string_view key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
  };
  std::vector<std::string> notes;
  for (const auto& r : results) {
    if (r.status != CheckStatus::Exempt) continue;
    const IndicatorSpec* spec = profile.find(r.indicator_id);
    std::string note = r.indicator_id + " is exempt by " + r.exemption_source;
    if (listed(profile.compliance.basic, r.indicator_id)) {
      note += "; every compliance level needs it to pass, so none can be reached";
    } else if (listed(profile.compliance.intermediate, r.indicator_id)) {
      note += "; the intermediate and advanced levels need it to pass or warn, so basic is the "
              "highest level";
    } else if (spec && spec->weight > 0.0) {
      note += "; the advanced level needs it to pass, so intermediate is the highest level";
    }
    notes.push_back(note + ". It is not counted in the overall score.");
  }
  return notes;
}

std::string utc_timestamp() {
  std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

Assessment assess_repository(const Path& repo, const AssessOptions& options,
                             const PluginRegistry& registry, const Profile& passed) {
  const Profile& profile = options.profile ? *options.profile : passed;
  auto started = std::chrono::steady_clock::now();
  Assessment a;
  a.timestamp = utc_timestamp();
  a.profile = profile.name;
  a.ostrameld_version = kVersion;

  Context ctx;
  ctx.repo_path = std::filesystem::absolute(repo).lexically_normal();
  if (ctx.repo_path.has_relative_path() && !ctx.repo_path.has_filename()) {
    ctx.repo_path = ctx.repo_path.parent_path();  // no trailing separator
  }
  ctx.repo_url = options.repo_url;
  ctx.github_token = options.github_token;
  ctx.gitlab_token = options.gitlab_token;
  ctx.gitea_token = options.gitea_token;
  ctx.forge = options.forge;
  ctx.deadline = options.deadline;
  // Only a profile that states facts asks services beyond the forge's releases.
  std::optional<Lookups> lookups;
  if (profile.with_facts) {
    lookups.emplace(options.forge,
                    options.services.empty() ? default_service_urls() : options.services,
                    options.deadline, options.offline || !options.forge);
    ctx.lookups = &*lookups;
  }
  // Git is read while the checks that do not need it run: its processes take the
  // longest, and a second core is there.
  std::future<GitInfo> reading = std::async(std::launch::async, [&] {
    return read_git_info(ctx.repo_path, options.deadline, options.cancel);
  });
  bool git_read = false;
  auto await_git = [&] {
    if (git_read) return;
    git_read = true;
    try {
      ctx.git_repo = reading.get();
      a.shallow = ctx.git_repo->shallow;
      for (const auto& note : ctx.git_repo->notes) a.notes.push_back(note);
    } catch (const TimeoutError&) {
      throw;
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      ctx.git_repo.reset();
      ctx.git_error = sanitize_utf8(e.what());
    }
  };
  // Whatever happens, the reading ends before the context it reads goes.
  struct Join {
    std::future<GitInfo>& f;
    ~Join() {
      if (f.valid()) f.wait();
    }
  } join_reading{reading};

  a.software.name =
      options.software_name.value_or(sanitize_utf8(ctx.repo_path.filename().native()));

  // Results in the profile's order, whichever order they were made in.
  struct Slot {
    const IndicatorSpec* spec;
    const BasePlugin* plugin;
    std::optional<CheckResult> result;
    std::vector<AssessmentError> errors;
  };
  std::vector<Slot> slots;
  for (const auto& spec : profile.indicators) {
    if (!options.only.empty() &&
        std::find(options.only.begin(), options.only.end(), spec.key) == options.only.end()) {
      a.skipped.push_back({std::string(spec.key), "not selected (--indicator)"});
      continue;
    }
    if (spec.plugin.empty()) {
      a.skipped.push_back({std::string(spec.key), "not built yet"});
      continue;
    }
    const BasePlugin* plugin = registry.find(spec.plugin);
    if (!plugin) {
      a.skipped.push_back(
          {std::string(spec.key), "plugin \"" + std::string(spec.plugin) + "\" is not available"});
      continue;
    }
    slots.push_back({&spec, plugin, std::nullopt, {}});
  }
  for (bool git_pass : {false, true}) {
    if (git_pass) await_git();
    for (auto& slot : slots) {
      if (slot.plugin->requires_git() != git_pass) continue;
      if (options.deadline && std::chrono::steady_clock::now() >= *options.deadline)
        throw TimeoutError("assessment timed out");
      slot.result = run_check(*slot.plugin, *slot.spec, ctx, slot.errors);
    }
  }
  await_git();
  for (auto& slot : slots) {
    for (const auto& e : options.exempt) {
      if (e.indicator != slot.spec->key || slot.result->status == CheckStatus::Error) continue;
      // What was found stays in the row for the reader; only its standing changes.
      slot.result->status = CheckStatus::Exempt;
      slot.result->exemption = e.reason;
      slot.result->exemption_source = options.settings_file;
      slot.result->advice.clear();
    }
    // A profile with facts has them on every result, an error row's included.
    if (profile.with_facts && slot.result->facts.is_null()) slot.result->facts = Json::object();
    a.indicators.push_back(std::move(*slot.result));
    a.errors.insert(a.errors.end(), slot.errors.begin(), slot.errors.end());
  }
  if (options.repo_url && !options.repo_url->empty()) {
    a.software.url = redact_url(*options.repo_url);
  } else if (ctx.git_repo && !ctx.git_repo->remote_url.empty()) {
    a.software.url = ctx.git_repo->remote_url;
  }

  if (const ProjectMetadata* m = ctx.metadata_if_read();
      m && !m->unlistable_directories.empty()) {
    constexpr std::size_t kShown = 5;
    const auto& dirs = m->unlistable_directories;
    std::vector<std::string> shown(dirs.begin(), dirs.begin() + std::min(dirs.size(), kShown));
    std::string more = dirs.size() > kShown ? " and " + std::to_string(dirs.size() - kShown) + " more" : "";
    a.notes.push_back("Could not list " + join(shown, ", ") + more +
                      " (permission denied or unreadable): what they hold was not assessed.");
  }
  for (const auto& r : a.indicators)
    if (r.status == CheckStatus::Pass) a.passed_indicators.push_back(r.indicator_id);
  a.overall_score = overall_score(a.indicators, profile);
  a.compliance_level = compliance_level(a.indicators, a.overall_score, profile);
  a.settings_file = options.settings_file;
  for (const auto& note : exemption_notes(a.indicators, profile)) a.notes.push_back(note);
  a.duration_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - started)
                      .count();
  return a;
}

}  // namespace ostrameld
