#include "core/json.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "core/json_reader.h"

namespace json_detail {

bool IsValidUtf8(const char* data, size_t size) {
  // Well-formed sequences by the ranges of their first two bytes, which rule
  // out overlong forms, surrogates and code points above U+10FFFF without
  // decoding them.
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  const unsigned char* const end = p + size;
  auto continuation = [](unsigned char b) { return (b & 0xC0) == 0x80; };
  while (p != end) {
    const unsigned char b0 = *p;
    if (b0 < 0x80) {
      // Runs of ASCII eight bytes at a time.
      ++p;
      while (end - p >= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ull) break;
        p += 8;
      }
      continue;
    }
    const size_t left = static_cast<size_t>(end - p);
    if (b0 >= 0xE0 && b0 <= 0xEF) {  // first: CJK text is made of these
      if (left < 3 || !continuation(p[2])) return false;
      const unsigned char low = b0 == 0xE0 ? 0xA0 : 0x80;
      const unsigned char high = b0 == 0xED ? 0x9F : 0xBF;
      if (p[1] < low || p[1] > high) return false;
      p += 3;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      if (left < 2 || !continuation(p[1])) return false;
      p += 2;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      if (left < 4 || !continuation(p[2]) || !continuation(p[3])) return false;
      const unsigned char low = b0 == 0xF0 ? 0x90 : 0x80;
      const unsigned char high = b0 == 0xF4 ? 0x8F : 0xBF;
      if (p[1] < low || p[1] > high) return false;
      p += 4;
    } else {
      return false;  // a continuation byte, C0, C1 or F5 to FF in lead position
    }
  }
  return true;
}

namespace {

// One "C" locale for the whole process, for the rare conversions that
// std::from_chars reports out of range (it calls every underflow so, while
// strtod gives zero or a subnormal).
locale_t ClassicLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

bool ConvertNumber(const char* first, const char* last, double* out) {
  double value = 0.0;
  const std::from_chars_result result = std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec == std::errc() && result.ptr == last) {
    *out = value;
    return true;
  }
  if (result.ec != std::errc::result_out_of_range) return false;
  const locale_t locale = ClassicLocale();
  if (locale == static_cast<locale_t>(nullptr)) return false;
  const std::string bytes(first, last);
  char* stop = nullptr;
  value = strtod_l(bytes.c_str(), &stop, locale);
  if (stop != bytes.c_str() + bytes.size() || !std::isfinite(value)) return false;
  *out = value;
  return true;
}

}  // namespace json_detail

const JsonValue* JsonValue::Find(const char* key) const {
  if (type != JsonType::Object || key == nullptr) return nullptr;
  const auto it = members.find(std::string(key));
  return it == members.end() ? nullptr : &it->second;
}

bool ParseJson(const std::string& text, JsonValue& out) {
  return ParseJsonWithPolicy<JsonBoundedPolicy>(text, out);
}
