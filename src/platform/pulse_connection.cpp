#include "platform/pulse_connection.h"

#include <utility>

#include "platform/clock.h"

namespace platform {

void ReleasePulseOperation(pa_operation* operation) {
  if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_operation_cancel(operation);
  pa_operation_unref(operation);
}

PulseConnection::PulseConnection(PulseWaveOutputOptions options, std::function<void()> on_lost)
    : options_(std::move(options)), on_lost_(std::move(on_lost)) {}

PulseConnection::~PulseConnection() {
  if (loop_ == nullptr) return;
  Drop();
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

uint64_t PulseConnection::NowMs() const {
  return options_.clock != nullptr ? options_.clock->TickMs() : TickCount64();
}

void PulseConnection::Notify() {
  { std::lock_guard<std::mutex> guard(wait_mutex_); }
  wait_cv_.notify_all();
}

void PulseConnection::OnContextState(pa_context* context, void* userdata) {
  auto* self = static_cast<PulseConnection*>(userdata);
  const pa_context_state_t state = pa_context_get_state(context);
  self->state_.store(state);
  if ((state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) && self->on_lost_) self->on_lost_();
  self->Notify();
}

void PulseConnection::Drop() {
  if (context_ == nullptr) return;
  {
    Lock lock(*this);
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
    if (on_lost_) on_lost_();
  }
  state_.store(PA_CONTEXT_UNCONNECTED);
}

bool PulseConnection::EnsureConnected() {
  if (Ready()) return true;
  const uint64_t now = NowMs();
  if (context_ != nullptr) {
    // The connection was lost: the pause before the next attempt starts now.
    Drop();
    attempted_ = true;
    last_attempt_ = now;
    return false;
  }
  if (attempted_ && now >= last_attempt_ && now - last_attempt_ < options_.reconnect_ms) return false;
  attempted_ = true;
  last_attempt_ = now;

  if (loop_ == nullptr) {
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr) return false;
    if (pa_threaded_mainloop_start(loop_) < 0) {
      pa_threaded_mainloop_free(loop_);
      loop_ = nullptr;
      return false;
    }
  }
  int rc = -1;
  {
    Lock lock(*this);
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Quorix");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Quorix", props);
    pa_proplist_free(props);
    if (context_ == nullptr) return false;
    state_.store(PA_CONTEXT_UNCONNECTED);
    pa_context_set_state_callback(context_, OnContextState, this);
    if (!options_.cookie_file.empty()) pa_context_load_cookie_from_file(context_, options_.cookie_file.c_str());
    rc = pa_context_connect(context_, options_.server.empty() ? nullptr : options_.server.c_str(),
                            PA_CONTEXT_NOAUTOSPAWN, nullptr);
  }
  if (rc >= 0) {
    WaitFor([this] {
      const int state = state_.load();
      return state == PA_CONTEXT_READY || state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
    });
  }
  if (Ready()) return true;
  Drop();
  return false;
}

}  // namespace platform
