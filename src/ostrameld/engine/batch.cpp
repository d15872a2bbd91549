#include "ostrameld/engine/batch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <new>
#include <stdexcept>
#include <unordered_set>

#include "ostrameld/core/schema.h"
#include "ostrameld/core/version.h"
#include "ostrameld/engine/interrupts.h"
#include "ostrameld/engine/output.h"
#include "ostrameld/engine/watchdog.h"
#include "ostrameld/engine/workers.h"
#include "ostrameld/git/repository.h"
#include "ostrameld/utils/json.h"
#include "ostrameld/utils/text.h"
#include "ostrameld/utils/url.h"

namespace ostrameld {

namespace {

using Clock = std::chrono::steady_clock;

std::string_view trim(std::string_view s) {
  auto is_ws = [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
  };
  while (!s.empty() && is_ws(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_ws(s.back())) s.remove_suffix(1);
  return s;
}

// Appends whole lines to a file or standard output; one write per line, so that a kill
// can tear at most the line being written.
class LineWriter {
 public:
  LineWriter(int fd, Path name) : fd_(fd), name_(std::move(name)) {}
  void write(const std::string& line) {
    std::lock_guard lock(mu_);
    write_all(fd_, line, name_);
  }

 private:
  int fd_;
  Path name_;
  std::mutex mu_;
};

constexpr std::size_t kMaxLine = 64u << 20;

// A line this program wrote: a JSON object with its input and our schema.
bool is_our_line(const Json& doc) {
  if (!doc.is_object()) return false;
  auto input = doc.find("input");
  auto schema = doc.find("schema");
  return input != doc.end() && input->is_string() && schema != doc.end() && schema->is_string() &&
         schema->get<std::string>().rfind(kSchemaPrefix, 0) == 0;
}

// A line for an input that could not be assessed at all (no indicators).
bool is_failure_line(const Json& doc) {
  return !doc.contains("indicators");
}

// Prepares an existing output for --resume: keeps one line per assessed input, drops the
// lines of inputs that failed (they are tried again) and a torn last line, and refuses a
// file that holds anything but this program's JSON Lines. The file is rewritten through
// a temporary file renamed over it, so that a crash leaves the old or the new, never half.
std::unordered_set<std::string> resume_output(const Path& path, std::size_t& dropped) {
  std::unordered_set<std::string> done;
  int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    if (errno == ENOENT) return done;
    throw OsError(errno, path);
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } close_in{in};
  Path tmp;  // made beside the output, exclusively: never a file someone else put there
  std::string kept;
  bool rewrite = false;
  std::size_t line_no = 0;
  std::string pending;
  char buf[1 << 16];
  int out = -1;
  auto flush = [&](bool final) {
    if (kept.size() < (1u << 20) && !final) return;
    if (out < 0) {
      Path dir = path.parent_path().empty() ? Path(".") : path.parent_path();
      std::string pattern = (dir / ("." + path.filename().native() + ".resume-XXXXXX")).native();
      out = ::mkostemp(pattern.data(), O_CLOEXEC);
      if (out < 0) throw OsError(errno, path);
      tmp = pattern;
      struct stat st;
      if (::fstat(in, &st) == 0) ::fchmod(out, st.st_mode & 07777);
    }
    for (std::size_t done_bytes = 0; done_bytes < kept.size();) {
      ssize_t n = ::write(out, kept.data() + done_bytes, kept.size() - done_bytes);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw OsError(errno, tmp);
      done_bytes += static_cast<std::size_t>(n);
    }
    kept.clear();
  };
  try {
    for (;;) {
      ssize_t n = ::read(in, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw OsError(errno, path);
      if (n == 0) break;
      pending.append(buf, static_cast<std::size_t>(n));
      std::size_t start = 0;
      for (std::size_t nl; (nl = pending.find('\n', start)) != std::string::npos; start = nl + 1) {
        std::string_view line(pending.data() + start, nl - start);
        ++line_no;
        auto doc = read_json(line);
        if (!doc || !is_our_line(*doc)) {
          throw BatchError(path.string() + " is not a JSON Lines output of ostrameld (line " +
                           std::to_string(line_no) + "); give another -o file");
        }
        std::string input = recorded_input((*doc)["input"].get<std::string>());
        if (is_failure_line(*doc) || done.count(input)) {
          ++dropped;
          rewrite = true;
          continue;
        }
        done.insert(input);
        kept.append(line);
        kept.push_back('\n');
        flush(false);
      }
      pending.erase(0, start);
      // No line of ours is anywhere near this long: a file without line breaks is not ours.
      if (pending.size() > kMaxLine) {
        throw BatchError(path.string() + " is not a JSON Lines output of ostrameld (line " +
                         std::to_string(line_no + 1) + " is too long); give another -o file");
      }
    }
    if (!pending.empty()) rewrite = true;  // a torn last line from a kill: done again
    if (rewrite) {
      flush(true);
      if (::fsync(out) != 0 || ::close(out) != 0) throw OsError(errno, tmp);
      out = -1;
      if (::rename(tmp.c_str(), path.c_str()) != 0) throw OsError(errno, path);
    }
  } catch (...) {
    if (out >= 0) ::close(out);
    if (!tmp.empty()) ::unlink(tmp.c_str());
    throw;
  }
  if (out >= 0) ::close(out);
  if (!tmp.empty()) ::unlink(tmp.c_str());
  return done;
}

// FNV-1a, 64 bits, of the input text: the same line lands in the same shard whatever
// else the list holds.
std::uint64_t stable_hash(std::string_view text) {
  std::uint64_t h = 14695981039346656037ULL;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  return h;
}

std::string failure_line(const std::string& input, const std::string& message,
                         std::string_view profile) {
  Json doc = Json::object();
  doc["input"] = input;
  doc["schema"] = std::string(kSchemaId);
  doc["ostrameld_version"] = std::string(kVersion);
  doc["timestamp"] = utc_timestamp();
  doc["profile"] = std::string(profile);  // so that a summary counts it with its profile
  doc["errors"] =
      Json::array({Json{{"indicator_id", nullptr}, {"plugin", nullptr}, {"message", message}}});
  return dump_json(doc, std::nullopt) + "\n";
}

std::string assessment_line(const std::string& input, const Assessment& a) {
  Json doc = Json::object();
  doc["input"] = input;
  Json full = to_json(a);
  for (auto& [key, value] : full.items()) doc[key] = std::move(value);
  return dump_json(doc, std::nullopt) + "\n";
}

// One input through the whole pipeline: never throws, always one line.
std::pair<std::string, bool> assess_input(const std::string& raw, const BatchOptions& options) {
  std::string input = recorded_input(raw);
  std::string_view profile =
      options.assess.profile ? options.assess.profile->name : fair4rs_profile().name;
  try {
    Deadline deadline = deadline_after(options.timeout);
    RepositorySource source =
        RepositorySource::open(raw, {.deadline = deadline, .limits = options.limits});
    AssessOptions opts = options.assess;
    // A bad settings file fails this repository's line, not the batch.
    ProjectConfig settings = read_project_config(source.path());
    if (settings.profile && !options.profile_chosen && opts.only.empty())
      opts.profile = find_profile(*settings.profile);
    const Profile& chosen = opts.profile ? *opts.profile : fair4rs_profile();
    opts.exempt = exemptions_for(settings, chosen);
    opts.settings_file = settings.file;
    std::optional<HttpForgeClient> own_forge;
    if (!settings.forges.empty() && options.forge_options) {
      ForgeOptions fo = *options.forge_options;
      for (const auto& spec : settings.forges) {
        auto [host, style] = parse_forge_spec(spec);
        if (!fo.forges.count(host)) fo.claimed_forges.emplace(host, style);
      }
      own_forge.emplace(std::move(fo));
      opts.forge = &*own_forge;
    }
    opts.repo_url = source.url();
    opts.software_name = source.name();
    opts.deadline = deadline;
    opts.cancel = &Interrupts::flag();
    Assessment a = assess_repository(source.path(), opts);
    return {assessment_line(input, a), true};
  } catch (const ConfigError& e) {
    return {failure_line(input, e.what(), profile), false};
  } catch (const TimeoutError&) {
    return {failure_line(input, "timed out after " + format_seconds(*options.timeout) + " s",
                         profile),
            false};
  } catch (const std::bad_alloc&) {
    throw;  // the worker reports the memory limit
  } catch (const std::exception& e) {
    return {failure_line(input, sanitize_utf8(e.what()), profile), false};
  }
}

void show_progress(std::size_t done, std::size_t total, std::size_t failed,
                   Clock::time_point started, bool final) {
  double secs = std::chrono::duration<double>(Clock::now() - started).count();
  double rate = secs > 0 ? static_cast<double>(done) / secs : 0.0;
  double eta = rate > 0 ? static_cast<double>(total - done) / rate : 0.0;
  std::fprintf(stderr, "\r%zu/%zu done, %.0f/s, %zu failed, %.0f s left   %s", done, total, rate,
               failed, eta, final ? "\n" : "");
  std::fflush(stderr);
}

}  // namespace

std::string recorded_input(const std::string& input) {
  return sanitize_utf8(redact_url(input));
}

std::vector<std::string> read_inputs(std::istream& in) {
  std::vector<std::string> inputs;
  std::string line;
  while (std::getline(in, line)) {
    std::string_view t = trim(line);
    if (t.empty() || t.front() == '#') continue;
    inputs.emplace_back(t);
  }
  return inputs;
}

Shard parse_shard(const std::string& text) {
  auto slash = text.find('/');
  std::size_t used_i = 0;
  std::size_t used_n = 0;
  try {
    if (slash == std::string::npos) throw std::invalid_argument("");
    std::string i_text = text.substr(0, slash);
    std::string n_text = text.substr(slash + 1);
    if (i_text.empty() || n_text.empty() || i_text[0] == '-' || n_text[0] == '-')
      throw std::invalid_argument("");
    Shard s{std::stoul(i_text, &used_i), std::stoul(n_text, &used_n)};
    if (used_i != i_text.size() || used_n != n_text.size() || s.count == 0 || s.index >= s.count) {
      throw std::invalid_argument("");
    }
    return s;
  } catch (const std::logic_error&) {
    throw std::invalid_argument("--shard takes I/N with 0 <= I < N, not \"" + text + "\"");
  }
}

BatchSummary run_batch(const std::vector<std::string>& all_inputs, const BatchOptions& options) {
  auto started = Clock::now();
  BatchSummary summary;

  int fd = STDOUT_FILENO;
  bool own_fd = false;
  std::unordered_set<std::string> done;
  if (options.output) {
    const Path& out = *options.output;
    struct stat st;
    bool regular = ::stat(out.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (regular && st.st_size > 0 && !options.resume && !options.overwrite)
      throw BatchError(out.string() +
                       " already holds lines: --resume continues it, --overwrite replaces it");
    if (options.resume) done = resume_output(out, summary.retried);
    // A device or FIFO (/dev/stdout, a pipe) is written to as it is, never truncated.
    int flags =
        O_WRONLY | O_CREAT | O_CLOEXEC |
        (options.resume ? O_APPEND : (regular || ::access(out.c_str(), F_OK) != 0 ? O_TRUNC : 0));
    fd = ::open(out.c_str(), flags, 0666);
    if (fd < 0) throw OsError(errno, out);
    own_fd = true;
  }
  struct Closer {
    int fd;
    bool own;
    ~Closer() {
      if (own) ::close(fd);
    }
  } closer{fd, own_fd};

  std::vector<const std::string*> todo;
  for (std::size_t i = 0; i < all_inputs.size(); ++i) {
    if (stable_hash(all_inputs[i]) % options.shard.count != options.shard.index) continue;
    ++summary.inputs;
    if (done.count(recorded_input(all_inputs[i]))) {
      ++summary.resumed;
      continue;
    }
    todo.push_back(&all_inputs[i]);
  }

  LineWriter writer(fd, options.output.value_or(Path("standard output")));
  std::size_t finished = 0;
  std::size_t failed = 0;
  auto last_shown = Clock::now();
  std::string_view profile =
      options.assess.profile ? options.assess.profile->name : fair4rs_profile().name;

  // Each repository is assessed in a worker process of its own, so that one that
  // overruns its time or memory, or crashes the assessment, costs only its own line.
  auto task = [&](std::size_t i) {
    auto [line, ok] = assess_input(*todo[i], options);
    return std::string(1, ok ? '1' : '0') + line;
  };
  auto record = [&](std::size_t i, TaskOutcome outcome) {
    std::string input = recorded_input(*todo[i]);
    std::string line;
    bool ok = false;
    switch (outcome.end) {
      case TaskEnd::Done:
        ok = !outcome.payload.empty() && outcome.payload[0] == '1';
        line = outcome.payload.empty() ? failure_line(input, "no answer", profile)
                                       : outcome.payload.substr(1);
        break;
      case TaskEnd::TimedOut:
        line = failure_line(input, "timed out after " + format_seconds(options.timeout.value_or(0)) + " s",
                            profile);
        break;
      case TaskEnd::OutOfMemory:
        line = failure_line(input,
                            "the assessment needed more memory than " +
                                memory_limit_text(options.max_memory) + " allows",
                            profile);
        break;
      case TaskEnd::Crashed:
        line = failure_line(
            input,
            outcome.payload.empty()
                ? "the assessment crashed" +
                      (outcome.signal ? " (signal " + std::to_string(outcome.signal) + ")"
                                      : std::string())
                : sanitize_utf8(outcome.payload),
            profile);
        break;
    }
    if (Interrupts::requested() && !ok) return;  // an aborted clone is not a failure
    writer.write(line);
    if (!ok) ++failed;
    ++finished;
    if (options.progress && Clock::now() - last_shown > std::chrono::milliseconds(100)) {
      show_progress(finished, todo.size(), failed, started, false);
      last_shown = Clock::now();
    }
  };
  run_in_workers(todo.size(), options.jobs,
                 {.task_seconds = options.timeout, .max_memory = options.max_memory}, task, record,
                 Interrupts::flag());
  if (options.progress) show_progress(finished, todo.size(), failed, started, true);

  summary.assessed = finished;
  summary.failed = failed;
  summary.interrupted = Interrupts::requested();
  summary.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  return summary;
}

}  // namespace ostrameld
