#pragma once
// The process-wide UI sound player.
class UiSoundPlayer {
 public:
  static UiSoundPlayer& Instance();
  // Stops every playing voice.
  void StopAll() {}
};
