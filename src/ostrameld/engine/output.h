// Writing what the user asked for: a report file written whole or not at all, without
// ever destroying what stands at the path, and standard output checked to the end.
#pragma once

#include <string_view>

#include "ostrameld/utils/files.h"

namespace ostrameld {

// A report file. A regular file (or a link to one: its target) is replaced by renaming
// a finished temporary file over it, keeping the old file's mode and, when permitted,
// its owner; a new file gets the mode the umask allows. A character device, FIFO or
// socket (/dev/null, a pipe) is written directly and never replaced. A directory is
// refused. Opening early tells at once whether the destination can be written.
class OutputFile {
 public:
  // Throws OsError when the destination cannot be written.
  explicit OutputFile(const Path& destination);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Writes the whole text: renamed into place, or written to the device. Throws OsError.
  void commit(std::string_view text);

 private:
  Path destination_;  // a link's target, when the path is a link
  Path temp_;         // beside the destination; empty when it is written directly
  int fd_ = -1;
  bool direct_ = false;
};

// Removes the temporary files of every OutputFile not yet committed: for a process about
// to end without unwinding (a signal, a watchdog), so that nothing half-written stays.
void remove_unfinished_outputs();

// Writes all of text to a descriptor, or throws OsError naming `what`.
void write_all(int fd, std::string_view text, const Path& what);

// Flushes and closes standard output; false when anything written to it was lost, so that
// "ostrameld ... > /dev/full" cannot report success. errno then says why, or is 0 when
// the stream failed earlier for a reason it no longer knows.
bool close_stdout();

}  // namespace ostrameld
