// Many repositories in one run: a list of paths and URLs assessed by worker threads,
// one JSON line per repository, written whole as each finishes, resumable after a kill
// and splittable into independent shards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ostrameld/engine/assess.h"
#include "ostrameld/engine/source.h"
#include "ostrameld/services/forge.h"

namespace ostrameld {

// An output that --resume must not touch (not this program's JSON Lines).
class BatchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// This process takes the inputs whose stable hash (FNV-1a, 64 bits, of the input text)
// modulo count is index, so that editing the list moves only the edited lines.
struct Shard {
  std::size_t index = 0;  // I
  std::size_t count = 1;  // N
};

struct BatchOptions {
  unsigned jobs = 1;
  std::optional<Path> output;  // JSON Lines file; standard output when absent
  // Keep the lines of inputs already assessed, try the failed ones again, append.
  bool resume = false;
  // Replace an output file that holds lines; without it (or resume) such a file is
  // refused, so that no night's results are lost to a repeated command.
  bool overwrite = false;
  Shard shard;
  AssessOptions assess;           // tokens, forge client, indicator selection
  // Each repository's own settings file is read: its profile applies unless the user
  // chose one (or indicators), and forges it names get a client of their own built from
  // these options (the file's hosts as claims: https, no token).
  bool profile_chosen = false;
  std::optional<ForgeOptions> forge_options;
  std::optional<double> timeout;  // seconds per repository: clone and assessment
  CloneLimits limits;
  // Memory per repository's assessment (0: no limit); past it, or past the timeout, or
  // on a crash, the repository gets an error line and the batch goes on.
  std::uintmax_t max_memory = 0;
  bool progress = false;  // live progress on stderr (a terminal)
};

struct BatchSummary {
  std::size_t inputs = 0;    // in this shard
  std::size_t resumed = 0;   // already assessed in the output
  std::size_t retried = 0;   // failure lines dropped from the output, their inputs done again
  std::size_t assessed = 0;  // lines written by this run
  std::size_t failed = 0;    // of those, inputs that could not be assessed
  bool interrupted = false;
  double seconds = 0.0;
};

// Non-blank lines that are not "#" comments, trimmed.
std::vector<std::string> read_inputs(std::istream& in);

// Parses "I/N" with 0 <= I < N; throws std::invalid_argument.
Shard parse_shard(const std::string& text);

// The input as the output names it: a URL's credentials removed. Resuming matches
// inputs by this form, so a token is never written and never needed to resume.
std::string recorded_input(const std::string& input);

// Throws OsError when the output cannot be opened or repaired, BatchError when it holds
// lines and neither resume nor overwrite was asked for.
BatchSummary run_batch(const std::vector<std::string>& inputs, const BatchOptions& options);

}  // namespace ostrameld
