// The native screens' drawing kit: pills, fields, thick lines, glyphs, the
// application icon and the avatar discs.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <random>

#include "chat/avatar_cache.h"
#include "chat/avatar_test_hooks.h"
#include "phone_ui/native_kit.h"
#include "phone_ui/native_kit_test_hooks.h"
#include "platform/png_codec.h"
#include "support/fake_owner.h"
#include "support/fake_text_rasterizer.h"
#include "support/test_util.h"

namespace {

using test_support::ScopedFakeTextRasterizer;
using test_support::SolidMask;

const NativePalette& kLight = GetNativePalette(false);

TEST(NativeKitTest, PillFillAndLabelFollowEnabledThenDangerThenPrimary) {
  struct Case {
    bool primary, danger, enabled;
    uint32_t fill, ink;
  } cases[] = {
      {false, false, true, kLight.accent_soft, kLight.accent_text}, {true, false, true, kLight.accent, kNativeWhite},
      {false, true, true, kNativeDangerRed, kNativeWhite},          {true, true, true, kNativeDangerRed, kNativeWhite},
      {true, false, false, kLight.subtle, kLight.secondary},        {true, true, false, kLight.subtle, kLight.secondary},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.primary << c.danger << c.enabled);
    ScopedFakeTextRasterizer fake(SolidMask(0));
    PhoneCanvas canvas(0);
    DrawPillButton(canvas, 100, 200, 120, 47, u"Go", kLight, c.primary, c.danger, 18, c.enabled);
    EXPECT_EQ(canvas.PixelAt(160, 223), c.fill);
    ASSERT_EQ(fake.log().draws.size(), 1u);
    const auto& draw = fake.log().draws[0];
    EXPECT_EQ(draw.colour, c.ink);
    EXPECT_EQ(draw.y, 200 - 2 + (47 - 18) / 2);
    EXPECT_EQ(draw.x, 108);
    EXPECT_EQ(draw.width, 104);
  }
}

TEST(NativeKitTest, LabeledFieldBoxFollowsFocusAndEmptyTextsAreNotDrawn) {
  for (bool focused : {false, true}) {
    ScopedFakeTextRasterizer fake(SolidMask(0));
    PhoneCanvas canvas(0);
    DrawLabeledField(canvas, kLight, 300, u"ID", u"", focused);
    EXPECT_EQ(canvas.PixelAt(270, 360), focused ? kLight.accent_soft : kLight.surface);
    ASSERT_EQ(fake.log().draws.size(), 1u);
    EXPECT_EQ(fake.log().draws[0].x, 34);
    EXPECT_EQ(fake.log().draws[0].y, 300);
    DrawLabeledField(canvas, kLight, 300, u"", u"v", focused);
    ASSERT_EQ(fake.log().draws.size(), 2u);
    EXPECT_EQ(fake.log().draws[1].text, u"v");
    EXPECT_EQ(fake.log().draws[1].y, 348);
  }
}

// The closed form of the integer line: step k of the major axis moves the
// minor axis by k × minor / major rounded half up.
void ReferenceLine(std::vector<uint32_t>& image, int x0, int y0, int x1, int y1, int r, uint32_t colour) {
  const int64_t dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  const int sx = x1 >= x0 ? 1 : -1, sy = y1 >= y0 ? 1 : -1;
  const bool steep = dy > dx;
  const int64_t major = steep ? dy : dx, minor = steep ? dx : dy;
  for (int64_t k = 0; k <= major; ++k) {
    const int64_t m = major == 0 ? 0 : (2 * k * minor + major) / (2 * major);
    const int64_t x = x0 + sx * (steep ? m : k), y = y0 + sy * (steep ? k : m);
    for (int64_t v = -r; v <= r; ++v) {
      for (int64_t u = -r; u <= r; ++u) {
        if (u * u + v * v <= r * r && x + u >= 0 && x + u < 540 && y + v >= 0 && y + v < 960) {
          image[size_t(y + v) * 540 + size_t(x + u)] = colour;
        }
      }
    }
  }
}

TEST(NativeKitTest, ThickLinesMatchTheReferenceInEveryOctantAndOffTheCanvas) {
  std::mt19937 random(19);
  std::uniform_int_distribution<int> xs(-60, 600), ys(-60, 1020), radii(0, 3);
  // Batches of 100 lines in distinct colours on one canvas: later lines
  // cover earlier ones the same way in both pictures.
  for (int batch = 0; batch < 20; ++batch) {
    PhoneCanvas canvas(0);
    std::vector<uint32_t> expected(540 * 960, 0);
    for (uint32_t n = 1; n <= 100; ++n) {
      const int x0 = xs(random), y0 = ys(random), x1 = xs(random), y1 = ys(random), r = radii(random);
      DrawThickLine(canvas, x0, y0, x1, y1, 0xFF000000u | n, r);
      ReferenceLine(expected, x0, y0, x1, y1, r, 0xFF000000u | n);
    }
    const auto* got = reinterpret_cast<const uint32_t*>(canvas.data());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got)) << "batch " << batch;
  }
}

TEST(NativeKitTest, OnePointLineStampsThePen) {
  for (auto [radius, pixels] : {std::pair{0, 1}, {1, 5}, {2, 13}}) {
    PhoneCanvas canvas(0);
    DrawThickLine(canvas, 50, 50, 50, 50, 0xFFFFFFFF, radius);
    int count = 0;
    for (int y = 40; y < 60; ++y)
      for (int x = 40; x < 60; ++x) count += canvas.PixelAt(x, y) != 0;
    EXPECT_EQ(count, pixels) << radius;
  }
}

TEST(NativeKitTest, GlyphsHaveTheirShapesAndTheGearHubStaysWhite) {
  PhoneCanvas canvas(0);
  DrawGlyphIcon(canvas, 100, 100, kGlyphHouse, 0xFF0000AA);
  EXPECT_EQ(canvas.PixelAt(100, 89), 0xFF0000AAu);  // apex
  EXPECT_EQ(canvas.PixelAt(100, 100), 0u);          // inside the walls
  DrawGlyphIcon(canvas, 200, 100, kGlyphBubble, 0xFF0000AA);
  EXPECT_EQ(canvas.PixelAt(189, 115), 0xFF0000AAu);  // tail
  for (const NativePalette* palette : {&kNativePaletteLight, &kNativePaletteDark}) {
    PhoneCanvas a(0), b(0);
    DrawGlyphIcon(a, 300, 300, 3, palette->secondary);
    DrawGlyphIcon(b, 300, 300, 99, palette->secondary);
    EXPECT_EQ(a.PixelAt(300, 300), kNativeWhite);
    EXPECT_EQ(a.PixelAt(307, 300), palette->secondary);
    EXPECT_EQ(a.PixelAt(312, 300), palette->secondary);  // a spoke
    EXPECT_TRUE(std::equal(a.bytes().begin(), a.bytes().end(), b.bytes().begin()));
  }
}

// Column x of the icon has alpha 0, 128 or 255 by x % 3; colour from (x, y).
std::vector<uint8_t> IconPixels() {
  std::vector<uint8_t> pixels(kAppIconBytes);
  for (size_t y = 0; y < 256; ++y) {
    for (size_t x = 0; x < 256; ++x) {
      uint8_t* p = &pixels[(y * 256 + x) * 4];
      p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t(x ^ y), p[3] = x % 3 == 0 ? 0 : x % 3 == 1 ? 128 : 255;
    }
  }
  return pixels;
}

class AppIconBlendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.path() / "assets");
    ASSERT_EQ(platform::WritePngFile(path_, 256, 256, IconPixels()), platform::PngStatus::kOk);
  }
  quorix_test::TempDir dir_;
  std::filesystem::path path_ = dir_.path() / "assets" / "quorix-icon-256.png";
};

TEST_F(AppIconBlendTest, FullSizeBlendsByAlphaAndSmallSizesSampleNearest) {
  const std::vector<uint8_t> icon = LoadAppIconFile(path_);
  ASSERT_EQ(icon, IconPixels());
  PhoneCanvas canvas(0);
  FillCanvasRect(canvas, 0, 0, 540, 960, 0x80102030);
  BlendAppIcon(canvas, 10, 20, 256, icon);
  EXPECT_EQ(canvas.PixelAt(10 + 3, 20 + 7), 0xFF102030u);  // alpha 0: the canvas stays
  const uint32_t half = canvas.PixelAt(10 + 4, 20 + 7);     // alpha 128
  EXPECT_EQ(half & 0xFF, (4u * 128 + 0x30u * 127) / 255);
  EXPECT_EQ((half >> 8) & 0xFF, (7u * 128 + 0x20u * 127) / 255);
  EXPECT_EQ(canvas.PixelAt(10 + 5, 20 + 7), 0xFF000000u | ((5u ^ 7u) << 16) | (7u << 8) | 5u);  // copied
  PhoneCanvas small(0);
  BlendAppIcon(small, 0, 0, 42, icon);
  for (int i = 0; i < 42; ++i) {
    const uint32_t sx = uint32_t(i) * 256 / 42, p = small.PixelAt(i, i);
    if (sx % 3 != 2) continue;
    EXPECT_EQ(p, 0xFF000000u | (sx << 8) | sx) << i;
  }
}

TEST_F(AppIconBlendTest, WrongSizeTruncatedOrMissingFilesGiveNoIcon) {
  std::vector<uint8_t> narrow(255 * 256 * 4, 200);
  ASSERT_EQ(platform::WritePngFile(dir_.path() / "narrow.png", 255, 256, narrow), platform::PngStatus::kOk);
  EXPECT_TRUE(LoadAppIconFile(dir_.path() / "narrow.png").empty());
  const std::string bytes = quorix_test::ReadFile(path_);
  quorix_test::WriteFile(dir_.path() / "cut.png", bytes.substr(0, bytes.size() / 2));
  EXPECT_TRUE(LoadAppIconFile(dir_.path() / "cut.png").empty());
  EXPECT_TRUE(LoadAppIconFile(dir_.path() / "missing.png").empty());
}

TEST_F(AppIconBlendTest, HugeSizesVisitOnlyTheCanvas) {
  const std::vector<uint8_t> icon = LoadAppIconFile(path_);
  PhoneCanvas canvas(0);
  BlendAppIcon(canvas, -(1 << 30), -(1 << 30), INT32_MAX, icon);
  const uint32_t s = uint32_t((int64_t{1} << 30) * 256 / INT32_MAX);  // 128
  EXPECT_EQ(canvas.PixelAt(0, 0) >> 24, 0xFFu);
  EXPECT_EQ(canvas.PixelAt(0, 0) & 0xFF, s % 3 == 0 ? 0u : s);
}

TEST_F(AppIconBlendTest, TheProcessIconIsReadOnceAndAFailureIsFinal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::filesystem::path folder = dir_.path();
  EXPECT_EXIT(
      {
        native_kit_test_hooks::SetAppIconFolder(folder);
        PhoneCanvas canvas(0);
        DrawAppIcon(canvas, 0, 0, 256);
        std::_Exit(canvas.PixelAt(5, 0) == 0xFF050005u ? 7 : 1);
      },
      testing::ExitedWithCode(7), "");
  EXPECT_EXIT(
      {
        native_kit_test_hooks::SetAppIconFolder(folder / "later");
        PhoneCanvas canvas(0);
        DrawAppIcon(canvas, 0, 0, 256);
        std::filesystem::create_directories(folder / "later" / "assets");
        std::filesystem::copy_file(folder / "assets" / "quorix-icon-256.png",
                                   folder / "later" / "assets" / "quorix-icon-256.png");
        DrawAppIcon(canvas, 0, 0, 256);
        std::_Exit(canvas.PixelAt(5, 0) == 0 ? 7 : 1);
      },
      testing::ExitedWithCode(7), "");
}

class AvatarTest : public ::testing::Test {
 protected:
  void SetUp() override { avatar_test_hooks::ResetForTest(); }
  void TearDown() override { avatar_test_hooks::ResetForTest(); }
};

TEST_F(AvatarTest, PlaceholderWithoutAPictureAndThePictureWithOne) {
  PhoneCanvas canvas(0);
  DrawAvatar(canvas, 100, 100, 48, "amy");
  EXPECT_EQ(canvas.PixelAt(124, 124), 0xFFBC754Cu);  // the silhouette's head
  EXPECT_EQ(canvas.PixelAt(124, 103), 0xFFFDEAE0u);  // the disc behind it
  EXPECT_EQ(canvas.PixelAt(100, 100), 0u);           // outside the disc
  auto image = std::make_shared<quorix_avatar::Image>();
  image->pixels.assign(quorix_avatar::kImageBytes, 0);
  for (size_t i = 0; i < image->pixels.size(); i += 4) image->pixels[i] = 200, image->pixels[i + 3] = 9;
  const uint64_t generation = quorix_avatar::Generation();
  avatar_test_hooks::PutImageForTest("amy", image);
  EXPECT_EQ(quorix_avatar::Generation(), generation + 1);
  DrawAvatar(canvas, 100, 100, 48, "amy");
  EXPECT_EQ(canvas.PixelAt(124, 124), 0xFF0000C8u);
}

TEST_F(AvatarTest, DrawRejectsSizesThatWouldOverflowAndClipsAtTheLimits) {
  std::vector<uint8_t> small(540 * 4 * 10, 0);
  quorix_avatar::Draw(small, 1u << 30, 0, 0, 48, nullptr);  // width × 4 is 2^32
  quorix_avatar::Draw(small, UINT32_MAX, 0, 0, 48, nullptr);
  quorix_avatar::Draw(small, 540, INT32_MAX - 3, INT32_MAX - 3, 128, nullptr);
  quorix_avatar::Draw(small, 540, INT32_MIN, 0, 128, nullptr);
  EXPECT_TRUE(std::all_of(small.begin(), small.end(), [](uint8_t b) { return b == 0; }));
  quorix_avatar::Draw(small, 540, -20, -20, 48, nullptr);  // the lower right quarter lands
  EXPECT_EQ(small[(2 * 540 + 2) * 4 + 3], 255);
}

TEST_F(AvatarTest, PresenceDotOnlyWhenOnlineSizedByTheAvatar) {
  quorix_test::FakeOwner owner;
  owner.friend_presence = {{"on", 2}, {"off", 1}};
  struct Case {
    quorix_native::Ui* owner;
    const char* id;
    int32_t size, radius;
  } cases[] = {{&owner, "on", 8, 5}, {&owner, "on", 68, 8}, {&owner, "off", 68, 0}, {&owner, "x", 68, 0},
               {nullptr, "on", 68, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " " << c.size);
    PhoneCanvas canvas(0);
    DrawAvatarWithPresence(canvas, c.owner, kLight, 100, 100, c.size, c.id);
    const int32_t r = std::max(5, c.size / 8), centre = 100 + c.size - r;
    EXPECT_EQ(canvas.PixelAt(centre, centre) == kNativePresenceGreen, c.radius != 0);
    if (c.radius == 0) continue;
    EXPECT_EQ(canvas.PixelAt(centre + c.radius, centre), kNativePresenceGreen);
    EXPECT_EQ(canvas.PixelAt(centre + c.radius + 1, centre), kLight.surface);
    EXPECT_EQ(canvas.PixelAt(centre + c.radius + 2, centre), kLight.surface);
  }
}

TEST(SplitTextLinesTest, CutsAtTheLimitNeverInsideAPair) {
  const std::u16string a19(19, u'a'), pair = u"\U00020BB7";
  struct Case {
    std::u16string text;
    std::vector<std::u16string> lines;
  } cases[] = {
      {u"", {}},
      {a19, {a19}},
      {a19 + u"b", {a19, u"b"}},
      {a19 + a19 + u"b", {a19, a19 + u"…"}},
      {std::u16string(18, u'a') + pair + u"c", {std::u16string(18, u'a'), pair + u"c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.size());
    EXPECT_EQ(SplitTextLines(c.text, 2, 19), c.lines);
  }
  EXPECT_EQ(SplitTextLines(u"abcdefg", 3, 2), (std::vector<std::u16string>{u"ab", u"cd", u"ef…"}));
}

}  // namespace
