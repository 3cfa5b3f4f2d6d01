#include "platform/url.h"

#include <algorithm>

namespace platform {
namespace {

bool IsControl(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b < 0x20 || b == 0x7F;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

bool ParsePort(std::string_view digits, uint16_t* port) {
  if (digits.empty() || digits.size() > 5) return false;
  uint32_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

bool CrackUrl(std::string_view url, UrlParts* out) {
  if (out == nullptr) return false;
  if (std::any_of(url.begin(), url.end(), IsControl)) return false;

  UrlParts parts;
  std::string_view rest;
  if (StartsWithIgnoreCase(url, "https://")) {
    parts.scheme = UrlScheme::kHttps;
    rest = url.substr(8);
  } else if (StartsWithIgnoreCase(url, "http://")) {
    parts.scheme = UrlScheme::kHttp;
    rest = url.substr(7);
  } else {
    return false;
  }

  const size_t authority_end = std::min(rest.find_first_of("/?#"), rest.size());
  std::string_view authority = rest.substr(0, authority_end);
  std::string_view tail = rest.substr(authority_end);
  if (authority.find_first_of(" \\[]") != std::string_view::npos) return false;

  const size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view user_info = authority.substr(0, at);
    authority = authority.substr(at + 1);
    parts.has_user = true;
    const size_t colon = user_info.find(':');
    if (colon == std::string_view::npos) {
      parts.user = std::string(user_info);
    } else {
      parts.user = std::string(user_info.substr(0, colon));
      parts.has_password = true;
      parts.password = std::string(user_info.substr(colon + 1));
    }
  }

  const size_t colon = authority.find(':');
  std::string_view host = authority.substr(0, std::min(colon, authority.size()));
  if (host.empty()) return false;
  parts.host = std::string(host);
  parts.port = parts.scheme == UrlScheme::kHttps ? 443 : 80;
  if (colon != std::string_view::npos) {
    if (!ParsePort(authority.substr(colon + 1), &parts.port)) return false;
    parts.has_port = true;
  }

  const size_t extra_begin = std::min(tail.find_first_of("?#"), tail.size());
  parts.path = std::string(tail.substr(0, extra_begin));
  parts.extra = std::string(tail.substr(extra_begin));
  *out = std::move(parts);
  return true;
}

}  // namespace platform
