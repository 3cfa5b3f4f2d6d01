#pragma once
// The desktop mirror of the phone. Until the window toolkit is wired it has
// no window on screen: it keeps its visible flag and answers show requests.
#include "phone_ui/phone_ui.h"

class DesktopWindow {
 public:
  explicit DesktopWindow(PhoneUi* ui) : ui_(ui) {}
  ~DesktopWindow() = default;
  DesktopWindow(const DesktopWindow&) = delete;
  DesktopWindow& operator=(const DesktopWindow&) = delete;

  // Placeholder: no window is made yet. It returns true only because the
  // start-up requires it (false would end the program), not because a window
  // exists; STARTUP.safe.json's "desktop_initialized" is this answer.
  bool Create(bool hidden);
  void Update(bool force);
  void SetVisible(bool visible);
  // The "show" action of another instance's request.
  void HandleShowMessage();

  bool quit = false;
  bool visible = true;

 private:
  PhoneUi* ui_;
  // Create's argument; stored for the real window, whose hotkey, tray icon and
  // showing depend on it. Nothing reads it yet.
  bool hidden_mode_ = false;
  bool needs_update_ = true;
};
