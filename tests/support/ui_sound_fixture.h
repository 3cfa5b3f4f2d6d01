#pragma once
// The process's UI sound player on a recording output for one test: a sounds
// folder whose clip of sound id k holds k + 1 samples (2k + 2 bytes), so each
// recorded write names its sound. The player's parts go back to the process
// defaults when this ends.
#include "platform/clock.h"
#include "support/fake_wave_output.h"
#include "support/wave_files.h"

namespace quorix_test {

class ScopedUiSounds {
 public:
  explicit ScopedUiSounds(platform::Clock* clock);
  ~ScopedUiSounds();
  ScopedUiSounds(const ScopedUiSounds&) = delete;
  ScopedUiSounds& operator=(const ScopedUiSounds&) = delete;

  // The sound ids of the recorded writes, in order.
  std::vector<int> Written() const;

  ScratchDir folder;
  FakeWaveOutput* output;  // owned by the player
};

}  // namespace quorix_test
