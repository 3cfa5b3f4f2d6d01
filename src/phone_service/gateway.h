#pragma once
// The call signalling gateway between the call session, the service
// connection and the media worker. It keeps the call's identifiers, flags and
// deadlines, the recovery state after a failed call and, per signed-in
// identity, the inbox readiness record the service's inbox events update.
// Calls are placed, answered, declined and ended through the service; the
// call audio is negotiated with the media worker, directly or, when the
// direct path does not come up or breaks, through a TURN relay.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "phone_service/call_gateway.h"
#include "core/json.h"
#include "phone_service/call_session.h"
#include "phone_service/network.h"

namespace quorix_phone {

// What a capabilities reply proves; all false/0 unless `ok`.
struct CapabilitiesResult {
  bool ok = false;
  bool can_start = false;
  bool can_answer = false;
  uint32_t valid_for_seconds = 0;
};

// Call ids: exactly 32 characters 0-9 or a-f.
bool IsValidCallId(const std::string& id);
// User ids: 1 to 128 characters A-Z, a-z, 0-9, '_', '.', '-'.
bool IsValidUserId(const std::string& id);

// Reads the capabilities reply (or, with `nested`, the phone session reply,
// whose user id sits in "user"."user_id"). `ok` only for status 200, a
// non-empty expected user id, a body of at most 65536 bytes that parses with
// "ok" true, the expected user id, a bool "can_start", "can_answer" and
// "media_ready" true and a whole "valid_for_seconds" from 1 to 10.
CapabilitiesResult ParseCapabilitiesReply(const std::string& body, const std::string& expected_user_id,
                                          uint32_t status, bool nested);

// A signal payload of `kind` ("offer", "answer" or "ice") the worker and the
// far side may exchange.
bool IsValidSignal(const std::string& kind, const JsonValue& payload);
// The ICE user fragment of the SDP in `payload_text`, or empty.
std::string ExtractIceUfrag(const std::string& payload_text);

class Gateway final : public quorix_call::Gateway {
 public:
  // Whether the service's inbox push stream is live for the signed-in
  // identity; the notice polling compares `generation` and `change_count`
  // with what it last saw.
  struct InboxReadiness {
    std::string user_id;
    std::string connection_id;
    std::string revision;  // last accepted revision, decimal digits
    std::string stream_id;
    uint64_t generation = 0;
    uint64_t change_count = 1;
    uint64_t lease_until = 0;  // clock ms; 0 none
    uint8_t ready = 0;
    uint8_t stream_seen = 0;
  };

  // None of the three objects is owned. An empty clock reads the platform's
  // tick count.
  Gateway(CallSession* session, Network* network, Media* media, std::function<uint64_t()> clock);
  ~Gateway() override { Shutdown(); }
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;

  bool IsReady() override;
  bool StartCall(const std::string& peer_id) override;
  bool CancelCall(const std::string& peer_id) override;
  bool AnswerCall(const std::string& call_id) override;
  bool DeclineCall(const std::string& call_id) override;
  bool EndCall(const std::string& call_id) override;
  bool SetMuted(const std::string& call_id, bool muted) override;

  // The current call's id; empty without a call.
  const std::string& current_call_id() const { return call_id_; }
  // Asks the service to end `call_id` (tag 3); whether it was queued.
  bool SendEndRequest(const std::string& call_id);

  // A new signed-in identity (empty at sign-out): clears the call state and,
  // when user or generation differ from the inbox record's, resets it.
  void SetIdentity(const std::string& user_id, uint64_t session_generation);
  void Activate();
  void Shutdown() noexcept;
  // One main-loop pass: at most 16 service replies and 24 media events.
  void Pump();

 private:
  friend class GatewayTestAccess;

  // Milliseconds on the gateway's clock.
  uint64_t Now() const;
  // Whether calls may be placed or acted on now.
  bool CanAct();
  void HandleReply(const NetworkReply& reply);
  void HandleCapabilitiesReply(const NetworkReply& reply);
  // `type` is the event's "type" when a string of 1 to 64 bytes, else null.
  void HandlePhoneEvent(const JsonValue& event, const std::string* type);
  // Takes the event when it is one of the inbox readiness events; `type` is
  // its "type" member, if any.
  bool HandleInboxEvent(const JsonValue& event, const JsonValue* type);
  // The one failure path of a call: tells the session, asks the service to
  // clean up and clears the call.
  void FailCall();

  // Media negotiation.
  void HandleIceReply(const std::string& body, bool relay);
  void SendPendingRelayReconfigure();
  void HandleMediaEvent(const std::string& line);
  void HandleMediaSignal(const JsonValue& event);
  // A signal from the far side, on its way to the worker.
  void ForwardRemoteSignal(const std::string& kind, const std::string& payload);
  void FlushQueuedMediaCommands();
  void RelayCheck();
  void RequestRelay(uint32_t reason);
  void CheckDeadlines();
  // Ends every trace of the current call (the worker is told to stop every
  // time); identity, recovery state and the inbox record stay.
  void ClearCallState() noexcept;
  void RestartInbox(const std::string& connection_id);
  void ResetInbox() noexcept;
  void SetInboxConnection(const std::string& connection_id);

  CallSession* session_;
  Network* network_;
  Media* media_;
  std::string call_id_;
  std::string peer_id_;
  uint8_t outgoing_ = 0;
  uint8_t cancel_requested_ = 0;
  uint8_t media_configured_ = 0;
  uint8_t remote_description_applied_ = 0;
  uint8_t ice_requested_ = 0;
  uint8_t shut_down_ = 0;
  uint8_t end_requested_ = 0;
  uint8_t media_started_ = 0;
  uint8_t relay_mode_ = 0;
  uint8_t relay_reconfigure_sent_ = 0;
  uint8_t relay_configured_ = 0;
  uint8_t relay_wanted_ = 0;
  uint8_t first_offer_sent_ = 0;
  uint8_t ice_restart_sent_ = 0;
  uint8_t restart_offer_sent_ = 0;
  uint8_t relay_description_applied_ = 0;
  uint8_t relay_ice_connected_ = 0;
  uint8_t relay_route_seen_ = 0;
  uint32_t relay_state_ = 0;  // 0 none, 1 requested, 2 connected
  // The tick clock the call signalling times its steps with (null: the
  // platform's tick count).
  std::function<uint64_t()> clock_;
  uint64_t direct_connect_deadline_ = 0;
  uint64_t relay_deadline_ = 0;
  uint64_t disconnect_grace_deadline_ = 0;
  std::string pending_relay_command_;
  std::string saved_remote_offer_;
  std::string held_media_command_;
  std::string remote_ufrag_;

 public:
  // 0 normal, 1 a clean-up end request in flight, 2 waiting for the service
  // connection to be ready again. Read by the session owner.
  uint32_t recovery_state = 0;

 private:
  std::deque<std::string> queued_media_commands_;  // at most 32
  std::string identity_user_id_;
  std::string pending_request_key_;
  uint64_t session_generation_ = 0;
  uint64_t request_counter_ = 0;
  uint64_t start_tick_ = 0;
  uint8_t capabilities_pending_ = 0;

 public:
  InboxReadiness inbox;
};

}  // namespace quorix_phone
