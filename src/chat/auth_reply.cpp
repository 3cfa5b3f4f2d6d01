#include "chat/auth_reply.h"

#include <string_view>

#include "chat/secure_wipe.h"
#include "platform/utf8.h"

namespace {

constexpr size_t kMaxText = 1048576;
constexpr int kMaxLevel = 24;
constexpr size_t kMaxReason = 128;

enum Path { kOk, kToken, kReason, kUserId, kSessionActive, kOther };

Path Recognise(std::string_view path) {
  if (path == "ok") return kOk;
  if (path == "token") return kToken;
  if (path == "reason") return kReason;
  if (path == "user.user_id") return kUserId;
  if (path == "session.is_active") return kSessionActive;
  return kOther;
}

class Reader {
 public:
  Reader(const std::string& text, AuthReply* out) : text_(text), out_(out) {}

  bool ReadTop() {
    SkipSpace();
    if (!ReadObject("", 0)) return false;
    SkipSpace();
    return pos_ == text_.size() && out_->has_ok;
  }

 private:
  void SkipSpace() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
      ++pos_;
    }
  }

  bool Take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool ReadObject(const std::string& path, int level) {
    if (level > kMaxLevel) return false;
    SkipSpace();
    if (!Take('{')) return false;
    SkipSpace();
    if (Take('}')) return true;
    for (;;) {
      std::string key;
      if (!ReadString(&key)) return false;
      SkipSpace();
      if (!Take(':')) return false;
      const std::string member = path.empty() ? key : path + "." + key;
      const Path recognised = Recognise(member);
      if (recognised != kOther) {
        if (seen_[recognised]) return false;
        seen_[recognised] = true;
      }
      if (!ReadValue(member, level + 1)) return false;
      SkipSpace();
      if (Take('}')) return true;
      if (!Take(',')) return false;
      SkipSpace();
    }
  }

  bool ReadArray(const std::string& path, int level) {
    if (level > kMaxLevel) return false;
    if (!Take('[')) return false;
    SkipSpace();
    if (Take(']')) return true;
    for (;;) {
      if (!ReadValue(path, level + 1)) return false;
      SkipSpace();
      if (Take(']')) return true;
      if (!Take(',')) return false;
    }
  }

  bool ReadLiteral(std::string_view word) {
    if (text_.compare(pos_, word.size(), word) != 0) return false;
    pos_ += word.size();
    return true;
  }

  bool ReadBoolean(const std::string& path) {
    const bool value = text_[pos_] == 't';
    if (!ReadLiteral(value ? "true" : "false")) return false;
    switch (Recognise(path)) {
      case kOk:
        if (out_->has_ok) return false;
        out_->has_ok = true;
        out_->ok = value;
        return true;
      case kSessionActive:
        if (out_->has_session_is_active) return false;
        out_->has_session_is_active = true;
        out_->session_is_active = value;
        return true;
      default:
        return true;
    }
  }

  bool Digits() {
    const size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
    return pos_ > start;
  }

  bool ReadNumber() {
    Take('-');
    if (Take('0')) {
      // A leading zero stands alone.
    } else if (pos_ < text_.size() && text_[pos_] >= '1' && text_[pos_] <= '9') {
      Digits();
    } else {
      return false;
    }
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return true;
  }

  bool ReadStringValue(const std::string& path) {
    std::string value;
    // A token is read into room enough for all of it, so growing leaves no
    // unwiped copies behind.
    if (Recognise(path) == kToken) value.reserve(text_.size() - pos_);
    if (!ReadString(&value)) {
      SecureWipeString(&value);
      return false;
    }
    std::string* target = nullptr;
    switch (Recognise(path)) {
      case kToken: target = &out_->token; break;
      case kUserId: target = &out_->user_id; break;
      case kReason:
        if (value.size() > kMaxReason) {
          SecureWipeString(&value);
          return false;
        }
        target = &out_->reason;
        break;
      default: break;
    }
    if (target != nullptr) {
      // A later value replaces the earlier one, which is wiped first.
      SecureWipeString(target);
      target->swap(value);
    }
    SecureWipeString(&value);
    return true;
  }

  bool ReadValue(const std::string& path, int level) {
    if (level > kMaxLevel) return false;
    SkipSpace();
    if (pos_ >= text_.size()) return false;
    const char c = text_[pos_];
    const Path recognised = Recognise(path);
    if (c == '{') return ReadObject(path, level);
    if (c == '[') return ReadArray(path, level);
    if (c == '"') return ReadStringValue(path);
    if (c == 't' || c == 'f') return ReadBoolean(path);
    if (c == 'n') return ReadLiteral("null") && recognised != kOk && recognised != kSessionActive;
    if (c == '-' || (c >= '0' && c <= '9')) return ReadNumber() && recognised != kOk && recognised != kSessionActive;
    return false;
  }

  bool Hex4(uint32_t* value) {
    if (text_.size() - pos_ < 4) return false;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      v <<= 4;
      if (c >= '0' && c <= '9') {
        v |= static_cast<uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        v |= static_cast<uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        v |= static_cast<uint32_t>(c - 'A' + 10);
      } else {
        return false;
      }
    }
    *value = v;
    return true;
  }

  bool ReadEscape(std::string* out) {
    if (pos_ >= text_.size()) return false;
    const char c = text_[pos_++];
    switch (c) {
      case '"': out->push_back('"'); return true;
      case '/': out->push_back('/'); return true;
      case '\\': out->push_back('\\'); return true;
      case 'b': out->push_back('\b'); return true;
      case 'f': out->push_back('\f'); return true;
      case 'n': out->push_back('\n'); return true;
      case 'r': out->push_back('\r'); return true;
      case 't': out->push_back('\t'); return true;
      case 'u': break;
      default: return false;
    }
    uint32_t cp = 0;
    if (!Hex4(&cp)) return false;
    if (cp >= 0xDC00 && cp <= 0xDFFF) return false;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      uint32_t low = 0;
      if (!Take('\\') || !Take('u') || !Hex4(&low) || low < 0xDC00 || low > 0xDFFF) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
    }
    platform::AppendUtf8(cp, out);
    return true;
  }

  bool ReadString(std::string* out) {
    SkipSpace();
    if (!Take('"')) return false;
    while (pos_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[pos_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (!ReadEscape(out)) return false;
      } else {
        out->push_back(static_cast<char>(c));
      }
    }
    return false;
  }

  const std::string& text_;
  AuthReply* out_;
  size_t pos_ = 0;
  bool seen_[kOther] = {};
};

void Empty(AuthReply* reply) {
  SecureWipeString(&reply->token);
  SecureWipeString(&reply->user_id);
  SecureWipeString(&reply->reason);
  *reply = AuthReply{};
}

}  // namespace

AuthReply ParseAuthReply(const std::string& text) {
  AuthReply reply;
  try {
    if (text.size() > kMaxText) return reply;
    Reader reader(text, &reply);
    if (reader.ReadTop()) {
      reply.valid = true;
      return reply;
    }
  } catch (...) {
    // Out of memory while copying a value: the text counts as unreadable.
  }
  Empty(&reply);
  return reply;
}
