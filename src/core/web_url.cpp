#include "core/web_url.h"

#include "core/text.h"
#include "platform/spawn.h"
#include "platform/url.h"

std::u16string NormalizeWebUrl(const std::string& text) {
  constexpr size_t kMaxBytes = 16384;
  if (text.empty() || text.size() > kMaxBytes) return {};
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 33 || b == 127) return {};
  }
  std::u16string wide = Utf8ToWideStrict(text);
  if (wide.empty()) return {};
  platform::UrlParts parts;
  if (!platform::CrackUrl(text, &parts)) return {};
  if (parts.host.empty() || parts.has_user || parts.has_password) return {};
  return wide;
}

bool IsAcceptableWebUrl(const std::string& text) { return !NormalizeWebUrl(text).empty(); }

bool OpenExternalUrl(const std::string& text) {
  const std::u16string url = NormalizeWebUrl(text);
  if (url.empty()) return false;
  return platform::ShellOpen(WideToUtf8(url));
}
