#pragma once
// One client connection to a PulseAudio server (or PipeWire's pulse server):
// a threaded main loop and a context, shared by the sound output and the
// audio endpoint list. It never starts a server (no autospawn), waits for the
// server only with a deadline, and after a failure or a loss tries again at
// most once per reconnect pause. The main loop's own wait has no deadline, so
// waits go to our condition variable, which the callbacks signal.
#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "platform/wave_output.h"

namespace platform {

// With the loop lock held. A cancelled operation never calls back, so what
// its callback would touch may go afterwards.
void ReleasePulseOperation(pa_operation* operation);

class PulseConnection {
 public:
  // `on_lost` runs with the loop lock held (on the loop thread or ours) when
  // the context fails, ends or is dropped.
  PulseConnection(PulseWaveOutputOptions options, std::function<void()> on_lost = {});
  ~PulseConnection();
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  // Held while calling into libpulse from our thread; the loop thread holds
  // it while it runs callbacks.
  class Lock {
   public:
    explicit Lock(PulseConnection& connection) : loop_(connection.loop_) { pa_threaded_mainloop_lock(loop_); }
    ~Lock() { pa_threaded_mainloop_unlock(loop_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    pa_threaded_mainloop* loop_;
  };

  // True when the context is ready, connecting first if the pause allows.
  bool EnsureConnected();
  bool Ready() const { return context_ != nullptr && state_.load() == PA_CONTEXT_READY; }
  pa_context* context() const { return context_; }
  // Whether the main loop was made (a first attempt happened).
  bool Started() const { return loop_ != nullptr; }
  // Wakes the waiters; callbacks call it after changing what they wait on.
  void Notify();
  // Waits at most the options' wait bound for `predicate`.
  template <typename Predicate>
  bool WaitFor(Predicate predicate) {
    std::unique_lock<std::mutex> lock(wait_mutex_);
    return wait_cv_.wait_for(lock, std::chrono::milliseconds(options_.wait_ms), predicate);
  }
  // Runs `start` (with the loop lock held, returning the operation or null),
  // then waits until `finished` says so; the operation is released either way.
  template <typename Start, typename Finished>
  bool RunOperation(Start start, Finished finished) {
    pa_operation* operation = nullptr;
    {
      Lock lock(*this);
      operation = start(context_);
    }
    if (operation == nullptr) return false;
    const bool done = WaitFor(finished);
    Lock lock(*this);
    ReleasePulseOperation(operation);
    return done;
  }

 private:
  static void OnContextState(pa_context* context, void* userdata);
  uint64_t NowMs() const;
  void Drop();

  PulseWaveOutputOptions options_;
  std::function<void()> on_lost_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  std::atomic<int> state_{PA_CONTEXT_UNCONNECTED};
  bool attempted_ = false;
  uint64_t last_attempt_ = 0;
  std::mutex wait_mutex_;
  std::condition_variable wait_cv_;
};

}  // namespace platform
