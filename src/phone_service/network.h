#pragma once
// The service connection and media worker interfaces the call gateway drives.
#include <cstdint>
#include <string>

namespace quorix_phone {

// One reply or pushed event of the service connection. Tag 0 is a pushed
// WebSocket event, 5 a closed connection; status 408 is a missed deadline.
struct NetworkReply {
  uint32_t tag = 0;
  uint32_t status = 0;
  std::string body;
  std::string path;
  std::string key;
};

class Network {
 public:
  virtual ~Network() = default;
  [[nodiscard]] virtual bool IsConnected() = 0;
  // true when the request was queued.
  [[nodiscard]] virtual bool Request(uint32_t tag, const std::string& method, const std::string& path,
                                     const std::string& body) = 0;
  [[nodiscard]] virtual bool SendText(const std::string& text) = 0;
  // false when no reply is waiting.
  [[nodiscard]] virtual bool PollReply(NetworkReply* out) = 0;
  [[nodiscard]] virtual bool RequestWithDeadline(uint32_t tag, const std::string& method, const std::string& path,
                                                 const std::string& body, const std::string& key,
                                                 uint32_t timeout_ms) = 0;
};

class Media {
 public:
  virtual ~Media() = default;
  virtual bool Start() = 0;
  virtual bool SendCommand(const std::string& json) = 0;
  // One event line per call; false when none is waiting.
  virtual bool PollEvent(std::string& json) = 0;
  virtual void Stop() = 0;
};

}  // namespace quorix_phone
