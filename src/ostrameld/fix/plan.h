// `ostrameld fix`: the metadata files a repository implies but lacks, and the values that
// lag in those it has, as changes to show (a unified diff) or to write.
#pragma once

#include <string>
#include <vector>

#include "ostrameld/utils/deadline.h"
#include "ostrameld/utils/files.h"

namespace ostrameld::fix {

struct FileChange {
  std::string path;  // relative to the repository's root
  bool created = false;
  std::string old_text, new_text;
  std::string why;   // "new: ...", "version 1.2.0 -> 1.3.0"
  std::string note;  // the ecosystem's own way to keep the file, where there is one
};

struct FixPlan {
  std::vector<FileChange> changes;
  std::vector<std::string> messages;  // what was left alone, and why: one line each
};

// What to propose: "cff", "codemeta", "licence", "sync" by default; "zenodo" only when
// asked for.
struct FixOptions {
  std::vector<std::string> only;
  Deadline deadline;
};

// Reads the repository (never writes). Throws OsError for a repository it cannot read.
FixPlan plan_fixes(const Path& repo, const FixOptions& options);

// Writes each change whole or not at all (never through a link out of the repository,
// never over anything but a regular file); `refused` gets one line per change not written.
// Returns the paths written.
std::vector<std::string> apply_fixes(const Path& repo, const FixPlan& plan, std::vector<std::string>& refused);

}  // namespace ostrameld::fix
