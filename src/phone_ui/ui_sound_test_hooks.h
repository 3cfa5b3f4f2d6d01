#pragma once
// For tests only: what the process's UI sound player is built with. Called
// before the player's first use, the player is made from these parts; called
// later, the playing voices are stopped and the player's output, clock and
// sounds folder are replaced (its clips are loaded again on the next play).
// Main thread only, like the player.
#include <cstdint>
#include <filesystem>
#include <functional>
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

// What the process's player was asked: every Play with its id, quiet flag
// and result, and every StopAll (id kStopAllId) and ReleaseFinishedVoices
// (id kReleaseFinishedId), both with quiet false and result true. An empty
// observer (the default) is inert.
inline constexpr int32_t kStopAllId = -1;
inline constexpr int32_t kReleaseFinishedId = -2;
using Observer = std::function<void(int32_t id, bool quiet, bool result)>;
void SetObserver(Observer observer);

}  // namespace ui_sound_test_hooks
