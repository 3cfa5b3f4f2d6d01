#include "phone_ui/ui_sound_player.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "core/environment.h"
#include "platform/clock.h"
#include "phone_ui/ui_sound_test_hooks.h"

namespace {

constexpr uint64_t kTypingKeyIntervalMs = 60;
constexpr float kQuietGain = 0.35f;

uint32_t ReadU32(std::span<const uint8_t> bytes, uint64_t at) {
  return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
         uint32_t(bytes[at + 3]) << 24;
}

uint16_t ReadU16(std::span<const uint8_t> bytes, uint64_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

bool HasTag(std::span<const uint8_t> bytes, uint64_t at, const char (&tag)[5]) {
  return std::memcmp(bytes.data() + at, tag, 4) == 0;
}

// At most one byte more than a valid file may hold, so an oversized file is
// told apart without reading all of it.
std::vector<uint8_t> ReadSoundFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::vector<uint8_t> bytes(kUiSoundMaxFileSize + 1);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

}  // namespace

std::vector<uint8_t> ExtractUiSoundClip(std::span<const uint8_t> file) {
  if (file.size() < 44 || file.size() > kUiSoundMaxFileSize) return {};
  if (!HasTag(file, 0, "RIFF") || !HasTag(file, 8, "WAVE")) return {};
  bool format_ok = false;
  // Offsets and sizes are summed in 64 bits: a declared size near 4 GiB ends
  // the walk instead of wrapping around.
  uint64_t at = 12;
  while (at + 8 <= file.size()) {
    const uint64_t size = ReadU32(file, at + 4);
    const uint64_t body = at + 8;
    if (body + size > file.size()) break;
    if (HasTag(file, at, "fmt ")) {
      format_ok = size >= 16 && ReadU16(file, body) == 1 && ReadU16(file, body + 2) == 1 &&
                  ReadU32(file, body + 4) == 44100 && ReadU16(file, body + 14) == 16;
    } else if (HasTag(file, at, "data") && format_ok && size % 2 == 0) {
      return std::vector<uint8_t>(file.begin() + static_cast<ptrdiff_t>(body),
                                  file.begin() + static_cast<ptrdiff_t>(body + size));
    }
    at = body + size + (size & 1);
  }
  return {};
}

void ScaleUiSoundSamples(std::vector<uint8_t>& samples, int32_t volume, bool quiet) {
  float gain = static_cast<float>(std::min(volume, 100)) * 0.01f;
  if (quiet) gain *= kQuietGain;
  if (gain == 1.0f) return;
  for (size_t i = 0; i + 1 < samples.size(); i += 2) {
    const int16_t sample = static_cast<int16_t>(samples[i] | samples[i + 1] << 8);
    const auto scaled = static_cast<int16_t>(static_cast<float>(sample) * gain);
    const auto bits = static_cast<uint16_t>(scaled);
    samples[i] = static_cast<uint8_t>(bits & 0xFF);
    samples[i + 1] = static_cast<uint8_t>(bits >> 8);
  }
}

UiSoundPlayer::UiSoundPlayer(std::unique_ptr<platform::WaveOutput> output, platform::Clock* clock,
                             std::filesystem::path sounds_folder)
    : output_(output ? std::move(output) : std::make_unique<platform::NullWaveOutput>()),
      clock_(clock),
      sounds_folder_(std::move(sounds_folder)) {}

UiSoundPlayer::~UiSoundPlayer() {
  StopAll();
  // The output (and with it any connection to the sound server) goes after
  // the voices are closed.
  output_.reset();
}

// Parts the tests give the process player (ui_sound_test_hooks.h).
struct UiSoundPlayerTestAccess {
  static bool& created() {
    static bool value = false;
    return value;
  }
  static std::unique_ptr<platform::WaveOutput>& output() {
    static std::unique_ptr<platform::WaveOutput> value;
    return value;
  }
  static platform::Clock*& clock() {
    static platform::Clock* value = nullptr;
    return value;
  }
  static ui_sound_test_hooks::Observer& observer() {
    static ui_sound_test_hooks::Observer value;
    return value;
  }
  static void Notify(int32_t id, bool quiet, bool result) {
    if (observer()) observer()(id, quiet, result);
  }
  static std::filesystem::path& folder() {
    static std::filesystem::path value;
    return value;
  }

  static void Replace(UiSoundPlayer& player, std::unique_ptr<platform::WaveOutput> output, platform::Clock* clock,
                      std::filesystem::path folder) {
    player.StopAll();
    player.output_ = output ? std::move(output) : std::make_unique<platform::NullWaveOutput>();
    player.clock_ = clock;
    player.sounds_folder_ = std::move(folder);
    player.loaded = false;
  }
};

UiSoundPlayer& UiSoundPlayer::Instance() {
  using Access = UiSoundPlayerTestAccess;
  static UiSoundPlayer player(Access::output() ? std::move(Access::output()) : platform::MakePulseWaveOutput(),
                              Access::clock(),
                              Access::folder().empty() ? GetExecutableDirectory() / "sounds" : Access::folder());
  Access::created() = true;
  return player;
}

namespace ui_sound_test_hooks {

void SetProcessPlayerParts(std::unique_ptr<platform::WaveOutput> output, platform::Clock* clock,
                           std::filesystem::path sounds_folder) {
  using Access = UiSoundPlayerTestAccess;
  if (Access::created()) {
    Access::Replace(UiSoundPlayer::Instance(), std::move(output), clock, std::move(sounds_folder));
    return;
  }
  Access::output() = std::move(output);
  Access::clock() = clock;
  Access::folder() = std::move(sounds_folder);
}

void SetObserver(Observer observer) { UiSoundPlayerTestAccess::observer() = std::move(observer); }

}  // namespace ui_sound_test_hooks

void PlayUiSound(int32_t id, bool quiet) { UiSoundPlayer::Instance().Play(id, quiet); }

uint64_t UiSoundPlayer::NowMs() const { return clock_ != nullptr ? clock_->TickMs() : platform::TickCount64(); }

void UiSoundPlayer::FreeSlot(UiSoundVoice& voice) {
  voice.handle = platform::kNoWaveVoice;
  voice.samples.clear();
  voice.samples.shrink_to_fit();
  voice.header = {};
}

void UiSoundPlayer::StopAll() {
  UiSoundPlayerTestAccess::Notify(ui_sound_test_hooks::kStopAllId, false, true);
  for (UiSoundVoice& voice : voices) {
    if (voice.handle == platform::kNoWaveVoice) continue;
    output_->Reset(voice.handle);
    output_->Close(voice.handle);
    FreeSlot(voice);
  }
}

void UiSoundPlayer::ReleaseFinishedVoices() {
  UiSoundPlayerTestAccess::Notify(ui_sound_test_hooks::kReleaseFinishedId, false, true);
  for (UiSoundVoice& voice : voices) {
    if (voice.handle == platform::kNoWaveVoice || !output_->IsDone(voice.handle)) continue;
    output_->Close(voice.handle);
    FreeSlot(voice);
  }
}

std::vector<platform::WaveOutputDevice> UiSoundPlayer::OutputDevices() { return output_->OutputDevices(); }

void UiSoundPlayer::LoadClips() {
  if (loaded) return;
  loaded = true;
  for (size_t id = 0; id < kUiSoundCount; ++id) {
    const std::vector<uint8_t> file = ReadSoundFile(sounds_folder_ / (std::string(kUiSoundNames[id]) + ".wav"));
    clips[id] = ExtractUiSoundClip(file);
  }
}

bool UiSoundPlayer::Play(int32_t id, bool quiet) {
  const bool result = PlayClip(id, quiet);
  UiSoundPlayerTestAccess::Notify(id, quiet, result);
  return result;
}

bool UiSoundPlayer::PlayClip(int32_t id, bool quiet) {
  ++request_count;
  // A negative volume can only come from a broken caller; it mutes too.
  if (volume <= 0) {
    ++muted_count;
    return false;
  }
  if (!enabled) return false;
  ReleaseFinishedVoices();
  LoadClips();
  if (id < 0 || static_cast<size_t>(id) >= kUiSoundCount) return false;
  const std::vector<uint8_t>& clip = clips[static_cast<size_t>(id)];
  if (clip.empty()) return false;

  if (id == static_cast<int32_t>(UiSoundId::typing_key)) {
    const uint64_t now = NowMs();
    if (now >= last_typing_tick && now - last_typing_tick < kTypingKeyIntervalMs) return false;
    last_typing_tick = now;
  }

  auto slot = std::find_if(voices.begin(), voices.end(),
                           [](const UiSoundVoice& v) { return v.handle == platform::kNoWaveVoice; });
  if (slot == voices.end()) return false;

  std::vector<uint8_t> samples = clip;
  ScaleUiSoundSamples(samples, volume, quiet);
  slot->samples = std::move(samples);

  slot->handle = output_->Open(device_id);
  if (slot->handle == platform::kNoWaveVoice) {
    FreeSlot(*slot);
    return false;
  }
  slot->header.data = slot->samples.data();
  slot->header.length = slot->samples.size();
  if (!output_->Write(slot->handle, slot->header.data, slot->header.length)) {
    output_->Reset(slot->handle);
    output_->Close(slot->handle);
    FreeSlot(*slot);
    return false;
  }
  return true;
}
