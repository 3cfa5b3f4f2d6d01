// Editing another component's field through the phone keyboard.
#include <gtest/gtest.h>

#include <stdexcept>

#include "phone_ui/phone_ui.h"
#include "platform/clock.h"
#include "support/cout_capture.h"
#include "support/draft_bridge_fixture.h"

namespace {

struct Offers {
  std::vector<std::pair<std::u16string, bool>> seen;
  bool answer = true;
  PhoneUi::EditorCallback Sink() {
    return [this](const std::u16string& text, bool commit) {
      seen.emplace_back(text, commit);
      return answer;
    };
  }
};

class PhoneEditorTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetClockForTesting(&clock_); }
  void TearDown() override { platform::SetClockForTesting(nullptr); }
  bool Open(uint64_t id, std::u16string text, bool secret = false, uint64_t start = PhoneUi::kNoSelection,
            uint64_t end = PhoneUi::kNoSelection) {
    return ui_.OpenExternalEditor(id, std::move(text), secret, u"field", offers_.Sink(), start, end);
  }

  platform::ManualClock clock_;
  PhoneUi ui_;
  Offers offers_;
};

TEST_F(PhoneEditorTest, RefusedOpensChangeNothing) {
  struct Case {
    const char* name;
    uint64_t id;
    std::u16string text;
    bool secret;
    uint64_t start;
    bool callback;
  };
  const Case cases[] = {
      {"id 0", 0, u"abc", false, PhoneUi::kNoSelection, true},
      {"no callback", 7, u"abc", false, PhoneUi::kNoSelection, false},
      {"secret of 257", 7, std::u16string(257, u'p'), true, PhoneUi::kNoSelection, true},
      {"lone surrogate", 7, u"a\xD83D", false, PhoneUi::kNoSelection, true},
      {"start inside a pair", 7, u"a😀", false, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui_.TakeDirty();
    PhoneUi::EditorCallback sink = c.callback ? offers_.Sink() : nullptr;
    EXPECT_FALSE(ui_.OpenExternalEditor(c.id, c.text, c.secret, u"", sink, c.start, PhoneUi::kNoSelection));
    EXPECT_EQ(ui_.external_editor, nullptr);
    EXPECT_FALSE(ui_.TakeDirty());
  }
  EXPECT_TRUE(Open(7, std::u16string(1000, u'm')));
}

TEST_F(PhoneEditorTest, OpeningKeepsTheSameIdAndClosesAnotherUncalled) {
  ui_.keyboard.password = u"phone-secret";
  ui_.keyboard.SetMessageText(u"phone draft");
  ASSERT_TRUE(Open(7, u"abc"));
  EXPECT_EQ(ui_.selection_start, 3u);
  EXPECT_EQ(ui_.selection_end, 3u);
  EXPECT_EQ(ui_.external_editor->message, u"abc");
  EXPECT_EQ(ui_.external_editor->password, u"");
  EXPECT_EQ(ui_.desktop_repaint_request, 1);
  ASSERT_TRUE(ui_.SetExternalEditorSelection(7, 1, 2));
  EXPECT_TRUE(Open(7, u"other"));
  EXPECT_EQ(ui_.external_editor->message, u"abc");
  EXPECT_EQ(ui_.selection_start, 1u);
  EXPECT_TRUE(Open(8, u"xyz", true));
  EXPECT_EQ(ui_.external_editor_id, 8u);
  EXPECT_EQ(ui_.external_editor->password, u"xyz");
  EXPECT_TRUE(offers_.seen.empty());
  ui_.CloseExternalEditor(8);
  EXPECT_EQ(ui_.external_editor, nullptr);
  EXPECT_EQ(ui_.keyboard.message, u"phone draft");
}

TEST_F(PhoneEditorTest, EditsAtTheSelection) {
  const auto append = [](QuorixVrKeyboard& k) { k.message += u"X"; };
  const auto nothing = [](QuorixVrKeyboard&) {};
  struct Case {
    const char* name;
    std::u16string text;
    uint64_t start, end;
    std::function<void(QuorixVrKeyboard&)> op;
    bool backspace, clear, changed;
    std::u16string after;
    uint64_t caret;
  };
  const Case cases[] = {
      {"backspace over a pair", u"a😀", 3, 3, nullptr, true, false, true, u"a", 1},
      {"backspace a selection", u"abcd", 1, 3, nullptr, true, false, true, u"ad", 1},
      {"a key replaces the selection", u"abcd", 1, 3, append, false, false, true, u"aXd", 2},
      {"a key changing nothing", u"abcd", 1, 3, nothing, false, false, false, u"abcd", 1},
      {"clear", u"abcd", 2, 2, nullptr, false, true, true, u"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Open(1, c.text, false, c.start, c.end));
    EXPECT_EQ(ui_.ApplyEditorEdit(c.op, c.backspace, c.clear), c.changed);
    EXPECT_EQ(ui_.external_editor->message, c.after);
    EXPECT_EQ(ui_.selection_start, c.caret);
    EXPECT_EQ(ui_.selection_end, c.changed ? c.caret : c.end);
    ui_.CloseExternalEditor(1);
  }
  EXPECT_TRUE(offers_.seen.empty());
}

TEST_F(PhoneEditorTest, EditsThatCannotApplyLeaveTheTextAlone) {
  ASSERT_TRUE(Open(1, std::u16string(1000, u'm')));
  EXPECT_FALSE(ui_.ApplyEditorEdit([](QuorixVrKeyboard& k) { k.message += u"X"; }, false, false));
  EXPECT_EQ(ui_.editor_attention, 1);
  EXPECT_EQ(ui_.external_editor->message.size(), 1000u);
  // The text was shortened under the selection.
  ASSERT_TRUE(Open(2, u"abcdef"));
  ui_.external_editor->message = u"ab";
  EXPECT_FALSE(ui_.ApplyEditorEdit(nullptr, true, false));
  EXPECT_EQ(ui_.external_editor->message, u"ab");
  EXPECT_EQ(ui_.selection_start, 6u);
}

TEST_F(PhoneEditorTest, RefusedOffersAreRetriedAndAnAcceptedCommitCloses) {
  clock_.Set(5000);
  ASSERT_TRUE(Open(1, u"abc"));
  offers_.answer = false;
  EXPECT_FALSE(ui_.FinishExternalEditor(false));
  EXPECT_EQ(ui_.editor_retry_armed, 1);
  EXPECT_EQ(ui_.editor_retry_deadline, 5200u);
  EXPECT_EQ(ui_.editor_retry_commit, 0);
  EXPECT_EQ(ui_.CommitExternalEditor(), 0);
  EXPECT_EQ(ui_.editor_retry_commit, 1);
  ui_.external_editor_callback = [](const std::u16string&, bool) -> bool { throw std::runtime_error("gone"); };
  EXPECT_FALSE(ui_.FinishExternalEditor(true));
  EXPECT_EQ(ui_.editor_attention, 1);
  ui_.external_editor_callback = offers_.Sink();
  offers_.answer = true;
  EXPECT_EQ(ui_.CommitExternalEditor(), 1);
  EXPECT_EQ(ui_.external_editor, nullptr);
  ASSERT_EQ(offers_.seen.size(), 3u);
  EXPECT_EQ(offers_.seen.back(), (std::pair<std::u16string, bool>{u"abc", true}));
}

TEST_F(PhoneEditorTest, ACallbackMayCloseOrReplaceItsOwnEditor) {
  for (const bool reopen : {false, true}) {
    SCOPED_TRACE(reopen);
    std::string captured(200, 'c');  // a capture large enough to live on the heap
    ASSERT_TRUE(ui_.OpenExternalEditor(
        1, u"abc", false, u"", [&, captured](const std::u16string&, bool) {
          ui_.CloseExternalEditor(1);
          if (reopen) {
            EXPECT_TRUE(Open(2, u"next"));
          }
          return !captured.empty();
        }));
    EXPECT_TRUE(ui_.FinishExternalEditor(false));
    EXPECT_EQ(ui_.external_editor_id, reopen ? 2u : 0u);
    EXPECT_EQ(ui_.editor_retry_armed, 0);
    ui_.CloseExternalEditor(2);
  }
}

TEST_F(PhoneEditorTest, TheBridgeRefusingADraftRollsTheMessageBack) {
  quorix_test::BoundDraftBridge b;
  ui_.keyboard.SetMessageText(u"はし");
  ui_.AttachTsfBridge(b.bridge.get());
  ASSERT_TRUE(b.bridge->RequestVrConvert(0, QuorixTsfDraftBridge::kToDraftEnd));
  ASSERT_TRUE(b.PollUntilStatus(u"BACKGROUND_CANDIDATES"));
  ui_.keyboard.SetMessageText(u"はしご");
  quorix_test::CoutCapture out;
  EXPECT_FALSE(ui_.SyncDraftToBridge(u"はし"));
  EXPECT_EQ(ui_.keyboard.message, u"はし");
  EXPECT_EQ(out.Take(), "MVP02C3D_VR_EDIT=REJECTED_SAFE_NO_TEXT_LOG\n");
}

TEST_F(PhoneEditorTest, CommittingWhileTheBridgeConvertsWaits) {
  quorix_test::BoundDraftBridge b;
  ASSERT_TRUE(Open(1, u"はし"));
  ui_.AttachTsfBridge(b.bridge.get());
  ASSERT_TRUE(b.bridge->RequestVrConvert(0, QuorixTsfDraftBridge::kToDraftEnd));
  ASSERT_TRUE(b.PollUntilStatus(u"BACKGROUND_CANDIDATES"));
  EXPECT_EQ(ui_.CommitExternalEditor(), 0);
  EXPECT_EQ(ui_.editor_retry_commit, 1);
  EXPECT_EQ(ui_.editor_retry_armed, 0);
  EXPECT_TRUE(offers_.seen.empty());
  ui_.CloseExternalEditor(1);
}

}  // namespace
