#include "browser_audio/audio_guard.h"

#include <algorithm>
#include <cstdio>

#include "browser/browser_waits.h"
#include "core/poll_wait.h"

namespace quorix_browser_audio {
std::atomic<uint32_t> observer_threads{0};
}  // namespace quorix_browser_audio

BrowserAudioGuard& BrowserAudioGuard::Instance() {
  static BrowserAudioGuard* const guard = new BrowserAudioGuard();  // used until the very end of main
  return *guard;
}

void BrowserAudioGuard::SetStatusFilePath(const std::filesystem::path& path) {
  std::lock_guard lock(mutex_);
  received_.status_file_path = path;
}

void BrowserAudioGuard::Start() {
  std::lock_guard lock(mutex_);
  received_.start_requested = true;
}

void BrowserAudioGuard::SetVolumePercent(uint32_t percent) {
  std::lock_guard lock(mutex_);
  received_.volume_percent = std::min<uint32_t>(percent, 200);
  // With no guard process the queued gain is the last state there is.
  status_.volume_gain = received_.volume_percent;
}

void BrowserAudioGuard::SetTargetEndpoint(const std::u16string& id, uint64_t generation, bool valid) {
  std::lock_guard lock(mutex_);
  received_.target_endpoint = id;
  received_.target_generation = generation;
  received_.target_valid = valid;
}

bool BrowserAudioGuard::ShutdownAndWait(uint32_t) {
  std::lock_guard lock(mutex_);
  received_.start_requested = false;
  return false;
}

void BrowserAudioGuard::GetStatus(BrowserAudioRouteStatus* out) {
  if (out == nullptr) return;
  std::lock_guard lock(mutex_);
  *out = status_;
}

BrowserAudioGuard::Received BrowserAudioGuard::received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

int RunBrowserAudioGuardMode(int argc, std::span<const std::u16string> argv) {
  if (argc < 2 || argv.size() < 2) return -1;
  const std::u16string& option = argv[1];
  if (option != u"--ui40-browser-audio-guard" && option != u"--ui40-browser-audio-recover") return -1;
  std::fputs("browser audio routing is not available in this build\n", stdout);
  std::fflush(stdout);
  return 1;
}

bool WaitForAudioObserverThreads(uint32_t milliseconds) {
  return PollUntil(milliseconds, std::chrono::milliseconds(1),
                   [] { return quorix_browser_audio::observer_threads.load() == 0; });
}

bool WaitForBrowserWorkerThreads(uint32_t milliseconds) {
  if (!WaitForInputWorkerThreads(milliseconds)) return false;
  return WaitForAudioObserverThreads(milliseconds);
}
