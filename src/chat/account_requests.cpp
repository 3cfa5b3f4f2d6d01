#include "chat/account_requests.h"

#include <initializer_list>
#include <stdexcept>
#include <string_view>

#include "chat/secure_wipe.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

AccountHttpReply LocalFailure(const char* code) {
  AccountHttpReply reply;
  reply.error = code;
  return reply;
}

// Joins the parts of a body that holds a password or token into one
// allocation, so that no grown-out-of copy of the secret is released unwiped.
std::string SecretBody(std::initializer_list<std::string_view> parts) {
  size_t size = 0;
  for (const std::string_view part : parts) size += part.size();
  std::string body;
  body.reserve(size);
  for (const std::string_view part : parts) body.append(part);
  return body;
}

// Sends a body that holds a password or token and wipes it once sent.
AccountHttpReply SendSecretBody(const ServiceEndpoint& endpoint, const std::u16string& method, const std::string& path,
                                std::string body, const std::string& token) {
  AccountHttpReply reply = SendAccountRequest(endpoint, method, path, body, token);
  SecureWipeString(&body);
  return reply;
}

}  // namespace

std::string QuoteJsonString(const std::string& text) {
  // Sized exactly first: the text may be a password, and a grown string
  // would release a partial copy unwiped.
  size_t size = 2;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const bool by_letter = c == '"' || c == '\\' || c == 0x08 || c == 0x0C || c == 0x0A || c == 0x0D || c == 0x09;
    size += by_letter ? 2 : c < 0x20 ? 6 : 1;
  }
  std::string out;
  out.reserve(size);
  out.push_back('"');
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case 0x08: out += "\\b"; break;
      case 0x0C: out += "\\f"; break;
      case 0x0A: out += "\\n"; break;
      case 0x0D: out += "\\r"; break;
      case 0x09: out += "\\t"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 0x0F]);
        } else {
          out.push_back(ch);
        }
    }
  }
  out.push_back('"');
  return out;
}

std::string PercentEncodePathSegment(const std::string& segment) {
  if (segment.empty() || segment.size() > 256) throw std::invalid_argument("invalid_path_segment");
  std::string out;
  out.reserve(segment.size() * 3);
  for (const char ch : segment) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~';
    if (plain) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  if (out == "." || out == "..") throw std::invalid_argument("invalid_path_segment");
  return out;
}

AccountHttpReply AccountLogin(const ServiceEndpoint& endpoint, const std::string& user_id, const std::string& password) {
  try {
    std::string quoted = QuoteJsonString(password);
    std::string body = SecretBody({"{\"user_id\":", QuoteJsonString(user_id), ",\"password\":", quoted, "}"});
    SecureWipeString(&quoted);
    return SendSecretBody(endpoint, u"POST", "/auth/login", std::move(body), "");
  } catch (...) {
    return LocalFailure("request_too_large");
  }
}

AccountHttpReply AccountLogout(const ServiceEndpoint& endpoint, const std::string& token) {
  try {
    std::string quoted = QuoteJsonString(token);
    std::string body = SecretBody({"{\"token\":", quoted, "}"});
    SecureWipeString(&quoted);
    // The token goes in the body, not in the token header.
    return SendSecretBody(endpoint, u"POST", "/auth/logout", std::move(body), "");
  } catch (...) {
    return LocalFailure("request_too_large");
  }
}

AccountHttpReply AccountGetMe(const ServiceEndpoint& endpoint, const std::string& token) {
  return SendAccountRequest(endpoint, u"GET", "/auth/me", "", token);
}

AccountHttpReply AccountGetFriends(const ServiceEndpoint& endpoint, const std::string& user_id, const std::string& token) {
  try {
    return SendAccountRequest(endpoint, u"GET", "/friends/" + PercentEncodePathSegment(user_id), "", token);
  } catch (...) {
    return LocalFailure("invalid_user_id");
  }
}

AccountHttpReply AccountOpenPhoneSession(const ServiceEndpoint& endpoint, const std::string& user_id,
                                         const std::string& token) {
  try {
    return SendAccountRequest(endpoint, u"POST", "/phone/v1/session", "{\"user_id\":" + QuoteJsonString(user_id) + "}",
                              token);
  } catch (...) {
    return LocalFailure("request_too_large");
  }
}
