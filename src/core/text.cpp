#include "core/text.h"

#include "platform/text_encoding.h"

#include <cstring>
#include <system_error>

#include "platform/crypto.h"

namespace quorix_text {

bool DecodeUtf8(const char* data, size_t size, std::u16string* out) { return platform::DecodeUtf8(data, size, out); }

}  // namespace quorix_text

namespace {

std::u16string ConvertOrThrow(const char* data, size_t size) {
  if (size >= (size_t{1} << 31)) {
    throw std::system_error(std::make_error_code(std::errc::value_too_large), "Utf8ToWide");
  }
  std::u16string out;
  if (!quorix_text::DecodeUtf8(data, size, &out)) {
    throw std::system_error(std::make_error_code(std::errc::illegal_byte_sequence), "Utf8ToWide");
  }
  return out;
}

}  // namespace

std::u16string Utf8ToWide(const std::string& text) { return ConvertOrThrow(text.data(), text.size()); }

std::u16string Utf8CStringToWide(const char* text) {
  if (text == nullptr) return {};
  return ConvertOrThrow(text, std::strlen(text));
}

std::u16string Utf8ToWideStrict(const std::string& text) {
  if (text.size() >= (size_t{1} << 31)) return {};
  std::u16string out;
  if (!quorix_text::DecodeUtf8(text.data(), text.size(), &out)) return {};
  return out;
}

namespace {

// Encodes into `out`, reserved once for the longest result, so no partial
// copy is ever left in a released block. False at an unpaired surrogate.
bool EncodeUtf16(const std::u16string& text, std::string* out) {
  out->reserve(text.size() * 3);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return false;
    }
    quorix_text::AppendUtf8(cp, *out);
  }
  return true;
}

}  // namespace

std::string WideToUtf8(const std::u16string& text) {
  std::string out;
  if (!EncodeUtf16(text, &out)) return {};
  return out;
}

std::string WideToUtf8Secret(const std::u16string& text) {
  std::string out;
  if (!EncodeUtf16(text, &out)) {
    platform::SecureZero(out.data(), out.capacity());
    return {};
  }
  return out;
}

std::string WriteJsonStringLiteral(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

namespace {

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

bool IsUtf16Boundary(const std::u16string& text, size_t index) {
  if (index > text.size()) return false;
  if (index == 0 || index == text.size()) return true;
  return !(IsHighSurrogate(text[index - 1]) && IsLowSurrogate(text[index]));
}

bool IsWellFormedText(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u == 0 || IsLowSurrogate(u)) return false;
    if (IsHighSurrogate(u)) {
      if (i + 1 >= text.size() || !IsLowSurrogate(text[i + 1])) return false;
      ++i;
    }
  }
  return true;
}

std::u16string ToSingleLine(const std::u16string& text, size_t max_units) {
  std::u16string out;
  bool pending_space = false;
  for (const char16_t u : text) {
    if (u < 33 || u == 127) {
      if (!out.empty()) pending_space = true;
      continue;
    }
    if (pending_space) {
      out.push_back(u' ');
      pending_space = false;
    }
    out.push_back(u);
    if (out.size() >= max_units) {
      if (IsHighSurrogate(out.back())) out.pop_back();
      out.push_back(u'\u2026');
      return out;
    }
  }
  return out;
}
