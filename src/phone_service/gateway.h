#pragma once
// The call signalling gateway between the call session, the service
// connection and the media worker. Signalling is not wired yet: the gateway
// is never ready, so the call session refuses every call.
#include <cstdint>
#include <functional>
#include <string>

#include "phone_service/call_gateway.h"
#include "phone_service/call_session.h"
#include "phone_service/network.h"

namespace quorix_phone {

class Gateway final : public quorix_call::Gateway {
 public:
  Gateway(CallSession* session, Network* network, Media* media, std::function<uint64_t()> clock);
  ~Gateway() override { Shutdown(); }
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;

  bool IsReady() override { return false; }
  bool StartCall(const std::string&) override { return false; }
  bool CancelCall(const std::string&) override { return false; }
  bool AnswerCall(const std::string&) override { return false; }
  bool DeclineCall(const std::string&) override { return false; }
  bool EndCall(const std::string&) override { return false; }
  bool SetMuted(const std::string&, bool) override { return false; }

  void SetIdentity(const std::string& user_id, uint64_t session_generation);
  void Activate();
  void Shutdown() noexcept { shut_down_ = true; }
  // One main-loop pass: at most 16 service replies and 24 media events.
  void Pump();

  uint32_t recovery_state = 0;

 private:
  CallSession* session_;
  Network* network_;
  Media* media_;
  // The tick clock the call signalling times its steps with (null: the
  // platform's tick count); kept for that work, nothing reads it yet.
  std::function<uint64_t()> clock_;
  bool shut_down_ = false;
};

}  // namespace quorix_phone
