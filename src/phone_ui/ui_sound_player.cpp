#include "phone_ui/ui_sound_player.h"

UiSoundPlayer& UiSoundPlayer::Instance() {
  static UiSoundPlayer player;
  return player;
}
