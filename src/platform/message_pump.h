#pragma once
// The main thread's message queue.
//
// Other threads post to it; the main loop drains it once per pass and then
// waits for input with a timeout. A termination signal (SIGTERM, SIGINT,
// SIGHUP) arrives as a quit message, so that a killed program still runs its
// normal shutdown; a peer's show request arrives as a show message.
#include <poll.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace platform {

class ShowListener;

// A further event source with its own descriptors and timeouts, such as a GUI
// toolkit's main context. Wait asks it for descriptors and the largest wait
// it allows; Drain lets it run what became ready, without blocking.
class PollSource {
 public:
  virtual ~PollSource() = default;
  // Appends descriptors to wait on and may lower *timeout_ms.
  virtual void Prepare(std::vector<pollfd>* fds, int* timeout_ms) = 0;
  // After the wait, with the descriptors Prepare appended and their results.
  virtual void Check(pollfd* fds, size_t count) = 0;
  virtual void Dispatch() = 0;
};

struct PumpMessage {
  enum class Kind { kQuit, kShow, kUser };
  Kind kind = Kind::kUser;
  uint32_t id = 0;  // for kUser
};

class MessagePump {
 public:
  // Blocks the termination signals in the calling thread and in the threads
  // it starts afterwards, so that only the pump's signalfd sees them. Call
  // first thing in main.
  static void BlockTerminationSignals();

  MessagePump();
  ~MessagePump();
  MessagePump(const MessagePump&) = delete;
  MessagePump& operator=(const MessagePump&) = delete;

  // Thread-safe.
  void PostQuit();
  void Post(uint32_t id);

  // Show requests from other instances become kShow messages. Null detaches.
  void AttachShowListener(ShowListener* listener);

  // A further descriptor to wait on (for example a GUI toolkit's); its
  // callback runs inside Drain when the descriptor became readable.
  void AddWatch(int fd, std::function<void()> on_ready);
  void RemoveWatch(int fd);

  // One external source; null detaches. Main thread only.
  void SetPollSource(PollSource* source);

  // Hands every queued message to `dispatch`, in order. A quit message is
  // handed over too and ends the draining; returns true when one was seen.
  [[nodiscard]] bool Drain(const std::function<void(const PumpMessage&)>& dispatch);

  // Waits until a message, a signal, a show request or a watched descriptor
  // is ready, or `timeout_ms` passed.
  void Wait(int timeout_ms);

 private:
  void CollectSources();

  std::mutex mutex_;
  std::deque<PumpMessage> queue_;
  UniqueFd event_fd_;
  UniqueFd signal_fd_;
  ShowListener* show_ = nullptr;
  struct Watch {
    int fd;
    std::function<void()> on_ready;
  };
  std::vector<Watch> watches_;
  PollSource* source_ = nullptr;
};

}  // namespace platform
