#include "support/temp_repo.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ostrameld::testing {

TempRepo::TempRepo() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "ostrameld-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  root_ = tmpl;
  ::chmod(root_.c_str(), 0755);  // readable by the unprivileged helper user too
}

TempRepo::~TempRepo() {
  // rm copes with trees deeper than PATH_MAX, which some tests build on purpose.
  std::string cmd =
      "chmod -R u+rwx '" + root_.string() + "' 2>/dev/null; rm -rf '" + root_.string() + "'";
  if (std::system(cmd.c_str()) != 0) {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
}

std::filesystem::path TempRepo::write(std::string_view rel, std::string_view content) {
  auto p = root_ / rel;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << content;
  return p;
}

std::filesystem::path TempRepo::mkdir(std::string_view rel) {
  auto p = root_ / rel;
  std::filesystem::create_directories(p);
  return p;
}

void TempRepo::symlink(std::string_view target, std::string_view rel) {
  auto p = root_ / rel;
  std::filesystem::create_directories(p.parent_path());
  std::filesystem::create_symlink(std::filesystem::path(target), p);
}

void TempRepo::fifo(std::string_view rel) {
  auto p = root_ / rel;
  std::filesystem::create_directories(p.parent_path());
  if (::mkfifo(p.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed");
}

void TempRepo::deep_chain(std::string_view name, int depth) {
  int fd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < depth && fd >= 0; ++i) {
    std::string n(name);
    ::mkdirat(fd, n.c_str(), 0755);
    int next = ::openat(fd, n.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  if (fd >= 0) ::close(fd);
}

void TempRepo::sh(const std::string& command) const {
  std::string full = "cd '" + root_.string() + "' && (" + command + ") >/dev/null 2>&1";
  ASSERT_EQ(std::system(full.c_str()), 0) << command;
}

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + p.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string data_file(std::string_view rel) {
  return read_file(std::filesystem::path(OSTRAMELD_TEST_DATA) / rel);
}

}  // namespace ostrameld::testing
