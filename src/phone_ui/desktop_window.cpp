#include "phone_ui/desktop_window.h"

#include "core/event_log.h"

bool DesktopWindow::Create(bool hidden) {
  hidden_mode_ = hidden;
  return true;
}

void DesktopWindow::Update(bool force) {
  if (!force && !needs_update_) return;
  needs_update_ = false;
  if (ui_ != nullptr) ui_->desktop_position_reset_request = 0;
}

void DesktopWindow::SetVisible(bool value) {
  if (value == visible) return;
  visible = value;
  needs_update_ = true;
  WriteEventLog("UI3_DESKTOP_VISIBLE", value ? 1 : 0, 0);
}

void DesktopWindow::HandleShowMessage() {
  if (!visible) {
    visible = true;
    needs_update_ = true;
    WriteEventLog("UI3_DESKTOP_VISIBLE", 1, 0);
  }
}
