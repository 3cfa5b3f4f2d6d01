#include "support/fake_call_gateway.h"

namespace quorix_test {

bool DriveCallTo(CallSession& session, FakeCallGateway& gateway, uint32_t state, const std::string& peer) {
  session.enabled = 1;
  if (!session.AttachGateway(&gateway)) return false;
  const std::string call_id = "call-1";
  if (state == CallSession::kIncoming) {
    session.OnIncomingCall(call_id, peer);
  } else if (state != CallSession::kIdle) {
    if (!session.StartOutgoing(peer)) return false;
    if (state == CallSession::kFailed) {
      session.OnCallFailed("");
    } else if (state != CallSession::kOutgoing) {
      session.OnCallIdAssigned(call_id);
      session.OnOutgoingAccepted(call_id);
      if (state >= CallSession::kConnected) session.OnConnected(call_id);
      if (state == CallSession::kEnding && !session.HangUp()) return false;
    }
  }
  gateway.calls.clear();
  return session.GetSnapshot().state == state;
}

}  // namespace quorix_test
