// Throw-away repositories on disk for tests: files, directories, links and FIFOs
// below a fresh temporary directory that is removed afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace ostrameld::testing {

class TempRepo {
 public:
  TempRepo();
  ~TempRepo();
  TempRepo(const TempRepo&) = delete;
  TempRepo& operator=(const TempRepo&) = delete;

  const std::filesystem::path& path() const { return root_; }
  std::filesystem::path operator/(std::string_view rel) const { return root_ / rel; }

  // Writes a file (parents created) and returns its path.
  std::filesystem::path write(std::string_view rel, std::string_view content);
  std::filesystem::path mkdir(std::string_view rel);
  void symlink(std::string_view target, std::string_view rel);
  void fifo(std::string_view rel);
  // A chain of nested directories, deeper than any path the system can name.
  void deep_chain(std::string_view name, int depth);
  // Runs a shell command inside the repository; fails the test on a non-zero status.
  void sh(const std::string& command) const;

 private:
  std::filesystem::path root_;
};

// Reads a test data file below tests/data.
std::string data_file(std::string_view rel);
// Reads any file whole.
std::string read_file(const std::filesystem::path& p);

}  // namespace ostrameld::testing
