// Editing another component's field through the phone keyboard.
#include <gtest/gtest.h>

#include <stdexcept>

#include "phone_ui/phone_ui.h"
#include "platform/clock.h"
#include "support/cout_capture.h"
#include "support/draft_bridge_fixture.h"

namespace {

class PhoneEditorTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetClockForTesting(&clock_); }
  void TearDown() override { platform::SetClockForTesting(nullptr); }
  bool Open(uint64_t id, std::u16string text, uint64_t start = PhoneUi::kNoSelection, bool secret = false) {
    return ui_.OpenExternalEditor(id, std::move(text), secret, u"field", Sink(), start, PhoneUi::kNoSelection);
  }
  PhoneUi::EditorCallback Sink() {
    return [this](const std::u16string& text, bool commit) {
      offers_.emplace_back(text, commit);
      return answer_;
    };
  }

  platform::ManualClock clock_;
  PhoneUi ui_;
  std::vector<std::pair<std::u16string, bool>> offers_;
  bool answer_ = true;
};

TEST_F(PhoneEditorTest, RefusedOpensChangeNothingAndOneIdStaysOpen) {
  ui_.TakeDirty();
  EXPECT_FALSE(ui_.OpenExternalEditor(0, u"abc", false, u"", Sink()));
  EXPECT_FALSE(ui_.OpenExternalEditor(7, u"abc", false, u"", nullptr));
  EXPECT_FALSE(Open(7, std::u16string(257, u'p'), PhoneUi::kNoSelection, true));
  EXPECT_FALSE(Open(7, u"a\xD83D"));
  EXPECT_FALSE(Open(7, u"a😀", 2));
  EXPECT_FALSE(ui_.TakeDirty());

  ui_.keyboard.password = u"phone-secret";
  ASSERT_TRUE(Open(7, u"abc"));
  EXPECT_EQ(ui_.selection_start + ui_.selection_end, 6u);
  EXPECT_EQ(ui_.external_editor->password, u"");
  ASSERT_TRUE(ui_.SetExternalEditorSelection(7, 1, 2));
  EXPECT_TRUE(Open(7, u"other"));
  EXPECT_EQ(ui_.external_editor->message, u"abc");
  EXPECT_EQ(ui_.selection_start, 1u);
  EXPECT_TRUE(Open(8, u"xyz", PhoneUi::kNoSelection, true));
  EXPECT_EQ(ui_.external_editor->password, u"xyz");
  EXPECT_TRUE(offers_.empty());
  // The desktop's edit replaces the whole field and offers it.
  EXPECT_TRUE(ui_.SetFocusedFieldText(u"pqrs"));
  EXPECT_EQ(ui_.selection_start + ui_.selection_end, 8u);
  EXPECT_EQ(offers_, (std::vector<std::pair<std::u16string, bool>>{{u"pqrs", false}}));
}

TEST_F(PhoneEditorTest, EditsAtTheSelection) {
  const auto append = [](QuorixVrKeyboard& k) { k.message += u"X"; };
  struct Case {
    std::u16string text;
    uint64_t start, end;
    std::function<void(QuorixVrKeyboard&)> op;
    bool backspace, clear, changed;
    std::u16string after;
    uint64_t caret;
  };
  const Case cases[] = {
      {u"a😀", 3, 3, nullptr, true, false, true, u"a", 1},
      {u"abcd", 1, 3, nullptr, true, false, true, u"ad", 1},
      {u"abcd", 1, 3, append, false, false, true, u"aXd", 2},
      {u"abcd", 1, 3, [](QuorixVrKeyboard&) {}, false, false, false, u"abcd", 1},
      {u"abcd", 2, 2, nullptr, false, true, true, u"", 0},
      {std::u16string(1000, u'm'), 5, 5, append, false, false, false, std::u16string(1000, u'm'), 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.after.size());
    ASSERT_TRUE(ui_.OpenExternalEditor(1, c.text, false, u"", Sink(), c.start, c.end));
    EXPECT_EQ(ui_.ApplyEditorEdit(c.op, c.backspace, c.clear), c.changed);
    EXPECT_EQ(ui_.external_editor->message, c.after);
    EXPECT_EQ(ui_.selection_start, c.caret);
    EXPECT_EQ(ui_.editor_attention, c.after.size() == 1000 ? 1 : 0);
    ui_.CloseExternalEditor(1);
  }
  // The text was shortened under the selection.
  ASSERT_TRUE(Open(2, u"abcdef"));
  ui_.external_editor->message = u"ab";
  EXPECT_FALSE(ui_.ApplyEditorEdit(nullptr, true, false));
  EXPECT_EQ(ui_.external_editor->message, u"ab");
  EXPECT_TRUE(offers_.empty());
}

TEST_F(PhoneEditorTest, RefusedOffersAreRetriedAndAnAcceptedCommitCloses) {
  clock_.Set(5000);
  ASSERT_TRUE(Open(1, u"abc"));
  answer_ = false;
  EXPECT_FALSE(ui_.FinishExternalEditor(false));
  EXPECT_EQ(ui_.editor_retry_armed + ui_.editor_attention, 2);
  EXPECT_EQ(ui_.editor_retry_deadline, 5200u);
  EXPECT_EQ(ui_.CommitExternalEditor(), 0);
  EXPECT_EQ(ui_.editor_retry_commit, 1);
  ui_.external_editor_callback = [](const std::u16string&, bool) -> bool { throw std::runtime_error("gone"); };
  EXPECT_FALSE(ui_.FinishExternalEditor(true));
  ui_.external_editor_callback = Sink();
  answer_ = true;
  EXPECT_EQ(ui_.CommitExternalEditor(), 1);
  EXPECT_EQ(ui_.external_editor, nullptr);
  EXPECT_EQ(offers_.back(), (std::pair<std::u16string, bool>{u"abc", true}));
}

TEST_F(PhoneEditorTest, ACallbackMayCloseOrReplaceItsOwnEditor) {
  for (const bool reopen : {false, true}) {
    std::string captured(200, 'c');  // on the heap: freed if the running callback were destroyed
    ASSERT_TRUE(ui_.OpenExternalEditor(1, u"abc", false, u"", [&, captured](const std::u16string&, bool) {
      ui_.CloseExternalEditor(1);
      return (!reopen || Open(2, u"next")) && !captured.empty();
    }));
    EXPECT_TRUE(ui_.FinishExternalEditor(false));
    EXPECT_EQ(ui_.external_editor_id, reopen ? 2u : 0u);
    ui_.CloseExternalEditor(2);
  }
}

TEST_F(PhoneEditorTest, ARefusingBridgeRollsBackAndABusyOneHoldsTheCommit) {
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

  ASSERT_TRUE(Open(1, u"はし"));
  ui_.AttachTsfBridge(b.bridge.get());
  ASSERT_TRUE(b.bridge->RequestVrConvert(0, QuorixTsfDraftBridge::kToDraftEnd));
  ASSERT_TRUE(b.PollUntilStatus(u"BACKGROUND_CANDIDATES"));
  EXPECT_EQ(ui_.CommitExternalEditor(), 0);
  EXPECT_EQ(ui_.editor_commit_held, 1);
  EXPECT_TRUE(offers_.empty());
}

}  // namespace
