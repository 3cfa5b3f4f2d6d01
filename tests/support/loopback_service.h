#pragma once
// The loopback HTTPS test service: HTTP/1.1 with keep-alive over the loopback
// listener (TLS, test PKI). It records every request in its service record
// and answers from a script keyed by method and path; anything unscripted
// gets 404 {"ok":false}.
#include <atomic>
#include <chrono>
#include <deque>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "loopback_listener.h"
// After the listener, which includes <utility> before Asio.
#include <boost/beast/http.hpp>
#include "service_record.h"
#include "test_pki.h"

namespace quorix_test {

struct ScriptedReply {
  enum class Framing { kContentLength, kChunked, kCloseDelimited };

  unsigned status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  Framing framing = Framing::kContentLength;
  std::chrono::milliseconds delay_before_headers{0};
  bool close_without_answer = false;
  std::optional<size_t> stall_after_body_bytes;  // then silence until the service stops
  std::optional<size_t> close_after_body_bytes;
  bool hold_until_released = false;               // waits for Release() before answering
  // Raw sessions: these bytes go out as they are instead of the reply above.
  std::optional<std::string> raw;
  // Written on the kept connection once the reply is out, as a stale reply
  // (LoopbackService::unsolicited_writes counts them).
  std::string unsolicited;
  // After `raw` or `unsolicited`: serve on, end TCP without TLS close_notify,
  // or close_notify and then end TCP.
  enum class End { kKeep, kTcpOnly, kTls };
  End end = End::kKeep;

  static ScriptedReply Json(unsigned status, std::string body);
};

// One step of a WebSocket session, played in order after the upgrade.
struct WsAction {
  enum class Kind { kText, kFragments, kBinary, kRaw, kClose, kReset, kResetMidMessage, kFreeze, kWaitSignal, kPause,
                    kEndTcp, kReadRaw, kServePushes };
  Kind kind = Kind::kText;
  std::string bytes;
  std::vector<size_t> sizes;            // kFragments: frame payload sizes, in order
  std::optional<uint16_t> close_code;   // kClose: none sends a close frame without status
  size_t repeat = 1;                    // kText: sent this many times
  std::chrono::milliseconds pause{0};

  static WsAction Text(std::string text, size_t repeat = 1);
  // The ready event; `media_ready` false gives the literal false.
  static WsAction Ready(const std::string& connection_id, bool media_ready = true);
  static WsAction Fragments(std::string text, std::vector<size_t> sizes);
  static WsAction Binary(std::string bytes);
  static WsAction Raw(std::string bytes);  // written as is onto the TLS stream
  static WsAction Close(std::optional<uint16_t> code);
  static WsAction Reset();                 // TCP reset
  static WsAction ResetMidMessage(std::string first_part);
  static WsAction Freeze();                // no reads (pings unanswered), no writes, until the service stops
  static WsAction WaitSignal();            // waits for one LoopbackService::Signal()
  static WsAction Pause(std::chrono::milliseconds duration);
  static WsAction EndTcp();   // TCP ended (FIN) without TLS close_notify
  // Reads raw bytes off the TLS stream until some arrive; a session holding
  // it, like one holding Freeze, has no WebSocket reader.
  static WsAction ReadRaw();
  // From here on sends each text LoopbackService::Push gives, in order,
  // until the client goes.
  static WsAction ServePushes();
};

// The answer to one upgrade request on "/phone/v1/ws".
struct WsUpgrade {
  unsigned status = 101;    // other values answer with that status and {"ok":false}
  bool bad_accept = false;  // a 101 with a wrong Sec-WebSocket-Accept
  std::vector<WsAction> actions;
  bool hold_until_released = false;  // answers only after Release()
  std::vector<std::pair<std::string, std::string>> response_headers{};  // added to the 101
};

class LoopbackService {
 public:
  using Compute = std::function<ScriptedReply(const RecordedRequest&)>;

  explicit LoopbackService(LeafKind leaf = LeafKind::kGood);
  ~LoopbackService();

  uint16_t port() const { return listener_->port(); }

  // Replies for `method` and `path` (the target up to any "?").
  void Script(const std::string& method, const std::string& path, ScriptedReply reply);
  void Script(const std::string& method, const std::string& path, Compute compute);

  // Lets every held reply go, now and later.
  void Release();

  // WebSocket upgrades on "/phone/v1/ws": `plan` gets the upgrade's index (0
  // for the first). Without a plan the path is an ordinary scripted route.
  using WsPlan = std::function<WsUpgrade(size_t upgrade_index)>;
  void ScriptWebSocket(WsPlan plan);
  // Lets one WaitSignal step go (the one waiting now, or the next).
  void Signal();
  // A text for the session serving pushes (now, or the next one to serve).
  void Push(std::string text);
  // Text messages the clients sent, in arrival order, and pings seen.
  std::vector<std::string> ClientMessages() const;
  size_t pings() const { return pings_; }
  size_t upgrades() const { return upgrades_; }
  size_t open_sessions() const { return open_sessions_; }
  size_t unsolicited_writes() const { return unsolicited_writes_; }
  // The requests for `target` (up to any "?"), in arrival order.
  std::vector<RecordedRequest> RequestsTo(const std::string& path) const;

  const ServiceRecord& record() const { return record_; }
  std::vector<RecordedRequest> Requests() const { return record_.Requests(); }
  size_t accepts() const { return listener_->accepts(); }
  size_t handshakes() const { return listener_->handshakes(); }
  size_t client_closes() const { return record_.client_closes(); }

 private:
  asio::awaitable<void> Session(TlsStream& stream, ConnectionInfo info);
  ScriptedReply Answer(const RecordedRequest& request);
  asio::awaitable<void> WebSocketSession(TlsStream& stream, const boost::beast::http::request<boost::beast::http::string_body>& request);
  asio::awaitable<void> WebSocketReader(void* ws, std::shared_ptr<bool> done, std::shared_ptr<asio::steady_timer> wake);
  asio::awaitable<void> PlayAction(void* ws, TlsStream& stream, const WsAction& action, bool* ended);
  asio::awaitable<void> ServePushes(void* ws, std::shared_ptr<bool> done);

  ServiceRecord record_;
  mutable std::mutex mutex_;
  std::map<std::string, Compute> script_;
  bool released_ = false;
  std::unique_ptr<asio::steady_timer> gate_;
  WsPlan ws_plan_;
  std::vector<std::string> client_messages_;
  std::deque<std::string> pushes_;
  size_t signals_ = 0;        // io thread only
  size_t signals_taken_ = 0;  // io thread only
  std::unique_ptr<asio::steady_timer> signal_gate_;
  std::atomic<size_t> pings_{0};
  std::atomic<size_t> upgrades_{0};
  std::atomic<size_t> open_sessions_{0};
  std::atomic<size_t> unsolicited_writes_{0};
  std::unique_ptr<LoopbackListener> listener_;
};

}  // namespace quorix_test
