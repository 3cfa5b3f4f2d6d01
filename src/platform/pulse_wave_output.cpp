// WaveOutput on a PulseAudio server (or PipeWire's pulse server): one
// threaded main loop and one context for the process, one playback stream per
// voice. Every wait for the server has a deadline; the main loop's own wait
// has none, so waits go to our condition variable, which the callbacks signal.
#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>

#include "platform/clock.h"
#include "platform/wave_output.h"

namespace platform {
namespace {

// With the loop lock held. A cancelled operation never calls back, so what
// its callback would touch may go afterwards.
void ReleaseOperation(pa_operation* operation) {
  if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_operation_cancel(operation);
  pa_operation_unref(operation);
}

class PulseWaveOutput final : public WaveOutput {
 public:
  explicit PulseWaveOutput(PulseWaveOutputOptions options) : options_(std::move(options)) {}
  ~PulseWaveOutput() override;

  WaveVoice Open(int32_t device) override;
  bool Write(WaveVoice voice, const uint8_t* data, size_t size) override;
  bool IsDone(WaveVoice voice) override;
  void Reset(WaveVoice voice) override;
  void Close(WaveVoice voice) override;
  std::vector<WaveOutputDevice> OutputDevices() override;

 private:
  struct Voice {
    PulseWaveOutput* owner = nullptr;
    pa_stream* stream = nullptr;
    pa_operation* drain = nullptr;
    std::optional<std::string> sink;  // none: the default sink
    bool connected = false;
    std::atomic<bool> ready{false};
    std::atomic<bool> done{false};
  };

  struct SinkQuery {
    PulseWaveOutput* owner = nullptr;
    std::vector<std::string> names;
    std::atomic<bool> finished{false};
  };

  // Held while calling into libpulse from our thread; the loop thread holds
  // it while it runs callbacks.
  class LoopLock {
   public:
    explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

   private:
    pa_threaded_mainloop* loop_;
  };

  static void OnContextState(pa_context* context, void* userdata);
  static void OnStreamState(pa_stream* stream, void* userdata);
  static void OnDrained(pa_stream* stream, int success, void* userdata);
  static void OnSinkInfo(pa_context* context, const pa_sink_info* info, int eol, void* userdata);

  uint64_t NowMs() const { return options_.clock != nullptr ? options_.clock->TickMs() : TickCount64(); }
  void Notify();
  template <typename Predicate>
  bool WaitFor(Predicate predicate);

  bool EnsureConnected();
  void DropContext();
  bool ContextReady() const { return context_ != nullptr && context_state_.load() == PA_CONTEXT_READY; }
  std::optional<std::vector<std::string>> QuerySinks();
  Voice* Find(WaveVoice voice);
  void Disconnect(Voice& voice);

  PulseWaveOutputOptions options_;
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  std::atomic<int> context_state_{PA_CONTEXT_UNCONNECTED};
  bool attempted_ = false;
  uint64_t last_attempt_ = 0;

  std::mutex wait_mutex_;
  std::condition_variable wait_cv_;

  // Changed only on our thread with the loop lock held, so callbacks (which
  // run with it held) may walk it.
  std::map<WaveVoice, std::unique_ptr<Voice>> voices_;
  WaveVoice next_voice_ = 1;
};

PulseWaveOutput::~PulseWaveOutput() {
  if (loop_ == nullptr) return;
  {
    LoopLock lock(loop_);
    for (auto& [id, voice] : voices_) {
      Disconnect(*voice);
      pa_stream_set_state_callback(voice->stream, nullptr, nullptr);
      pa_stream_unref(voice->stream);
    }
    voices_.clear();
  }
  DropContext();
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

void PulseWaveOutput::Notify() {
  { std::lock_guard<std::mutex> guard(wait_mutex_); }
  wait_cv_.notify_all();
}

template <typename Predicate>
bool PulseWaveOutput::WaitFor(Predicate predicate) {
  std::unique_lock<std::mutex> lock(wait_mutex_);
  return wait_cv_.wait_for(lock, std::chrono::milliseconds(options_.wait_ms), predicate);
}

void PulseWaveOutput::OnContextState(pa_context* context, void* userdata) {
  auto* self = static_cast<PulseWaveOutput*>(userdata);
  const pa_context_state_t state = pa_context_get_state(context);
  self->context_state_.store(state);
  if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
    // The streams die with the connection; nothing of theirs will finish.
    for (auto& [id, voice] : self->voices_) voice->done.store(true);
  }
  self->Notify();
}

void PulseWaveOutput::OnStreamState(pa_stream* stream, void* userdata) {
  auto* voice = static_cast<Voice*>(userdata);
  switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
      voice->ready.store(true);
      break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
      voice->done.store(true);
      break;
    default:
      break;
  }
  voice->owner->Notify();
}

void PulseWaveOutput::OnDrained(pa_stream*, int, void* userdata) {
  auto* voice = static_cast<Voice*>(userdata);
  voice->done.store(true);
  voice->owner->Notify();
}

void PulseWaveOutput::OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  auto* query = static_cast<SinkQuery*>(userdata);
  if (eol != 0) {
    query->finished.store(true);
    query->owner->Notify();
    return;
  }
  if (info != nullptr && info->name != nullptr) query->names.emplace_back(info->name);
}

void PulseWaveOutput::DropContext() {
  if (context_ == nullptr) return;
  {
    LoopLock lock(loop_);
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
    for (auto& [id, voice] : voices_) voice->done.store(true);
  }
  context_state_.store(PA_CONTEXT_UNCONNECTED);
}

bool PulseWaveOutput::EnsureConnected() {
  if (ContextReady()) return true;
  const uint64_t now = NowMs();
  if (context_ != nullptr) {
    // The connection was lost: the pause before the next attempt starts now.
    DropContext();
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
    LoopLock lock(loop_);
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Quorix");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Quorix", props);
    pa_proplist_free(props);
    if (context_ == nullptr) return false;
    context_state_.store(PA_CONTEXT_UNCONNECTED);
    pa_context_set_state_callback(context_, OnContextState, this);
    if (!options_.cookie_file.empty()) pa_context_load_cookie_from_file(context_, options_.cookie_file.c_str());
    rc = pa_context_connect(context_, options_.server.empty() ? nullptr : options_.server.c_str(),
                            PA_CONTEXT_NOAUTOSPAWN, nullptr);
  }
  if (rc >= 0) {
    WaitFor([this] {
      const int state = context_state_.load();
      return state == PA_CONTEXT_READY || state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
    });
  }
  if (ContextReady()) return true;
  DropContext();
  return false;
}

std::optional<std::vector<std::string>> PulseWaveOutput::QuerySinks() {
  SinkQuery query;
  query.owner = this;
  pa_operation* operation = nullptr;
  {
    LoopLock lock(loop_);
    operation = pa_context_get_sink_info_list(context_, OnSinkInfo, &query);
  }
  if (operation == nullptr) return std::nullopt;
  const bool finished = WaitFor([&query] { return query.finished.load(); });
  {
    LoopLock lock(loop_);
    // After a cancel the callback is never called again, so `query` may go.
    ReleaseOperation(operation);
  }
  if (!finished) return std::nullopt;
  return std::move(query.names);
}

std::vector<WaveOutputDevice> PulseWaveOutput::OutputDevices() {
  std::vector<WaveOutputDevice> devices;
  if (!EnsureConnected()) return devices;
  std::optional<std::vector<std::string>> sinks = QuerySinks();
  if (!sinks) return devices;
  for (size_t i = 0; i < sinks->size(); ++i) {
    devices.push_back({static_cast<int32_t>(i), std::move((*sinks)[i])});
  }
  return devices;
}

PulseWaveOutput::Voice* PulseWaveOutput::Find(WaveVoice voice) {
  auto found = voices_.find(voice);
  return found == voices_.end() ? nullptr : found->second.get();
}

WaveVoice PulseWaveOutput::Open(int32_t device) {
  if (device < kDefaultWaveDevice || !EnsureConnected()) return kNoWaveVoice;
  auto voice = std::make_unique<Voice>();
  voice->owner = this;
  if (device >= 0) {
    std::optional<std::vector<std::string>> sinks = QuerySinks();
    if (!sinks || static_cast<size_t>(device) >= sinks->size()) return kNoWaveVoice;
    voice->sink = (*sinks)[static_cast<size_t>(device)];
  }
  LoopLock lock(loop_);
  const pa_sample_spec format{PA_SAMPLE_S16LE, 44100, 1};
  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "event");
  voice->stream = pa_stream_new_with_proplist(context_, "Quorix sound", &format, nullptr, props);
  pa_proplist_free(props);
  if (voice->stream == nullptr) return kNoWaveVoice;
  pa_stream_set_state_callback(voice->stream, OnStreamState, voice.get());
  while (next_voice_ == kNoWaveVoice || voices_.contains(next_voice_)) ++next_voice_;
  const WaveVoice id = next_voice_++;
  voices_.emplace(id, std::move(voice));
  return id;
}

bool PulseWaveOutput::Write(WaveVoice id, const uint8_t* data, size_t size) {
  Voice* voice = Find(id);
  if (voice == nullptr || voice->connected || data == nullptr || size == 0 || size > UINT32_MAX / 2 ||
      !ContextReady()) {
    return false;
  }
  pa_buffer_attr attr;
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(size);  // the whole clip fits in one write
  attr.prebuf = static_cast<uint32_t>(-1);
  attr.minreq = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(-1);
  int rc = -1;
  {
    LoopLock lock(loop_);
    if (pa_stream_get_state(voice->stream) != PA_STREAM_UNCONNECTED) return false;
    rc = pa_stream_connect_playback(voice->stream, voice->sink ? voice->sink->c_str() : nullptr, &attr,
                                    PA_STREAM_ADJUST_LATENCY, nullptr, nullptr);
    voice->connected = rc >= 0;
  }
  if (rc < 0) return false;
  if (!WaitFor([voice] { return voice->ready.load() || voice->done.load(); }) || !voice->ready.load()) {
    return false;
  }
  LoopLock lock(loop_);
  if (pa_stream_get_state(voice->stream) != PA_STREAM_READY) return false;
  if (pa_stream_write(voice->stream, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) return false;
  // Draining also starts playback of a clip shorter than the pre-buffer.
  voice->drain = pa_stream_drain(voice->stream, OnDrained, voice);
  return voice->drain != nullptr;
}

bool PulseWaveOutput::IsDone(WaveVoice id) {
  Voice* voice = Find(id);
  return voice == nullptr || voice->done.load();
}

// With the loop lock held.
void PulseWaveOutput::Disconnect(Voice& voice) {
  if (voice.drain != nullptr) {
    ReleaseOperation(voice.drain);
    voice.drain = nullptr;
  }
  // A stream whose connection died is already detached from it; libpulse
  // must not be asked to flush or disconnect it then.
  const pa_stream_state_t state = pa_stream_get_state(voice.stream);
  if (voice.connected && PA_STREAM_IS_GOOD(state)) {
    if (state == PA_STREAM_READY) {
      if (pa_operation* flush = pa_stream_flush(voice.stream, nullptr, nullptr)) pa_operation_unref(flush);
    }
    pa_stream_disconnect(voice.stream);
  }
  voice.connected = false;
  voice.done.store(true);
}

void PulseWaveOutput::Reset(WaveVoice id) {
  Voice* voice = Find(id);
  if (voice == nullptr) return;
  LoopLock lock(loop_);
  Disconnect(*voice);
}

void PulseWaveOutput::Close(WaveVoice id) {
  auto found = voices_.find(id);
  if (found == voices_.end()) return;
  LoopLock lock(loop_);
  Voice& voice = *found->second;
  Disconnect(voice);
  pa_stream_set_state_callback(voice.stream, nullptr, nullptr);
  pa_stream_unref(voice.stream);
  voices_.erase(found);
}

}  // namespace

std::unique_ptr<WaveOutput> MakePulseWaveOutput(PulseWaveOutputOptions options) {
  return std::make_unique<PulseWaveOutput>(std::move(options));
}

}  // namespace platform
