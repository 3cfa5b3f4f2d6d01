#pragma once
// One synchronous HTTPS exchange with the phone side of the service, and the
// small rules the service connection shares: token, connection id and the
// bounded UTF-8 conversion.
#include <atomic>
#include <cstdint>
#include <string>

namespace quorix_phone {

// Where the exchange goes; `abort`, when given and set, ends a running
// exchange within about a second.
struct PhoneTarget {
  std::u16string host;
  uint16_t port = 0;
  const std::atomic<bool>* abort = nullptr;
};

// 1..2048 bytes, each in A-Z a-z 0-9 '-' '_'.
bool IsValidPhoneToken(const std::string& token);

// Exactly 32 bytes of 0-9 a-f.
bool IsValidConnectionId(const std::string& text);

// Strict UTF-8 to UTF-16; empty, over 200000 bytes or invalid gives empty.
std::u16string Utf8ToWideBounded(const std::string& text);

// Sends `method` ("POST", anything else is "GET") to `path` with the token
// header and, when `connection_id` is not empty, the connection header. True
// once a status and the whole body were read, whatever the status; false when
// the exchange failed, the reason then in platform::LastError(). The status
// is stored (and "HTTP_STATUS" logged) as soon as it is read, even when the
// body then fails. The calling thread keeps its connection for the next call.
bool SendPhoneHttpRequest(const PhoneTarget& target, const std::string& token, const std::string& method,
                          const std::string& path, const std::string& body, uint32_t* status, std::string* reply,
                          const std::string& connection_id);

}  // namespace quorix_phone
