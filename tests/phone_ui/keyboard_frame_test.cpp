#include "phone_ui/keyboard_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/text.h"
#include "phone_ui/ui_text.h"
#include "support/fake_text_rasterizer.h"

namespace {

using State = QuorixTsfDraftBridge::State;

uint32_t FramePixel(const FrameBuffer& f, int32_t x, int32_t layout_y) {
  const uint8_t* p = f.data() + (static_cast<size_t>(layout_y - kKeyboardFrameTop) * 540 + static_cast<size_t>(x)) * 4;
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

bool Drew(const test_support::FakeTextLog& log, const std::u16string& text, int32_t height = 0) {
  return std::any_of(log.draws.begin(), log.draws.end(),
                     [&](const auto& d) { return d.text == text && (height == 0 || d.height == height); });
}

State BridgeState(std::vector<std::u16string> candidates, bool focused, bool background) {
  State s;
  s.candidates = std::move(candidates);
  s.candidates_present = 1;
  s.focused = focused;
  s.background_candidates = background;
  s.selection_valid = 1;
  s.vr_conversion_enabled = 1;
  return s;
}

TEST(KeyboardFrame, SizeRowsCornersAndPalettes) {
  test_support::ScopedFakeTextRasterizer fake;
  QuorixVrKeyboard kb;
  struct Case {
    bool dark;
    uint32_t panel, close_key;
  } cases[] = {{false, 0xFFFDF9F7, 0xFFF5ECE7}, {true, 0xFF23140C, 0xFF4A3325}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dark);
    KeyboardFrameInputs in;
    in.dark = c.dark;
    in.keyboard = &kb;
    const FrameBuffer f = ComposeKeyboardFrame(in);
    ASSERT_EQ(f.size(), 1'097'280u);
    EXPECT_EQ(ui_render_dark, c.dark);
    EXPECT_EQ(FramePixel(f, 270, 340), c.panel);      // panel, between tabs and close button
    EXPECT_EQ(FramePixel(f, 470, 340), c.close_key);  // the close button, below its label
    EXPECT_EQ(FramePixel(f, 5, 500), 0u);             // left of the panel: transparent
    EXPECT_EQ(f.data()[3], 0);                        // a rounded corner
    EXPECT_EQ(f.data()[f.size() - 1], 0);
  }
}

TEST(KeyboardFrame, CandidatePagesClampAndShowTheirIndicator) {
  test_support::ScopedFakeTextRasterizer fake;
  QuorixVrKeyboard kb;
  const State state = BridgeState({u"一", u"二", u"三", u"四", u"五", u"六", u"七"}, false, true);
  KeyboardFrameInputs in;
  in.keyboard = &kb;
  in.bridge_state = &state;
  in.candidate_page = 5;
  ComposeKeyboardFrame(in);
  EXPECT_TRUE(Drew(fake.log(), u"七"));
  EXPECT_TRUE(Drew(fake.log(), u"3/3", 14));
  for (const char16_t* other : {u"一", u"四", u"六"}) EXPECT_FALSE(Drew(fake.log(), other));

  // A list from neither a focused edit nor VR conversion is not shown; three
  // candidates draw no indicator.
  struct Case {
    bool focused, background;
    bool shown;
  } cases[] = {{false, false, false}, {true, false, true}, {false, true, true}};
  for (const Case& c : cases) {
    fake.log().draws.clear();
    const State s = BridgeState({u"橋", u"箸", u"端"}, c.focused, c.background);
    in.bridge_state = &s;
    in.candidate_page = 0;
    ComposeKeyboardFrame(in);
    EXPECT_EQ(Drew(fake.log(), u"箸"), c.shown);
    EXPECT_FALSE(Drew(fake.log(), u"1/1"));
  }
}

TEST(KeyboardFrame, ConversionKeysFollowTheBridge) {
  test_support::ScopedFakeTextRasterizer fake;
  struct Case {
    const char* name;
    uint32_t kind;
    bool vr;
    std::vector<std::u16string> present, absent;
  } cases[] = {{"flick with conversion", kKeyboardFlick, true, {u"変換", u"確定"}, {u"↵"}},
               {"flick without", kKeyboardFlick, false, {u"↵"}, {u"変換", u"確定"}},
               {"QWERTY with conversion", kKeyboardQwerty, true, {u"変換", u"確定"}, {u"↵"}},
               {"QWERTY without", kKeyboardQwerty, false, {u"↵", u"⇧"}, {u"変換"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake.log().draws.clear();
    QuorixVrKeyboard kb;
    kb.keyboard_kind = c.kind;
    State state;
    state.vr_conversion_enabled = c.vr ? 1 : 0;
    KeyboardFrameInputs in;
    in.keyboard = &kb;
    in.bridge_state = &state;
    ComposeKeyboardFrame(in);
    for (const auto& t : c.present) EXPECT_TRUE(Drew(fake.log(), t)) << WideToUtf8(t);
    for (const auto& t : c.absent) EXPECT_FALSE(Drew(fake.log(), t)) << WideToUtf8(t);
  }
}

TEST(KeyboardFrame, TheEditorBarShowsAPasswordAsTwelveDots) {
  test_support::ScopedFakeTextRasterizer fake;
  QuorixVrKeyboard own;
  QuorixVrKeyboard editing;
  editing.active_field = kFieldPassword;
  editing.password = std::u16string(20, u'x');
  KeyboardEditorView editor{&editing, u"Password", false, false};
  KeyboardFrameInputs in;
  in.english = true;
  in.keyboard = &own;
  in.editor = &editor;
  ComposeKeyboardFrame(in);
  EXPECT_TRUE(Drew(fake.log(), u"…" + std::u16string(12, u'\u25CF'), 18));
  EXPECT_TRUE(Drew(fake.log(), u"Password", 12));
  EXPECT_TRUE(Drew(fake.log(), u"Apply", 19));
  EXPECT_TRUE(Drew(fake.log(), u"Close", 20));

  fake.log().draws.clear();
  editor.commit_pending = editor.retry_armed = true;
  in.english = false;
  ComposeKeyboardFrame(in);
  EXPECT_TRUE(Drew(fake.log(), u"再試行中…", 12));
  EXPECT_TRUE(Drew(fake.log(), u"適用"));
}

}  // namespace
