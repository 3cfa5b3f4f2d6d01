#pragma once
// For tests only: what the process's UI sound player is built with. Called
// before the player's first use, the player is made from these parts; called
// later, the playing voices are stopped and the player's output, clock and
// sounds folder are replaced (its clips are loaded again on the next play).
// Main thread only, like the player.
#include <filesystem>
#include <memory>

#include "platform/wave_output.h"

namespace platform {
class Clock;
}

namespace ui_sound_test_hooks {

// `clock` null means the process tick clock; the caller keeps it alive while
// the player may use it.
void SetProcessPlayerParts(std::unique_ptr<platform::WaveOutput> output, platform::Clock* clock,
                           std::filesystem::path sounds_folder);

}  // namespace ui_sound_test_hooks
