// git, started only on a git directory of our own that lends it the assessed
// repository's objects: its program, environment and settings, and the small helpers that
// reading and cloning share. Not for use outside git/.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/git/directory.h"
#include "ostrameld/git/error.h"
#include "ostrameld/utils/files.h"
#include "ostrameld/utils/process.h"
#include "ostrameld/utils/tempdir.h"

namespace ostrameld::gitproc {

const Path& git_program();

// Our environment without anything that could point git elsewhere; with proxies and
// certificates when git is to use the network.
std::vector<std::string> git_environment(bool network);

enum class Net { None, Remote, Local };

// git's arguments: our settings on the command line, then the command.
std::vector<std::string> git_args(std::initializer_list<std::string_view> command, Net net);

ProcessSpec git_command(const Path& cwd, std::initializer_list<std::string_view> command,
                        Net net = Net::None);

// The first line of what git said on failure, without its "fatal: " prefix.
std::string git_message(const ProcessResult& r);

// Throws GitError (TimeoutError past the deadline) unless git succeeded.
void check(const ProcessResult& r, std::string_view what);

std::vector<std::string_view> split(std::string_view s, char sep);
std::optional<std::int64_t> parse_int(std::string_view s);
std::string_view trim_newline(std::string_view s);

// A new file (never through a link) with the text; throws OsError.
void write_file(const Path& p, std::string_view text);
void make_dir(const Path& p);

// Throws GitError unless every file git would open in the object store is a regular
// file or a directory.
void check_object_files(const Path& objects, int level = 0);

// A git directory of our own for the assessed repository's objects: its configuration
// is ours (no remote, no promisor, no hook), so git can read objects there and do
// nothing else. What git honours of the repository (the shallow list, grafts, replace
// references) is copied in after we have read it ourselves.
class SealedRepository {
 public:
  enum class Objects { ByEnvironment, ByAlternates };

  SealedRepository(const GitLayout& layout, const RepositoryState& state, Objects how,
                   const std::vector<GitRef>& refs = {});


  const Path& path() const { return dir_.path(); }

  ProcessSpec command(std::initializer_list<std::string_view> args) const {
    ProcessSpec spec = git_command(dir_.path(), args);
    spec.env.push_back("GIT_DIR=" + dir_.path().native());
    spec.env.push_back("GIT_OBJECT_DIRECTORY=" + objects_.native());
    return spec;
  }

 private:
  TempDir dir_;
  Path objects_;
};

}  // namespace ostrameld::gitproc
