#include "phone_service/gateway.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string_view>
#include <utility>

#include "core/event_log.h"
#include "core/json.h"
#include "phone_service/gateway_json.h"
#include "platform/clock.h"

namespace quorix_phone {

namespace {

using namespace std::string_view_literals;

constexpr size_t kMaxCapabilitiesBytes = 65536;
constexpr size_t kMaxUserIdBytes = 128;
constexpr double kMaxValidForSeconds = 10;

constexpr size_t kMaxTypeBytes = 64;
constexpr size_t kMaxKindBytes = 8;
constexpr size_t kMaxConnectionIdBytes = 32;
constexpr size_t kMaxStreamIdBytes = 128;
constexpr size_t kMaxRevisionDigits = 20;
constexpr uint32_t kCapabilitiesDeadlineMs = 5000;
constexpr uint32_t kMaxStartValiditySeconds = 5;
constexpr uint64_t kInboxLeaseMs = 15000;
constexpr int kRepliesPerPass = 16;
constexpr int kMediaEventsPerPass = 24;

constexpr size_t kMaxEventNameBytes = 32;
constexpr size_t kMaxSdpBytes = 131072;
constexpr size_t kMaxCandidateBytes = 2048;
constexpr size_t kMaxSdpMidBytes = 80;
constexpr size_t kMaxUfragBytes = 256;
constexpr size_t kMaxIceServers = 8;
constexpr size_t kMaxUrlsPerServer = 12;
constexpr size_t kMaxIceUrlBytes = 256;
constexpr size_t kMaxTurnUsernameBytes = 512;
constexpr size_t kMaxTurnCredentialBytes = 1024;
constexpr size_t kMaxQueuedMediaCommands = 32;
constexpr int64_t kMinIceValiditySeconds = 30;
constexpr int64_t kMaxIceValiditySeconds = 3600;
constexpr uint64_t kDirectConnectMs = 12000;
constexpr uint64_t kDisconnectGraceMs = 2000;
constexpr uint64_t kRelayConnectMs = 25000;

constexpr char kCapabilitiesPath[] = "/phone/v1/capabilities";
constexpr char kStartPath[] = "/phone/v1/calls/start";

enum ReplyTag : uint32_t {
  kTagEvent = 0,
  kTagStart = 1,
  kTagAnswer = 2,
  kTagEnd = 3,
  kTagIce = 4,
  kTagTornDown = 5,
  kTagCleanupEnd = 6,
  kTagRelayIce = 7,
  kTagCapabilities = 8,
};

bool IsTrue(const JsonValue* value) { return value != nullptr && value->type == JsonType::Bool && value->bool_value; }

// The value as a string of 1 to `max_bytes` bytes, else null.
const std::string* AsString(const JsonValue* value, size_t max_bytes) {
  if (value == nullptr || value->type != JsonType::String) return nullptr;
  if (value->text.empty() || value->text.size() > max_bytes) return nullptr;
  return &value->text;
}

// The member as a string of 1 to `max_bytes` bytes, else null.
const std::string* StringMember(const JsonValue& object, const char* key, size_t max_bytes) {
  return AsString(object.Find(key), max_bytes);
}

bool IsNumber(const JsonValue* value, double expected) {
  return value != nullptr && value->type == JsonType::Number && value->number == expected;
}

std::string CallPath(const std::string& call_id, const char* suffix) { return "/phone/v1/calls/" + call_id + suffix; }

uint32_t RejectionReason(const std::string& reason) {
  static constexpr const char* kReasons[] = {"busy",
                                             "peer_offline",
                                             "invalid_call_state",
                                             "call_not_found",
                                             "authentication_or_rate_rejected",
                                             "real_identity_rejected",
                                             "caller_entitlement_required",
                                             "connection_changed"};
  for (uint32_t i = 0; i < std::size(kReasons); ++i) {
    if (reason == kReasons[i]) return i + 1;
  }
  return 0;
}

// A string member of at most `max_bytes` (empty allowed), or absent/null.
bool IsOptionalShortString(const JsonValue* value, size_t max_bytes) {
  if (value == nullptr || value->type == JsonType::Null) return true;
  return value->type == JsonType::String && value->text.size() <= max_bytes;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// One URL of an ICE server entry; marks which kinds of server were seen.
bool IsValidIceUrl(const std::string& url, const JsonValue& server, bool& turn_seen, bool& stun_seen) {
  if (url.size() > kMaxIceUrlBytes) return false;
  if (StartsWith(url, "stun:")) {
    stun_seen = true;
    return true;
  }
  if (!StartsWith(url, "turn:") && !StartsWith(url, "turns:")) return false;
  turn_seen = true;
  return StringMember(server, "username", kMaxTurnUsernameBytes) != nullptr &&
         StringMember(server, "credential", kMaxTurnCredentialBytes) != nullptr;
}

uint32_t WorkerErrorCode(const JsonValue* reason) {
  static constexpr const char* kReasons[] = {
      "bad_command",        "busy",           "invalid_ice_servers",  "expired_ice_servers",
      "turn_credentials_missing", "turn_required", "not_ready",        "media_init_failed",
      "mute_invalid",       "not_configured", "invalid_signal",       "invalid_sdp",
      "invalid_ice",        "offer_required_first", "already_in_call", "worker_exited",
      "pipe_closed",        "worker_ready_timeout", "worker_setup_timeout"};
  if (reason == nullptr || reason->type != JsonType::String) return 0;
  for (uint32_t i = 0; i < std::size(kReasons); ++i) {
    if (reason->text == kReasons[i]) return i + 1;
  }
  return 0;
}

enum class MediaEvent {
  kConfigured,
  kReconfigured,
  kSignal,
  kIceConnected,
  kIceFailed,
  kIceDisconnected,
  kRouteDirect,
  kRouteRelay,
  kError,
  kMuteApplied,
};

struct MediaEventName {
  std::string_view event;
  const char* log_name;
  MediaEvent id;
};

// The worker's event names and the event-log names they are written under;
// null for any other name. Names of another length are passed over without
// reading their bytes: the pump reads up to 24 lines a pass.
const MediaEventName* FindMediaEvent(const std::string& event) {
  static constexpr MediaEventName kNames[] = {
      {"configured", "MEDIA_CONFIGURED", MediaEvent::kConfigured},
      {"reconfigured", "MEDIA_RECONFIGURED", MediaEvent::kReconfigured},
      {"signal", "MEDIA_SIGNAL", MediaEvent::kSignal},
      {"ice_connected", "ICE_CONNECTED", MediaEvent::kIceConnected},
      {"ice_failed", "ICE_FAILED", MediaEvent::kIceFailed},
      {"ice_disconnected", "ICE_DISCONNECTED", MediaEvent::kIceDisconnected},
      {"route_direct", "MEDIA_ROUTE_DIRECT", MediaEvent::kRouteDirect},
      {"route_relay", "MEDIA_ROUTE_RELAY", MediaEvent::kRouteRelay},
      {"error", "WORKER_ERROR", MediaEvent::kError},
      {"mute_applied", "MUTE_APPLIED", MediaEvent::kMuteApplied},
  };
  const std::string_view name = event;
  for (const MediaEventName& entry : kNames) {
    if (name == entry.event) return &entry;
  }
  return nullptr;
}

std::string RemoteCommand(const std::string& kind, const std::string& payload) {
  return "{\"cmd\":\"remote\",\"kind\":" + EscapeJsonString(kind) + ",\"payload\":" + payload + "}";
}

// A revision: 1 to 20 decimal digits, no leading zero except "0" itself.
bool IsValidRevision(const std::string& revision) {
  if (revision.empty() || revision.size() > kMaxRevisionDigits) return false;
  if (revision.size() > 1 && revision[0] == '0') return false;
  for (const char c : revision) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool RevisionIsOlder(const std::string& candidate, const std::string& stored) {
  if (candidate.size() != stored.size()) return candidate.size() < stored.size();
  return candidate < stored;
}

}  // namespace

bool IsValidCallId(const std::string& id) {
  if (id.size() != 32) return false;
  for (const char c : id) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool IsValidUserId(const std::string& id) {
  if (id.empty() || id.size() > kMaxUserIdBytes) return false;
  for (const char c : id) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '.' || c == '-';
    if (!ok) return false;
  }
  return true;
}

CapabilitiesResult ParseCapabilitiesReply(const std::string& body, const std::string& expected_user_id,
                                          uint32_t status, bool nested) {
  if (status != 200 || expected_user_id.empty() || body.size() > kMaxCapabilitiesBytes) return {};
  JsonValue root;
  if (!ParseJson(body, root) || root.type != JsonType::Object || !IsTrue(root.Find("ok"))) return {};
  const JsonValue* holder = &root;
  if (nested) {
    holder = root.Find("user");
    if (holder == nullptr || holder->type != JsonType::Object) return {};
  }
  const JsonValue* user_id = holder->Find("user_id");
  if (user_id == nullptr || user_id->type != JsonType::String || user_id->text != expected_user_id) return {};
  const JsonValue* can_start = root.Find("can_start");
  if (can_start == nullptr || can_start->type != JsonType::Bool) return {};
  if (!IsTrue(root.Find("can_answer")) || !IsTrue(root.Find("media_ready"))) return {};
  const JsonValue* valid_for = root.Find("valid_for_seconds");
  if (valid_for == nullptr || valid_for->type != JsonType::Number) return {};
  const double seconds = valid_for->number;
  if (!std::isfinite(seconds) || seconds != std::trunc(seconds) || seconds < 1 || seconds > kMaxValidForSeconds) {
    return {};
  }
  CapabilitiesResult result;
  result.ok = true;
  result.can_start = can_start->bool_value;
  result.can_answer = true;
  result.valid_for_seconds = static_cast<uint32_t>(seconds);
  return result;
}

bool IsValidSignal(const std::string& kind, const JsonValue& payload) {
  if (payload.type != JsonType::Object) return false;
  if (kind == "offer" || kind == "answer") {
    if (payload.members.size() != 2) return false;
    const std::string* type = StringMember(payload, "type", 6);
    const std::string* sdp = StringMember(payload, "sdp", kMaxSdpBytes);
    return type != nullptr && *type == kind && sdp != nullptr && StartsWith(*sdp, "v=0");
  }
  if (kind != "ice" || payload.members.size() > 3) return false;
  for (const auto& [name, value] : payload.members) {
    if (name != "candidate" && name != "sdpMid" && name != "sdpMLineIndex") return false;
  }
  if (StringMember(payload, "candidate", kMaxCandidateBytes) == nullptr) return false;
  if (!IsOptionalShortString(payload.Find("sdpMid"), kMaxSdpMidBytes)) return false;
  const JsonValue* index = payload.Find("sdpMLineIndex");
  if (index == nullptr || index->type == JsonType::Null) return true;
  return index->type == JsonType::Number && std::isfinite(index->number) && index->number == std::trunc(index->number) &&
         index->number >= 0 && index->number <= 256;
}

std::string ExtractIceUfrag(const std::string& payload_text) {
  static constexpr char kMarker[] = "a=ice-ufrag:";
  if (payload_text.size() > kMaxGatewayJsonBytes) return {};
  JsonValue payload;
  if (!ParseJson(payload_text, payload) || payload.type != JsonType::Object) return {};
  const std::string* sdp = StringMember(payload, "sdp", kMaxSdpBytes);
  if (sdp == nullptr) return {};
  const size_t at = sdp->find(kMarker);
  if (at == std::string::npos || (at != 0 && (*sdp)[at - 1] != '\n')) return {};
  const size_t begin = at + sizeof(kMarker) - 1;
  const size_t end = std::min(sdp->find_first_of("\r\n", begin), sdp->size());
  if (end == begin || end - begin > kMaxUfragBytes) return {};
  return sdp->substr(begin, end - begin);
}

Gateway::Gateway(CallSession* session, Network* network, Media* media, std::function<uint64_t()> clock)
    : session_(session), network_(network), media_(media), clock_(std::move(clock)) {}

uint64_t Gateway::Now() const { return clock_ ? clock_() : platform::TickCount64(); }

// `shut_down_` is the gateway's lifecycle, not the call's: only Activate and
// Shutdown change it.
void Gateway::ClearCallState() noexcept {
  start_tick_ = 0;
  capabilities_pending_ = 0;
  pending_request_key_.clear();
  if (media_ != nullptr) media_->Stop();
  call_id_.clear();
  peer_id_.clear();
  outgoing_ = cancel_requested_ = media_configured_ = remote_description_applied_ = ice_requested_ = 0;
  end_requested_ = media_started_ = 0;
  relay_mode_ = relay_reconfigure_sent_ = relay_configured_ = relay_wanted_ = first_offer_sent_ = 0;
  ice_restart_sent_ = restart_offer_sent_ = relay_description_applied_ = relay_ice_connected_ = 0;
  relay_route_seen_ = 0;
  relay_state_ = 0;
  queued_media_commands_.clear();
  direct_connect_deadline_ = relay_deadline_ = disconnect_grace_deadline_ = 0;
  pending_relay_command_.clear();
  saved_remote_offer_.clear();
  held_media_command_.clear();
  remote_ufrag_.clear();
}

// The record starts over on `connection_id`: no stream, no revision, no lease.
void Gateway::RestartInbox(const std::string& connection_id) {
  inbox.connection_id = connection_id;
  inbox.revision.clear();
  inbox.stream_id.clear();
  inbox.lease_until = 0;
  inbox.ready = 0;
  inbox.stream_seen = 0;
  ++inbox.change_count;
}

void Gateway::ResetInbox() noexcept {
  if (!inbox.connection_id.empty()) RestartInbox("");
}

void Gateway::SetInboxConnection(const std::string& connection_id) {
  if (connection_id != inbox.connection_id) RestartInbox(connection_id);
}

void Gateway::SetIdentity(const std::string& user_id, uint64_t session_generation) {
  if (user_id == identity_user_id_ && session_generation == session_generation_) return;
  ClearCallState();
  identity_user_id_ = user_id;
  session_generation_ = session_generation;
  if (inbox.user_id != user_id || inbox.generation != session_generation) {
    inbox.user_id = user_id;
    inbox.generation = session_generation;
    RestartInbox("");
  }
}

void Gateway::Activate() {
  if (session_ != nullptr) session_->ForceReset();
  ClearCallState();
  ResetInbox();
  recovery_state = 0;
  shut_down_ = 0;
  if (session_ != nullptr) session_->AttachGateway(this);
}

void Gateway::Shutdown() noexcept {
  shut_down_ = 1;
  ClearCallState();
  ResetInbox();
  recovery_state = 0;
}

bool Gateway::CanAct() { return shut_down_ == 0 && recovery_state == 0 && network_->IsConnected(); }

bool Gateway::IsReady() { return CanAct(); }

bool Gateway::StartCall(const std::string& peer_id) {
  if (!CanAct() || identity_user_id_.empty() || !IsValidUserId(peer_id)) return false;
  if (!call_id_.empty() || !peer_id_.empty()) return false;
  ++request_counter_;
  const std::string key = std::to_string(session_generation_) + ":" + std::to_string(request_counter_);
  if (!network_->RequestWithDeadline(kTagCapabilities, "GET", kCapabilitiesPath, "", key, kCapabilitiesDeadlineMs)) {
    return false;
  }
  pending_request_key_ = key;
  start_tick_ = Now();
  capabilities_pending_ = 1;
  peer_id_ = peer_id;
  outgoing_ = 1;
  cancel_requested_ = 0;
  return true;
}

bool Gateway::CancelCall(const std::string& peer_id) {
  if (peer_id != peer_id_ || outgoing_ == 0 || !CanAct()) return false;
  cancel_requested_ = 1;
  if (call_id_.empty()) return true;
  return SendEndRequest(call_id_);
}

bool Gateway::AnswerCall(const std::string& call_id) {
  if (!CanAct() || !IsValidCallId(call_id) || call_id != call_id_ || outgoing_ != 0) return false;
  return network_->Request(kTagAnswer, "POST", CallPath(call_id, "/answer"), "{}");
}

bool Gateway::DeclineCall(const std::string& call_id) { return call_id == call_id_ && SendEndRequest(call_id); }

bool Gateway::EndCall(const std::string& call_id) { return call_id == call_id_ && SendEndRequest(call_id); }

bool Gateway::SetMuted(const std::string& call_id, bool muted) {
  if (!CanAct() || call_id != call_id_ || media_configured_ == 0) return false;
  return media_->SendCommand(muted ? "{\"cmd\":\"mute\",\"muted\":true}" : "{\"cmd\":\"mute\",\"muted\":false}");
}

bool Gateway::SendEndRequest(const std::string& call_id) {
  if (!IsValidCallId(call_id)) return false;
  if (!network_->Request(kTagEnd, "POST", CallPath(call_id, "/end"), "{}")) return false;
  if (call_id == call_id_) end_requested_ = 1;
  return true;
}

void Gateway::FailCall() {
  WriteEventLog("GATEWAY_FAILED", 0, 0);
  if (cancel_requested_ != 0) {
    session_->OnCancelFinished();
  } else {
    session_->OnCallFailed(call_id_);
  }
  if (IsValidCallId(call_id_) && recovery_state == 0) {
    if (network_->IsConnected() && network_->Request(kTagCleanupEnd, "POST", CallPath(call_id_, "/end"), "{}")) {
      recovery_state = 1;
      WriteEventLog("CALL_FAILURE_CLEANUP", 1, 0);
    } else {
      recovery_state = 2;
      WriteEventLog("CALL_FAILURE_CLEANUP", 0, 0);
    }
  }
  ClearCallState();
}

void Gateway::Pump() {
  if (shut_down_ != 0) return;
  if (cancel_requested_ != 0 && capabilities_pending_ != 0 && call_id_.empty()) {
    session_->OnCancelFinished();
    ClearCallState();
  }
  if (!network_->IsConnected()) {
    ResetInbox();
    if (recovery_state == 1) {
      recovery_state = 2;
      WriteEventLog("CALL_RECOVERY_RELOGIN", 0, 0);
    }
    if (!call_id_.empty() || !peer_id_.empty()) FailCall();
  }
  NetworkReply reply;
  for (int i = 0; i < kRepliesPerPass && network_->PollReply(&reply); ++i) {
    if (reply.tag != kTagTornDown && !network_->IsConnected()) continue;
    HandleReply(reply);
  }
  if (!network_->IsConnected()) return;
  std::string event;
  for (int i = 0; i < kMediaEventsPerPass && media_->PollEvent(event); ++i) HandleMediaEvent(event);
  if (shut_down_ == 0 && end_requested_ == 0 && !call_id_.empty()) CheckDeadlines();
}

void Gateway::HandleReply(const NetworkReply& reply) {
  WriteEventLog("GATEWAY_REPLY", reply.tag, reply.status);
  if (reply.tag == kTagCleanupEnd) {
    if (recovery_state != 1) return;
    bool success = reply.status == 404;
    if (reply.status == 200 && reply.body.size() <= kMaxGatewayJsonBytes) {
      JsonValue body;
      success = ParseJson(reply.body, body) && IsTrue(body.Find("ok"));
    }
    recovery_state = success ? 0 : 2;
    WriteEventLog("CALL_FAILURE_CLEANUP_REPLY", reply.status, success ? 1 : 0);
    return;
  }
  if (reply.tag == kTagTornDown) {
    ResetInbox();
    recovery_state = 2;
    if (!call_id_.empty() || !peer_id_.empty()) {
      FailCall();
    } else {
      ClearCallState();
    }
    WriteEventLog("CALL_RECOVERY_WAIT", 0, 0);
    return;
  }
  if (reply.tag == kTagCapabilities || reply.tag == kTagStart) {
    const char* expected_path = reply.tag == kTagCapabilities ? kCapabilitiesPath : kStartPath;
    if (pending_request_key_.empty() || reply.key != pending_request_key_ || outgoing_ == 0 || peer_id_.empty() ||
        reply.path != expected_path) {
      return;
    }
    if (reply.tag == kTagCapabilities) {
      HandleCapabilitiesReply(reply);
      return;
    }
    if (capabilities_pending_ != 0) return;
  }
  if (reply.tag == kTagAnswer || reply.tag == kTagEnd) {
    if (!IsValidCallId(call_id_) || reply.path != CallPath(call_id_, reply.tag == kTagAnswer ? "/answer" : "/end")) {
      WriteEventLog("CALL_STALE_TERMINAL_REPLY", reply.tag, reply.status);
      return;
    }
  }
  if (reply.tag == kTagIce || reply.tag == kTagRelayIce) {
    if (!IsValidCallId(call_id_) || end_requested_ != 0) return;
    if (!reply.path.empty() && reply.path != CallPath(call_id_, reply.tag == kTagIce ? "/ice" : "/ice?mode=relay")) {
      return;
    }
    if (reply.tag == kTagRelayIce && relay_mode_ == 0) return;
  }
  JsonValue body;
  if (reply.body.size() > kMaxGatewayJsonBytes || !ParseJson(reply.body, body) || body.type != JsonType::Object) {
    FailCall();
    return;
  }
  // An event's type is looked up once, for both tables.
  const JsonValue* event_type = reply.tag == kTagEvent ? body.Find("type") : nullptr;
  if (reply.tag == kTagEvent && HandleInboxEvent(body, event_type)) return;
  std::string reason;
  if (reply.status >= 400) {
    const JsonValue* detail = body.Find("detail");
    if (detail != nullptr && detail->type == JsonType::String) {
      reason = detail->text;
    } else if (detail != nullptr && detail->type == JsonType::Object) {
      const JsonValue* nested = detail->Find("reason");
      if (nested != nullptr && nested->type == JsonType::String) reason = nested->text;
    }
    WriteEventLog("GATEWAY_REJECTION", reply.status, RejectionReason(reason));
  }
  if (reply.status == 404 && (reply.tag == kTagAnswer || reply.tag == kTagEnd) && reason == "call_not_found") {
    if (cancel_requested_ != 0) {
      session_->OnCancelFinished();
    } else {
      session_->OnCallEnded(call_id_);
    }
    ClearCallState();
    WriteEventLog("CALL_TERMINAL_NOT_FOUND", reply.tag, 404);
    return;
  }
  // Events carry no "ok"; the lookup is spared for them.
  const bool accepted = reply.tag != kTagEvent && reply.status == 200 && IsTrue(body.Find("ok"));
  switch (reply.tag) {
    case kTagStart: {
      const std::string* call_id = StringMember(body, "call_id", 32);
      if (!accepted || call_id == nullptr || !IsValidCallId(*call_id) || outgoing_ == 0 || !call_id_.empty()) {
        FailCall();
        return;
      }
      call_id_ = *call_id;
      if (cancel_requested_ == 0) {
        session_->OnCallIdAssigned(call_id_);
      } else if (!SendEndRequest(call_id_)) {
        FailCall();
      }
      return;
    }
    case kTagAnswer:
      if (!accepted || outgoing_ != 0 || !network_->Request(kTagIce, "GET", CallPath(call_id_, "/ice"), "")) {
        FailCall();
        return;
      }
      ice_requested_ = 1;
      return;
    case kTagEnd:
      if (!accepted) {
        FailCall();
        return;
      }
      if (cancel_requested_ != 0) {
        session_->OnCancelFinished();
      } else {
        session_->OnCallEnded(call_id_);
      }
      ClearCallState();
      return;
    case kTagIce:
    case kTagRelayIce: {
      const std::string* other = StringMember(body, "call_id", 32);
      if (other != nullptr && *other != call_id_) return;
      if (!accepted || ice_requested_ == 0) {
        FailCall();
        return;
      }
      HandleIceReply(reply.body, reply.tag == kTagRelayIce);
      return;
    }
    case kTagEvent:
      HandlePhoneEvent(body, AsString(event_type, kMaxTypeBytes));
      return;
    default:
      return;
  }
}

void Gateway::HandleCapabilitiesReply(const NetworkReply& reply) {
  if (capabilities_pending_ == 0) return;
  capabilities_pending_ = 0;
  if (cancel_requested_ != 0) {
    session_->OnCancelFinished();
    ClearCallState();
    return;
  }
  const CapabilitiesResult result = ParseCapabilitiesReply(reply.body, identity_user_id_, reply.status, false);
  const uint64_t elapsed = Now() - start_tick_;
  const uint64_t window_ms = static_cast<uint64_t>(result.valid_for_seconds) * 1000;
  if (!result.ok || !result.can_start || result.valid_for_seconds > kMaxStartValiditySeconds || elapsed >= window_ms) {
    FailCall();
    return;
  }
  const std::string body = "{\"receiver_id\":" + EscapeJsonString(peer_id_) + "}";
  if (!network_->RequestWithDeadline(kTagStart, "POST", kStartPath, body, pending_request_key_,
                                     static_cast<uint32_t>(window_ms - elapsed))) {
    FailCall();
  }
}

void Gateway::HandlePhoneEvent(const JsonValue& event, const std::string* type) {
  if (type == nullptr) {
    FailCall();
    return;
  }
  if (*type == "phone_signal_ack"sv) {
    const JsonValue* delivered = event.Find("delivered");
    if (delivered != nullptr && delivered->type == JsonType::Bool && !delivered->bool_value) FailCall();
    return;
  }
  if (*type == "phone_ready_idle"sv) {
    const bool media_ready = IsTrue(event.Find("media_ready"));
    const std::string* connection_id = StringMember(event, "connection_id", kMaxConnectionIdBytes);
    if (media_ready && connection_id != nullptr && IsValidCallId(*connection_id)) SetInboxConnection(*connection_id);
    if (network_->IsConnected() && media_ready && call_id_.empty() && peer_id_.empty() && recovery_state == 2) {
      recovery_state = 0;
      session_->ClearFailure();
      WriteEventLog("CALL_RECOVERY_READY", 0, 0);
    }
    return;
  }
  if (*type == "phone_keepalive"sv || *type == "pong"sv) return;
  if (*type == "phone_error"sv) {
    FailCall();
    return;
  }
  const std::string* call_id = StringMember(event, "call_id", 32);
  if (call_id == nullptr || !IsValidCallId(*call_id)) {
    FailCall();
    return;
  }
  if (*type == "phone_invite"sv) {
    const std::string* caller = StringMember(event, "caller_id", 128);
    if (!call_id_.empty() || !peer_id_.empty() || caller == nullptr || !IsValidUserId(*caller)) return;
    if (session_->GetSnapshot().state == CallSession::kFailed) session_->ClearFailure();
    call_id_ = *call_id;
    peer_id_ = *caller;
    outgoing_ = 0;
    session_->OnIncomingCall(call_id_, peer_id_);
    return;
  }
  if (*call_id != call_id_) return;
  if (*type == "phone_relay_requested"sv) {
    RequestRelay(4);
    return;
  }
  if (*type == "phone_ended"sv) {
    const JsonValue* reason = event.Find("reason");
    const bool ring_timeout = reason != nullptr && reason->type == JsonType::String && reason->text == "ring_timeout";
    WriteEventLog("CALL_REMOTE_ENDED", ring_timeout ? 1 : 0, 0);
    session_->OnCallEnded(call_id_);
    ClearCallState();
    return;
  }
  if (*type == "phone_answered"sv) {
    if (outgoing_ == 0 || ice_requested_ != 0) {
      FailCall();
      return;
    }
    session_->OnOutgoingAccepted(call_id_);
    if (!network_->Request(kTagIce, "GET", CallPath(call_id_, "/ice"), "")) {
      FailCall();
      return;
    }
    ice_requested_ = 1;
    return;
  }
  if (*type == "phone_signal"sv) {
    const std::string* from = StringMember(event, "from_user_id", 128);
    const std::string* kind = StringMember(event, "kind", kMaxKindBytes);
    const JsonValue* payload = event.Find("payload");
    if (from == nullptr || *from != peer_id_ || kind == nullptr || payload == nullptr ||
        !IsValidSignal(*kind, *payload)) {
      FailCall();
      return;
    }
    std::string payload_text;
    if (!WriteCompactJson(*payload, payload_text)) {
      FailCall();
      return;
    }
    ForwardRemoteSignal(*kind, payload_text);
    return;
  }
}

bool Gateway::HandleInboxEvent(const JsonValue& event, const JsonValue* type) {
  enum class Kind { Ready, Changed, Unavailable };
  enum class Family { Inbox, Notifications, None };
  struct Entry {
    std::string_view type;
    Kind kind;
    Family family;
  };
  static constexpr Entry kEntries[] = {
      {"phone_inbox_ready", Kind::Ready, Family::Inbox},
      {"phone_notifications_ready", Kind::Ready, Family::Notifications},
      {"phone_inbox_changed", Kind::Changed, Family::Inbox},
      {"phone_messages_changed", Kind::Changed, Family::Notifications},
      {"phone_inbox_unavailable", Kind::Unavailable, Family::None},
      {"phone_notifications_unavailable", Kind::Unavailable, Family::None},
  };
  if (type == nullptr || type->type != JsonType::String) return false;
  const Entry* entry = nullptr;
  const std::string_view name = type->text;
  for (const Entry& candidate : kEntries) {
    if (name == candidate.type) entry = &candidate;
  }
  if (entry == nullptr) return false;

  const JsonValue* user_id = event.Find("user_id");
  const JsonValue* connection_id = event.Find("connection_id");
  if (inbox.user_id.empty() || inbox.connection_id.empty() || user_id == nullptr ||
      user_id->type != JsonType::String || user_id->text != inbox.user_id || connection_id == nullptr ||
      connection_id->type != JsonType::String || connection_id->text != inbox.connection_id) {
    return true;
  }
  const auto invalidate = [this] {
    inbox.lease_until = 0;
    inbox.ready = 0;
  };
  if (!IsNumber(event.Find("version"), 1) || entry->kind == Kind::Unavailable) {
    invalidate();
    return true;
  }
  const JsonValue* revision_value = event.Find("revision");
  if (revision_value == nullptr || revision_value->type != JsonType::String || !IsValidRevision(revision_value->text)) {
    invalidate();
    return true;
  }
  const std::string& revision = revision_value->text;
  const bool ready_event = entry->kind == Kind::Ready;
  if (ready_event) {
    const double fallback = entry->family == Family::Inbox ? 60 : 30;
    if (!IsNumber(event.Find("lease_seconds"), 15) || !IsNumber(event.Find("fallback_seconds"), fallback)) {
      invalidate();
      return true;
    }
  } else if (inbox.ready == 0) {
    return true;
  }
  if (entry->family == Family::Inbox) {
    const std::string* stream_id = StringMember(event, "stream_id", kMaxStreamIdBytes);
    if (stream_id == nullptr) {
      invalidate();
      return true;
    }
    if (*stream_id != inbox.stream_id) {
      inbox.stream_id = *stream_id;
      inbox.revision.clear();
      ++inbox.change_count;
    }
    inbox.stream_seen = 1;
  }
  if (!inbox.revision.empty() && RevisionIsOlder(revision, inbox.revision)) return true;
  const uint64_t now = Now();
  if (revision == inbox.revision && !(ready_event && inbox.ready == 0)) {
    if (ready_event) {
      inbox.ready = 1;
      inbox.lease_until = now + kInboxLeaseMs;
    }
    return true;
  }
  ++inbox.change_count;
  inbox.revision = revision;
  if (ready_event) {
    inbox.ready = 1;
    inbox.lease_until = now + kInboxLeaseMs;
  }
  return true;
}

void Gateway::HandleIceReply(const std::string& text, bool relay) {
  if (relay ? relay_reconfigure_sent_ != 0 : media_started_ != 0) return;
  JsonValue body;
  if (text.size() > kMaxGatewayJsonBytes || !ParseJson(text, body) || body.type != JsonType::Object) {
    FailCall();
    return;
  }
  const JsonValue* servers = body.Find("iceServers");
  const std::string* call_id = StringMember(body, "call_id", 32);
  const std::string* mode = StringMember(body, "mode", 6);
  const JsonValue* relay_only = body.Find("relay_only");
  const JsonValue* expires_at = body.Find("expires_at");
  const int64_t now = platform::UtcUnixSeconds();
  if (servers == nullptr || servers->type != JsonType::Array || servers->items.empty() ||
      servers->items.size() > kMaxIceServers || call_id == nullptr || *call_id != call_id_ || mode == nullptr ||
      *mode != (relay ? "relay" : "direct") || relay_only == nullptr || relay_only->type != JsonType::Bool ||
      relay_only->bool_value != relay || expires_at == nullptr || expires_at->type != JsonType::Number ||
      !std::isfinite(expires_at->number) || expires_at->number < static_cast<double>(now + kMinIceValiditySeconds) ||
      expires_at->number > static_cast<double>(now + kMaxIceValiditySeconds)) {
    FailCall();
    return;
  }
  bool turn_seen = false;
  bool stun_seen = false;
  bool credentials_seen = false;
  for (const JsonValue& server : servers->items) {
    const JsonValue* urls = server.Find("urls");
    bool urls_ok = false;
    if (urls != nullptr && urls->type == JsonType::String) {
      urls_ok = IsValidIceUrl(urls->text, server, turn_seen, stun_seen);
    } else if (urls != nullptr && urls->type == JsonType::Array && !urls->items.empty() &&
               urls->items.size() <= kMaxUrlsPerServer) {
      urls_ok = true;
      for (const JsonValue& url : urls->items) {
        if (url.type != JsonType::String || !IsValidIceUrl(url.text, server, turn_seen, stun_seen)) urls_ok = false;
      }
    }
    if (!urls_ok) {
      FailCall();
      return;
    }
    if (server.Find("username") != nullptr || server.Find("credential") != nullptr) credentials_seen = true;
  }
  const bool servers_fit = relay ? (turn_seen && !stun_seen) : (!turn_seen && stun_seen && !credentials_seen);
  std::string servers_text;
  if (!servers_fit || !WriteCompactJson(*servers, servers_text)) {
    FailCall();
    return;
  }
  const std::string expiry = FormatInt64(static_cast<int64_t>(expires_at->number));
  if (relay) {
    pending_relay_command_ =
        "{\"cmd\":\"reconfigure_ice\",\"iceServers\":" + servers_text + ",\"expires_at\":" + expiry + ",\"relay_only\":true}";
    SendPendingRelayReconfigure();
    return;
  }
  if (!media_->Start()) {
    FailCall();
    return;
  }
  media_started_ = 1;
  if (!media_->SendCommand("{\"cmd\":\"setup\",\"iceServers\":" + servers_text + ",\"expires_at\":" + expiry + "}")) {
    FailCall();
  }
}

void Gateway::SendPendingRelayReconfigure() {
  if (media_configured_ == 0 || relay_mode_ == 0 || relay_reconfigure_sent_ != 0 || pending_relay_command_.empty() ||
      end_requested_ != 0) {
    return;
  }
  const std::string command = std::move(pending_relay_command_);
  pending_relay_command_.clear();
  relay_reconfigure_sent_ = 1;
  if (!media_->SendCommand(command)) FailCall();
}

void Gateway::HandleMediaEvent(const std::string& line) {
  if (call_id_.empty() || end_requested_ != 0) return;
  JsonValue event;
  const std::string* name = nullptr;
  if (line.size() <= kMaxGatewayJsonBytes && ParseJson(line, event) && event.type == JsonType::Object) {
    name = StringMember(event, "event", kMaxEventNameBytes);
  }
  if (name == nullptr) {
    FailCall();
    return;
  }
  const MediaEventName* known = FindMediaEvent(*name);
  if (known == nullptr) return;
  WriteEventLog(known->log_name, 0, 0);
  const uint64_t outgoing = outgoing_;
  const MediaEvent id = known->id;
  if (id == MediaEvent::kError) {
    WriteEventLog("WORKER_ERROR_CODE", WorkerErrorCode(event.Find("reason")), 0);
    FailCall();
  } else if (id == MediaEvent::kConfigured) {
    if (ice_requested_ == 0 || media_configured_ != 0) {
      FailCall();
      return;
    }
    media_configured_ = 1;
    if (!held_media_command_.empty()) {
      const std::string command = std::move(held_media_command_);
      held_media_command_.clear();
      if (!media_->SendCommand(command)) {
        FailCall();
        return;
      }
    }
    if (relay_mode_ == 0) FlushQueuedMediaCommands();
    if (call_id_.empty()) return;  // the flush failed the call
    if (outgoing_ != 0 && !media_->SendCommand("{\"cmd\":\"offer\"}")) {
      FailCall();
      return;
    }
    if (relay_wanted_ != 0) RequestRelay(4);
    if (!call_id_.empty()) SendPendingRelayReconfigure();
  } else if (id == MediaEvent::kReconfigured) {
    if (relay_mode_ == 0 || relay_reconfigure_sent_ == 0 || relay_configured_ != 0) return;
    relay_configured_ = 1;
    relay_ice_connected_ = 0;
    relay_route_seen_ = 0;
    WriteEventLog("RELAY_CONFIGURED", outgoing, 0);
    if (outgoing_ != 0) {
      ice_restart_sent_ = 1;
      if (!media_->SendCommand("{\"cmd\":\"restart_ice\"}")) FailCall();
      return;
    }
    if (saved_remote_offer_.empty()) return;
    const std::string command = std::move(saved_remote_offer_);
    saved_remote_offer_.clear();
    JsonValue parsed;
    const JsonValue* payload = nullptr;
    std::string payload_text;
    if (command.size() <= kMaxGatewayJsonBytes && ParseJson(command, parsed) && parsed.type == JsonType::Object) {
      payload = parsed.Find("payload");
    }
    if (payload == nullptr || !WriteCompactJson(*payload, payload_text)) {
      FailCall();
      return;
    }
    relay_description_applied_ = 1;
    remote_ufrag_ = ExtractIceUfrag(payload_text);
    if (!media_->SendCommand(command)) {
      FailCall();
      return;
    }
    FlushQueuedMediaCommands();
  } else if (id == MediaEvent::kSignal) {
    HandleMediaSignal(event);
  } else if (id == MediaEvent::kIceConnected) {
    disconnect_grace_deadline_ = 0;
    if (relay_mode_ == 0) direct_connect_deadline_ = 0;
    if (media_configured_ != 0 && IsValidCallId(call_id_)) session_->OnConnected(call_id_);
    if (relay_configured_ != 0) {
      relay_ice_connected_ = 1;
      RelayCheck();
    }
  } else if (id == MediaEvent::kRouteRelay) {
    if (relay_mode_ == 0 || relay_configured_ == 0) return;
    relay_route_seen_ = 1;
    RelayCheck();
  } else if (id == MediaEvent::kRouteDirect) {
    if (relay_mode_ == 0) {
      WriteEventLog("DIRECT_CONNECTED", outgoing, 0);
    } else {
      relay_route_seen_ = 0;
    }
  } else if (id == MediaEvent::kIceFailed) {
    relay_ice_connected_ = 0;
    if (relay_mode_ == 0) {
      RequestRelay(2);
    } else if (relay_state_ == 2) {
      FailCall();
    }
  } else if (id == MediaEvent::kIceDisconnected) {
    relay_ice_connected_ = 0;
    if (relay_state_ != 1 && disconnect_grace_deadline_ == 0) disconnect_grace_deadline_ = Now() + kDisconnectGraceMs;
  }
}

void Gateway::HandleMediaSignal(const JsonValue& event) {
  const std::string* kind = StringMember(event, "kind", kMaxKindBytes);
  const JsonValue* payload = event.Find("payload");
  if (media_configured_ == 0 || !IsValidCallId(call_id_) || kind == nullptr || payload == nullptr ||
      !IsValidSignal(*kind, *payload)) {
    FailCall();
    return;
  }
  if (*kind == "offer") {
    if (outgoing_ == 0) return;
    if (first_offer_sent_ == 0) {
      first_offer_sent_ = 1;
      if (relay_mode_ == 0) direct_connect_deadline_ = Now() + kDirectConnectMs;
    } else if (relay_mode_ != 0 && relay_configured_ != 0 && ice_restart_sent_ != 0 && restart_offer_sent_ == 0) {
      restart_offer_sent_ = 1;
    } else {
      return;
    }
  }
  std::string payload_text;
  if (!WriteCompactJson(*payload, payload_text)) {
    FailCall();
    return;
  }
  const std::string message = "{\"type\":\"signal\",\"call_id\":" + EscapeJsonString(call_id_) +
                              ",\"kind\":" + EscapeJsonString(*kind) + ",\"payload\":" + payload_text + "}";
  if (message.size() > kMaxGatewayJsonBytes || !network_->SendText(message)) FailCall();
}

void Gateway::ForwardRemoteSignal(const std::string& kind, const std::string& payload) {
  if (end_requested_ != 0) return;
  std::string command = RemoteCommand(kind, payload);
  if (kind != "offer" && kind != "answer") {
    if (media_configured_ != 0 && remote_description_applied_ != 0 &&
        (relay_mode_ == 0 || relay_description_applied_ != 0)) {
      if (!media_->SendCommand(command)) FailCall();
    } else if (queued_media_commands_.size() >= kMaxQueuedMediaCommands) {
      FailCall();
    } else {
      queued_media_commands_.push_back(std::move(command));
    }
    return;
  }
  if ((outgoing_ != 0) != (kind == "answer")) {
    FailCall();
    return;
  }
  const std::string fragment = ExtractIceUfrag(payload);
  const auto apply = [&] {
    relay_description_applied_ = 1;
    remote_ufrag_ = fragment;
    if (!media_->SendCommand(command)) {
      FailCall();
      return;
    }
    FlushQueuedMediaCommands();
  };
  if (remote_description_applied_ == 0) {
    remote_description_applied_ = 1;
    remote_ufrag_ = fragment;
    if (media_configured_ == 0) {
      held_media_command_ = std::move(command);
      return;
    }
    if (!media_->SendCommand(command)) {
      FailCall();
      return;
    }
    if (relay_mode_ == 0) FlushQueuedMediaCommands();
    return;
  }
  if (fragment.empty() || fragment == remote_ufrag_ || relay_description_applied_ != 0) return;
  if (outgoing_ != 0) {
    if (relay_mode_ != 0 && relay_configured_ != 0 && restart_offer_sent_ != 0) apply();
    return;
  }
  if (relay_mode_ == 0) RequestRelay(5);
  if (call_id_.empty() || end_requested_ != 0 || !saved_remote_offer_.empty()) return;
  if (relay_configured_ == 0) {
    saved_remote_offer_ = std::move(command);
    return;
  }
  apply();
}

void Gateway::FlushQueuedMediaCommands() {
  while (!queued_media_commands_.empty()) {
    if (!media_->SendCommand(queued_media_commands_.front())) {
      FailCall();
      return;
    }
    queued_media_commands_.pop_front();
  }
}

void Gateway::RelayCheck() {
  if (relay_ice_connected_ == 0 || relay_route_seen_ == 0 || relay_state_ == 2) return;
  relay_state_ = 2;
  disconnect_grace_deadline_ = 0;
  relay_deadline_ = 0;
  WriteEventLog("RELAY_CONNECTED", outgoing_, 0);
  session_->OnConnected(call_id_);
}

void Gateway::RequestRelay(uint32_t reason) {
  if (shut_down_ != 0 || end_requested_ != 0 || !IsValidCallId(call_id_) || relay_mode_ != 0) return;
  if (ice_requested_ == 0) {
    relay_wanted_ = 1;
    return;
  }
  relay_mode_ = 1;
  relay_state_ = 1;
  disconnect_grace_deadline_ = 0;
  direct_connect_deadline_ = 0;
  relay_ice_connected_ = 0;
  relay_route_seen_ = 0;
  relay_deadline_ = Now() + kRelayConnectMs;
  queued_media_commands_.clear();
  WriteEventLog("RELAY_REQUESTED", outgoing_, reason);
  if (!network_->Request(kTagRelayIce, "GET", CallPath(call_id_, "/ice?mode=relay"), "")) FailCall();
}

void Gateway::CheckDeadlines() {
  const uint64_t now = Now();
  const auto reached = [now](uint64_t deadline) { return deadline != 0 && now >= deadline; };
  if (reached(relay_deadline_)) {
    FailCall();
  } else if (reached(disconnect_grace_deadline_)) {
    disconnect_grace_deadline_ = 0;
    if (relay_mode_ == 0) {
      RequestRelay(3);
    } else {
      FailCall();
    }
  } else if (reached(direct_connect_deadline_)) {
    RequestRelay(1);
  }
}

}  // namespace quorix_phone
