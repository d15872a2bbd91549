// A git server on 127.0.0.1 for tests: `git daemon` serving every repository below a
// directory over git://, so that clones go through the network path (partial clones,
// lazy fetches) as they do from a forge.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

namespace ostrameld::testing {

class GitDaemon {
 public:
  explicit GitDaemon(const std::filesystem::path& base) {
    port_ = free_port();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      std::string base_path = "--base-path=" + base.string();
      std::string port = "--port=" + std::to_string(port_);
      ::execlp("git", "git", "daemon", "--reuseaddr", "--export-all", "--listen=127.0.0.1",
               port.c_str(), base_path.c_str(), base.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Ready once the port accepts a connection.
    for (int i = 0; i < 500; ++i) {
      if (accepts()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stop();
    throw std::runtime_error("git daemon did not start");
  }
  ~GitDaemon() { stop(); }
  GitDaemon(const GitDaemon&) = delete;
  GitDaemon& operator=(const GitDaemon&) = delete;

  std::string url(const std::string& repo) const {
    return "git://127.0.0.1:" + std::to_string(port_) + "/" + repo;
  }

 private:
  static int free_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
  }
  bool accepts() const {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port_));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
  }
  void stop() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGTERM);
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace ostrameld::testing
