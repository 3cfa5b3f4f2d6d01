#include "platform/url.h"

namespace platform {
namespace {

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(text[i]) != prefix[i]) return false;
  }
  return true;
}

bool Crack(std::u16string_view url, CrackedUrl* out) {
  for (const char16_t c : url) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  std::u16string_view rest;
  if (StartsWithNoCase(url, u"https://")) {
    out->https = true;
    rest = url.substr(8);
  } else if (StartsWithNoCase(url, u"http://")) {
    rest = url.substr(7);
  } else {
    return false;
  }
  const size_t authority_end = rest.find_first_of(u"/?#");
  std::u16string_view authority = rest.substr(0, authority_end);
  const std::u16string_view tail = authority_end == std::u16string_view::npos ? u"" : rest.substr(authority_end);
  const size_t extra_at = tail.find_first_of(u"?#");
  out->path = std::u16string(tail.substr(0, extra_at));
  if (extra_at != std::u16string_view::npos) out->extra = std::u16string(tail.substr(extra_at));

  const size_t at = authority.rfind(u'@');
  if (at != std::u16string_view::npos) {
    out->has_user_info = true;
    const std::u16string_view info = authority.substr(0, at);
    const size_t colon = info.find(u':');
    out->user = std::u16string(info.substr(0, colon));
    if (colon != std::u16string_view::npos) out->password = std::u16string(info.substr(colon + 1));
    authority = authority.substr(at + 1);
  }
  // A space or a backslash in the host part is read differently by other
  // parsers (a browser takes "\\" for "/"); refuse it rather than guess.
  if (authority.find_first_of(u" \\") != std::u16string_view::npos) return false;
  // A bracketed literal keeps its colons.
  size_t port_colon = std::u16string_view::npos;
  if (!authority.empty() && authority.front() == u'[') {
    const size_t close = authority.find(u']');
    if (close == std::u16string_view::npos) return false;
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != u':') return false;
      port_colon = close + 1;
    }
  } else {
    port_colon = authority.find(u':');
  }
  out->host = std::u16string(authority.substr(0, port_colon));
  if (out->host.empty()) return false;
  out->port = out->https ? 443 : 80;
  if (port_colon != std::u16string_view::npos) {
    const std::u16string_view digits = authority.substr(port_colon + 1);
    if (digits.empty() || digits.size() > 5) return false;
    uint32_t value = 0;
    for (const char16_t c : digits) {
      if (c < u'0' || c > u'9') return false;
      value = value * 10 + static_cast<uint32_t>(c - u'0');
    }
    if (value > 65535) return false;
    out->port = static_cast<uint16_t>(value);
    out->port_given = true;
  }
  return true;
}

}  // namespace

bool CrackUrl(std::u16string_view url, CrackedUrl* out) {
  if (out == nullptr) return false;
  *out = CrackedUrl{};
  if (Crack(url, out)) return true;
  *out = CrackedUrl{};
  return false;
}

}  // namespace platform
