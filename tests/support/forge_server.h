// A forge API stand-in on 127.0.0.1 for tests: serves release pages shaped like GitHub,
// GitLab or Gitea, and records every request it receives.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ostrameld::testing {

struct SeenRequest {
  std::string path;
  std::string query;  // raw "k=v&k=v"
  httplib::Headers headers;
};

// A certificate and key for a TLS server, the certificate being its own CA.
struct TlsFiles {
  std::string cert;
  std::string key;
};

class ForgeServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  explicit ForgeServer(Handler handler, const TlsFiles* tls = nullptr)
      : handler_(std::move(handler)),
        owned_(tls ? std::unique_ptr<httplib::Server>(
                         new httplib::SSLServer(tls->cert.c_str(), tls->key.c_str()))
                   : std::make_unique<httplib::Server>()),
        server_(*owned_),
        scheme_(tls ? "https" : "http") {
    server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard lock(mu_);
        std::string query;
        for (const auto& [k, v] : req.params) query += (query.empty() ? "" : "&") + k + "=" + v;
        seen_.push_back({req.path, query, req.headers});
      }
      handler_(req, res);
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~ForgeServer() {
    server_.stop();
    thread_.join();
  }

  int port() const { return port_; }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string base() const { return scheme_ + "://" + host(); }
  std::vector<SeenRequest> seen() const {
    std::lock_guard lock(mu_);
    return seen_;
  }

 private:
  Handler handler_;
  std::unique_ptr<httplib::Server> owned_;
  httplib::Server& server_;
  std::string scheme_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mu_;
  std::vector<SeenRequest> seen_;
};

// A port on 127.0.0.1 that accepts connections (the kernel completes them) and never
// answers: what a hung server looks like to a client.
class SilentPort {
 public:
  SilentPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd_, 16);
    socklen_t len = sizeof addr;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
  }
  ~SilentPort() { ::close(fd_); }
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace ostrameld::testing
