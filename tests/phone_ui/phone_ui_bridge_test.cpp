// The phone UI model lends and lets go of the draft bridge.
#include <gtest/gtest.h>

#include "phone_ui/phone_ui.h"
#include "support/draft_bridge_fixture.h"

namespace {

TEST(PhoneUiBridge, AttachMirrorsTheMessageButNeverAPasswordAndLeavingEmptiesTheDraft) {
  quorix_test::BoundDraftBridge b;
  PhoneUi ui;
  ui.keyboard.SetMessageText(u"こんにちは");
  ui.keyboard.active_field = kFieldPassword;
  ui.dirty = 0;
  ui.AttachTsfBridge(b.bridge.get());
  EXPECT_EQ(ui.tsf_bridge, nullptr);
  EXPECT_EQ(ui.dirty, 0);
  EXPECT_EQ(b.edit.text, u"");

  ui.keyboard.active_field = kFieldMessage;
  ui.AttachTsfBridge(b.bridge.get());
  EXPECT_EQ(ui.tsf_bridge, b.bridge.get());
  EXPECT_EQ(b.edit.text, u"こんにちは");
  EXPECT_EQ(ui.bridge_revision, b.state().revision);
  EXPECT_EQ(ui.dirty, 1);

  ui.candidate_page = 2;
  ui.DetachTsfBridge();
  EXPECT_EQ(ui.tsf_bridge, nullptr);
  EXPECT_EQ(ui.bridge_revision, 0u);
  EXPECT_EQ(ui.candidate_page, 0u);

  // Leaving a conversation empties the bridge's draft first.
  ui.keyboard.SetMessageText(u"はし");
  ui.AttachTsfBridge(b.bridge.get());
  ASSERT_TRUE(b.bridge->RequestVrConvert(0, QuorixTsfDraftBridge::kToDraftEnd));
  ASSERT_TRUE(b.PollUntil([](const auto& s) { return s.background_candidates != 0; }));
  ui.draft_cleared_on_exit = 1;
  ui.ResetLiveConversation();
  EXPECT_FALSE(b.bridge->IsBusy());
  EXPECT_EQ(b.edit.text, u"");
  EXPECT_EQ(ui.keyboard.message, u"");
  EXPECT_EQ(ui.draft_cleared_on_exit, 0);
}

}  // namespace
