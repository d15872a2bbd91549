// Repository addresses: https/http/ssh URLs and scp-style "user@host:path".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrameld {

struct UrlParts {
  std::string scheme;    // lower-cased; "ssh" for scp-style addresses
  std::string userinfo;  // as written, may hold a password or token
  std::string host;      // lower-cased, with ":port" when the URL has one
  std::string path;      // without the leading "/" and without a trailing ".git" or "/"
};

std::optional<UrlParts> parse_url(std::string_view url);

// What a command-line argument that names no existing directory is: a clone URL of an
// accepted form, an address git could reach but we refuse, or a local path.
enum class AddressKind { Local, Remote, Unsupported };
AddressKind classify_address(std::string_view arg);

// The accepted forms, for messages.
inline constexpr std::string_view kAcceptedAddresses =
    "https://, http://, ssh://, git://, file:// or host:path";

// The URL without credentials, safe to print: "https://token@host/x" -> "https://host/x".
std::string redact_url(std::string_view url);

// Percent-encodes every byte outside the unreserved set (GitLab project paths).
std::string percent_encode(std::string_view s);
// Decodes %XX escapes (a URL's user name and password); others stay as they are.
std::string percent_decode(std::string_view s);

}  // namespace ostrameld
