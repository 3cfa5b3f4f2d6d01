#pragma once
// The service connection: HTTP requests and the live WebSocket.
//
// Not connected yet: it never starts, so every request is refused and no
// reply ever arrives.
#include <cstdint>
#include <string>

#include "phone_service/network.h"

namespace quorix_phone {

class WindowsWire final : public Network {
 public:
  // The reply of one blocking chat request.
  struct MessageReply {
    uint32_t ok = 0;
    uint32_t status = 0;
    std::string body;
    std::string connection_id;
  };

  WindowsWire() = default;
  ~WindowsWire() override { Stop(); }
  WindowsWire(const WindowsWire&) = delete;
  WindowsWire& operator=(const WindowsWire&) = delete;

  bool IsConnected() override { return false; }
  bool Request(uint32_t, const std::string&, const std::string&, const std::string&) override { return false; }
  bool SendText(const std::string&) override { return false; }
  bool PollReply(NetworkReply*) override { return false; }
  bool RequestWithDeadline(uint32_t, const std::string&, const std::string&, const std::string&, const std::string&,
                           uint32_t) override {
    return false;
  }

  bool Start(const std::string& user_id, const std::string& token);
  void Stop() noexcept {}
  std::string GetConnectionId() { return {}; }
  int GetFriendPresence(const std::string&) { return 0; }
  uint64_t GetPresenceStatus() { return 0; }
};

}  // namespace quorix_phone
