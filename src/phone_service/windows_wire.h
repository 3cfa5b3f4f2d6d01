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

  bool IsConnected() override;
  bool Request(uint32_t tag, const std::string& method, const std::string& path, const std::string& body) override;
  bool SendText(const std::string& text) override;
  bool PollReply(NetworkReply* out) override;
  bool RequestWithDeadline(uint32_t tag, const std::string& method, const std::string& path, const std::string& body,
                           const std::string& key, uint32_t timeout_ms) override;

  bool Start(const std::string& user_id, const std::string& token);
  void Stop() noexcept;
  std::string GetConnectionId() override;
  // The synchronous chat request of the message synchronisation; blocks the
  // calling pool thread until the request thread answers or drops it.
  bool ExecuteMessagesRequest(const std::string& method, const std::string& path, const std::string& body,
                              uint32_t* status, std::string* reply, std::string* connection_id) override;

  bool RequestPresence();
  bool HandlePresenceReply(bool ok, uint32_t status, std::string body, uint64_t generation, uint64_t push_counter);
  int GetFriendPresence(const std::string& user_id);
  uint64_t GetPresenceStatus();

  // Tests only: how back-off delays are waited out (null: the real wait).
  // Set while the wire is stopped.
  void SetTimingForTesting(WireTiming* timing) { timing_ = timing; }

 private:
  using Socket = std::shared_ptr<platform::WssConnection>;

  bool ConnectedLocked() const;
  bool QueueLocked(PendingRequest request);
  void ClearQueuesLocked() noexcept;
  bool DeliverReply(NetworkReply reply, uint64_t generation, uint64_t socket_id, const std::string* connection_id);
  void CloseConnection(uint32_t code, uint32_t detail, bool mark_closing, uint64_t generation) noexcept;
  void RequestThreadMain();
  void ProcessRequest(PendingRequest& request);
  void SendQueuedText(PendingRequest& request);
  void ConnectionThreadMain();
  bool ConnectOnce(uint32_t attempt);
  bool StageFail(uint32_t stage, uint32_t detail, bool mark, uint64_t generation);
  bool HandlePresenceEvent(const std::string& text, uint64_t generation, uint64_t socket_id);
  PhoneTarget Target() const { return PhoneTarget{host_, port_, &abort_}; }

  std::mutex presence_mutex_;
  PresenceState presence_;
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
  Socket socket_;                   // the live WebSocket, under the request mutex
  uint64_t socket_id_ = 0;          // its never-reused id; 0 = none
  uint64_t next_socket_id_ = 0;
  Socket pending_socket_;           // a WebSocket being set up, so Stop can close it
  std::thread connection_thread_;
  std::thread request_thread_;
  std::mutex request_mutex_;
  std::mutex handle_mutex_;
  std::condition_variable cv_;
  std::deque<PendingRequest> queue_;
  std::deque<NetworkReply> ring_;
  std::string connection_id_;
  WireTiming* timing_ = nullptr;
};

}  // namespace quorix_phone
