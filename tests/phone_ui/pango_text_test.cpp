// Text drawn by the real rasteriser: properties, not golden images, since
// glyph shapes depend on the installed fonts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/text.h"
#include "dump_native_views.h"
#include "phone_ui/canvas_text.h"
#include "phone_ui/chat_app.h"
#include "phone_ui/keyboard_frame.h"
#include "phone_ui/native_settings_texts.h"
#include "phone_ui/native_texts.h"
#include "phone_ui/ui_text.h"
#include "support/fake_text_rasterizer.h"

namespace {

class PangoTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetTextRasterizerFactory(nullptr);
    ResetTextRasterContextForTesting();
    ASSERT_NE(GetTextRasterContext().backend, nullptr);
  }
  void TearDown() override { ResetTextRasterContextForTesting(); }

  static std::vector<uint8_t> Mask(std::u16string_view text, int width, int height,
                                   bool centred) {
    const std::vector<uint8_t>* mask =
        RasterizeText(GetTextRasterContext(), text, width, height, centred);
    return mask ? *mask : std::vector<uint8_t>();
  }
};

struct Ink {
  int total = 0;
  int first_column = -1, last_column = -1, first_row = -1, last_row = -1;
  double centre_x = 0, centre_y = 0;
};

Ink Measure(const std::vector<uint8_t>& mask, int width, int height) {
  Ink ink;
  double sum = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t m = mask[size_t(y) * width + x];
      if (m == 0) continue;
      ++ink.total;
      if (ink.first_column < 0 || x < ink.first_column) ink.first_column = x;
      if (x > ink.last_column) ink.last_column = x;
      if (ink.first_row < 0) ink.first_row = y;
      ink.last_row = y;
      sum += m;
    }
  }
  // The middle of the inked extent: a weighted centre would follow the
  // heavier half of a glyph such as 漢.
  if (sum > 0) {
    ink.centre_x = (ink.first_column + ink.last_column + 1) / 2.0;
    ink.centre_y = (ink.first_row + ink.last_row + 1) / 2.0;
  }
  return ink;
}

std::u16string Range(char16_t first, char16_t last) {
  std::u16string s;
  for (char16_t c = first; c <= last; ++c) s.push_back(c);
  return s;
}

// The keyboard's labels as its frames draw them: every kind, layout and page,
// English or not, with and without the conversion keys.
std::set<std::u16string> KeyboardLabels() {
  test_support::ScopedFakeTextRasterizer fake;
  for (int i = 0; i < 24; ++i) {
    QuorixVrKeyboard kb;
    kb.keyboard_kind = i % 2 == 0 ? kKeyboardFlick : kKeyboardQwerty;
    kb.flick_layout = static_cast<uint32_t>(i / 2 % 3);
    kb.qwerty_symbols = i / 6 % 2 == 1;
    QuorixTsfDraftBridge::State state;
    state.vr_conversion_enabled = i / 12;
    KeyboardFrameInputs in{i / 12 == 1, false, &kb, &state, 0, nullptr};
    ComposeKeyboardFrame(in);
  }
  std::set<std::u16string> labels;
  for (const auto& d : fake.log().draws) labels.insert(d.text);
  ui_render_english = false;
  return labels;
}

TEST_F(PangoTextTest, EveryUiCharacterHasAGlyph) {
  const std::set<std::u16string> keyboard = KeyboardLabels();
  ASSERT_GT(keyboard.size(), 60u);
  ASSERT_NE(GetTextRasterContext().backend, nullptr);
  std::u16string labels = Range(u'\u3041', u'\u3096') + Range(u'\u30A1', u'\u30FA') +
                          Range(u' ', u'~') + u"ゔー゛゜、。「」・〜〒々〆！（）＋／：？" +
                          u"◎☆♪◀▶●‹›…⋯−×°¥–—" + u"안녕하세요" + u"你好，谢谢";
  for (const std::u16string& label : keyboard) labels += label;
  for (const NativeText& text : NativeScreenTexts()) labels += std::u16string(text.ja) + std::u16string(text.en);
  labels += ChatAppLabels();
  for (const NativeText& text : NativeSettingsTexts()) labels += std::u16string(text.ja) + std::u16string(text.en);
  platform::TextRasterizer& backend = *GetTextRasterContext().backend;
  std::string missing;
  for (char16_t c : labels) {
    const std::u16string one(1, c);
    if (backend.CountMissingGlyphs(one) != 0) missing += WideToUtf8(one) + " ";
  }
  EXPECT_EQ(missing, "") << "no installed font shows these characters";
  EXPECT_EQ(backend.CountMissingGlyphs(labels), 0);
}

// The box heights of every text the renderers draw in the pictures of
// dump_phone_frames: the launcher, the keyboards, the chat app, the native
// screens, the settings-side screens and the popups.
std::set<int32_t> RendererBoxHeights() {
  std::vector<test_support::RecordedTextDraw> draws;
  {
    test_support::ScopedFakeTextRasterizer fake;
    CollectDumpDraws(&draws);
    EXPECT_EQ(DumpLauncherViews({}) + DumpNativeViews({}) + DumpMoreViews({}), 0);
    CollectDumpDraws(nullptr);
    draws.insert(draws.end(), fake.log().draws.begin(), fake.log().draws.end());
  }
  std::set<int32_t> heights;
  for (const auto& d : draws) heights.insert(d.height);
  return heights;
}

// Descenders, the underscore, an accented capital and CJK stay inside every
// box, in both weights, and the text stays as large as the box allows.
TEST_F(PangoTextTest, EveryRendererBoxHoldsTheWholeLine) {
  const std::set<int32_t> heights = RendererBoxHeights();
  ASSERT_GT(heights.size(), 5u);
  for (const int32_t height : heights) {
    for (const bool centred : {false, true}) {
      SCOPED_TRACE(testing::Message() << "box height " << height << (centred ? " centred" : " left"));
      const std::vector<uint8_t> mask = Mask(u"gjpqy_Ág漢あ", 540, height, centred);
      ASSERT_EQ(mask.size(), size_t{540} * height);
      const Ink ink = Measure(mask, 540, height);
      EXPECT_GT(ink.total, 0);
      EXPECT_GE(ink.first_row, 1);
      EXPECT_LE(ink.last_row, height - 2);
      EXPECT_GE(ink.last_row - ink.first_row + 1, height - 2 - std::max(3, height / 10));
    }
  }
}

TEST_F(PangoTextTest, InkStaysInsideTheBoxAndTheCanvas) {
  PhoneCanvas canvas(0);
  for (size_t i = 0; i < kCanvasBytes; ++i) canvas.data()[i] = static_cast<uint8_t>(i * 37 + 11);
  struct Box { int x, y, w, h; };
  const Box boxes[] = {{-40, 300, 120, 30}, {480, 400, 120, 30}, {200, -12, 150, 30},
                       {200, 945, 150, 30}, {-30, -10, 200, 40}};
  for (const Box& box : boxes) {
    const PhoneCanvas before = canvas;
    DrawCanvasText(canvas, box.x, box.y, u"漢字とEnglish WWW ぱぴぷ", box.w, box.h, 0xFF0000FF,
                   false);
    bool changed = false;
    for (int y = 0; y < kCanvasHeight; ++y) {
      for (int x = 0; x < kCanvasWidth; ++x) {
        const size_t at = (size_t(y) * kCanvasWidth + x) * 4;
        const bool inside = x >= box.x && x < box.x + box.w && y >= box.y && y < box.y + box.h;
        ASSERT_EQ(canvas.data()[at + 3], before.data()[at + 3]);
        if (!inside) {
          ASSERT_EQ(std::memcmp(canvas.data() + at, before.data() + at, 4), 0)
              << "box " << box.x << "," << box.y << " pixel " << x << "," << y;
        } else {
          changed = changed || std::memcmp(canvas.data() + at, before.data() + at, 3) != 0;
        }
      }
    }
    EXPECT_TRUE(changed) << "box " << box.x << "," << box.y;
  }
}

TEST_F(PangoTextTest, CentredAndLeftAligned) {
  for (const std::u16string text : {u"漢", u"H"}) {
    const Ink ink = Measure(Mask(text, 200, 40, true), 200, 40);
    ASSERT_GT(ink.total, 0);
    EXPECT_NEAR(ink.centre_x, 100.0, 2.0) << WideToUtf8(text) << " " << ink.first_column << ".." << ink.last_column;
    EXPECT_NEAR(ink.centre_y, 20.0, 40.0 / 6);
    const Ink left = Measure(Mask(text, 200, 40, false), 200, 40);
    ASSERT_GT(left.total, 0);
    EXPECT_LE(left.first_column, 3);
  }
}

TEST_F(PangoTextTest, LongTextEndsInAnEllipsis) {
  const std::u16string head = u"とても長いメッセージの本文がここに続きます。The quick brown fox ";
  const std::vector<uint8_t> a = Mask(head + u"jumps over the lazy dog", 200, 22, false);
  const std::vector<uint8_t> b = Mask(head + u"sleeps under the old tree", 200, 22, false);
  ASSERT_EQ(a.size(), 200u * 22);
  EXPECT_EQ(a, b);
  const Ink ink = Measure(a, 200, 22);
  EXPECT_GE(ink.last_column, 170);

  const Ink short_ink = Measure(Mask(u"短い", 200, 22, false), 200, 22);
  EXPECT_GT(short_ink.total, 0);
  EXPECT_LT(short_ink.last_column, 170);
}

TEST_F(PangoTextTest, HeightsBlanksLineBreaksAndSurrogates) {
  const Ink small = Measure(Mask(u"漢字", 200, 20, false), 200, 20);
  const Ink large = Measure(Mask(u"漢字", 200, 60, false), 200, 60);
  EXPECT_GT(large.last_row - large.first_row, small.last_row - small.first_row);

  EXPECT_EQ(Measure(Mask(u"", 100, 20, false), 100, 20).total, 0);
  EXPECT_EQ(Measure(Mask(u"    ", 100, 20, false), 100, 20).total, 0);
  EXPECT_EQ(Mask(u"a\nb", 100, 20, false), Mask(u"a b", 100, 20, false));
  EXPECT_EQ(Mask(u"a\u2028b", 100, 20, false), Mask(u"a b", 100, 20, false));

  const std::u16string lone(1, char16_t{0xD800});
  EXPECT_GT(Measure(Mask(u"x" + lone + u"y", 100, 20, false), 100, 20).total, 0);
}

TEST_F(PangoTextTest, SameMaskAfterClearingAndOnAnotherThread) {
  const std::u16string text = u"同じ文字 Same text";
  const std::vector<uint8_t> first = Mask(text, 300, 24, true);
  ASSERT_FALSE(first.empty());
  ClearTextCache();
  EXPECT_EQ(Mask(text, 300, 24, true), first);
  std::vector<uint8_t> other;
  std::thread([&] { other = Mask(text, 300, 24, true); }).join();
  EXPECT_EQ(other, first);
}

TEST_F(PangoTextTest, ThreadsRasteriseAtOnceAndExit) {
  std::vector<std::thread> threads;
  std::vector<int> inked(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &inked] {
      PhoneCanvas canvas(255);
      for (int i = 0; i < 40; ++i) {
        const std::u16string text = u"スレッド " + std::u16string(1, char16_t(u'0' + t)) +
                                    u" 行 " + std::u16string(1, char16_t(u'A' + i % 26));
        const std::vector<uint8_t>* mask =
            RasterizeText(GetTextRasterContext(), text, 200, 14 + i % 20, i % 2 == 0);
        if (mask != nullptr && Measure(*mask, 200, 14 + i % 20).total > 0) ++inked[t];
        DrawCanvasText(canvas, 10, 10 * i, text, 200, 20, 0xFF000000, false);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(inked[t], 40);
}

}  // namespace
