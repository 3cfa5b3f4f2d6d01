#include "core/json.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "core/json_reader.h"
#include "core/text.h"

namespace json_detail {

bool IsValidUtf8(const char* data, size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  const unsigned char* const end = p + size;
  while (p != end) {
    // Runs of ASCII eight bytes at a time.
    while (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      if (word & 0x8080808080808080ull) break;
      p += 8;
    }
    if (p == end) break;
    const unsigned char b0 = *p;
    if (b0 < 0x80) {
      ++p;
      continue;
    }
    char32_t cp;
    const size_t length = quorix_text::DecodeUtf8Sequence(p, static_cast<size_t>(end - p), &cp);
    if (length == 0) return false;
    p += length;
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
