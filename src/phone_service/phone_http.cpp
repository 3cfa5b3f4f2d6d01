#include "phone_service/phone_http.h"

#include <string_view>
#include <vector>

#include "chat/account_http.h"
#include "chat/secure_wipe.h"
#include "core/event_log.h"
#include "core/service_origin.h"
#include "core/text.h"
#include "platform/https.h"

namespace quorix_phone {
namespace {

constexpr char kUserAgent[] = "QuorixPhone/0.1.12";
constexpr size_t kMaxToken = 2048;
constexpr size_t kMaxPath = 256;
constexpr size_t kMaxBody = 4096;
constexpr size_t kMaxMessagesBody = 32768;
constexpr size_t kMaxReply = 145000;
constexpr size_t kMaxMessagesReply = 1048576;
constexpr char kMessagesPrefix[] = "/phone/v1/messages/";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool Refuse() {
  platform::SetLastError(87);
  return false;
}

}  // namespace

bool IsValidPhoneToken(const std::string& token) {
  return !token.empty() && token.size() <= kMaxToken && IsTokenText(token);
}

bool IsValidConnectionId(const std::string& text) {
  if (text.size() != 32) return false;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::u16string Utf8ToWideBounded(const std::string& text) {
  if (text.empty() || text.size() > 200000) return {};
  return Utf8ToWideStrict(text);
}

bool SendPhoneHttpRequest(const PhoneTarget& target, const std::string& token, const std::string& method,
                          const std::string& path, const std::string& body, uint32_t* status, std::string* reply,
                          const std::string& connection_id) {
  try {
    if (!IsValidPhoneToken(token) || status == nullptr || reply == nullptr) return Refuse();
    if (path.empty() || path.size() > kMaxPath || path.front() != '/' || path.find("..") != std::string::npos) {
      return Refuse();
    }
    const bool messages = StartsWith(path, kMessagesPrefix);
    if (body.size() > (messages ? kMaxMessagesBody : kMaxBody)) return Refuse();
    if (Utf8ToWideBounded(path).empty()) return Refuse();
    // libcurl would end the path at a '#'; WinHTTP sends it. Nothing we send
    // has one, so it is refused rather than cut.
    if (path.find('#') != std::string::npos) return Refuse();
    if (!connection_id.empty() &&
        (!IsValidConnectionId(connection_id) || !(path == "/phone/v1/calls/start" || messages))) {
      return Refuse();
    }

    platform::HttpsRequest request;
    request.host = WideToUtf8(target.host);
    request.port = target.port;
    request.method = method == "POST" ? "POST" : "GET";
    request.path = path;
    request.body = body;
    request.user_agent = kUserAgent;
    request.body_cap = messages ? kMaxMessagesReply : kMaxReply;
    request.connect_timeout_ms = 4000 + 4000;
    request.send_timeout_ms = 5000;
    request.receive_timeout_ms = 5000;
    request.abort = target.abort;
    WipeLinesOnExit wipe(request.headers);
    request.headers.push_back(std::string(quorix_service::kTokenHeaderName) + ": " + token);
    if (!connection_id.empty()) request.headers.push_back("X-Quorix-Connection: " + connection_id);
    request.headers.push_back("Accept: application/json");
    request.headers.push_back("Content-Type: application/json");

    thread_local platform::HttpsConnection connection;
    platform::HttpsResponse response = connection.Send(request);
    if (response.status_read != 0) {
      *status = response.status_read;
      WriteEventLog("HTTP_STATUS", response.status_read, 0);
    }
    if (response.failure != platform::HttpsFailure::kNone) return false;
    const uint32_t error = platform::LastError();
    SecureWipeString(reply);
    reply->assign(response.body.view());
    platform::SetLastError(error);
    return true;
  } catch (...) {
    platform::SetLastError(8);
    return false;
  }
}

}  // namespace quorix_phone
