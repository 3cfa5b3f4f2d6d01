#pragma once
// A strict URL cracker for the program's service origins, in the manner of
// WinHttpCrackUrl: "scheme://[user[:password]@]host[:port][path][extra]".
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

struct CrackedUrl {
  bool https = false;           // scheme "https" (any case); else "http"
  bool has_user_info = false;   // an "@" ended a user name (and password) part
  std::u16string user;
  std::u16string password;
  std::u16string host;          // as written, never empty
  uint16_t port = 0;            // as written, else 443 for https and 80 for http
  bool port_given = false;
  std::u16string path;          // from the first "/" of the rest, up to the extra
  std::u16string extra;         // from the first "?" or "#", to the end
};

// False (out reset) for any other scheme, a missing "//", an empty host, a
// ":" with no digits or more than five, a port above 65535, or a control
// character (below 0x20, or 0x7F) anywhere, or a space or backslash in the
// host and port part.
[[nodiscard]] bool CrackUrl(std::u16string_view url, CrackedUrl* out);

}  // namespace platform
