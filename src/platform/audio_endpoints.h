#pragma once
// The machine's active audio endpoints for calls: render endpoints are the
// sound server's sinks, capture endpoints its sources that are not monitors
// of sinks. An endpoint whose active port is unavailable (unplugged) is not
// active. Ids are the server's sink or source names, names its descriptions.
// Main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/wave_output.h"

namespace platform {

enum class AudioFlow : uint8_t { kCapture, kRender };

struct AudioEndpoint {
  std::u16string id;
  std::u16string name;  // "Active audio device" when the server gives none
};

class AudioEndpoints {
 public:
  virtual ~AudioEndpoints() = default;
  // The active endpoints of `flow` in the server's index order; empty when
  // no server can be reached.
  virtual std::vector<AudioEndpoint> List(AudioFlow flow) = 0;
  // Whether `id` names an active endpoint of `flow` now; false when no
  // server can be reached.
  virtual bool IsActive(AudioFlow flow, const std::u16string& id) = 0;
};

// The process's endpoint source, made by the factory on first use.
AudioEndpoints& ProcessAudioEndpoints();
// Replaces the factory (empty: the default server's) and drops the process's
// source, so that the next use makes a new one. Tests point it at their
// private server.
void SetAudioEndpointsFactory(std::function<std::unique_ptr<AudioEndpoints>()> factory);

// Endpoints of a PulseAudio (or PipeWire pulse) server, on the same client
// connection code and options as the sound output.
std::unique_ptr<AudioEndpoints> MakePulseAudioEndpoints(PulseWaveOutputOptions options = {});

}  // namespace platform
