// Ctrl+P, the tray icon and its menu, on the private X server with a tray of
// the test's own.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>

#include "event_log_capture.h"
#include "phone_ui/desktop_window.h"
#include "platform/message_box.h"
#include "platform/panel_window.h"
#include "platform/tray_icon.h"
#include "support/desktop_fixture.h"
#include "support/tray_host.h"

namespace {

using platform::WindowMessage;
using platform::WindowMessageType;

class DesktopHotkeyTrayTest : public quorix_test::DesktopFixture {
 protected:
  void SetUp() override {
    DesktopFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    platform::SetMessageBoxFormHandler(
        [this](platform::WindowHandle owner, std::u16string_view text, std::u16string_view caption, uint32_t) {
          boxes_.push_back({owner, std::u16string(text), std::u16string(caption)});
          return platform::kMessageBoxAnswerOk;
        });
  }
  void TearDown() override {
    tray_.reset();
    platform::SetMessageBoxFormHandler({});
    DesktopFixture::TearDown();
  }
  // Ctrl+P, then the main loop's pass, until visibility is `visible`.
  bool PressCtrlP(bool visible) {
    x_->Chord({XK_Control_L, XK_p});
    return PumpUntil([&] {
      desktop_->Update(false);
      return desktop_->visible == visible;
    });
  }

  struct Box {
    platform::WindowHandle owner;
    std::u16string text;
    std::u16string caption;
  };
  std::vector<Box> boxes_;
  std::unique_ptr<quorix_test::TrayHost> tray_;
};

TEST_F(DesktopHotkeyTrayTest, CtrlPHidesAndShowsAlsoWithNumLockAndOnceWhenHeld) {
  Open(false);
  ASSERT_TRUE(desktop_->hotkey_registered());
  const DesktopPanel& phone = desktop_->panel(0);
  ASSERT_TRUE(PumpUntil([&] { return x_->Viewable(phone.window->XWindowId()); }));
  ASSERT_TRUE(PressCtrlP(false));
  ASSERT_TRUE(PumpUntil([&] { return !x_->Viewable(phone.window->XWindowId()); }));
  ASSERT_TRUE(PressCtrlP(true));
  ASSERT_TRUE(PumpUntil([&] { return x_->Viewable(phone.window->XWindowId()); }));
  x_->Chord({XK_Num_Lock});
  ASSERT_TRUE(PressCtrlP(false));
  x_->Chord({XK_Num_Lock});
  // Held past the server's auto-repeat delay (660 ms, then 25 a second):
  // one toggle. A later Ctrl+P shows that nothing else was pending.
  quorix_test::EventLogCapture log;
  x_->Key(XK_Control_L, true);
  x_->Key(XK_p, true);
  ASSERT_TRUE(PumpUntil([&] { return desktop_->visible; }));
  const auto held_until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  PumpUntil([&] { return std::chrono::steady_clock::now() > held_until; });
  x_->Key(XK_p, false);
  x_->Key(XK_Control_L, false);
  ASSERT_TRUE(PressCtrlP(false));
  EXPECT_EQ(log.Count("UI3_DESKTOP_VISIBLE"), 2u);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(DesktopHotkeyTrayTest, ATakenHotkeyShowsOneBoxAndTheTrayStillDocks) {
  quorix_test::EventLogCapture log;
  tray_ = std::make_unique<quorix_test::TrayHost>();
  ASSERT_TRUE(tray_->ok());
  quorix_test::XDriver other;
  other.GrabCtrlP();
  Open(false);
  EXPECT_FALSE(desktop_->hotkey_registered());
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].text, u"Ctrl+P is already in use. Quorix can still be opened from its tray icon.");
  EXPECT_EQ(boxes_[0].caption, u"Quorix");
  EXPECT_EQ(boxes_[0].owner, desktop_->panel(0).window->XWindowId());
  const auto unavailable = log.Events("UI3_HOTKEY_UNAVAILABLE");
  ASSERT_EQ(unavailable.size(), 1u);
  EXPECT_EQ(unavailable[0].n, 1u);
  EXPECT_EQ(unavailable[0].code, 0u);
  ASSERT_NE(desktop_->tray_icon(), nullptr);
  EXPECT_TRUE(PumpUntil([&] { return tray_->docked() == 1 && desktop_->tray_icon()->IsEmbedded(); }));
}

TEST_F(DesktopHotkeyTrayTest, TrayMessagesShowToggleAndExit) {
  Open(false);
  DesktopPanel& phone = desktop_->panel(0);
  WindowMessage message;
  desktop_->SetVisible(false);
  message.type = WindowMessageType::kTrayLeftClick;
  desktop_->PanelWindowProc(phone, message);
  EXPECT_TRUE(desktop_->visible);
  // A right click on the phone opens the menu at the pointer; its last item
  // (Exit) is chosen with the keyboard.
  ASSERT_TRUE(PumpUntil([&] {
    desktop_->Update(false);
    return x_->Viewable(phone.window->XWindowId());
  }));
  x_->Click(phone.x + 243, phone.y + 432, 3);
  ASSERT_TRUE(PumpUntil([&] { return platform::PopupMenuOpen(); }));
  ASSERT_TRUE(PumpUntil([&] {
    x_->Chord({XK_Up});
    x_->Chord({XK_Return});
    return desktop_->quit;
  }));
  message.type = WindowMessageType::kClose;
  desktop_->PanelWindowProc(phone, message);
  EXPECT_TRUE(desktop_->quit);
}

TEST_F(DesktopHotkeyTrayTest, HiddenModeMapsGrabsAndDocksNothing) {
  tray_ = std::make_unique<quorix_test::TrayHost>();
  ASSERT_TRUE(tray_->ok());
  Open(true);
  ui_.popup_items[0] = 9;
  desktop_->HandleShowMessage();
  desktop_->Update(true);
  PumpPending();
  EXPECT_FALSE(desktop_->hotkey_registered());
  EXPECT_EQ(desktop_->tray_icon(), nullptr);
  EXPECT_EQ(tray_->docked(), 0);
  for (size_t kind = 0; kind < 7; ++kind) EXPECT_FALSE(x_->Viewable(desktop_->panel(kind).window->XWindowId()));
  EXPECT_FALSE(x_->Viewable(desktop_->input_window()->XWindowId()));
  EXPECT_GT(desktop_->present_counter(), 0u);
}

}  // namespace
