#include "json_canonical.h"

#include <charconv>
#include <cstring>

namespace {

void WriteNumber(double number, std::string& out) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
  // Shortest form, then the exponent without '+' or leading zeros so the text
  // never grows past the one it was read from.
  std::string digits(buffer, result.ptr);
  const size_t e = digits.find('e');
  if (e != std::string::npos) {
    std::string exponent = digits.substr(e + 1);
    std::string sign;
    if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
      if (exponent[0] == '-') sign = "-";
      exponent.erase(0, 1);
    }
    while (exponent.size() > 1 && exponent[0] == '0') exponent.erase(0, 1);
    digits = digits.substr(0, e + 1) + sign + exponent;
  }
  out += digits;
}

void WriteString(const std::string& text, std::string& out) {
  static const char kHex[] = "0123456789abcdef";
  out.push_back('"');
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out.push_back(kHex[byte >> 4]);
          out.push_back(kHex[byte & 15]);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

void Write(const JsonValue& value, std::string& out) {
  switch (value.type) {
    case JsonType::Null:
      out += "null";
      break;
    case JsonType::Bool:
      out += value.bool_value ? "true" : "false";
      break;
    case JsonType::Number:
      WriteNumber(value.number, out);
      break;
    case JsonType::String:
      WriteString(value.text, out);
      break;
    case JsonType::Array: {
      out.push_back('[');
      bool first = true;
      for (const JsonValue& item : value.items) {
        if (!first) out.push_back(',');
        first = false;
        Write(item, out);
      }
      out.push_back(']');
      break;
    }
    case JsonType::Object: {
      out.push_back('{');
      bool first = true;
      for (const auto& [key, member] : value.members) {
        if (!first) out.push_back(',');
        first = false;
        WriteString(key, out);
        out.push_back(':');
        Write(member, out);
      }
      out.push_back('}');
      break;
    }
  }
}

}  // namespace

std::string WriteCanonicalJson(const JsonValue& value) {
  std::string out;
  Write(value, out);
  return out;
}

bool JsonTreesEqual(const JsonValue& a, const JsonValue& b) {
  if (a.type != b.type) return false;
  switch (a.type) {
    case JsonType::Null:
      return true;
    case JsonType::Bool:
      return a.bool_value == b.bool_value;
    case JsonType::Number:
      return std::memcmp(&a.number, &b.number, sizeof a.number) == 0;
    case JsonType::String:
      return a.text == b.text;
    case JsonType::Array:
      if (a.items.size() != b.items.size()) return false;
      for (size_t i = 0; i < a.items.size(); ++i) {
        if (!JsonTreesEqual(a.items[i], b.items[i])) return false;
      }
      return true;
    case JsonType::Object: {
      if (a.members.size() != b.members.size()) return false;
      auto ib = b.members.begin();
      for (const auto& [key, member] : a.members) {
        if (key != ib->first || !JsonTreesEqual(member, ib->second)) return false;
        ++ib;
      }
      return true;
    }
  }
  return false;
}
