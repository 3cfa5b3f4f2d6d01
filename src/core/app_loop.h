#pragma once
// The start-up stages, the main loop and the shutdown of a normal run.
//
// The long-lived objects (call session, service connection, media client,
// gateway, session owner, settings, phone UI, desktop window, VR session)
// live behind `AppHost`, which the program binds to the real subsystems and
// tests to recording fakes. The order of everything is decided here.
#include <cstdint>
#include <filesystem>

#include "core/browser_audio_status.h"
#include "core/environment.h"

namespace platform {
class Clock;
class MessagePump;
}  // namespace platform

class AppHost {
 public:
  virtual ~AppHost() = default;

  // Stage "BOOTSTRAP": hands the route guard its status file and starts it.
  virtual void StartBrowserAudioGuard(const std::filesystem::path& status_file) = 0;
  // Stage "SESSION": call session, service connection, media client and
  // gateway, the gateway attached, the session owner built and created.
  // False when the session owner could not be created.
  virtual bool BuildSession() = 0;
  // Stage "SETTINGS": the settings record built and loaded from the default place.
  virtual bool BuildSettings() = 0;
  // The phone UI built, attached, initialised and given its settings; the
  // owner's busy check installed.
  virtual void BuildPhoneUi() = 0;
  // Stage "DESKTOP": the desktop window created (not hidden).
  virtual bool CreateDesktop() = 0;

  // Per pass.
  virtual bool DesktopQuitRequested() = 0;
  virtual bool OwnerWindowGone() = 0;
  virtual void HandleShowMessage() = 0;
  virtual void PumpGateway() = 0;
  virtual void TickOwner() = 0;
  virtual void TickPhoneUi() = 0;
  virtual bool TakePhoneDirty() = 0;
  virtual void FeedBrowserAudio(const BrowserRouteEnvironment& route) = 0;
  virtual bool VrServerRunning() = 0;
  // Creates and initialises a VR session; on failure nothing is kept.
  virtual bool ConnectVr(const std::filesystem::path& assets_dir) = 0;
  virtual bool HasVrSession() = 0;
  // Destroys the VR session (if any) and shuts the VR runtime down.
  virtual void DisconnectVr() = 0;
  virtual void ClearShowPhoneRequest() = 0;
  virtual void UpdateDesktop(bool force) = 0;
  // One VR frame; false when the runtime was lost.
  virtual bool VrFrame(uint8_t* phone_shown, bool redraw) = 0;
  virtual void LogVrStats() = 0;
  // The phone UI's show-desktop request, else its show request from VR; both read and cleared.
  virtual bool TakeShowRequest() = 0;
  virtual void ShowDesktop() = 0;
  // The phone UI's dirty flag and its desktop repaint request, read and cleared.
  virtual bool TakeRepaintRequest() = 0;
  virtual void RecordVrPass(double pass_ms) = 0;

  // Normal shutdown.
  virtual void DestroyDesktop() = 0;
  // Clears the busy check, then closes the session owner.
  virtual void CloseOwner() = 0;
  virtual void StopService() = 0;
  virtual void StopSounds() = 0;
  // Destroys what is left, in reverse order of construction, the busy check
  // cleared first. Safe after a failure at any point.
  virtual void DestroyObjects() noexcept = 0;

  // Browser-audio clean-up, also after a failure.
  virtual bool ShutdownBrowserAudio(uint32_t milliseconds, BrowserAudioRouteStatus* status) = 0;
  virtual bool WaitForBrowserWorkerThreads(uint32_t milliseconds) = 0;
  virtual bool BrowserShutdownWait(uint32_t milliseconds) = 0;
};

struct AppLoopTiming {
  uint64_t vr_retry_ms = 2500;
  uint64_t vr_stats_ms = 15000;
  int wait_ms = 11;
};

// Runs the stages, the loop and the shutdown; returns 0 after a normal run
// and 1 after a failure (recorded, shown and cleaned up).
int RunApplication(AppHost& host, platform::MessagePump& pump, const std::filesystem::path& executable_path,
                   platform::Clock& clock, const AppLoopTiming& timing = {});
