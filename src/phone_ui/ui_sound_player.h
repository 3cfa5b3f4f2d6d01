#pragma once
// The phone's short sound effects. One process-wide player opens one output
// stream per sound (at most four at once, no mixing) and polls for their end.
// Main thread only.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wave_output.h"

namespace platform {
class Clock;
}

// The id is also the index of the clip.
enum class UiSoundId : int32_t {
  call_incoming = 0,
  call_outgoing = 1,
  call_connected = 2,
  call_ended = 3,
  message_received = 4,
  message_sent = 5,
  mute_on = 6,
  mute_off = 7,
  error = 8,
  ui_tap = 9,
  typing_key = 10,
};

inline constexpr size_t kUiSoundCount = 11;
inline constexpr size_t kUiSoundVoiceCount = 4;

// File names (without ".wav") in the "sounds" folder, by id.
inline constexpr std::array<std::string_view, kUiSoundCount> kUiSoundNames = {
    "call_incoming", "call_outgoing", "call_connected", "call_ended", "message_received", "message_sent",
    "mute_on",       "mute_off",      "error",          "ui_tap",     "typing_key"};

// Sound files are at most this long.
inline constexpr size_t kUiSoundMaxFileSize = 200000;

struct UiSoundHeader {
  const uint8_t* data = nullptr;
  size_t length = 0;
};

struct UiSoundVoice {
  platform::WaveVoice handle = platform::kNoWaveVoice;  // kNoWaveVoice: the slot is free
  UiSoundHeader header;
  std::vector<uint8_t> samples;  // the scaled copy the header points into
};

class UiSoundPlayer {
 public:
  // `clock` null means the process tick clock.
  UiSoundPlayer(std::unique_ptr<platform::WaveOutput> output, platform::Clock* clock,
                std::filesystem::path sounds_folder);
  ~UiSoundPlayer();
  UiSoundPlayer(const UiSoundPlayer&) = delete;
  UiSoundPlayer& operator=(const UiSoundPlayer&) = delete;

  // The process's player: the system's sound server, the tick clock and the
  // "sounds" folder beside the executable. Created on the first call, which
  // must be on the main thread after the termination signals are blocked.
  static UiSoundPlayer& Instance();

  // True when a stream was started.
  bool Play(int32_t id, bool quiet);
  void StopAll();
  void ReleaseFinishedVoices();
  // Loads the eleven clips once; a failed load is not retried.
  void LoadClips();
  // The device list of the output, in device-number order.
  std::vector<platform::WaveOutputDevice> OutputDevices();
  // New voices open on the first output device whose name (1 to 32767 UTF-16
  // units) equals `render_id` without regard to ASCII case, else on the
  // default output; a change stops the playing sounds first.
  void SelectOutputEndpoint(const std::u16string& render_id);

  std::array<std::vector<uint8_t>, kUiSoundCount> clips;
  std::array<UiSoundVoice, kUiSoundVoiceCount> voices;
  int32_t device_id = platform::kDefaultWaveDevice;  // new voices open here
  bool loaded = false;
  bool enabled = true;
  uint64_t last_typing_tick = 0;
  int32_t volume = 100;  // percent; 0 mutes
  uint64_t request_count = 0;
  uint64_t muted_count = 0;

 private:
  friend struct UiSoundPlayerTestAccess;
  bool PlayClip(int32_t id, bool quiet);
  void FreeSlot(UiSoundVoice& voice);
  uint64_t NowMs() const;

  std::unique_ptr<platform::WaveOutput> output_;
  platform::Clock* clock_;
  std::filesystem::path sounds_folder_;
};

// Plays a sound through the process's player; the result is dropped.
void PlayUiSound(int32_t id, bool quiet);

// The samples of a sound file: the first even-sized "data" chunk that
// follows a "fmt " chunk of 16-bit mono 44,100 Hz PCM. Empty when the file
// is not such a RIFF/WAVE file of 44 to 200,000 bytes.
std::vector<uint8_t> ExtractUiSoundClip(std::span<const uint8_t> file);

// Multiplies every 16-bit sample by the gain of `volume` (percent, at most
// 100 counts) and `quiet` (0.35), truncating toward zero; a gain of exactly
// 1.0 leaves the bytes as they are, an odd trailing byte is kept.
void ScaleUiSoundSamples(std::vector<uint8_t>& samples, int32_t volume, bool quiet);
