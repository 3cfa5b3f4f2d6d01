// WaveOutput on a PulseAudio server (or PipeWire's pulse server): the shared
// client connection, one playback stream per voice.
#include <pulse/pulseaudio.h>

#include <atomic>
#include <map>
#include <memory>
#include <optional>

#include "platform/pulse_connection.h"
#include "platform/wave_output.h"

namespace platform {
namespace {

class PulseWaveOutput final : public WaveOutput {
 public:
  explicit PulseWaveOutput(PulseWaveOutputOptions options)
      : connection_(std::move(options), [this] {
          // The streams die with the connection; nothing of theirs will finish.
          for (auto& [id, voice] : voices_) voice->done.store(true);
        }) {}
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

  using LoopLock = PulseConnection::Lock;

  static void OnStreamState(pa_stream* stream, void* userdata);
  static void OnDrained(pa_stream* stream, int success, void* userdata);
  static void OnSinkInfo(pa_context* context, const pa_sink_info* info, int eol, void* userdata);

  void Notify() { connection_.Notify(); }
  template <typename Predicate>
  bool WaitFor(Predicate predicate) {
    return connection_.WaitFor(predicate);
  }
  bool EnsureConnected() { return connection_.EnsureConnected(); }
  bool ContextReady() const { return connection_.Ready(); }
  std::optional<std::vector<std::string>> QuerySinks();
  Voice* Find(WaveVoice voice);
  void Disconnect(Voice& voice);

  // Changed only on our thread with the loop lock held, so callbacks (which
  // run with it held) may walk it.
  std::map<WaveVoice, std::unique_ptr<Voice>> voices_;
  WaveVoice next_voice_ = 1;
  // Last, so that it goes first: its end still marks the voices done.
  PulseConnection connection_;
};

PulseWaveOutput::~PulseWaveOutput() {
  if (!connection_.Started()) return;
  LoopLock lock(connection_);
  for (auto& [id, voice] : voices_) {
    Disconnect(*voice);
    pa_stream_set_state_callback(voice->stream, nullptr, nullptr);
    pa_stream_unref(voice->stream);
  }
  voices_.clear();
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

std::optional<std::vector<std::string>> PulseWaveOutput::QuerySinks() {
  SinkQuery query;
  query.owner = this;
  const bool finished = connection_.RunOperation(
      [&query](pa_context* context) { return pa_context_get_sink_info_list(context, OnSinkInfo, &query); },
      [&query] { return query.finished.load(); });
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
  LoopLock lock(connection_);
  const pa_sample_spec format{PA_SAMPLE_S16LE, 44100, 1};
  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "event");
  voice->stream = pa_stream_new_with_proplist(connection_.context(), "Quorix sound", &format, nullptr, props);
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
    LoopLock lock(connection_);
    if (pa_stream_get_state(voice->stream) != PA_STREAM_UNCONNECTED) return false;
    rc = pa_stream_connect_playback(voice->stream, voice->sink ? voice->sink->c_str() : nullptr, &attr,
                                    PA_STREAM_ADJUST_LATENCY, nullptr, nullptr);
    voice->connected = rc >= 0;
  }
  if (rc < 0) return false;
  if (!WaitFor([voice] { return voice->ready.load() || voice->done.load(); }) || !voice->ready.load()) {
    return false;
  }
  LoopLock lock(connection_);
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
    ReleasePulseOperation(voice.drain);
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
  LoopLock lock(connection_);
  Disconnect(*voice);
}

void PulseWaveOutput::Close(WaveVoice id) {
  auto found = voices_.find(id);
  if (found == voices_.end()) return;
  LoopLock lock(connection_);
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
