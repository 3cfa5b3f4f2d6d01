#include "phone_service/windows_wire.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "chat/account_http.h"
#include "chat/auth_reply.h"
#include "chat/secure_wipe.h"
#include "core/event_log.h"
#include "core/json.h"
#include "core/service_origin.h"
#include "core/text.h"
#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/https.h"
#include "platform/wss.h"

namespace quorix_phone {
namespace {

constexpr size_t kMaxQueue = 32;
constexpr size_t kMaxRing = 96;
constexpr size_t kMaxMessage = 150000;
constexpr size_t kReceiveBuffer = 16384;
constexpr size_t kMaxSendText = 145000;
constexpr char kDeadlineBody[] = R"({"ok":false})";
constexpr char kMessagesInboxPrefix[] = "/phone/v1/messages/inbox?after=";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

bool IsRelayIcePath(const std::string& path) {
  static constexpr std::string_view kHead = "/phone/v1/calls/";
  static constexpr std::string_view kTail = "/ice?mode=relay";
  if (path.size() != kHead.size() + 32 + kTail.size()) return false;
  if (!StartsWith(path, kHead) || path.compare(kHead.size() + 32, kTail.size(), kTail) != 0) return false;
  return std::all_of(path.begin() + kHead.size(), path.begin() + kHead.size() + 32, IsLowerHex);
}

void WipeRequest(WindowsWire::PendingRequest& request) {
  SecureWipeString(&request.body);
  request.promise.reset();  // released unfulfilled, if still there
}

// The token's copy in the "/me" reply record goes on every way out.
struct AuthReplyWipe {
  AuthReply& reply;
  ~AuthReplyWipe() { SecureWipeString(&reply.token); }
};

}  // namespace

void WireTiming::WaitBackoff(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, uint32_t delay_ms,
                             const std::function<bool()>& wake) {
  cv.wait_for(lock, std::chrono::milliseconds(delay_ms), wake);
}

bool ValidatePhoneRequest(uint32_t tag, const std::string& method, const std::string& path, const std::string& body) {
  if (method != "GET" && method != "POST") return false;
  if (body.size() > 4096) return false;
  if (path.size() < 10 || path.size() > 256 || !StartsWith(path, "/phone/v1/")) return false;
  if (path.find("..") != std::string::npos || path.find_first_of("#%\\") != std::string::npos) return false;
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return false;
  }
  if (tag == 8) return method == "GET" && path == "/phone/v1/capabilities" && body.empty();
  if (tag == 7) return method == "GET" && body.empty() && IsRelayIcePath(path);
  return path.find('?') == std::string::npos;
}

bool ReadJsonBoolMember(const std::string& text, const char* key) {
  JsonValue root;
  if (!ParseJson(text, root)) return false;
  const JsonValue* member = root.Find(key);
  return member != nullptr && member->type == JsonType::Bool && member->bool_value;
}

WindowsWire::WindowsWire() = default;

WindowsWire::~WindowsWire() { Stop(); }

bool WindowsWire::ConnectedLocked() const { return connected_ && !stopped_ && !closing_; }

bool WindowsWire::IsConnected() { return connected_.load() && !stopped_.load() && !closing_.load(); }

bool WindowsWire::QueueLocked(PendingRequest request) {
  if (queue_.size() >= kMaxQueue) return false;
  queue_.push_back(std::move(request));
  cv_.notify_all();
  return true;
}

void WindowsWire::ClearQueuesLocked() noexcept {
  for (PendingRequest& request : queue_) WipeRequest(request);
  queue_.clear();
  for (NetworkReply& reply : ring_) SecureWipeString(&reply.body);
  ring_.clear();
}

bool WindowsWire::Request(uint32_t tag, const std::string& method, const std::string& path, const std::string& body) {
  try {
    if (!IsConnected() || !ValidatePhoneRequest(tag, method, path, body)) return false;
    platform::MutexLock lock(request_mutex_);
    if (queue_.size() >= kMaxQueue || !ConnectedLocked() || !IsValidConnectionId(connection_id_)) return false;
    PendingRequest request{tag, method, path, body, 0, generation_, connection_id_, {}, 0, 0, nullptr};
    return QueueLocked(std::move(request));
  } catch (...) {
    return false;
  }
}

bool WindowsWire::RequestWithDeadline(uint32_t tag, const std::string& method, const std::string& path,
                                      const std::string& body, const std::string& key, uint32_t timeout_ms) {
  try {
    if (!IsConnected() || key.empty() || key.size() > 64 || timeout_ms < 1 || timeout_ms > 5000) return false;
    const bool capabilities = tag == 8 && method == "GET" && path == "/phone/v1/capabilities" && body.empty();
    const bool call_start = tag == 1 && method == "POST" && path == "/phone/v1/calls/start";
    if (!capabilities && !call_start) return false;
    if (!ValidatePhoneRequest(tag, method, path, body)) return false;
    platform::MutexLock lock(request_mutex_);
    if (queue_.size() >= kMaxQueue || !ConnectedLocked() || !IsValidConnectionId(connection_id_)) return false;
    PendingRequest request{tag,  method, path, body, 0, generation_, connection_id_,
                           key,  platform::TickCount64() + timeout_ms, 0, nullptr};
    return QueueLocked(std::move(request));
  } catch (...) {
    return false;
  }
}

bool WindowsWire::SendText(const std::string& text) {
  try {
    if (!IsConnected() || text.size() > kMaxSendText || text.find('\n') != std::string::npos) return false;
    platform::MutexLock lock(request_mutex_);
    if (queue_.size() >= kMaxQueue || !ConnectedLocked()) return false;
    PendingRequest request;
    request.method = "SEND";
    request.body = text;
    request.generation = generation_;
    return QueueLocked(std::move(request));
  } catch (...) {
    return false;
  }
}

bool WindowsWire::PollReply(NetworkReply* out) {
  if (out == nullptr) return false;
  platform::MutexLock lock(request_mutex_);
  if (ring_.empty()) return false;
  *out = std::move(ring_.front());
  ring_.pop_front();
  return true;
}

std::string WindowsWire::GetConnectionId() {
  platform::MutexLock lock(request_mutex_);
  return ConnectedLocked() ? connection_id_ : std::string();
}

bool WindowsWire::ExecuteMessagesRequest(const std::string& method, const std::string& path, const std::string& body,
                                         uint32_t* status, std::string* reply, std::string* connection_id) {
  try {
    const bool accepted = (method == "POST" && (path == "/phone/v1/messages/send" || path == "/phone/v1/messages/ack")) ||
                          (method == "GET" && StartsWith(path, kMessagesInboxPrefix));
    if (!accepted || status == nullptr || reply == nullptr || connection_id == nullptr) return false;
    auto promise = std::make_shared<std::promise<MessageReply>>();
    std::future<MessageReply> future = promise->get_future();
    uint64_t generation = 0;
    {
      platform::MutexLock lock(request_mutex_);
      if (!ConnectedLocked() || !IsValidConnectionId(connection_id_) || queue_.size() >= kMaxQueue) return false;
      generation = generation_;
      PendingRequest request{0, method, path, body, 0, generation, connection_id_, {}, 0, 0, std::move(promise)};
      if (!QueueLocked(std::move(request))) return false;
    }
    MessageReply value;
    try {
      value = future.get();
    } catch (const std::future_error&) {
      return false;  // dropped: closed, replaced or stopped
    }
    platform::MutexLock lock(request_mutex_);
    if (!ConnectedLocked() || generation_ != generation || value.connection_id != connection_id_) {
      SecureWipeString(&value.body);
      return false;
    }
    *status = value.status;
    *connection_id = value.connection_id;
    SecureWipeString(reply);
    *reply = std::move(value.body);
    return value.ok != 0;
  } catch (...) {
    return false;
  }
}

bool WindowsWire::DeliverReply(NetworkReply reply, uint64_t generation, uint64_t socket_id,
                               const std::string* connection_id) {
  platform::MutexLock lock(request_mutex_);
  const bool refused = stopped_ || closing_ || (generation != kAny && generation != generation_) ||
                       (socket_id != 0 ? socket_id != socket_id_ : !ConnectedLocked()) ||
                       (connection_id != nullptr && !IsValidConnectionId(*connection_id));
  if (refused) {
    SecureWipeString(&reply.body);
    return false;
  }
  if (ring_.size() >= kMaxRing) {
    lock.Unlock();
    SecureWipeString(&reply.body);
    CloseConnection(34, 0, false, generation);
    return false;
  }
  try {
    ring_.push_back(std::move(reply));
    if (connection_id != nullptr) {
      if (*connection_id != connection_id_) {
        platform::MutexLock presence(presence_mutex_);
        ResetPresence(presence_);
      }
      connection_id_ = *connection_id;
      connected_ = true;
    }
    return true;
  } catch (...) {
    lock.Unlock();
    SecureWipeString(&reply.body);
    CloseConnection(35, 0, true, generation);
    return false;
  }
}

void WindowsWire::CloseConnection(uint32_t code, uint32_t detail, bool mark_closing, uint64_t generation) noexcept {
  Socket taken;
  {
    platform::MutexLock lock(request_mutex_);
    if (stopped_ || (generation != kAny && generation != generation_)) return;
    try {
      if (mark_closing) closing_ = true;
      connected_ = false;
      ++generation_;
      taken = std::move(socket_);
      socket_.reset();
      socket_id_ = 0;
      connection_id_.clear();
      ClearQueuesLocked();
      ring_.push_back(NetworkReply{5, 0, {}, {}, {}});
    } catch (...) {
      closing_ = true;
    }
    platform::MutexLock presence(presence_mutex_);
    ResetPresence(presence_);
    poll_outstanding_ = false;
  }
  if (taken) {
    taken->Close();  // frees a blocked receive or send at once
    platform::MutexLock handle(handle_mutex_);
    taken.reset();
  }
  WriteEventLog("WIRE_CLOSED", code, detail);
  cv_.notify_all();
}

bool WindowsWire::Start(const std::string& user_id, const std::string& token) {
  try {
    if (!stopped_ || connection_thread_.joinable() || request_thread_.joinable() || user_id.empty() ||
        !IsValidPhoneToken(token)) {
      return false;
    }
    std::u16string host;
    uint16_t port = 0;
    if (!ResolveServiceHost(&host, &port)) return false;
    {
      platform::MutexLock presence(presence_mutex_);
      ResetPresence(presence_);
    }
    poll_outstanding_ = false;
    {
      platform::MutexLock lock(request_mutex_);
      host_ = std::move(host);
      port_ = port;
      user_id_ = user_id;
      SecureWipeString(&token_);
      token_ = token;
      abort_ = false;
      stopped_ = false;
      connected_ = false;
      closing_ = false;
      generation_ = 0;
    }
    connection_thread_ = std::thread([this] { ConnectionThreadMain(); });
    request_thread_ = std::thread([this] { RequestThreadMain(); });
    return true;
  } catch (...) {
    Stop();
    return false;
  }
}

void WindowsWire::Stop() noexcept {
  Socket taken;
  Socket pending;
  {
    platform::MutexLock lock(request_mutex_);
    stopped_ = true;
    abort_ = true;
    connected_ = false;
    ++generation_;
    connection_id_.clear();
    ClearQueuesLocked();
    taken = std::move(socket_);
    socket_.reset();
    socket_id_ = 0;
    pending = pending_socket_;
  }
  cv_.notify_all();
  if (pending) pending->Close();
  if (taken) {
    taken->Close();
    platform::MutexLock handle(handle_mutex_);
    taken.reset();
  }
  pending.reset();
  if (connection_thread_.joinable()) connection_thread_.join();
  if (request_thread_.joinable()) request_thread_.join();
  {
    platform::MutexLock lock(request_mutex_);
    ClearQueuesLocked();
    connection_id_.clear();
    pending_socket_.reset();
  }
  {
    platform::MutexLock presence(presence_mutex_);
    ResetPresence(presence_);
    poll_outstanding_ = false;
  }
  SecureWipeString(&token_);
  user_id_.clear();
}

// ---- Request thread ----

void WindowsWire::RequestThreadMain() {
  for (;;) {
    PendingRequest request;
    {
      platform::MutexLock lock(request_mutex_);
      cv_.wait(lock.native(), [this] {
        request_mutex_.AssertHeld();
        return stopped_.load() || !queue_.empty();
      });
      if (stopped_) return;
      request = std::move(queue_.front());
      queue_.pop_front();
    }
    try {
      ProcessRequest(request);
    } catch (...) {
      // An allocation failed while handling it: a failed exchange of this request.
      const bool ordinary = !request.promise && request.presence_poll == 0 && request.method != "SEND";
      if (ordinary) CloseConnection(33, 8, false, request.generation);
    }
    WipeRequest(request);
    if (stopped_) return;
  }
}

void WindowsWire::SendQueuedText(PendingRequest& request) {
  uint32_t result = 0;
  {
    platform::MutexLock handle(handle_mutex_);
    Socket socket;
    {
      platform::MutexLock lock(request_mutex_);
      if (stopped_ || closing_ || !connected_ || generation_ != request.generation) return;
      socket = socket_;
    }
    result = socket ? socket->Send(request.body) : 6;
  }
  if (result != 0) CloseConnection(31, result, false, request.generation);
}

void WindowsWire::ProcessRequest(PendingRequest& request) {
  {
    platform::MutexLock lock(request_mutex_);
    if (!ConnectedLocked() || request.generation != generation_) return;  // dropped
  }
  if (request.deadline != 0 && platform::TickCount64() >= request.deadline) {
    // A refused reply is wiped, and a full ring closes the connection itself.
    (void)DeliverReply(NetworkReply{request.tag, 408, kDeadlineBody, request.path, request.key}, request.generation,
                       0, nullptr);
    return;
  }
  if (request.method == "SEND") {
    SendQueuedText(request);
    return;
  }
  const std::string no_connection;
  const std::string& connection = (request.tag == 1 || request.promise) ? request.connection_id : no_connection;
  uint32_t status = 0;
  std::string reply;
  const bool ok = SendPhoneHttpRequest(Target(), token_, request.method, request.path, request.body, &status, &reply,
                                       connection);
  const uint32_t error = platform::LastError();
  if (request.promise) SecureWipeString(&request.body);
  bool current = false;
  {
    platform::MutexLock lock(request_mutex_);
    current = ConnectedLocked() && generation_ == request.generation;
  }
  if (!current) {
    SecureWipeString(&reply);
    WriteEventLog("WIRE_STALE_REPLY", 0, 0);
    return;
  }
  const uint64_t generation = request.generation;
  if (request.promise) {
    request.promise->set_value(MessageReply{ok ? 1u : 0u, status, std::move(reply), request.connection_id});
    request.promise.reset();
    if (ok && status == 401) CloseConnection(33, 401, true, generation);
  } else if (request.presence_poll != 0) {
    (void)HandlePresenceReply(ok, status, std::move(reply), generation, request.push_counter);  // stale: dropped
    if (ok && (status == 401 || status == 403)) CloseConnection(32, status, true, generation);
  } else if (!ok) {
    SecureWipeString(&reply);
    CloseConnection(33, error, status == 401, generation);
  } else if (status == 401) {
    SecureWipeString(&reply);
    CloseConnection(33, 401, true, generation);
  } else {
    (void)DeliverReply(NetworkReply{request.tag, status, std::move(reply), request.path, request.key}, generation, 0,
                       nullptr);  // as the deadline reply above
  }
}

// ---- Connection thread ----

void WindowsWire::ConnectionThreadMain() {
  if (stopped_) return;
  uint32_t attempt = 0;
  uint32_t k = 0;
  while (!stopped_) {
    if (closing_) break;
    attempt = std::min<uint32_t>(attempt + 1, 1000000);
    WriteEventLog("WIRE_ATTEMPT", attempt, 0);
    bool ready = false;
    try {
      ready = ConnectOnce(attempt);
    } catch (...) {
      ready = false;
    }
    if (stopped_ || closing_) break;
    const uint32_t j = ready ? 0 : k;
    const uint32_t delay = std::min<uint32_t>(1000u << j, 15000u);
    k = std::min<uint32_t>(j + 1, 4);
    WriteEventLog("WIRE_RETRY", delay, attempt);
    platform::MutexLock lock(request_mutex_);
    WireTiming fallback;
    WireTiming& timing = timing_ != nullptr ? *timing_ : fallback;
    timing.WaitBackoff(cv_, lock.native(), delay, [this] { return stopped_.load() || closing_.load(); });
  }
  if (closing_ && !stopped_) WriteEventLog("WIRE_AUTH_STOP", 0, 0);
}

bool WindowsWire::StageFail(uint32_t stage, uint32_t detail, bool mark, uint64_t generation) {
  if (stopped_) return false;  // stopped on purpose: no failure to report
  WriteEventLog("WIRE_STAGE_FAIL", stage, detail);
  CloseConnection(stage, detail, mark, generation);
  return false;
}

// One attempt: the stages in order, each reporting its own failure code, then
// the receive loop until the socket ends. True once the service said ready.
bool WindowsWire::ConnectOnce(uint32_t attempt) {
  LiveSocket live;
  live.attempt = attempt;
  {
    platform::MutexLock lock(request_mutex_);
    if (stopped_ || closing_) return false;
    live.generation = generation_;
  }
  ReceiveEnd end;
  bool ready = false;
  try {
    if (!CheckSession(live.generation) || !CheckReadiness(live.generation) || stopped_) return false;
    if (!OpenSocket(&live)) return false;
    end = ReceiveEvents(live, &ready);
  } catch (...) {
    WriteEventLog("WIRE_EXCEPTION", 0, 0);
    if (live.socket) live.socket->Close();
    {
      platform::MutexLock lock(request_mutex_);
      pending_socket_.reset();
    }
    CloseConnection(30, end.detail, closing_.load(), live.generation);
    return ready;
  }
  CloseConnection(end.code, end.detail, end.mark, live.generation);
  if (live.socket) live.socket->Close();
  return ready;
}

// One GET of a connection stage; false, with the stage reported failed under
// the exchange's error, when no reply came.
bool WindowsWire::StageGet(const char* path, uint32_t stage, uint64_t generation, uint32_t* status,
                           std::string* reply) {
  if (SendPhoneHttpRequest(Target(), token_, "GET", path, "", status, reply, "")) return true;
  return StageFail(stage, platform::LastError(), false, generation);
}

// Stage 1 (the "/me" exchange failed: its error) and stage 2 (a status other
// than 200, or a reply that is not this user's active session).
bool WindowsWire::CheckSession(uint64_t generation) {
  uint32_t status = 0;
  std::string reply;
  if (!StageGet("/phone/v1/me", 1, generation, &status, &reply)) return false;
  AuthReply auth = ParseAuthReply(reply);
  AuthReplyWipe wipe{auth};
  SecureWipeString(&reply);
  if (status != 200) return StageFail(2, status, status == 401 || status == 403, generation);
  if (!auth.valid || !auth.ok || !auth.has_session_is_active || !auth.session_is_active || auth.user_id != user_id_) {
    return StageFail(2, 200, true, generation);
  }
  return true;
}

// Stage 3: the capabilities exchange failed, or the service's media side is
// not ready.
bool WindowsWire::CheckReadiness(uint64_t generation) {
  uint32_t status = 0;
  std::string reply;
  if (!StageGet("/phone/v1/capabilities", 3, generation, &status, &reply)) return false;
  const bool media_ready = ReadJsonBoolMember(reply, "ok") && ReadJsonBoolMember(reply, "media_ready");
  SecureWipeString(&reply);
  if (status != 200) return StageFail(3, status, status == 401 || status == 403, generation);
  if (!media_ready) return StageFail(3, 200, false, generation);
  return true;
}

// Stages 4 (no handle), 8 (lookup, connect, TLS or a broken upgrade), 9 (the
// upgrade's status) and 10 (an upgrade reply that is not a WebSocket). The
// socket is registered while it is set up, so that Stop can end it, and on
// success becomes the live socket under a fresh id.
bool WindowsWire::OpenSocket(LiveSocket* live) {
  const uint64_t generation = live->generation;
  live->socket = platform::WssConnection::Create();
  if (!live->socket) return StageFail(4, 8, false, generation);
  const Socket& socket = live->socket;
  {
    platform::MutexLock lock(request_mutex_);
    if (stopped_ || closing_ || generation_ != generation) return false;
    pending_socket_ = socket;
  }
  std::vector<std::string> headers = {std::string(quorix_service::kTokenHeaderName) + ": " + token_,
                                      "X-Quorix-Presence: presence-v1", "X-Quorix-Inbox: inbox-v1"};
  platform::WssConnectResult connected;
  {
    WipeLinesOnExit wipe(headers);
    connected = socket->Connect(WideToUtf8(host_), port_, "/phone/v1/ws", headers, "QuorixPhone-Recovery-WS/0.1");
  }
  {
    platform::MutexLock lock(request_mutex_);
    pending_socket_.reset();
  }
  if (connected.failed != platform::WssStep::kNone) {
    socket->Close();
    if (stopped_) return false;
    switch (connected.failed) {
      case platform::WssStep::kHandle: return StageFail(4, connected.detail, false, generation);
      case platform::WssStep::kUpgradeStatus:
        return StageFail(9, connected.detail, connected.detail == 401 || connected.detail == 403, generation);
      case platform::WssStep::kUpgradeInvalid: return StageFail(10, connected.detail, false, generation);
      default: return StageFail(8, connected.detail, false, generation);
    }
  }
  platform::MutexLock lock(request_mutex_);
  if (stopped_ || closing_ || generation_ != generation || socket_) {
    socket->Close();
    return false;
  }
  socket_ = socket;
  live->socket_id = ++next_socket_id_;
  socket_id_ = live->socket_id;
  return true;
}

// Reads the live socket until it ends: 12 replaced, 20 receive error, 21 the
// service's close (its code in the detail), 22 a binary message, 23 a message
// over the size limit; HandleEvent's codes for complete messages.
WindowsWire::ReceiveEnd WindowsWire::ReceiveEvents(const LiveSocket& live, bool* ready) {
  std::vector<uint8_t> buffer(kReceiveBuffer);
  std::string message;
  ReceiveEnd end;
  for (;;) {
    if (stopped_) break;
    {
      platform::MutexLock lock(request_mutex_);
      if (socket_id_ != live.socket_id) {
        end.code = 12;
        break;
      }
    }
    const platform::WssReceiveResult part = live.socket->Receive(buffer.data(), buffer.size());
    if (part.kind == platform::WssReceiveKind::kError) {
      end = ReceiveEnd{20, part.detail, false};
      break;
    }
    if (part.kind == platform::WssReceiveKind::kClose) {
      end = ReceiveEnd{21, part.detail, part.detail == 1008 || part.detail == 4001};
      break;
    }
    if (part.kind == platform::WssReceiveKind::kBinary) {
      end.code = 22;
      break;
    }
    if (message.size() + part.size > kMaxMessage) {
      end.code = 23;
      break;
    }
    message.append(reinterpret_cast<const char*>(buffer.data()), part.size);
    platform::SecureZero(buffer.data(), part.size);
    if (part.kind == platform::WssReceiveKind::kTextPart) continue;
    if (!HandleEvent(message, live, ready, &end)) break;
    SecureWipeString(&message);
    message.clear();
  }
  SecureWipeString(&message);
  return end;
}

// One complete event. False ends the receive loop: 24 not JSON, 25 no type,
// 26 a ready event without a valid connection id; code 0 when the reply ring
// refused it (the ring closes the connection itself when full).
bool WindowsWire::HandleEvent(std::string& message, const LiveSocket& live, bool* ready, ReceiveEnd* end) {
  JsonValue event;
  if (!ParseJson(message, event)) {
    end->code = 24;
    return false;
  }
  const JsonValue* type = event.Find("type");
  if (type == nullptr || type->type != JsonType::String) {
    end->code = 25;
    return false;
  }
  if (type->text == "phone_ready_idle") {
    const JsonValue* id = event.Find("connection_id");
    const bool valid = ReadJsonBoolMember(message, "media_ready") && id != nullptr && id->type == JsonType::String &&
                       IsValidConnectionId(id->text);
    if (!valid) {
      *end = ReceiveEnd{26, 0, true};
      return false;
    }
    const std::string connection_id = id->text;
    if (!DeliverReply(NetworkReply{0, 0, std::move(message), {}, {}}, live.generation, live.socket_id,
                      &connection_id)) {
      return false;
    }
    *ready = true;
    WriteEventLog("WIRE_READY", live.attempt, 0);
  } else if (type->text == "phone_presence_snapshot") {
    (void)HandlePresenceEvent(message, live.generation, live.socket_id);  // stale: dropped, the loop goes on
  } else if (!DeliverReply(NetworkReply{0, 0, std::move(message), {}, {}}, live.generation, live.socket_id, nullptr)) {
    return false;
  }
  return true;
}

bool WindowsWire::HandlePresenceEvent(const std::string& text, uint64_t generation, uint64_t socket_id) {
  platform::MutexLock lock(request_mutex_);
  if (!ConnectedLocked() || generation != generation_ || socket_id != socket_id_ ||
      !IsValidConnectionId(connection_id_)) {
    return false;
  }
  platform::MutexLock presence(presence_mutex_);
  return ApplyPresenceEvent(presence_, text, user_id_, connection_id_, platform::TickCount64());
}

// ---- Presence ----

bool WindowsWire::RequestPresence() {
  try {
    if (!IsConnected()) return false;
    platform::MutexLock lock(request_mutex_);
    platform::MutexLock presence(presence_mutex_);
    const uint64_t now = platform::TickCount64();
    if (!ConnectedLocked()) return false;
    if (presence_.push_window_end != 0 && presence_.push_window_start <= now && now < presence_.push_window_end) {
      return false;
    }
    if (poll_outstanding_ || queue_.size() >= kMaxQueue) return false;
    PendingRequest request;
    request.method = "GET";
    request.path = "/phone/v1/presence";
    request.presence_poll = 1;
    request.generation = generation_;
    request.push_counter = presence_.push_counter;
    queue_.push_back(std::move(request));
    poll_outstanding_ = true;
    cv_.notify_all();
    return true;
  } catch (...) {
    return false;
  }
}

bool WindowsWire::HandlePresenceReply(bool ok, uint32_t status, std::string body, uint64_t generation,
                                      uint64_t push_counter) {
  bool applied = false;
  {
    platform::MutexLock lock(request_mutex_);
    if (!ConnectedLocked() || (generation != kAny && generation != generation_)) {
      SecureWipeString(&body);
      return false;
    }
    platform::MutexLock presence(presence_mutex_);
    const uint64_t now = platform::TickCount64();
    const uint64_t counter = push_counter == kAny ? presence_.push_counter : push_counter;
    const bool window_open =
        presence_.push_window_end != 0 && presence_.push_window_start <= now && now < presence_.push_window_end;
    if (counter != presence_.push_counter || window_open) {
      applied = false;
    } else if (ok && status == 200) {
      applied = ParsePresenceSnapshot(presence_, body, user_id_, now);
    } else {
      ClearFriendPresence(presence_);
    }
    poll_outstanding_ = false;
  }
  SecureWipeString(&body);
  WriteEventLog("UI33_PRESENCE_RESULT", applied ? 1 : 0, status);
  return true;
}

int WindowsWire::GetFriendPresence(const std::string& user_id) {
  platform::MutexLock presence(presence_mutex_);
  const uint64_t now = platform::TickCount64();
  if (!IsConnected() || !presence_.has_snapshot || now < presence_.snapshot_tick ||
      now >= presence_.snapshot_tick + 10000) {
    return 0;
  }
  const auto it = presence_.friends.find(user_id);
  if (it == presence_.friends.end()) return 0;
  return it->second ? 2 : 1;
}

uint64_t WindowsWire::GetPresenceStatus() {
  platform::MutexLock presence(presence_mutex_);
  const uint64_t now = platform::TickCount64();
  if (!IsConnected()) return presence_.revision * 4;
  const bool fresh = presence_.has_snapshot && presence_.snapshot_tick <= now && now < presence_.snapshot_tick + 10000;
  return presence_.revision * 4 + (fresh ? 3 : 2);
}

}  // namespace quorix_phone
