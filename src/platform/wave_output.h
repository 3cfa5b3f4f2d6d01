#pragma once
// Playing short sound clips: one stream ("voice") per clip, 16-bit signed
// little-endian mono samples at 44,100 Hz, no callbacks, completion found by
// polling. Main thread only.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class Clock;

// 0 is never a voice.
using WaveVoice = uint32_t;
inline constexpr WaveVoice kNoWaveVoice = 0;
inline constexpr int32_t kDefaultWaveDevice = -1;

struct WaveOutputDevice {
  int32_t id = 0;     // the device number Open takes
  std::string name;   // stable identifier of the device (UTF-8)
};

class WaveOutput {
 public:
  virtual ~WaveOutput() = default;
  // A voice on `device` (-1 the default output, n >= 0 the n-th device of
  // OutputDevices), or kNoWaveVoice when it cannot be opened.
  [[nodiscard]] virtual WaveVoice Open(int32_t device) = 0;
  // Queues the whole clip once. The caller keeps `data` alive until Close.
  [[nodiscard]] virtual bool Write(WaveVoice voice, const uint8_t* data, size_t size) = 0;
  // The clip has been played out, the voice was reset, or its output is gone.
  [[nodiscard]] virtual bool IsDone(WaveVoice voice) = 0;
  // Stops the voice at once; it is done afterwards.
  virtual void Reset(WaveVoice voice) = 0;
  // Releases the voice; the number may be handed out again.
  virtual void Close(WaveVoice voice) = 0;
  // The outputs in device-number order.
  virtual std::vector<WaveOutputDevice> OutputDevices() = 0;
};

// No output at all: no devices, and every open fails.
class NullWaveOutput final : public WaveOutput {
 public:
  WaveVoice Open(int32_t) override { return kNoWaveVoice; }
  bool Write(WaveVoice, const uint8_t*, size_t) override { return false; }
  bool IsDone(WaveVoice) override { return true; }
  void Reset(WaveVoice) override {}
  void Close(WaveVoice) override {}
  std::vector<WaveOutputDevice> OutputDevices() override { return {}; }
};

struct PulseWaveOutputOptions {
  // Server address such as "unix:/run/x/native"; empty for the default server.
  std::string server;
  // Authentication cookie file (created when missing); empty for the user's
  // usual one.
  std::string cookie_file;
  // Tick clock for the reconnect pause; null for platform::TickCount64.
  Clock* clock = nullptr;
  // Bound on every wait for the server.
  uint32_t wait_ms = 250;
  // Shortest pause between connection attempts after a failure or a loss.
  uint64_t reconnect_ms = 5000;
};

// The PulseAudio (or PipeWire pulse server) output. Never starts a server:
// without one it behaves as NullWaveOutput, trying again at most every
// reconnect_ms on a later Open or OutputDevices.
std::unique_ptr<WaveOutput> MakePulseWaveOutput(PulseWaveOutputOptions options = {});

}  // namespace platform
