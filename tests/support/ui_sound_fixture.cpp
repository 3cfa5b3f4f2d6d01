#include "support/ui_sound_fixture.h"

#include <memory>

#include "phone_ui/ui_sound_player.h"
#include "phone_ui/ui_sound_test_hooks.h"

namespace quorix_test {

ScopedUiSounds::ScopedUiSounds(platform::Clock* clock) {
  for (size_t id = 0; id < kUiSoundCount; ++id) {
    WriteBytes(folder.path() / (std::string(kUiSoundNames[id]) + ".wav"),
               WaveFile(std::vector<int16_t>(id + 1, 100)));
  }
  auto fake = std::make_unique<FakeWaveOutput>();
  output = fake.get();
  ui_sound_test_hooks::SetProcessPlayerParts(std::move(fake), clock, folder.path());
}

ScopedUiSounds::~ScopedUiSounds() { ui_sound_test_hooks::SetProcessPlayerParts(nullptr, nullptr, folder.path()); }

std::vector<int> ScopedUiSounds::Written() const {
  std::vector<int> ids;
  for (const std::string& call : output->calls) {
    const size_t comma = call.find(',');
    if (call.starts_with("Write(") && comma != std::string::npos) ids.push_back(std::stoi(call.substr(comma + 1)) / 2 - 1);
  }
  return ids;
}

}  // namespace quorix_test
