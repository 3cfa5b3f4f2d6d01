#include "phone_service/call_session.h"

bool IsPrintableId(const std::string& id) {
  if (id.empty() || id.size() > 128) return false;
  for (unsigned char c : id) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

const char* CallSession::StateName(uint32_t value) {
  switch (value) {
    case kIdle: return "IDLE";
    case kOutgoing: return "OUTGOING";
    case kIncoming: return "INCOMING";
    case kConnecting: return "CONNECTING";
    case kConnected: return "CONNECTED";
    case kEnding: return "ENDING";
    case kFailed: return "FAILED";
    default: return "UNKNOWN";
  }
}

bool CallSession::IsBackendReady() { return backend != nullptr && backend->IsReady(); }

bool CallSession::IsAvailable() { return enabled != 0 && IsBackendReady(); }

bool CallSession::PrepareMedia() { return !prepare_check || prepare_check(); }

void CallSession::ClearCall() {
  state = kIdle;
  peer_id.clear();
  call_id.clear();
  muted = 0;
}

bool CallSession::StartOutgoing(const std::string& peer) {
  if (state != kIdle || enabled == 0 || !IsBackendReady() || !IsPrintableId(peer) || !PrepareMedia()) return false;
  if (!backend->StartCall(peer)) return false;
  state = kOutgoing;
  peer_id = peer;
  call_id.clear();
  muted = 0;
  return true;
}

bool CallSession::Answer() {
  if (state != kIncoming || !IsBackendReady() || call_id.empty() || !PrepareMedia()) return false;
  if (!backend->AnswerCall(call_id)) return false;
  state = kConnecting;
  return true;
}

bool CallSession::Decline() {
  if (state != kIncoming || !IsBackendReady() || call_id.empty()) return false;
  if (!backend->DeclineCall(call_id)) return false;
  state = kEnding;
  return true;
}

bool CallSession::HangUp() {
  if (state != kOutgoing && state != kIncoming && state != kConnecting && state != kConnected) return false;
  if (!IsBackendReady()) return false;
  if (state == kOutgoing && call_id.empty()) {
    if (!backend->CancelCall(peer_id)) return false;
  } else if (call_id.empty() || !backend->EndCall(call_id)) {
    return false;
  }
  state = kEnding;
  return true;
}

bool CallSession::SetMuted(bool value) {
  if (state != kConnected || !IsBackendReady() || call_id.empty()) return false;
  if ((muted != 0) == value) return true;
  if (!backend->SetMuted(call_id, value)) return false;
  muted = value ? 1 : 0;
  return true;
}

bool CallSession::ClearFailure() {
  if (state != kFailed) return false;
  ClearCall();
  return true;
}

CallSession::Snapshot CallSession::GetSnapshot() const {
  return Snapshot{state, peer_id, muted, StateName(state)};
}

bool CallSession::AttachGateway(quorix_call::Gateway* gateway) {
  if (state != kIdle && state != kFailed) return false;
  backend = gateway;
  return true;
}

void CallSession::SetPrepareCheck(std::function<bool()> check) { prepare_check = std::move(check); }

void CallSession::ForceReset() noexcept {
  try {
    if (backend != nullptr && !call_id.empty() && state != kIdle && state != kFailed) backend->EndCall(call_id);
  } catch (...) {
  }
  ClearCall();
  backend = nullptr;
  enabled = 0;
}

void CallSession::OnIncomingCall(const std::string& id, const std::string& peer) {
  if (!IsPrintableId(id) || !IsPrintableId(peer) || state != kIdle) return;
  state = kIncoming;
  call_id = id;
  peer_id = peer;
  muted = 0;
}

void CallSession::OnCallIdAssigned(const std::string& id) {
  if (state == kOutgoing && IsPrintableId(id)) call_id = id;
}

void CallSession::OnOutgoingAccepted(const std::string& id) {
  if (state == kOutgoing && !id.empty() && id == call_id) state = kConnecting;
}

void CallSession::OnConnected(const std::string& id) {
  if (state == kConnecting && !id.empty() && id == call_id) state = kConnected;
}

void CallSession::OnCallEnded(const std::string& id) {
  if (!id.empty() && id == call_id) ClearCall();
}

void CallSession::OnCancelFinished() {
  if (state == kEnding && call_id.empty()) ClearCall();
}

void CallSession::OnCallFailed(const std::string& id) {
  if ((!id.empty() && id == call_id) || (state == kOutgoing && id.empty())) {
    state = kFailed;
    muted = 0;
  }
}
