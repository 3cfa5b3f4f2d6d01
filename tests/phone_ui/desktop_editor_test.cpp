// The native editor over the phone's focused field, on the private X server
// with GTK's own input method.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "event_log_capture.h"
#include "phone_ui/desktop_window.h"
#include "platform/input_window.h"
#include "platform/panel_window.h"
#include "support/desktop_fixture.h"

namespace {

using platform::WindowKey;
using platform::WindowMessage;
using platform::WindowMessageType;

class DesktopEditorTest : public quorix_test::DesktopFixture {
 protected:
  // The phone opens `kind` for typing, as after a tap on the field.
  void Focus(uint32_t kind, std::u16string text = {}) {
    ui_.text_input_active = true;
    ui_.field.kind = kind;
    ui_.field_text = std::move(text);
    desktop_->SyncNativeEditor(true);
  }
  platform::TextEntry& entry() { return desktop_->input_window()->entry(); }
  intptr_t Key(WindowKey key, platform::TextEntry::KeyState keys = {}) {
    WindowMessage message;
    message.type = WindowMessageType::kKeyDown;
    message.key = key;
    return desktop_->EditSubclassProc(message, keys);
  }
};

TEST_F(DesktopEditorTest, ThePasswordFieldGetsAMaskedEntryAtItsPlaceAndItsLimit) {
  quorix_test::EventLogCapture log;
  Open(false);
  Focus(kDesktopFieldPassword, u"secret");
  platform::InputWindow& input = *desktop_->input_window();
  EXPECT_EQ((std::array{input.x(), input.y(), input.width(), input.height()}), (std::array{1446, 618, 414, 39}));
  EXPECT_TRUE(entry().IsPassword());
  EXPECT_EQ(entry().Text(), u"secret");
  ASSERT_TRUE(PumpUntil([&] { return x_->Geometry(input.XWindowId()) == (std::array{1446, 618, 414, 39}); }));
  EXPECT_EQ(input.OwnerXWindowId(), desktop_->panel(0).window->XWindowId());

  struct Case {
    std::u16string typed;
    size_t units;
  } cases[] = {
      {std::u16string(300, u'a'), 256},
      {std::u16string(255, u'b') + u"\U0001F600", 255},  // an emoji needs two units: refused at 255
      {std::u16string(254, u'c') + u"\U0001F600x", 256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.units);
    entry().SetText(u"");
    entry().ReplaceSelection(c.typed);
    EXPECT_EQ(entry().Text().size(), c.units);
    EXPECT_EQ(entry().Text(), c.typed.substr(0, c.units));
  }
  // Text the phone sets is not cut.
  entry().SetText(std::u16string(300, u'd'));
  EXPECT_EQ(entry().Text().size(), 300u);

  // Leaving the password field empties the entry.
  ui_.text_input_active = false;
  desktop_->SyncNativeEditor(false);
  EXPECT_EQ(entry().Text(), u"");
  EXPECT_FALSE(input.IsVisible());
  EXPECT_EQ(log.Count("UI33_INPUT_CONTEXT"), 2u);
}

TEST_F(DesktopEditorTest, TypingReachesThePhonesField) {
  Open(false);
  Focus(kDesktopFieldId);
  platform::InputWindow& input = *desktop_->input_window();
  ASSERT_TRUE(PumpUntil([&] { return x_->Viewable(input.XWindowId()) && entry().HasFocus(); }));
  x_->Type("abc");
  ASSERT_TRUE(PumpUntil([&] { return ui_.field_text == u"abc"; }));
  EXPECT_EQ(ui_.CallsNamed("SetFocusedFieldText").back().text, u"abc");
  // Tab moves to the password field on the phone and the entry follows.
  x_->Chord({XK_Tab});
  ASSERT_TRUE(WaitForCalls("Tap", 1));
  EXPECT_EQ(ui_.CallsNamed("Tap")[0], (quorix_test::ScriptedDesktopPhoneUi::Call{"Tap", 150, 680}));
  EXPECT_TRUE(entry().IsPassword());
}

TEST_F(DesktopEditorTest, TabAndEnterMoveBetweenTheSignInFieldsAndLogIn) {
  Open(true);
  struct Case {
    uint32_t kind;
    WindowKey key;
    platform::TextEntry::KeyState keys;
    intptr_t answer;
    std::vector<quorix_test::ScriptedDesktopPhoneUi::Call> taps;
  } cases[] = {
      {kDesktopFieldId, WindowKey::kTab, {}, 1, {{"Tap", 150, 680}}},
      {kDesktopFieldPassword, WindowKey::kTab, {}, 1, {{"Tap", 150, 560}}},
      {kDesktopFieldId, WindowKey::kEnter, {}, 1, {{"Tap", 150, 680}}},
      {kDesktopFieldPassword, WindowKey::kEnter, {}, 1, {{"Tap", 260, 790}}},
      {kDesktopFieldPassword, WindowKey::kEnter, {true, false}, 1, {}},  // the key ended a composition
      {kDesktopFieldMessage, WindowKey::kEnter, {}, 0, {}},
      {kDesktopFieldMessage, WindowKey::kTab, {}, 1, {}},
      {kDesktopFieldMessage, WindowKey::kOther, {}, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kind << "/" << static_cast<int>(c.key));
    Focus(c.kind);
    ui_.calls.clear();
    EXPECT_EQ(Key(c.key, c.keys), c.answer);
    EXPECT_EQ(ui_.CallsNamed("Tap"), c.taps);
  }
  // With an external editor open, Enter commits it and Tab does nothing.
  ui_.field.editor_id = 7;
  desktop_->SyncNativeEditor(false);
  ui_.calls.clear();
  EXPECT_EQ(Key(WindowKey::kTab), 1);
  EXPECT_EQ(Key(WindowKey::kEnter), 1);
  EXPECT_EQ(ui_.CallsNamed("CommitExternalEditor").size(), 1u);
  EXPECT_TRUE(ui_.CallsNamed("Tap").empty());
}

TEST_F(DesktopEditorTest, ACompositionIsNeverOverwrittenAndAnExternalEditorIsParked) {
  Open(false);
  Focus(kDesktopFieldMessage, u"hi");
  platform::InputWindow& input = *desktop_->input_window();
  ASSERT_TRUE(PumpUntil([&] { return x_->Viewable(input.XWindowId()) && entry().HasFocus(); }));
  // GTK's own input method: Ctrl+Shift+U then the code point.
  x_->Chord({XK_Control_L, XK_Shift_L, XK_u});
  x_->Type("3042");
  ASSERT_TRUE(PumpUntil([&] { return desktop_->composing(); }));
  ui_.field_text = u"changed by the phone";
  desktop_->SyncNativeEditor(false);
  EXPECT_EQ(entry().Text(), u"hi");
  // A space commits it; the phone's field gets the entry's text.
  x_->Chord({XK_space});
  ASSERT_TRUE(PumpUntil([&] { return !desktop_->composing() && ui_.field_text == u"hi\u3042"; }));

  ui_.field.editor_id = 5;
  desktop_->SyncNativeEditor(false);
  EXPECT_EQ((std::array{input.x(), input.y(), input.width(), input.height()}), (std::array{-32000, -32000, 300, 44}));
  EXPECT_FALSE(input.IsVisible());
  EXPECT_FALSE(entry().HasFocus());
}

TEST_F(DesktopEditorTest, TheMessageFieldLendsTheBridgeUntilInputEnds) {
  Open(true);
  Focus(kDesktopFieldMessage);
  EXPECT_TRUE(desktop_->bridge_lent());
  EXPECT_NE(ui_.attached_bridge, nullptr);
  Focus(kDesktopFieldId);
  EXPECT_FALSE(desktop_->bridge_lent());
  EXPECT_EQ(ui_.attached_bridge, nullptr);
  Focus(kDesktopFieldMessage);
  desktop_.reset();  // takes the bridge back before it goes
  EXPECT_EQ(ui_.attached_bridge, nullptr);
}

}  // namespace
