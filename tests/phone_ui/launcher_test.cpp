#include "phone_ui/launcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "phone_ui/app_lifecycle.h"
#include "phone_ui/phone_ui.h"
#include "platform/clock.h"
#include "support/canvas_probes.h"
#include "support/fake_text_rasterizer.h"

namespace {

using quorix_test::ExpectBitmapLabel;
using quorix_test::kSentinelPixel;
using quorix_test::SentinelCanvas;

constexpr uint32_t kPageBackground = 0xFFFDF8F7;  // bytes 247, 248, 253, 255
constexpr uint32_t kGrey = 0xFFC2B4B0;            // bytes 176, 180, 194, 255

// x of text centred on `centre` by the width rule.
int32_t Centred(int32_t centre, const std::string& text, int32_t scale) {
  return centre - static_cast<int32_t>(BitmapTextWidth(text, scale) / 2);
}

bool RowsUntouched(const PhoneCanvas& canvas, int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
  for (int32_t y = y0; y < y1; ++y) {
    for (int32_t x = x0; x < x1; ++x) {
      if (canvas.PixelAt(x, y) != kSentinelPixel) return false;
    }
  }
  return true;
}

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_.local = {2026, 12, 7, 9, 5, 30};
    platform::SetClockForTesting(&clock_);
  }
  void TearDown() override { platform::SetClockForTesting(nullptr); }

  platform::ManualClock clock_;
  PhoneCanvas canvas_ = SentinelCanvas();
};

TEST_F(LauncherTest, BarsAndDotsKeepToTheirRows) {
  DrawStatusBar(canvas_, "QUORIXPHONE");
  EXPECT_EQ(canvas_.PixelAt(0, 0), 0xFF241815u);
  EXPECT_EQ(canvas_.PixelAt(300, 63), 0xFF241815u);
  EXPECT_TRUE(RowsUntouched(canvas_, 0, kCanvasWidth, 64, 65));
  ExpectBitmapLabel(canvas_, "09:05", 20, 20, 3, 0xFFFFF7F5);
  ExpectBitmapLabel(canvas_, "QUORIXPHONE", Centred(270, "QUORIXPHONE", 2), 20, 2, 0xFFF0DDD7);
  EXPECT_EQ(canvas_.PixelAt(474, 37), 0xFF8CD64Fu);
  EXPECT_EQ(canvas_.PixelAt(524, 34), 0xFFF2E6E1u);
  EXPECT_EQ(canvas_.PixelAt(525, 34), 0xFF241815u);

  for (const auto& [enabled, colour] : {std::pair{true, 0xFFFFF5F2u}, std::pair{false, 0xFF73605Bu}}) {
    PhoneCanvas canvas = SentinelCanvas();
    DrawNavigationBar(canvas, enabled);
    ExpectBitmapLabel(canvas, "<", 44, 922, 3, colour);
    EXPECT_TRUE(RowsUntouched(canvas, 0, kCanvasWidth, 899, 900));
    EXPECT_EQ(canvas.PixelAt(539, 959), 0xFF211714u);
    EXPECT_EQ(canvas.PixelAt(230, 931), 0xFFFFF5F2u);
  }

  constexpr uint32_t kCurrent = 0xFFFF7659;
  constexpr uint32_t kOther = 0xFFB7A29B;
  PhoneCanvas dots = SentinelCanvas();
  DrawPageDots(dots, 0);
  EXPECT_EQ(dots.PixelAt(262, 752), kCurrent);
  EXPECT_EQ(dots.PixelAt(263, 752), kSentinelPixel);
  EXPECT_EQ(dots.PixelAt(289, 752), kOther);
  EXPECT_EQ(dots.PixelAt(290, 752), kSentinelPixel);
}

TEST_F(LauncherTest, HomePageSlidesAndClipsAtEveryOffset) {
  struct Case {
    int32_t offset;
    std::function<void(const PhoneCanvas&)> check;
  };
  const Case cases[] = {
      {0,
       [](const PhoneCanvas& c) {
         const uint8_t* tile = c.data() + (200 * kCanvasWidth + 50) * 4;
         EXPECT_EQ(std::vector<uint8_t>(tile, tile + 4), (std::vector<uint8_t>{0x5E, 0x58, 0xF6, 255}));
         EXPECT_EQ(c.data()[(190 * kCanvasWidth + 42) * 4 + 3], 0x5F);
         EXPECT_EQ(c.PixelAt(41, 200), kPageBackground);
         ExpectBitmapLabel(c, "SPATIAL WORKSPACE", 34, 132, 1, 0xFF8F766E);
         ExpectBitmapLabel(c, "CHAT", Centred(98, "CHAT", 2), 232, 2, 0xFFFFFFFF);
         EXPECT_TRUE(RowsUntouched(c, 0, kCanvasWidth, 0, 64));
         EXPECT_TRUE(RowsUntouched(c, 0, kCanvasWidth, 900, 960));
       }},
      {540, [](const PhoneCanvas& c) { EXPECT_TRUE(RowsUntouched(c, 0, kCanvasWidth, 0, kCanvasHeight)); }},
      {-540, [](const PhoneCanvas& c) { EXPECT_TRUE(RowsUntouched(c, 0, kCanvasWidth, 0, kCanvasHeight)); }},
      {270,
       [](const PhoneCanvas& c) {
         EXPECT_TRUE(RowsUntouched(c, 0, 270, 0, kCanvasHeight));
         EXPECT_EQ(c.PixelAt(270, 64), kPageBackground);
         EXPECT_EQ(c.PixelAt(539, 899), kPageBackground);
         EXPECT_EQ(c.PixelAt(320, 200), 0xFFF6585Eu);
         EXPECT_EQ(c.PixelAt(539, 200), 0xFFE19124u);  // BROWSER's tile, cut at the edge
       }},
      {-100,
       [](const PhoneCanvas& c) {
         EXPECT_EQ(c.PixelAt(0, 250), 0xFFF6585Eu);
         EXPECT_EQ(c.PixelAt(53, 250), 0x5FFFFFFFu);
         EXPECT_EQ(c.PixelAt(54, 250), kPageBackground);
         EXPECT_EQ(c.PixelAt(439, 250), kPageBackground);
         EXPECT_TRUE(RowsUntouched(c, 440, kCanvasWidth, 0, kCanvasHeight));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    PhoneCanvas canvas = SentinelCanvas();
    RenderLauncherHomePage(canvas, 0, c.offset);
    c.check(canvas);
  }
}

TEST_F(LauncherTest, AppShellShowsTheLifecycleState) {
  PhoneAppLifecycle state;
  state.apps[4].installed = false;
  state.apps[5].detached = true;
  state.apps[5].state = kAppForeground;
  struct Case {
    uint32_t app;
    const PhoneAppLifecycle* lifecycle;
    const char* label;
    const char* manifest;
    const char* run_state;
    const char* surface;
    const char* place;
    uint32_t detach;
    uint32_t uninstall;
  };
  constexpr uint32_t kDetach = 0xFFE27066;
  constexpr uint32_t kUninstall = 0xFF604EBE;
  const Case cases[] = {
      {12, nullptr, "QUORIX", "-", "-", "-", "-", kGrey, kGrey},
      {3, nullptr, "NOTES", "-", "-", "-", "-", kGrey, kGrey},
      {3, &state, "NOTES", "app.notes", "STOPPED", "SPATIAL", "MAIN", kDetach, kUninstall},
      {9, &state, "SETTINGS", "app.settings", "STOPPED", "MAIN", "MAIN", kGrey, kGrey},
      {4, &state, "GALLERY", "app.gallery", "UNINSTALLED", "SPATIAL", "NONE", kGrey, kGrey},
      {5, &state, "TIMER", "app.timer", "FOREGROUND", "CARD", "DETACHED", kDetach, kUninstall},
      {12, &state, "QUORIX", "app.quorix", "STOPPED", "SPATIAL", "MAIN", kDetach, kGrey},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.label) + " " + c.run_state);
    PhoneCanvas canvas = SentinelCanvas();
    RenderAppShell(canvas, c.app, c.lifecycle);
    EXPECT_TRUE(RowsUntouched(canvas, 0, kCanvasWidth, 0, 64));
    EXPECT_EQ(canvas.PixelAt(40, 108), 0xFF000000u | kLauncherTiles[c.app > 11 ? 0 : c.app].colour);
    ExpectBitmapLabel(canvas, c.label, 66, 138, 4, 0xFFFFFFFF);
    ExpectBitmapLabel(canvas, "APP SHELL", Centred(270, "APP SHELL", 4), 340, 4, 0xFF442F2A);
    ExpectBitmapLabel(canvas, std::string("MANIFEST ") + c.manifest, 76, 392, 2, 0xFF7E635B);
    ExpectBitmapLabel(canvas, std::string("STATE ") + c.run_state, 76, 438, 2, 0xFF986852);
    ExpectBitmapLabel(canvas, std::string("SURFACE ") + c.surface, 76, 484, 2, 0xFF986852);
    ExpectBitmapLabel(canvas, std::string("PLACE ") + c.place, 76, 530, 2, 0xFF986852);
    EXPECT_EQ(canvas.PixelAt(60, 632), c.detach);
    EXPECT_EQ(canvas.PixelAt(220, 632), 0xFF7B5B52u);
    EXPECT_EQ(canvas.PixelAt(520, 690), c.uninstall);
    EXPECT_EQ(canvas.PixelAt(211, 632), 0xFFF8EEEBu);  // the card between the buttons
    ExpectBitmapLabel(canvas, "UNINSTALL", Centred(448, "UNINSTALL", 1), 652, 1, 0xFFFFFFFF);
  }
}

TEST_F(LauncherTest, ComposedPagesCarryTheirBarsAndDrawNoProportionalText) {
  test_support::ScopedFakeTextRasterizer text;
  PhoneUi ui;
  ComposeLauncherPage(canvas_, ui, true, 0, -1);
  ExpectBitmapLabel(canvas_, "APP", Centred(270, "APP", 2), 20, 2, 0xFFF0DDD7);
  ExpectBitmapLabel(canvas_, "<", 44, 922, 3, 0xFFFFF5F2);
  // App 0's page is the chat app, over the shell and under the bars.
  ASSERT_FALSE(text.log().draws.empty());
  EXPECT_EQ(text.log().draws.front().text, u"Quorix 入力");
  EXPECT_EQ(canvas_.PixelAt(70, 140), 0xFFFFFFFFu) << "the shell's title shows above the card";
  text.log().draws.clear();
  text.log().rasterizations.clear();

  PhoneCanvas notes = SentinelCanvas();
  ComposeLauncherPage(notes, ui, true, 0, 3);
  ExpectBitmapLabel(notes, "NOTES", Centred(270, "NOTES", 2), 20, 2, 0xFFF0DDD7);

  for (uint32_t page : {0u, 1u}) {
    SCOPED_TRACE(page);
    PhoneCanvas home = SentinelCanvas();
    ComposeLauncherPage(home, ui, false, page, -1);
    EXPECT_FALSE(std::any_of(home.bytes().begin(), home.bytes().end(), [](uint8_t b) { return b == 0x11; }));
    ExpectBitmapLabel(home, "QUORIXPHONE", Centred(270, "QUORIXPHONE", 2), 20, 2, 0xFFF0DDD7);
    ExpectBitmapLabel(home, "<", 44, 922, 3, page == 0 ? 0xFF73605B : 0xFFFFF5F2);
    EXPECT_EQ(home.PixelAt(page == 0 ? 261 : 291, 752), 0xFFFF7659u);
    EXPECT_EQ(home.PixelAt(84, 807), 0xFFEB5E4Eu);
    EXPECT_EQ(home.PixelAt(232, 807), 0xFFE19124u);
    EXPECT_EQ(home.PixelAt(380, 807), 0xFF70982Cu);
    EXPECT_EQ(home.PixelAt(60, 800), 0xEBFAF1EEu);
    ExpectBitmapLabel(home, "DESK", Centred(418, "DESK", 1), 826, 1, 0xFFFFFFFF);
    const std::string hint = page == 0 ? "SWIPE LEFT" : "SWIPE RIGHT";
    ExpectBitmapLabel(home, page == 0 ? "HOME" : "TOOLS", 32, 94, 4, 0xFF34231F);
    ExpectBitmapLabel(home, hint, Centred(270, hint, 1), 714, 1, 0xFF9E8882);
    ExpectBitmapLabel(home, page == 0 ? "TIMER" : "ABOUT", Centred(442, "TIMER", 1), 564, 1, 0xFF362622);
    EXPECT_EQ(home.PixelAt(50, 200), 0xFF000000u | kLauncherTiles[page * 6].colour);
  }
  EXPECT_TRUE(text.log().draws.empty());
  EXPECT_EQ(text.rasterize_count(), 0u);
}

}  // namespace
