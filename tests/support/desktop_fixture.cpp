#include "desktop_fixture.h"

#include <gtk/gtk.h>

#include <chrono>

#include "platform/gui.h"
#include "platform/panel_window.h"
#include "private_x_server.h"
#include "test_util.h"

namespace quorix_test {

void DesktopFixture::SetUp() {
  PrivateXServer& server = SharedPrivateXServer();
  if (!server.running()) GTEST_SKIP() << "no private X server: " << server.failure();
  ASSERT_TRUE(platform::StartGui());
  // The input method every test sees: GTK's own, with Ctrl+Shift+U.
  g_object_set(gtk_settings_get_default(), "gtk-im-module", "gtk-im-context-simple", nullptr);
  platform::SetWorkAreaForTesting({0, 0, 1920, 1040});
  pump_.SetPollSource(platform::GuiPollSource());
  x_ = std::make_unique<XDriver>();
  ASSERT_TRUE(x_->ok());
}

void DesktopFixture::TearDown() {
  desktop_.reset();
  PumpPending();
  platform::SetWorkAreaForTesting({});
  pump_.SetPollSource(nullptr);
}

bool DesktopFixture::PumpUntil(const std::function<bool()>& done) {
  return WaitFor(
      [&] {
        pump_.Wait(20);
        pump_.Drain([](const platform::PumpMessage&) {});
        return done();
      },
      std::chrono::seconds(30));
}

void DesktopFixture::PumpPending() {
  for (int i = 0; i < 4; ++i) {
    pump_.Wait(0);
    pump_.Drain([](const platform::PumpMessage&) {});
  }
}

void DesktopFixture::Open(bool hidden) {
  desktop_ = std::make_unique<DesktopWindow>(&ui_);
  ASSERT_TRUE(desktop_->Create(hidden));
  desktop_->Update(true);
}

bool DesktopFixture::WaitForCalls(const std::string& name, size_t count) {
  return PumpUntil([&] { return ui_.CallsNamed(name).size() >= count; });
}

}  // namespace quorix_test
