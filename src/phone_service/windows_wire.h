#pragma once
// The service connection: queued HTTPS requests on a request thread, the live
// WebSocket with reconnection on a connection thread, a bounded reply ring
// for the main thread, and the friends' presence.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "chat/messages_channel.h"
#include "phone_service/network.h"
#include "phone_service/phone_http.h"
#include "phone_service/presence.h"
#include "platform/thread_annotations.h"

namespace platform {
class WssConnection;
}

namespace quorix_phone {

// How the connection thread waits out its back-off. The default waits on the
// condition variable against the steady clock; tests record the delays and
// wait less. Either way the wait ends early once `wake` holds.
class WireTiming {
 public:
  virtual ~WireTiming() = default;
  virtual void WaitBackoff(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, uint32_t delay_ms,
                           const std::function<bool()>& wake);
};

// The rule for queued requests: method, body size, path form, and the fixed
// forms of the capabilities (tag 8) and relay ICE (tag 7) requests.
bool ValidatePhoneRequest(uint32_t tag, const std::string& method, const std::string& path, const std::string& body);

// True when `text` is JSON whose top-level object has `key` holding true.
bool ReadJsonBoolMember(const std::string& text, const char* key);

class WindowsWire final : public Network, public MessagesChannel {
 public:
  // The reply of one blocking chat request.
  struct MessageReply {
    uint32_t ok = 0;
    uint32_t status = 0;
    std::string body;
    std::string connection_id;
  };

  // One entry of the request queue.
  struct PendingRequest {
    uint32_t tag = 0;
    std::string method;  // "GET", "POST", or "SEND" for a WebSocket text
    std::string path;
    std::string body;
    uint64_t presence_poll = 0;
    uint64_t generation = 0;
    std::string connection_id;
    std::string key;
    uint64_t deadline = 0;  // tick ms; 0 = none
    uint64_t push_counter = 0;
    std::shared_ptr<std::promise<MessageReply>> promise;
  };

  using PresenceState = quorix_phone::PresenceState;

  static constexpr uint64_t kAny = ~uint64_t{0};

  WindowsWire();
  ~WindowsWire() override;
  WindowsWire(const WindowsWire&) = delete;
  WindowsWire& operator=(const WindowsWire&) = delete;

  [[nodiscard]] bool IsConnected() override;
  [[nodiscard]] bool Request(uint32_t tag, const std::string& method, const std::string& path,
                             const std::string& body) override;
  [[nodiscard]] bool SendText(const std::string& text) override;
  [[nodiscard]] bool PollReply(NetworkReply* out) override;
  [[nodiscard]] bool RequestWithDeadline(uint32_t tag, const std::string& method, const std::string& path,
                                         const std::string& body, const std::string& key,
                                         uint32_t timeout_ms) override;

  [[nodiscard]] bool Start(const std::string& user_id, const std::string& token);
  void Stop() noexcept;
  std::string GetConnectionId() override;
  // The synchronous chat request of the message synchronisation; blocks the
  // calling pool thread until the request thread answers or drops it.
  [[nodiscard]] bool ExecuteMessagesRequest(const std::string& method, const std::string& path,
                                            const std::string& body, uint32_t* status, std::string* reply,
                                            std::string* connection_id) override;

  [[nodiscard]] bool RequestPresence();
  [[nodiscard]] bool HandlePresenceReply(bool ok, uint32_t status, std::string body, uint64_t generation,
                                         uint64_t push_counter);
  int GetFriendPresence(const std::string& user_id);
  uint64_t GetPresenceStatus();

  // Tests only: how back-off delays are waited out (null: the real wait).
  // Set while the wire is stopped.
  void SetTimingForTesting(WireTiming* timing) { timing_ = timing; }

 private:
  friend class WireTestAccess;
  using Socket = std::shared_ptr<platform::WssConnection>;

  [[nodiscard]] bool ConnectedLocked() const REQUIRES(request_mutex_);
  [[nodiscard]] bool QueueLocked(PendingRequest request) REQUIRES(request_mutex_);
  void ClearQueuesLocked() noexcept REQUIRES(request_mutex_);
  [[nodiscard]] bool DeliverReply(NetworkReply reply, uint64_t generation, uint64_t socket_id,
                                  const std::string* connection_id);
  void CloseConnection(uint32_t code, uint32_t detail, bool mark_closing, uint64_t generation) noexcept;
  void RequestThreadMain();
  void ProcessRequest(PendingRequest& request);
  void SendQueuedText(PendingRequest& request);
  void ConnectionThreadMain();
  // The socket of one connection attempt and what identifies it.
  struct LiveSocket {
    Socket socket;
    uint64_t generation = 0;
    uint64_t socket_id = 0;
    uint32_t attempt = 0;
  };
  // Why a receive loop ended: the close code, its detail, and whether the
  // connection is marked closing (no reconnection).
  struct ReceiveEnd {
    uint32_t code = 0;
    uint32_t detail = 0;
    bool mark = false;
  };
  [[nodiscard]] bool ConnectOnce(uint32_t attempt);
  [[nodiscard]] bool StageGet(const char* path, uint32_t stage, uint64_t generation, uint32_t* status,
                              std::string* reply);
  [[nodiscard]] bool CheckSession(uint64_t generation);
  [[nodiscard]] bool CheckReadiness(uint64_t generation);
  [[nodiscard]] bool OpenSocket(LiveSocket* live);
  [[nodiscard]] ReceiveEnd ReceiveEvents(const LiveSocket& live, bool* ready);
  [[nodiscard]] bool HandleEvent(std::string& message, const LiveSocket& live, bool* ready, ReceiveEnd* end);
  [[nodiscard]] bool StageFail(uint32_t stage, uint32_t detail, bool mark, uint64_t generation);
  [[nodiscard]] bool HandlePresenceEvent(const std::string& text, uint64_t generation, uint64_t socket_id);
  PhoneTarget Target() const { return PhoneTarget{host_, port_, &abort_}; }

  // Locks: `request_mutex_` guards the queue, the reply ring, the sockets and
  // the connection id; `presence_mutex_` guards the presence record and is
  // taken after `request_mutex_` when both are held. `handle_mutex_` guards no
  // field: it keeps a Send on the live socket and the dropping of the last
  // reference to a closed socket apart, and is taken before `request_mutex_`
  // when both are held.
  // The connection's flags and counters are atomics. `host_`, `port_`,
  // `token_` and `user_id_` are written only by Start and Stop while neither
  // thread runs, and read by the threads without a lock.
  platform::Mutex request_mutex_;
  platform::Mutex presence_mutex_ ACQUIRED_AFTER(request_mutex_);
  platform::Mutex handle_mutex_ ACQUIRED_BEFORE(request_mutex_);
  std::condition_variable cv_;  // waited on with request_mutex_ held
  PresenceState presence_ GUARDED_BY(presence_mutex_);
  std::atomic<bool> poll_outstanding_{false};
  std::u16string host_;
  uint16_t port_ = 0;
  std::string token_;
  std::string user_id_;
  std::atomic<bool> stopped_{true};
  std::atomic<bool> connected_{false};
  std::atomic<bool> closing_{false};
  std::atomic<uint64_t> generation_{0};
  std::atomic<bool> abort_{false};  // set by Stop: running exchanges end
  Socket socket_ GUARDED_BY(request_mutex_);  // the live WebSocket
  uint64_t socket_id_ GUARDED_BY(request_mutex_) = 0;  // its never-reused id; 0 = none
  uint64_t next_socket_id_ GUARDED_BY(request_mutex_) = 0;
  Socket pending_socket_ GUARDED_BY(request_mutex_);  // a WebSocket being set up, so Stop can close it
  std::thread connection_thread_;
  std::thread request_thread_;
  std::deque<PendingRequest> queue_ GUARDED_BY(request_mutex_);
  std::deque<NetworkReply> ring_ GUARDED_BY(request_mutex_);
  std::string connection_id_ GUARDED_BY(request_mutex_);
  WireTiming* timing_ = nullptr;
};

}  // namespace quorix_phone
