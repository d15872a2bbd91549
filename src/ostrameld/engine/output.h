// Writing a report file without ever leaving a half-written one behind.
#pragma once

#include <string_view>

#include "ostrameld/utils/files.h"

namespace ostrameld {

// A temporary file beside the destination, renamed over it on commit and removed
// otherwise. Creating it early tells at once whether the destination is writable.
class AtomicFile {
 public:
  // Throws OsError when no file can be created in the destination's directory.
  explicit AtomicFile(const Path& destination);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Writes the whole text and renames the file into place.
  void commit(std::string_view text);

 private:
  Path destination_;
  Path temp_;
  int fd_ = -1;
};

}  // namespace ostrameld
