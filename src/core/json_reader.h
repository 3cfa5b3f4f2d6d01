#pragma once
// The reader behind ParseJson, a template on its limits. ParseJson is the
// bounded instance; nothing in the program uses any other. The limits are
// compile-time constants so the bounded reader pays nothing for carrying them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/json.h"
#include "core/text.h"

// The limits every JSON text from outside is read with.
struct JsonBoundedPolicy {
  static constexpr bool kBounded = true;
  static constexpr size_t kMaxTextBytes = 0x100000;  // 1,048,576
  static constexpr uint32_t kMaxValues = 60000;
  static constexpr int kMaxDepth = 24;
  static constexpr size_t kMaxKeyBytes = 8192;
};

namespace json_detail {

// True when data[0, size) is well-formed UTF-8: shortest forms only, no
// encoded surrogates, nothing above U+10FFFF, no cut sequence at the end.
bool IsValidUtf8(const char* data, size_t size);

// Converts the bytes of a number already checked against the JSON grammar.
// The result equals strtod in the "C" locale; false when it is not finite.
bool ConvertNumber(const char* first, const char* last, double* out);

// True when any of the eight bytes of `w` is '"', '\\' or below 0x20.
inline bool HasStringStop(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  const uint64_t quote = w ^ (kOnes * '"');
  const uint64_t backslash = w ^ (kOnes * '\\');
  const uint64_t stops = ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
                         ((w - kOnes * 0x20) & ~w);
  return (stops & kHigh) != 0;
}

inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

template <class Policy>
class JsonReader {
 public:
  JsonReader(const char* data, size_t size) : pos_(data), end_(data + size) {}

  bool ReadDocument(JsonValue& out) {
    SkipSpace();
    if (!ReadValue(out, 0)) return false;
    SkipSpace();
    return pos_ == end_;
  }

 private:
  void SkipSpace() {
    while (pos_ != end_ && (*pos_ == ' ' || *pos_ == '\n' || *pos_ == '\r' || *pos_ == '\t')) ++pos_;
  }

  bool ReadValue(JsonValue& value, int depth) {
    if constexpr (Policy::kBounded) {
      if (depth > Policy::kMaxDepth) return false;
      if (++values_begun_ > Policy::kMaxValues) return false;
    }
    SkipSpace();
    if (pos_ == end_) return false;
    switch (*pos_) {
      case '{':
        return ReadObject(value, depth);
      case '[':
        return ReadArray(value, depth);
      case '"':
        value.type = JsonType::String;
        return ReadString(value.text);
      case 't':
        value.type = JsonType::Bool;
        value.bool_value = true;
        return ReadLiteral("true", 4);
      case 'f':
        value.type = JsonType::Bool;
        return ReadLiteral("false", 5);
      case 'n':
        return ReadLiteral("null", 4);
      case '-':
      case '0':
      case '1':
      case '2':
      case '3':
      case '4':
      case '5':
      case '6':
      case '7':
      case '8':
      case '9':
        value.type = JsonType::Number;
        return ReadNumber(value.number);
      default:
        return false;
    }
  }

  bool ReadLiteral(const char* word, size_t length) {
    if (static_cast<size_t>(end_ - pos_) < length || std::memcmp(pos_, word, length) != 0) return false;
    pos_ += length;
    return true;
  }

  bool ReadObject(JsonValue& value, int depth) {
    value.type = JsonType::Object;
    ++pos_;
    SkipSpace();
    if (pos_ != end_ && *pos_ == '}') {
      ++pos_;
      return true;
    }
    std::string key;
    for (;;) {
      key.clear();
      if (!ReadString(key)) return false;
      if constexpr (Policy::kBounded) {
        if (key.size() > Policy::kMaxKeyBytes) return false;
      }
      SkipSpace();
      if (pos_ == end_ || *pos_ != ':') return false;
      ++pos_;
      // The member is read in place; an existing key fails the document
      // (its value would be refused after reading anyway).
      auto [it, inserted] = value.members.try_emplace(std::move(key));
      if (!inserted) return false;
      if (!ReadValue(it->second, depth + 1)) return false;
      SkipSpace();
      if (pos_ == end_) return false;
      if (*pos_ == '}') {
        ++pos_;
        return true;
      }
      if (*pos_ != ',') return false;
      ++pos_;
    }
  }

  bool ReadArray(JsonValue& value, int depth) {
    value.type = JsonType::Array;
    ++pos_;
    SkipSpace();
    if (pos_ != end_ && *pos_ == ']') {
      ++pos_;
      return true;
    }
    for (;;) {
      value.items.emplace_back();
      if (!ReadValue(value.items.back(), depth + 1)) return false;
      SkipSpace();
      if (pos_ == end_) return false;
      if (*pos_ == ']') {
        ++pos_;
        return true;
      }
      if (*pos_ != ',') return false;
      ++pos_;
    }
  }

  // Four hexadecimal digits at the read position.
  bool ReadHex4(uint32_t& unit) {
    if (end_ - pos_ < 4) return false;
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = HexDigit(pos_[i]);
      if (digit < 0) return false;
      unit = (unit << 4) | static_cast<uint32_t>(digit);
    }
    pos_ += 4;
    return true;
  }

  bool ReadString(std::string& out) {
    SkipSpace();
    if (pos_ == end_ || *pos_ != '"') return false;
    ++pos_;
    for (;;) {
      const char* run = pos_;
      while (end_ - pos_ >= 8) {
        uint64_t word;
        std::memcpy(&word, pos_, 8);
        if (HasStringStop(word)) break;
        pos_ += 8;
      }
      while (pos_ != end_) {
        const auto c = static_cast<unsigned char>(*pos_);
        if (c == '"' || c == '\\' || c < 0x20) break;
        ++pos_;
      }
      out.append(run, static_cast<size_t>(pos_ - run));
      if (pos_ == end_) return false;
      const char stop = *pos_++;
      if (stop == '"') return true;
      if (stop != '\\') return false;  // a raw control byte
      if (pos_ == end_) return false;
      switch (*pos_++) {
        case '"':
          out.push_back('"');
          break;
        case '\\':
          out.push_back('\\');
          break;
        case '/':
          out.push_back('/');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'u': {
          uint32_t unit;
          if (!ReadHex4(unit)) return false;
          if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (end_ - pos_ < 2 || pos_[0] != '\\' || pos_[1] != 'u') return false;
            pos_ += 2;
            uint32_t low;
            if (!ReadHex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          }
          quorix_text::AppendUtf8(unit, out);
          break;
        }
        default:
          return false;
      }
    }
  }

  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  bool ReadNumber(double& number) {
    const char* first = pos_;
    if (*pos_ == '-') {
      ++pos_;
      if (pos_ == end_) return false;
    }
    if (*pos_ == '0') {
      ++pos_;
    } else if (*pos_ >= '1' && *pos_ <= '9') {
      ++pos_;
      while (pos_ != end_ && IsDigit(*pos_)) ++pos_;
    } else {
      return false;
    }
    if (pos_ != end_ && *pos_ == '.') {
      ++pos_;
      if (pos_ == end_ || !IsDigit(*pos_)) return false;
      while (pos_ != end_ && IsDigit(*pos_)) ++pos_;
    }
    if (pos_ != end_ && (*pos_ == 'e' || *pos_ == 'E')) {
      ++pos_;
      if (pos_ != end_ && (*pos_ == '+' || *pos_ == '-')) ++pos_;
      if (pos_ == end_ || !IsDigit(*pos_)) return false;
      while (pos_ != end_ && IsDigit(*pos_)) ++pos_;
    }
    return ConvertNumber(first, pos_, &number);
  }

  const char* pos_;
  const char* const end_;
  uint32_t values_begun_ = 0;
};

}  // namespace json_detail

// ParseJson with the limits of `Policy`; see ParseJson for the rules.
template <class Policy>
bool ParseJsonWithPolicy(const std::string& text, JsonValue& out) {
  if constexpr (Policy::kBounded) {
    if (text.size() > Policy::kMaxTextBytes) return false;
  }
  if (!json_detail::IsValidUtf8(text.data(), text.size())) return false;
  json_detail::JsonReader<Policy> reader(text.data(), text.size());
  return reader.ReadDocument(out);
}
