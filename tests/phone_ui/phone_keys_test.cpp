// Keys, flicks and the account buttons of the phone keyboard, on the real
// keyboard, draft bridge, sign-in worker and settings.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "chat/sign_in_worker.h"
#include "core/environment.h"
#include "support/cout_capture.h"
#include "support/draft_bridge_fixture.h"
#include "support/event_log_capture.h"
#include "support/phone_fixture.h"
#include "support/test_util.h"
#include "support/ui_sound_fixture.h"

namespace {

// Keyboard-panel y of panel-space row `y`.
float PanelY(float y) { return y - 297; }

class PhoneKeysTest : public ::testing::Test {
 protected:
  // The chat app's main page in launcher mode with the keyboard open.
  explicit PhoneKeysTest(bool settings = false) : p_(settings) {
    p_.ui.launcher_screen = 1;
    p_.ui.launcher_app = 0;
    p_.ui.keyboard_open = 1;
  }
  void Type(std::u16string id, std::u16string password) {
    p_.ui.keyboard.id = std::move(id);
    p_.ui.keyboard.password = std::move(password);
  }

  quorix_test::PhoneFixture p_;
  quorix_test::CoutCapture out_;
};

TEST_F(PhoneKeysTest, AccountButtonsAreTheAccountKeys) {
  quorix_test::EventLogCapture log;
  struct Case {
    float x;
    std::vector<std::string> slots;  // after the card check's status read
  };
  const Case cases[] = {{100, {"GetStatus", "SignIn"}},
                        {270, {"GetStatus", "GetStatus"}},
                        {450, {"GetStatus", "SignOut"}},
                        {180, {"GetStatus"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    Type(u"alice", u"pw123");
    p_.owner.status.code = 4;
    p_.owner.ClearCalls();
    p_.ui.Tap(c.x, 500);
    EXPECT_EQ(p_.owner.SlotOrder(), c.slots);
    EXPECT_EQ(p_.ui.keyboard.password, c.slots.size() > 1 ? u"" : u"pw123");
    EXPECT_EQ(p_.ui.keyboard.message, u"");
  }
  p_.ui.Tap(100, 500);
  EXPECT_EQ(p_.owner.calls.back().args, "alice,5");
  EXPECT_EQ(p_.ui.cached_status_code, 4u);
  EXPECT_EQ(log.Count("VR_AUTH_ACTION"), 4u);
}

TEST_F(PhoneKeysTest, WithoutOwnerTheSignInKeyStartsTheWorkerUnlessRealAccountsAreOn) {
  p_.ui.AttachOwner(nullptr);
  {
    ScopedEnvironmentVariable real(u"QUORIX_2PC_REAL_ACCOUNTS", u"1");
    Type(u"alice", u"pw");
    p_.ui.Tap(100, 500);
    EXPECT_EQ(p_.ui.keyboard.password, u"");
    EXPECT_EQ(out_.Take(), "REAL_ACCOUNT_LOGIN_USE_NATIVE_PANEL\n");
    EXPECT_EQ(p_.ui.sign_in_worker.state.load(), VrSignInWorker::kNotChecked);
  }
  ScopedEnvironmentVariable real(u"QUORIX_2PC_REAL_ACCOUNTS", std::nullopt);
  // An id that cannot be sent ends the run without a request.
  Type(std::u16string(u"al") + char16_t(0xD800), u"pw");
  p_.ui.Tap(100, 500);
  EXPECT_NE(p_.ui.sign_in_worker.state.load(), VrSignInWorker::kNotChecked);
  EXPECT_EQ(p_.ui.keyboard.password, u"");
  EXPECT_TRUE(quorix_test::WaitFor([&] { return p_.ui.sign_in_worker.state.load() == VrSignInWorker::kLoginDenied; },
                                   std::chrono::seconds(60)));
}

TEST_F(PhoneKeysTest, TheDrawnControlRowButtonsBesideTheConversionKeysDoTheirOwnAction) {
  quorix_test::BoundDraftBridge b;
  struct Case {
    float x;
    std::u16string message;
    uint32_t kind;
    bool symbols;
  };
  const Case cases[] = {{50, u"ab", kKeyboardQwerty, true},
                        {150, u"ab", kKeyboardFlick, false},
                        {200, u"ab ", kKeyboardQwerty, false},
                        {350, u"a", kKeyboardQwerty, false}};
  for (const bool editor : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << editor << " " << c.x);
      p_.ui.DetachTsfBridge();
      p_.ui.keyboard.SetMessageText(u"ab");
      p_.ui.keyboard.keyboard_kind = kKeyboardQwerty;
      p_.ui.keyboard.qwerty_symbols = false;
      if (editor) {
        ASSERT_TRUE(p_.ui.OpenExternalEditor(4, u"ab", false, u"", [](auto&, bool) { return true; }));
      }
      p_.ui.AttachTsfBridge(b.bridge.get());
      ASSERT_TRUE(p_.ui.TapKeyboard(c.x, PanelY(767)));
      const QuorixVrKeyboard& k = editor ? *p_.ui.external_editor : p_.ui.keyboard;
      EXPECT_EQ(k.message, c.message);
      EXPECT_EQ(k.keyboard_kind, c.kind);
      EXPECT_EQ(k.qwerty_symbols, c.symbols);
      EXPECT_EQ(b.edit.text, c.message);
      p_.ui.CloseExternalEditor(4);
    }
  }
}

TEST_F(PhoneKeysTest, ConversionCandidatesPageAndReplaceTheReading) {
  quorix_test::BoundDraftBridge b;
  p_.ui.keyboard.SetMessageText(u"こうえん");
  EXPECT_TRUE(p_.ui.PageCandidates(+1));  // こうえん, コウエン: too few to page
  EXPECT_EQ(p_.ui.candidate_page, 0u);
  p_.ui.AttachTsfBridge(b.bridge.get());
  ASSERT_TRUE(p_.ui.TapKeyboard(450, PanelY(620)));  // convert
  ASSERT_TRUE(b.PollUntilStatus(u"BACKGROUND_CANDIDATES"));
  const uint64_t entries = b.state().candidates.size() + 2;
  ASSERT_GE(entries, 6u);
  EXPECT_TRUE(p_.ui.PageCandidates(+1));
  EXPECT_TRUE(p_.ui.PageCandidates(+1));
  EXPECT_EQ(p_.ui.candidate_page, std::min<uint64_t>(2, entries / 3 - 1));
  p_.ui.candidate_page = 0;
  const std::u16string second = b.state().candidates[1];
  ASSERT_TRUE(p_.ui.TapKeyboard(250, PanelY(430)));  // slot 1
  EXPECT_EQ(p_.ui.keyboard.message, second);
  EXPECT_EQ(p_.ui.keyboard.caret, second.size());

  // In an editor the reading is the selection, and the selection follows it.
  ASSERT_TRUE(p_.ui.OpenExternalEditor(4, u"xはしy", false, u"", [](auto&, bool) { return true; }, 1, 3));
  p_.ui.AttachTsfBridge(b.bridge.get());
  ASSERT_TRUE(p_.ui.TapKeyboard(450, PanelY(620)));
  ASSERT_TRUE(b.PollUntilStatus(u"BACKGROUND_CANDIDATES"));
  const std::u16string first = b.state().candidates[0];
  ASSERT_TRUE(p_.ui.TapKeyboard(100, PanelY(430)));
  EXPECT_EQ(p_.ui.external_editor->message, u"x" + first + u"y");
  EXPECT_EQ(p_.ui.selection_start, 1 + first.size());
  EXPECT_EQ(p_.ui.selection_end, 1 + first.size());
  p_.ui.CloseExternalEditor(4);
}

TEST_F(PhoneKeysTest, FlicksTakeTheLongerAxisAndPlayTheTypingSound) {
  quorix_test::ScopedUiSounds sounds(&p_.clock);
  // The あ key: right is え, up is う.
  EXPECT_TRUE(p_.ui.IsKeyboardSwipeArea(168, PanelY(480)));
  EXPECT_TRUE(p_.ui.SwipeKeyboard(168, PanelY(480), 5, -5));
  p_.clock.Advance(1000);
  EXPECT_TRUE(p_.ui.SwipeKeyboard(168, PanelY(480), 4, -5));
  EXPECT_EQ(p_.ui.keyboard.message, u"えう");
  EXPECT_EQ(sounds.Written(), (std::vector<int>{10, 10}));
}

TEST_F(PhoneKeysTest, EditorKeysNotifyCommitAndClose) {
  std::vector<std::u16string> offers;
  const auto sink = [&](const std::u16string& text, bool commit) {
    offers.push_back(text + (commit ? u"!" : u""));
    return true;
  };
  ASSERT_TRUE(p_.ui.OpenExternalEditor(4, u"ab", true, u"", sink));
  p_.ui.external_editor->keyboard_kind = kKeyboardQwerty;
  ASSERT_TRUE(p_.ui.TapKeyboard(40, PanelY(500)));  // q
  ASSERT_TRUE(p_.ui.TapKeyboard(450, PanelY(767)));  // the password's commit key
  EXPECT_EQ(offers, (std::vector<std::u16string>{u"abq", u"abq!"}));
  EXPECT_EQ(p_.ui.external_editor, nullptr);
  ASSERT_TRUE(p_.ui.OpenExternalEditor(5, u"cd", false, u"", sink));
  ASSERT_TRUE(p_.ui.TapKeyboard(60, PanelY(325)));  // clear
  ASSERT_TRUE(p_.ui.TapKeyboard(480, PanelY(325)));  // close, not a commit
  EXPECT_EQ(offers.back(), u"");
  EXPECT_EQ(p_.ui.external_editor, nullptr);
  p_.SignOut(0);
  EXPECT_FALSE(p_.ui.OpenConversation("friend01"));
}

TEST_F(PhoneKeysTest, PointsThatAreNotNumbersHitNothing) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  p_.SignIn(3);
  p_.owner.pending_notices = {{.id = 5, .expiry = 0, .title = u"", .body = u"", .peer_id = "friend01"}};
  for (const auto& [x, y] : {std::pair{nan, 400.f}, std::pair{100.f, nan}, std::pair{inf, 500.f}, std::pair{-inf, inf}}) {
    p_.ui.Tap(x, y);
    EXPECT_FALSE(p_.ui.TapKeyboard(x, y));
    EXPECT_FALSE(p_.ui.SwipeKeyboard(x, y, 5, 0));
    EXPECT_FALSE(p_.ui.IsKeyboardSwipeArea(x, y));
    EXPECT_FALSE(p_.ui.PressPopup(1, x, y, {0, 5, 0}, true));
  }
  EXPECT_EQ(p_.ui.keyboard.message, u"");
  EXPECT_EQ(p_.owner.Count("DismissNotice"), 0u);
}

class PhoneAudioPanelTest : public PhoneKeysTest {
 protected:
  PhoneAudioPanelTest() : PhoneKeysTest(true) {}
};

TEST_F(PhoneAudioPanelTest, VolumeStepsAndDevicesCycle) {
  quorix_test::EventLogCapture log;
  p_.settings.ui_volume = 95;
  EXPECT_TRUE(p_.ui.TapAudioPanel(400, 800));
  EXPECT_EQ(p_.settings.ui_volume, 100u);
  p_.settings.ui_volume = 5;
  EXPECT_TRUE(p_.ui.TapAudioPanel(100, 800));
  EXPECT_EQ(p_.settings.ui_volume, 0u);
  p_.owner.microphones = {.names = {u"a", u"b", u"c"}, .selected = -1, .revision = 3};
  p_.owner.speakers = {.names = {u"x", u"y"}, .selected = 1, .revision = 4};
  p_.owner.ClearCalls();
  EXPECT_TRUE(p_.ui.TapAudioPanel(100, 330));
  EXPECT_TRUE(p_.ui.TapAudioPanel(400, 530));
  EXPECT_TRUE(p_.ui.TapAudioPanel(300, 330));  // between the arrows
  EXPECT_EQ(p_.owner.calls.at(1).args, "true,2,3");
  EXPECT_EQ(p_.owner.calls.at(3).args, "false,0,4");
  EXPECT_EQ(log.Count("VR_AUDIO_ACTION"), 2u);
}

}  // namespace
