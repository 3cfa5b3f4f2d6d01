#include "phone_service/gateway_json.h"

#include <charconv>
#include <cmath>

namespace quorix_phone {

namespace {

constexpr int kMaxDepth = 12;
constexpr double kMaxMagnitude = 1e15;

bool AppendNumber(double number, std::string& out) {
  if (!std::isfinite(number) || number > kMaxMagnitude || number < -kMaxMagnitude) return false;
  if (number == std::trunc(number)) {
    out += FormatInt64(static_cast<int64_t>(number));
    return true;
  }
  // Fixed with six decimals, as "%f" writes it in the "C" locale; to_chars
  // never reads the locale. |number| <= 1e15 needs at most 16 + 1 + 6 + 1.
  char digits[48];
  const auto result = std::to_chars(digits, digits + sizeof(digits), number, std::chars_format::fixed, 6);
  if (result.ec != std::errc()) return false;
  out.append(digits, result.ptr);
  return true;
}

}  // namespace

namespace {

void AppendEscaped(const std::string& text, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  size_t plain = 0;  // start of the run of bytes copied as they are
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte != '"' && byte != '\\') continue;
    out.append(text, plain, i - plain);
    plain = i + 1;
    if (byte < 0x20) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += '\\';
      out += static_cast<char>(byte);
    }
  }
  out.append(text, plain, std::string::npos);
  out += '"';
}

}  // namespace

std::string EscapeJsonString(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendEscaped(text, out);
  return out;
}

std::string FormatInt64(int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof(digits), value);
  return std::string(digits, result.ptr);
}

bool WriteCompactJson(const JsonValue& value, std::string& out, int depth) {
  if (depth > kMaxDepth || out.size() > kMaxGatewayJsonBytes) return false;
  switch (value.type) {
    case JsonType::Null:
      out += "null";
      break;
    case JsonType::Bool:
      out += value.bool_value ? "true" : "false";
      break;
    case JsonType::Number:
      if (!AppendNumber(value.number, out)) return false;
      break;
    case JsonType::String:
      AppendEscaped(value.text, out);
      break;
    case JsonType::Array: {
      out += '[';
      bool first = true;
      for (const JsonValue& item : value.items) {
        if (!first) out += ',';
        first = false;
        if (!WriteCompactJson(item, out, depth + 1)) return false;
      }
      out += ']';
      break;
    }
    case JsonType::Object: {
      out += '{';
      bool first = true;
      for (const auto& [key, member] : value.members) {
        if (!first) out += ',';
        first = false;
        AppendEscaped(key, out);
        out += ':';
        if (!WriteCompactJson(member, out, depth + 1)) return false;
      }
      out += '}';
      break;
    }
  }
  return out.size() <= kMaxGatewayJsonBytes;
}

}  // namespace quorix_phone
