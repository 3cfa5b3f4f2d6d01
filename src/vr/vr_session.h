#pragma once
// The VR session: overlays, input actions and the per-frame driver.
//
// No VR runtime is bound yet, so initialisation always fails and the program
// goes on without VR.
#include <cstdint>
#include <filesystem>
#include <memory>

#include "core/ui_settings.h"
#include "phone_ui/phone_ui.h"

class VrSession {
 public:
  static std::unique_ptr<VrSession> Create();
  ~VrSession() = default;
  VrSession(const VrSession&) = delete;
  VrSession& operator=(const VrSession&) = delete;

  // Connects to the runtime and creates the overlays; false when it cannot.
  bool Init(UiSettings& settings, const std::filesystem::path& assets_dir);
  // One VR frame; false when the runtime was lost.
  bool Frame(PhoneUi& ui, UiSettings& settings, uint8_t* phone_shown, bool ui_changed);
  void LogStats();

  // Written by the main loop.
  uint64_t frame_count = 0;
  double longest_loop_ms = 0.0;

 private:
  VrSession() = default;
  bool initialized_ = false;
};

// Shuts the VR runtime client down; harmless when it was never started.
void ShutdownVrRuntime();

// The process id of the running VR server ("vrserver"), 0 when none runs.
uint32_t FindVrServerProcess();
