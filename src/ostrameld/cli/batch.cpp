#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <thread>

#include "ostrameld/cli/commands.h"
#include "ostrameld/engine/batch.h"
#include "ostrameld/git/directory.h"
#include "ostrameld/utils/tempdir.h"

namespace ostrameld::cli {

void BatchCommand::add(CLI::App& parent) {
  jobs = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
  app = parent.add_subcommand("batch", "Assess every repository of a list, one JSON line each");
  app->add_option("list", list, "File with one path or URL per line, or - for stdin (default: -)");
  app->add_option("-j,--jobs", jobs, "Worker threads (default: the number of cores)");
  app->add_option("-o,--output", output, "JSON Lines file (default: stdout)");
  app->add_flag("--resume", resume, "Skip inputs already in the output and append the rest");
  app->add_flag("--overwrite", overwrite, "Replace an output file that already holds lines");
  app->add_option("--shard", shard,
                  "Take only the inputs whose line hashes to I modulo N (I/N; FNV-1a of the "
                  "line, so editing the list moves only the edited lines)");
  app->add_option("--timeout", timeout,
                  "Per repository: stop a clone or assessment after SECONDS, forge requests "
                  "included (default: 600; 0: no limit)");
  common.add_to(app);
}

int BatchCommand::run() const {
  check_timeout(timeout);
  std::uintmax_t max_memory = common.memory_limit();
  trust_parent_repositories_of_others(common.trust_parent_repository);
  remove_abandoned_temp_dirs(std::filesystem::temp_directory_path());  // of killed runs
  Shard parsed_shard;
  try {
    parsed_shard = parse_shard(shard);
  } catch (const std::invalid_argument& e) {
    throw UsageError(e.what());
  }
  auto workers = parse_whole(jobs);
  if (!workers || *workers < 1 || *workers > 1024)
    throw UsageError("-j takes a number of workers from 1 to 1024, not \"" + jobs + "\"");
  if (resume && output.empty()) throw UsageError("--resume needs -o FILE.jsonl");
  if (resume && overwrite) throw UsageError("--resume and --overwrite exclude each other");
  CloneLimits limits = common.clone_limits();

  std::vector<std::string> inputs;
  if (list == "-") {
    inputs = read_inputs(std::cin);
  } else {
    if (!is_file(Path(list), kAnywhere)) throw UsageError("cannot read the list " + list);
    std::ifstream in(list);
    if (!in) throw UsageError("cannot read the list " + list);
    inputs = read_inputs(in);
  }
  if (inputs.empty()) {
    throw UsageError("the list " + std::string(list == "-" ? "on standard input" : list) +
                     " names no repository (one path or URL per line; # starts a comment)");
  }

  HttpForgeClient forge(common.forge_options());
  BatchOptions options;
  options.profile_chosen = app->count("--profile") > 0;
  options.forge_options = common.forge_options();
  options.jobs = static_cast<unsigned>(*workers);
  if (!output.empty()) options.output = Path(output);
  options.resume = resume;
  options.overwrite = overwrite;
  options.shard = parsed_shard;
  options.assess = common.assess_options(&forge);
  options.timeout = timeout;
  options.limits = limits;
  options.max_memory = max_memory;
  options.progress = ::isatty(STDERR_FILENO) != 0;

  BatchSummary s;
  try {
    s = run_batch(inputs, options);
  } catch (const BatchError& e) {
    throw UsageError(e.what());
  } catch (const OsError& e) {
    // "[Errno 28] No space left on device: 'x'": say which output, once, and why.
    throw UsageError("cannot write the batch output " +
                     (output.empty() ? std::string("(standard output)") : output) + ": " +
                     std::strerror(e.code()));
  }
  std::fprintf(stderr,
               "batch: %zu repositories assessed in %.1f s (%.0f/s), %zu failed, %zu already done, "
               "%zu failures retried%s\n",
               s.assessed, s.seconds,
               s.seconds > 0 ? static_cast<double>(s.assessed) / s.seconds : 0.0, s.failed,
               s.resumed, s.retried, s.interrupted ? "; interrupted" : "");
  if (s.interrupted) return kInterruptedStatus;
  return s.failed > 0 ? 1 : 0;
}

}  // namespace ostrameld::cli
