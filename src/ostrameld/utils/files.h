// The file-system layer: the only code that touches the repository's files.
// Tests follow symbolic links and answer "no" for absent entries; any other error
// is thrown as OsError. Reading never blocks on special files, never reads
// unbounded input and never leaves the repository through a symbolic link.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ostrameld/utils/text.h"

namespace ostrameld {

using Path = std::filesystem::path;

// An operating-system error, worded like "[Errno 13] Permission denied: '/repo/LICENSE'".
class OsError : public std::runtime_error {
 public:
  OsError(int err, const Path& path);
  OsError(int err, std::string message) : std::runtime_error(std::move(message)), code_(err) {}
  int code() const { return code_; }

 private:
  int code_;
};

// The most bytes a whole-file read accepts; larger files are unreadable.
inline constexpr std::uintmax_t kMaxReadBytes = 16u << 20;

// Every test below takes the repository's root: a symbolic link that resolves outside
// it is treated as absent (a README linked to /etc/shadow is no README, docs/ linked to
// /usr is no documentation); links that stay inside are followed. Paths the user named
// rather than the repository (a list, a template directory) are tested with kAnywhere.
inline const Path kAnywhere{"/"};

bool path_exists(const Path& p, const Path& root);
bool is_dir(const Path& p, const Path& root);
bool is_file(const Path& p, const Path& root);
// The same for hints and advice, which never fail: false also where the answer cannot
// be had (a directory on the way that nobody may search).
bool path_seen(const Path& p, const Path& root) noexcept;
bool dir_seen(const Path& p, const Path& root) noexcept;
bool file_seen(const Path& p, const Path& root) noexcept;
// Size from the entry's status (links followed).
std::uintmax_t entry_size(const Path& p, const Path& root);
// Whether p exists and really lies outside root (through a link somewhere on its way).
bool leads_outside(const Path& p, const Path& root);

// Entry names of one directory, in the order the file system returns them.
std::vector<std::string> list_directory(const Path& dir, const Path& root);
// The same, or nothing where the directory cannot be listed: for looking around in places
// whose absence is as good as their being empty.
std::vector<std::string> list_directory_seen(const Path& dir, const Path& root) noexcept;

// Final component of a path as valid UTF-8 (undecodable bytes become U+FFFD).
std::string display_name(const Path& p);
// A path relative to root, "/"-separated, as valid UTF-8.
std::string relative_text(const Path& p, const Path& root);
// Extension: from the last "." when it is neither first nor last; else empty.
std::string_view file_suffix(std::string_view name);
// Whether a "/"-separated relative path has a component that, lower-cased, is one of names.
bool has_component(std::string_view path, std::span<const std::string_view> names);
std::string_view file_stem(std::string_view name);
// Shell-style name pattern ("*", "?", "[...]"); case-sensitive; leading dots not special.
bool shell_match(std::string_view pattern, std::string_view name);

enum class WalkAction { Continue, Prune, Stop };

struct WalkEntry {
  std::string_view path;   // the walked directory joined with rel
  std::string_view rel;    // relative to the walked directory, "/"-separated, raw bytes
  std::string_view name;   // final component, raw bytes
  bool is_real_directory;  // a directory and not a symbolic link
  bool is_link;            // a symbolic link
  bool is_regular;         // a regular file (not through a link)
};

// Pre-order walk below dir: a directory's entries in listing order, each directory
// entered right after it is visited (unless the visitor prunes it). Symbolic links
// to directories are never entered, so the walk cannot loop. Entries that vanish or
// whose path grows too long are passed over; other errors are thrown. A dir that
// leads outside root is walked as an absent one: not at all.
void walk_tree(const Path& dir, const Path& root,
               const std::function<WalkAction(const WalkEntry&)>& visit);
// The same walk, but a directory that cannot be listed (or an entry that cannot be
// looked at) is handed to `unlistable` with its relative path ("" for dir itself) and
// passed over, and the walk goes on.
using WalkErrorHandler = std::function<void(std::string_view rel, const OsError& error)>;
void walk_tree(const Path& dir, const Path& root,
               const std::function<WalkAction(const WalkEntry&)>& visit,
               const WalkErrorHandler& unlistable);
// Whether a walked entry is a regular file, through a link only when it stays in root.
bool is_file(const WalkEntry& e, const Path& root);

// Reads a whole file as text. `root` confines the read: a file whose real location is
// outside it is refused. Throws OsError (unreadable) or DecodeError (strict mode).
std::string read_text(const Path& file, ReadMode mode, const Path& root);
// Reads only the first max_chars characters.
std::string read_text_prefix(const Path& file, ReadMode mode, std::size_t max_chars,
                             const Path& root);
// The first max_bytes bytes as they are, undecoded: for a quick look at many files
// (a marker searched before anything is decoded).
std::string read_bytes_prefix(const Path& file, std::size_t max_bytes, const Path& root);

// First of names (in order) that exists directly in root, as root/name.
std::optional<Path> find_first(const Path& root, std::span<const std::string_view> names);
// root/name for each of names that exists, in the order of names.
std::vector<Path> find_files(const Path& root, std::span<const std::string_view> names);

}  // namespace ostrameld
