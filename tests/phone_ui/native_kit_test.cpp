// The native screens' drawing kit: pills, fields, thick lines, glyphs, the
// application icon and the avatar discs.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

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
const NativePalette& P = kNativePaletteLight;

TEST(NativeKitTest, PillsAndFieldsTakeTheirColoursFromStateAndPalette) {
  struct Case {
    bool primary, danger, enabled;
    uint32_t fill, ink;
  } cases[] = {{false, false, true, P.accent_soft, P.accent_text}, {true, false, true, P.accent, kNativeWhite},
               {false, true, true, kNativeDangerRed, kNativeWhite},  {true, true, true, kNativeDangerRed, kNativeWhite},
               {true, false, false, P.subtle, P.secondary},          {true, true, false, P.subtle, P.secondary}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.primary << c.danger << c.enabled);
    ScopedFakeTextRasterizer fake(test_support::SolidMask(0));
    PhoneCanvas canvas(0);
    DrawPillButton(canvas, 100, 200, 120, 47, u"Go", P, c.primary, c.danger, 18, c.enabled);
    EXPECT_EQ(canvas.PixelAt(160, 223), c.fill);
    ASSERT_EQ(fake.log().draws.size(), 1u);
    const auto& d = fake.log().draws[0];
    EXPECT_EQ(std::make_tuple(d.colour, d.x, d.y, d.width), std::make_tuple(c.ink, 108, 200 - 2 + (47 - 18) / 2, 104));
  }
  for (bool focused : {false, true}) {
    ScopedFakeTextRasterizer fake(test_support::SolidMask(0));
    PhoneCanvas canvas(0);
    DrawLabeledField(canvas, P, 300, u"ID", u"", focused);
    DrawLabeledField(canvas, P, 300, u"", u"v", focused);
    EXPECT_EQ(canvas.PixelAt(270, 360), focused ? P.accent_soft : P.surface);
    ASSERT_EQ(fake.log().draws.size(), 2u);  // the empty value and label are not drawn
    EXPECT_EQ(std::make_pair(fake.log().draws[0].text, fake.log().draws[0].y), std::make_pair(std::u16string(u"ID"), 300));
    EXPECT_EQ(std::make_pair(fake.log().draws[1].text, fake.log().draws[1].y), std::make_pair(std::u16string(u"v"), 348));
  }
}

// A dot of radius r covers the disc's pixels (the lines themselves are
// compared with their closed form by canvas_shapes_fuzz).
TEST(NativeKitTest, ThickLineDotsCoverTheirDisc) {
  for (auto [radius, pixels] : {std::pair{0, 1}, {1, 5}, {2, 13}}) {
    PhoneCanvas canvas(0);
    DrawThickLine(canvas, 50, 50, 50, 50, 0xFFFFFFFF, radius);
    EXPECT_EQ(std::count(canvas.bytes().begin(), canvas.bytes().end(), 0xFF), 4 * pixels) << radius;
  }
}

TEST(NativeKitTest, GlyphsHaveTheirShapesAndTheGearHubStaysWhite) {
  PhoneCanvas canvas(0);
  DrawGlyphIcon(canvas, 100, 100, kGlyphHouse, 0xFF0000AA);
  DrawGlyphIcon(canvas, 200, 100, kGlyphBubble, 0xFF0000AA);
  EXPECT_EQ(canvas.PixelAt(100, 89), 0xFF0000AAu);  // the roof's apex
  EXPECT_EQ(canvas.PixelAt(100, 100), 0u);
  EXPECT_EQ(canvas.PixelAt(189, 115), 0xFF0000AAu);  // the bubble's tail
  for (const NativePalette* palette : {&kNativePaletteLight, &kNativePaletteDark}) {
    PhoneCanvas a(0), b(0);
    DrawGlyphIcon(a, 300, 300, 3, palette->secondary);
    DrawGlyphIcon(b, 300, 300, 99, palette->secondary);
    EXPECT_EQ(std::make_tuple(a.PixelAt(300, 300), a.PixelAt(307, 300), a.PixelAt(312, 300)),
              std::make_tuple(kNativeWhite, palette->secondary, palette->secondary));
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size()), 0);
  }
}

// Column x has alpha 0, 128 or 255 by x % 3; red x, green y, blue x ^ y.
std::vector<uint8_t> IconPixels() {
  std::vector<uint8_t> pixels(kAppIconBytes);
  for (size_t i = 0; i < 256 * 256; ++i) {
    const size_t x = i % 256, y = i / 256;
    pixels[i * 4] = uint8_t(x), pixels[i * 4 + 1] = uint8_t(y), pixels[i * 4 + 2] = uint8_t(x ^ y);
    pixels[i * 4 + 3] = x % 3 == 0 ? 0 : x % 3 == 1 ? 128 : 255;
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

TEST_F(AppIconBlendTest, BlendsByAlphaSamplesNearestAndVisitsOnlyTheCanvas) {
  const std::vector<uint8_t> icon = LoadAppIconFile(path_);
  ASSERT_EQ(icon, IconPixels());
  PhoneCanvas canvas(0);
  FillCanvasRect(canvas, 0, 0, 540, 960, 0x80102030);
  BlendAppIcon(canvas, 10, 20, 256, icon);
  EXPECT_EQ(canvas.PixelAt(13, 27), 0xFF102030u);  // alpha 0 leaves the canvas
  EXPECT_EQ(canvas.PixelAt(14, 27), 0xFF000000u | ((16 * 127 + 3 * 128) / 255) << 16 |
                                        ((0x20u * 127 + 7 * 128) / 255) << 8 | (0x30u * 127 + 4 * 128) / 255);
  EXPECT_EQ(canvas.PixelAt(15, 27), 0xFF020705u);  // alpha 255 copies
  PhoneCanvas small(0);
  BlendAppIcon(small, 0, 0, 42, icon);
  for (uint32_t i = 0, s = 0; i < 42; s = ++i * 256 / 42) {
    EXPECT_TRUE(s % 3 != 2 || small.PixelAt(int(i), int(i)) == (0xFF000000u | s << 8 | s)) << i;
  }
  PhoneCanvas huge(0);  // row and column 2^30 × 256 / (2^31 − 1) = 128 at the origin
  BlendAppIcon(huge, -(1 << 30), -(1 << 30), INT32_MAX, icon);
  EXPECT_EQ(huge.PixelAt(0, 0), 0xFF008080u);
}

TEST_F(AppIconBlendTest, WrongSizeTruncatedOrMissingFilesGiveNoIcon) {
  ASSERT_EQ(platform::WritePngFile(dir_.path() / "narrow.png", 255, 256, std::vector<uint8_t>(255 * 256 * 4, 9)),
            platform::PngStatus::kOk);
  const std::string bytes = quorix_test::ReadFile(path_);
  quorix_test::WriteFile(dir_.path() / "cut.png", bytes.substr(0, bytes.size() / 2));
  for (const char* name : {"narrow.png", "cut.png", "missing.png"}) {
    EXPECT_TRUE(LoadAppIconFile(dir_.path() / name).empty()) << name;
  }
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

TEST_F(AvatarTest, PlaceholderOrPictureAndNothingForSizesThatWouldOverflow) {
  PhoneCanvas canvas(0);
  DrawAvatar(canvas, 100, 100, 48, "amy");
  EXPECT_EQ(std::make_tuple(canvas.PixelAt(124, 124), canvas.PixelAt(124, 103), canvas.PixelAt(100, 100)),
            std::make_tuple(0xFFBC754Cu, 0xFFFDEAE0u, 0u));  // the head, the disc, outside
  auto image = std::make_shared<quorix_avatar::Image>();
  image->pixels.assign(quorix_avatar::kImageBytes, 0);
  for (size_t i = 0; i < image->pixels.size(); i += 4) image->pixels[i] = 200, image->pixels[i + 3] = 9;
  avatar_test_hooks::PutImageForTest("amy", image);
  EXPECT_EQ(quorix_avatar::Generation(), 1u);
  DrawAvatar(canvas, 100, 100, 48, "amy");
  EXPECT_EQ(canvas.PixelAt(124, 124), 0xFF0000C8u);  // the source alpha is ignored
  quorix_avatar::Clear();
  EXPECT_EQ(std::make_pair(quorix_avatar::Find("amy"), quorix_avatar::Generation()),
            std::make_pair(std::shared_ptr<const quorix_avatar::Image>(), uint64_t{2}));

  std::vector<uint8_t> rows(540 * 4 * 10, 0);
  quorix_avatar::Draw(rows, 1u << 30, 0, 0, 48, nullptr);  // width × 4 is 2^32
  quorix_avatar::Draw(rows, UINT32_MAX, 0, 0, 48, nullptr);
  quorix_avatar::Draw(rows, 540, INT32_MAX - 3, INT32_MAX - 3, 128, nullptr);
  quorix_avatar::Draw(rows, 540, INT32_MIN, 0, 128, nullptr);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), 0), std::ssize(rows));
  quorix_avatar::Draw(rows, 540, -20, -20, 48, nullptr);
  EXPECT_EQ(rows[(2 * 540 + 2) * 4 + 3], 255);
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
    DrawAvatarWithPresence(canvas, c.owner, P, 100, 100, c.size, c.id);
    const int32_t r = std::max(5, c.size / 8), centre = 100 + c.size - r;
    EXPECT_EQ(canvas.PixelAt(centre, centre) == kNativePresenceGreen, c.radius != 0);
    if (c.radius == 0) continue;
    EXPECT_EQ(std::make_tuple(canvas.PixelAt(centre + c.radius, centre), canvas.PixelAt(centre + c.radius + 2, centre)),
              std::make_tuple(kNativePresenceGreen, P.surface));
  }
}

TEST(SplitTextLinesTest, CutsAtTheLimitNeverInsideAPair) {
  const std::u16string a19(19, u'a'), a18(18, u'a'), pair = u"\U00020BB7";
  struct Case {
    std::u16string text;
    std::vector<std::u16string> lines;
  } cases[] = {{u"", {}},
               {a19, {a19}},
               {a19 + u"b", {a19, u"b"}},
               {a19 + a19 + u"b", {a19, a19 + u"…"}},
               {a18 + pair + u"c", {a18, pair + u"c"}}};
  for (const Case& c : cases) EXPECT_EQ(SplitTextLines(c.text, 2, 19), c.lines) << c.text.size();
  EXPECT_EQ(SplitTextLines(u"abcdefg", 3, 2), (std::vector<std::u16string>{u"ab", u"cd", u"ef…"}));
}

}  // namespace
