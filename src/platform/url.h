#pragma once
// A strict splitter of http and https addresses.
//
// Accepted form: a scheme "http" or "https" in any letter case, "://", an
// optional "user[:password]@", a non-empty host, an optional ":" with 1 to 5
// digits whose value is at most 65535, a path starting with "/" (may be
// absent), and the extra part from the first "?" or "#" to the end. Anything
// else fails, also an empty port, a control character (below 0x20 or 0x7F)
// anywhere, or a space, "\" or "[" in the authority.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

enum class UrlScheme { kHttp, kHttps };

struct UrlParts {
  UrlScheme scheme = UrlScheme::kHttps;
  bool has_user = false;  // an "@" was in the authority
  std::string user;
  bool has_password = false;  // the user part held a ":"
  std::string password;
  std::string host;
  uint16_t port = 0;  // the given port, else 443 or 80
  bool has_port = false;
  std::string path;   // "" or starting with "/"
  std::string extra;  // "" or starting with "?" or "#"
};

// Splits `url` into `out`. On failure `out` is left unchanged.
bool CrackUrl(std::string_view url, UrlParts* out);

}  // namespace platform
