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

  bool Create(bool hidden);
  void Update(bool force);
  void SetVisible(bool visible);
  // The "show" action of another instance's request.
  void HandleShowMessage();

  bool quit = false;
  bool visible = true;

 private:
  PhoneUi* ui_;
  bool hidden_mode_ = false;
  bool needs_update_ = true;
};
