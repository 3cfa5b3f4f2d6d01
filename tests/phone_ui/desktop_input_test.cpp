// Clicks, drags and the grip on the desktop panels, through XTest on the
// private X server, and the keyboard panel through its procedure.
#include <gtest/gtest.h>

#include "event_log_capture.h"
#include "phone_ui/desktop_window.h"
#include "platform/panel_window.h"
#include "support/desktop_fixture.h"

namespace {

using platform::WindowMessage;
using platform::WindowMessageType;

class DesktopInputTest : public quorix_test::DesktopFixture {
 protected:
  // A created, mapped desktop with its phone at (1410, 20), 486 × 864.
  void OpenMapped() {
    Open(false);
    const DesktopPanel& phone = desktop_->panel(0);
    ASSERT_TRUE(PumpUntil([&] {
      return x_->Viewable(phone.window->XWindowId()) &&
             x_->Geometry(phone.window->XWindowId()) == (std::array{1410, 20, 486, 864});
    }));
  }
};

TEST_F(DesktopInputTest, ClicksTapThePhoneAndTransparentCornersPassThrough) {
  quorix_test::EventLogCapture log;
  const unsigned long probe = x_->CreateProbeWindow(1400, 10, 30, 30);
  OpenMapped();
  // The card's rounded corner is transparent: the window underneath gets it.
  x_->Click(1411, 21);
  ASSERT_TRUE(PumpUntil([&] { return x_->ProbePresses(probe) == 1; }));
  x_->Click(1653, 452);
  ASSERT_TRUE(WaitForCalls("Tap", 1));
  const auto taps = ui_.CallsNamed("Tap");
  ASSERT_EQ(taps.size(), 1u);
  EXPECT_FLOAT_EQ(taps[0].x, 270.0f);
  EXPECT_FLOAT_EQ(taps[0].y, 480.0f);
  EXPECT_EQ(log.Count("UI3_DESKTOP_ACTION"), 1u);
  EXPECT_EQ(x_->ProbePresses(probe), 1);
}

TEST_F(DesktopInputTest, FiveDragPixelsStillTapAndSixMoveThePanel) {
  OpenMapped();
  DesktopPanel& phone = desktop_->panel(0);
  struct Case {
    int dx, dy;
    bool moves;
  } cases[] = {{3, 2, false}, {4, 2, true}, {-2, -4, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy);
    const int x = phone.x + 200, y = phone.y + 20;  // inside the top band
    const size_t taps = ui_.CallsNamed("Tap").size();
    const std::array<int32_t, 2> start{phone.x, phone.y};
    x_->Drag(x, y, x + c.dx, y + c.dy, 1);
    if (c.moves) {
      ASSERT_TRUE(PumpUntil([&] { return !phone.pressed && phone.x == start[0] + c.dx; }));
      EXPECT_EQ(phone.y, start[1] + c.dy);
      EXPECT_TRUE(phone.placed_by_user);
      EXPECT_EQ(ui_.CallsNamed("Tap").size(), taps);
      ASSERT_TRUE(PumpUntil([&] { return x_->Geometry(phone.window->XWindowId())[0] == phone.x; }));
    } else {
      ASSERT_TRUE(WaitForCalls("Tap", taps + 1));
      EXPECT_EQ((std::array{phone.x, phone.y}), start);
    }
  }
  // Below the band the phone never moves.
  const std::array<int32_t, 2> start{phone.x, phone.y};
  const size_t taps = ui_.CallsNamed("Tap").size();
  x_->Drag(phone.x + 200, phone.y + 400, phone.x + 300, phone.y + 500, 4);
  ASSERT_TRUE(WaitForCalls("Tap", taps + 1));
  EXPECT_EQ((std::array{phone.x, phone.y}), start);
}

TEST_F(DesktopInputTest, TheGripScalesEveryPanelByTheLargerMovement) {
  OpenMapped();
  const DesktopPanel& phone = desktop_->panel(0);
  const int grip_x = phone.x + phone.scaled_width - 5, grip_y = phone.y + phone.scaled_height - 5;
  // 54 pixels left, 20 up: the horizontal movement is the larger (54 / 540
  // against 20 / 960).
  x_->Drag(grip_x, grip_y, grip_x - 54, grip_y - 20, 3);
  ASSERT_TRUE(PumpUntil([&] { return !phone.pressed && std::abs(desktop_->scale() - 0.8f) < 1e-4f; }));
  EXPECT_EQ((std::array{phone.scaled_width, phone.scaled_height}), (std::array{432, 768}));
  EXPECT_EQ(desktop_->panel(3).scaled_height, 160);
  EXPECT_TRUE(ui_.CallsNamed("Tap").empty());
  ASSERT_TRUE(PumpUntil([&] { return x_->Geometry(phone.window->XWindowId())[2] == 432; }));
}

TEST_F(DesktopInputTest, APopupCloseCornerPressesWithoutOpeningThenShowsThePhone) {
  OpenMapped();
  desktop_->SetVisible(false);
  ui_.popup_items[1] = 42;
  desktop_->Update(false);
  const DesktopPanel& popup = desktop_->panel(3);
  ASSERT_TRUE(PumpUntil([&] { return x_->Viewable(popup.window->XWindowId()); }));
  struct Case {
    int phone_x, phone_y;
    bool open;
  } cases[] = {{500, 20, false}, {200, 150, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phone_x);
    const size_t before = ui_.CallsNamed("PressPopup").size();
    x_->Click(popup.x + static_cast<int>(c.phone_x * 0.9f), popup.y + static_cast<int>(c.phone_y * 0.9f));
    ASSERT_TRUE(WaitForCalls("PressPopup", before + 1));
    const auto press = ui_.CallsNamed("PressPopup").back();
    EXPECT_EQ(press.dx, 1);  // slot
    EXPECT_EQ(press.dy, c.open ? 1 : 0);
    EXPECT_TRUE(desktop_->visible);
    EXPECT_EQ(ui_.calls.back().name, "ClearShowDesktopRequest");
  }
}

TEST_F(DesktopInputTest, KeyboardPanelSwipesPastThirtyThreePhonePixels) {
  Open(true);
  DesktopPanel& keyboard = desktop_->panel(1);
  const auto send = [&](WindowMessageType type, float phone_x, float phone_y) {
    WindowMessage message;
    message.type = type;
    message.x = keyboard.x + static_cast<int32_t>(phone_x * 0.9f);
    message.y = keyboard.y + static_cast<int32_t>(phone_y * 0.9f);
    desktop_->PanelWindowProc(keyboard, message);
  };
  struct Case {
    float move;
    const char* call;
  } cases[] = {{40, "SwipeKeyboard"}, {10, "TapKeyboard"}, {-40, "SwipeKeyboard"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.move);
    ui_.calls.clear();
    send(WindowMessageType::kLeftButtonDown, 200, 200);
    send(WindowMessageType::kMouseMove, 200 + c.move, 200);
    send(WindowMessageType::kLeftButtonUp, 200 + c.move, 200);
    ASSERT_EQ(ui_.calls.size(), 1u);
    EXPECT_EQ(ui_.calls[0].name, c.call);
  }
  const auto swipe = ui_.CallsNamed("SwipeKeyboard");
  ASSERT_EQ(swipe.size(), 1u);
  EXPECT_EQ(swipe[0].dx, -40);
  EXPECT_EQ(swipe[0].dy, 0);
  // Nothing was mapped in hidden mode.
  EXPECT_FALSE(desktop_->panel(0).window->IsMapped());
}

TEST_F(DesktopInputTest, TheWindowShowsTheScaledSurface) {
  OpenMapped();
  DesktopPanel& popup = desktop_->panel(2);
  std::vector<uint8_t> frame(540u * 300 * 4);
  for (size_t i = 0; i < frame.size(); i += 4) {
    const size_t pixel = i / 4;
    frame[i] = static_cast<uint8_t>(pixel % 540 / 3);
    frame[i + 1] = static_cast<uint8_t>(pixel / 540);
    frame[i + 2] = 90;
    frame[i + 3] = 255;
  }
  ASSERT_TRUE(popup.Present(frame, {4, 4, 4}));
  ui_.popup_items[0] = 1;
  desktop_->Update(false);
  std::vector<uint32_t> expected;
  for (size_t i = 0; i < popup.scaled_bits.size(); i += 4) {
    expected.push_back(uint32_t{popup.scaled_bits[i + 2]} << 16 | uint32_t{popup.scaled_bits[i + 1]} << 8 |
                       popup.scaled_bits[i]);
  }
  ASSERT_EQ(expected.size(), 486u * 270);
  EXPECT_TRUE(PumpUntil([&] { return x_->Pixels(popup.window->XWindowId()) == expected; }));
}

}  // namespace
