#pragma once
// The call state machine shared by the phone UI, the gateway and the session
// owner. A refused transition returns false and changes nothing.
#include <cstdint>
#include <functional>
#include <string>

#include "phone_service/call_gateway.h"

class CallSession {
 public:
  enum State : uint32_t {
    kIdle = 0,
    kOutgoing = 1,
    kIncoming = 2,
    kConnecting = 3,
    kConnected = 4,
    kEnding = 5,
    kFailed = 6,
  };

  struct Snapshot {
    uint32_t state = kIdle;
    std::string peer_id;
    uint8_t muted = 0;
    const char* state_name = "IDLE";
  };

  static const char* StateName(uint32_t state);

  // User side.
  bool StartOutgoing(const std::string& peer_id);
  bool Answer();
  bool Decline();
  bool HangUp();
  bool SetMuted(bool muted);
  bool ClearFailure();
  bool IsAvailable();
  bool IsBackendReady();
  Snapshot GetSnapshot() const;

  // Wiring.
  bool AttachGateway(quorix_call::Gateway* gateway);
  void SetPrepareCheck(std::function<bool()> check);
  void ForceReset() noexcept;

  // Events from the gateway.
  void OnIncomingCall(const std::string& call_id, const std::string& peer_id);
  void OnCallIdAssigned(const std::string& call_id);
  void OnOutgoingAccepted(const std::string& call_id);
  void OnConnected(const std::string& call_id);
  void OnCallEnded(const std::string& call_id);
  void OnCancelFinished();
  void OnCallFailed(const std::string& call_id);

  std::function<bool()> prepare_check;
  uint8_t enabled = 0;
  quorix_call::Gateway* backend = nullptr;
  uint32_t state = kIdle;
  std::string peer_id;
  std::string call_id;
  uint8_t muted = 0;

 private:
  bool PrepareMedia();
  void ClearCall();
};

// 1 to 128 bytes, none below 0x20 and no 0x7F; bytes 0x80..0xFF pass, so
// UTF-8 ids are accepted. The gateway applies stricter rules of its own.
bool IsPrintableId(const std::string& id);
