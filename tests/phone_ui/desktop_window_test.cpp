// The desktop panels on a private X server.
#include "phone_ui/desktop_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/gui.h"
#include "platform/message_pump.h"
#include "platform/panel_window.h"
#include "support/phone_fixture.h"
#include "private_x_server.h"
// Last: Xlib's macros (None, Status) would clash with the headers above.
#include <gdk/gdkx.h>

namespace {

class DesktopWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    quorix_test::PrivateXServer& server = quorix_test::SharedPrivateXServer();
    if (!server.running()) GTEST_SKIP() << "no private X server: " << server.failure();
    ASSERT_TRUE(platform::StartGui());
    platform::SetWorkAreaForTesting({0, 0, 1920, 1040});
    pump_.SetPollSource(platform::GuiPollSource());
  }
  void TearDown() override {
    platform::SetWorkAreaForTesting({});
    pump_.SetPollSource(nullptr);
  }

  template <typename Done>
  bool PumpUntil(Done done) {
    for (int pass = 0; pass < 20000 && !done(); ++pass) {
      pump_.Wait(100);
      pump_.Drain([](const platform::PumpMessage&) {});
    }
    return done();
  }

  // Where the X server has the window, and whether it is viewable.
  static std::array<int, 4> XGeometry(unsigned long xid) {
    Display* x = gdk_x11_get_default_xdisplay();
    XWindowAttributes attributes{};
    XGetWindowAttributes(x, xid, &attributes);
    int root_x = 0, root_y = 0;
    ::Window child = 0;
    XTranslateCoordinates(x, xid, DefaultRootWindow(x), 0, 0, &root_x, &root_y, &child);
    return {root_x, root_y, attributes.width, attributes.height};
  }

  platform::MessagePump pump_;
  quorix_test::PhoneFixture phone_;
};

TEST_F(DesktopWindowTest, CreatePlacesThePanelsAndScaleFollowsItsLimits) {
  DesktopWindow desktop(&phone_.ui);
  ASSERT_TRUE(desktop.Create(true));
  EXPECT_FLOAT_EQ(desktop.scale(), 0.9f);
  const DesktopPanel& phone = desktop.panel(0);
  EXPECT_EQ((std::array{phone.x, phone.y, phone.scaled_width, phone.scaled_height}), (std::array{1410, 20, 486, 864}));
  EXPECT_EQ(desktop.panel(1).y, 892);
  EXPECT_EQ(desktop.panel(2).x, 906);
  EXPECT_EQ(desktop.panel(2).y, 175);
  EXPECT_EQ(desktop.panel(6).y, 0);

  platform::SetWorkAreaForTesting({0, 0, 1920, 1080});
  struct Case {
    float requested;
    bool result;
    float scale;
    int phone_width, phone_height;
  } cases[] = {
      {5.0f, true, 1064.0f / 960.0f, 599, 1064},
      {1064.0f / 960.0f + 0.0005f, true, 1064.0f / 960.0f, 599, 1064},  // below 0.001: nothing
      {0.1f, true, 0.4f, 216, 384},
      {std::numeric_limits<float>::quiet_NaN(), false, 0.4f, 216, 384},
      {std::numeric_limits<float>::infinity(), false, 0.4f, 216, 384},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.requested);
    EXPECT_EQ(desktop.SetScale(c.requested), c.result);
    EXPECT_FLOAT_EQ(desktop.scale(), c.scale);
    EXPECT_EQ(phone.scaled_width, c.phone_width);
    EXPECT_EQ(phone.scaled_height, c.phone_height);
  }
}

TEST_F(DesktopWindowTest, PresentDrawsAChangedFrameOnceAndRefusesAWrongSize) {
  DesktopWindow desktop(&phone_.ui);
  ASSERT_TRUE(desktop.Create(true));
  DesktopPanel& popup = const_cast<DesktopPanel&>(desktop.panel(3));
  std::vector<uint8_t> frame(540u * 200 * 4, 200);
  const uint64_t before = desktop.present_counter();
  EXPECT_TRUE(popup.Present(frame, {1, 2, 3}));
  EXPECT_TRUE(popup.Present(frame, {1, 2, 3}));
  EXPECT_EQ(desktop.present_counter(), before + 1);
  EXPECT_TRUE(popup.Present(frame, {1, 2, 4}));  // same pixels, new identity
  EXPECT_EQ(desktop.present_counter(), before + 2);
  frame.pop_back();
  EXPECT_FALSE(popup.Present(frame, {1, 2, 5}));
  EXPECT_EQ(desktop.present_counter(), before + 2);
}

TEST_F(DesktopWindowTest, UpdateMapsThePhoneAtItsPlaceUnlessHidden) {
  for (bool hidden : {true, false}) {
    SCOPED_TRACE(hidden);
    DesktopWindow desktop(&phone_.ui);
    ASSERT_TRUE(desktop.Create(hidden));
    desktop.Update(true);
    const DesktopPanel& phone = desktop.panel(0);
    ASSERT_FALSE(phone.last_frame.empty());
    if (hidden) {
      pump_.Drain([](const platform::PumpMessage&) {});
      EXPECT_FALSE(phone.window->IsMapped());
      continue;
    }
    const std::array<int, 4> place{1410, 20, 486, 864};
    ASSERT_TRUE(PumpUntil([&] { return phone.window->IsMapped() && XGeometry(phone.window->XWindowId()) == place; }));
    desktop.SetVisible(false);
    desktop.Update(false);
    EXPECT_TRUE(PumpUntil([&] { return !phone.window->IsMapped(); }));
  }
}

}  // namespace
