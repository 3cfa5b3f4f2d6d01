// Which output the UI sounds play on: the call audio speaker when the sound
// output has a device of that name.
#include "core/text.h"
#include "phone_ui/ui_sound_player.h"

namespace {

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool EqualsIgnoringAsciiCase(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace

void UiSoundPlayer::SelectOutputEndpoint(const std::u16string& render_id) {
  int32_t target = platform::kDefaultWaveDevice;
  for (const platform::WaveOutputDevice& device : OutputDevices()) {
    const std::u16string name = Utf8ToWideStrict(device.name);
    if (name.empty() || name.size() > 32767) continue;
    if (EqualsIgnoringAsciiCase(name, render_id)) {
      target = device.id;
      break;
    }
  }
  if (target == device_id) return;
  StopAll();
  device_id = target;
}
