#pragma once
// The desktop window's tests: the process's private X server with GTK
// started on it, a fixed work area (0, 0, 1920, 1040), the GLib source in a
// message pump, a scripted phone UI and an X driver. Waits pump GTK until
// the awaited state holds.
#include <gtest/gtest.h>

#include <functional>

#include "phone_ui/desktop_window.h"
#include "platform/message_pump.h"
#include "scripted_desktop_phone_ui.h"
#include "x_driver.h"

namespace quorix_test {

class DesktopFixture : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Pumps until `done` holds (a generous bound); its last answer.
  bool PumpUntil(const std::function<bool()>& done);
  // Pumps what is queued now, without waiting.
  void PumpPending();
  // The scripted UI's recorded calls of `name` reach `count`.
  bool WaitForCalls(const std::string& name, size_t count);
  // Creates desktop_ on the scripted UI and runs its first Update.
  void Open(bool hidden);

  platform::MessagePump pump_;
  ScriptedDesktopPhoneUi ui_;
  std::unique_ptr<XDriver> x_;
  std::unique_ptr<DesktopWindow> desktop_;
};

}  // namespace quorix_test
