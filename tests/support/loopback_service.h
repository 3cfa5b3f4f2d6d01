#pragma once
// The loopback HTTPS test service: HTTP/1.1 with keep-alive over the loopback
// listener (TLS, test PKI). It records every request in its service record
// and answers from a script keyed by method and path; anything unscripted
// gets 404 {"ok":false}.
#include <chrono>
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

  static ScriptedReply Json(unsigned status, std::string body);
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

  const ServiceRecord& record() const { return record_; }
  std::vector<RecordedRequest> Requests() const { return record_.Requests(); }
  size_t accepts() const { return listener_->accepts(); }
  size_t handshakes() const { return listener_->handshakes(); }
  size_t client_closes() const { return record_.client_closes(); }

 private:
  asio::awaitable<void> Session(TlsStream& stream, ConnectionInfo info);
  ScriptedReply Answer(const RecordedRequest& request);

  ServiceRecord record_;
  mutable std::mutex mutex_;
  std::map<std::string, Compute> script_;
  bool released_ = false;
  std::unique_ptr<asio::steady_timer> gate_;
  std::unique_ptr<LoopbackListener> listener_;
};

}  // namespace quorix_test
