#pragma once
// The browser audio route guard: routes the browser's audio to the chosen
// device and volume and restores the user's settings afterwards.
//
// No routing is done on this platform. The client keeps what it is given;
// no guard process is started and so no restore is ever confirmed.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>

#include "core/browser_audio_status.h"

class BrowserAudioGuard {
 public:
  static BrowserAudioGuard& Instance();

  void SetStatusFilePath(const std::filesystem::path& path);
  void Start();
  void SetVolumePercent(uint32_t percent);
  void SetTargetEndpoint(const std::u16string& render_endpoint_id, uint64_t output_generation, bool valid);
  // Stops the guard, waiting up to `milliseconds`; true when the restore was confirmed.
  bool ShutdownAndWait(uint32_t milliseconds);
  void GetStatus(BrowserAudioRouteStatus* out);

  // What it was given, for inspection.
  struct Received {
    std::filesystem::path status_file_path;
    bool start_requested = false;
    uint32_t volume_percent = 100;
    std::u16string target_endpoint;
    uint64_t target_generation = 0;
    bool target_valid = false;
  };
  Received received() const;

 private:
  BrowserAudioGuard() = default;
  mutable std::mutex mutex_;
  Received received_;
  BrowserAudioRouteStatus status_;
};

// Runs the guard child ("--ui40-browser-audio-guard") or the recovery
// ("--ui40-browser-audio-recover") mode; negative when argument 1 is neither.
int RunBrowserAudioGuardMode(int argc, std::span<const std::u16string> argv);

namespace quorix_browser_audio {
// Raised while an audio-session observer thread runs.
extern std::atomic<uint32_t> observer_threads;
}  // namespace quorix_browser_audio

// Polls the observer thread counter every 1 ms up to `milliseconds`; true when none is left.
bool WaitForAudioObserverThreads(uint32_t milliseconds);

// The input injector's workers, then (only when they finished) the audio
// observer threads, each up to `milliseconds`; true when both finished.
bool WaitForBrowserWorkerThreads(uint32_t milliseconds);
