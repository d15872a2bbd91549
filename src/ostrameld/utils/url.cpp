#include "ostrameld/utils/url.h"

#include <cstdio>

#include "ostrameld/utils/text.h"

namespace ostrameld {

namespace {

std::string_view trim_repo_path(std::string_view path) {
  while (!path.empty() && path.front() == '/') path.remove_prefix(1);
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  if (path.size() > 4 && path.substr(path.size() - 4) == ".git") path.remove_suffix(4);
  return path;
}

// scp-style: "[user@]host:path" with no "://" and no "/" before the colon.
std::optional<UrlParts> parse_scp(std::string_view url) {
  auto colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  std::string_view before = url.substr(0, colon);
  if (before.find('/') != std::string_view::npos) return std::nullopt;
  UrlParts p;
  p.scheme = "ssh";
  auto at = before.rfind('@');
  if (at != std::string_view::npos) {
    p.userinfo = std::string(before.substr(0, at));
    before = before.substr(at + 1);
  }
  if (before.empty()) return std::nullopt;
  p.host = ascii_lower(before);
  p.path = std::string(trim_repo_path(url.substr(colon + 1)));
  return p;
}

}  // namespace

std::optional<UrlParts> parse_url(std::string_view url) {
  auto sep = url.find("://");
  if (sep == std::string_view::npos) {
    if (url.find('@') == std::string_view::npos) return std::nullopt;
    return parse_scp(url);
  }
  UrlParts p;
  p.scheme = ascii_lower(url.substr(0, sep));
  std::string_view rest = url.substr(sep + 3);
  auto slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  std::string_view path = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  auto at = authority.rfind('@');
  if (at != std::string_view::npos) {
    p.userinfo = std::string(authority.substr(0, at));
    authority = authority.substr(at + 1);
  }
  p.host = ascii_lower(authority);
  // Query and fragment are no part of a repository's identity.
  auto cut = path.find_first_of("?#");
  if (cut != std::string_view::npos) path = path.substr(0, cut);
  p.path = std::string(trim_repo_path(path));
  return p;
}

AddressKind classify_address(std::string_view arg) {
  auto sep = arg.find("://");
  if (sep != std::string_view::npos) {
    std::string scheme = ascii_lower(arg.substr(0, sep));
    if (scheme != "https" && scheme != "http" && scheme != "ssh" && scheme != "git" &&
        scheme != "file")
      return AddressKind::Unsupported;
    if (scheme == "file") return AddressKind::Remote;  // file:///path has no host
    auto parts = parse_url(arg);
    std::string host = parts ? parts->host : std::string();
    // "host:" (a port without a host) and "@" alone name no host either.
    if (host.empty() || host.front() == ':') return AddressKind::Unsupported;
    return AddressKind::Remote;
  }
  // git's "transport::address" form runs a remote helper of that name (ext:: any command).
  if (arg.find("::") != std::string_view::npos) return AddressKind::Unsupported;
  // scp-style "[user@]host:path": a colon before any slash, as git reads it.
  auto colon = arg.find(':');
  auto slash = arg.find('/');
  if (colon == std::string_view::npos || (slash != std::string_view::npos && slash < colon))
    return AddressKind::Local;
  std::string_view host = arg.substr(0, colon);
  if (auto at = host.rfind('@'); at != std::string_view::npos) host.remove_prefix(at + 1);
  if (host.empty() || colon + 1 == arg.size()) return AddressKind::Unsupported;
  return AddressKind::Remote;
}

std::string redact_url(std::string_view url) {
  auto sep = url.find("://");
  if (sep == std::string_view::npos) return std::string(url);
  std::string_view rest = url.substr(sep + 3);
  auto slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  auto at = authority.rfind('@');
  if (at == std::string_view::npos) return std::string(url);
  std::string scheme = ascii_lower(url.substr(0, sep));
  std::string_view user = authority.substr(0, at);
  std::string kept;
  // A bare ssh user name ("git") is an identity, not a secret; anything else goes.
  if ((scheme == "ssh" || scheme == "git+ssh") && user.find(':') == std::string_view::npos) {
    kept = std::string(user) + "@";
  }
  return std::string(url.substr(0, sep + 3)) + kept + std::string(rest.substr(at + 1));
}

std::string percent_encode(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}

std::string percent_decode(std::string_view s) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2])));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

}  // namespace ostrameld
