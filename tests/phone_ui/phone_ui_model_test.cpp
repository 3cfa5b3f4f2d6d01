#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <optional>
#include <stdexcept>

#include "core/environment.h"
#include "core/ui_settings.h"
#include "phone_ui/phone_ui.h"
#include "phone_ui/ui_sound_player.h"
#include "phone_ui/ui_sound_test_hooks.h"
#include "platform/clock.h"
#include "support/fake_owner.h"
#include "support/fake_wave_output.h"
#include "support/wave_files.h"

namespace {

using quorix_test::FakeOwner;
using quorix_test::OwnerCall;

class PhoneUiModelTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetClockForTesting(&clock_); }
  void TearDown() override { platform::SetClockForTesting(nullptr); }

  // The lines `action` prints.
  template <typename F>
  std::string Printed(F action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
  }

  // A live snapshot with one friend whose thread is open.
  void OpenLiveThread() {
    ASSERT_TRUE(ui_.chat_model.LoadSnapshot({"me", {{"f1", "Friend"}}, {}}));
    ASSERT_TRUE(ui_.chat_model.OpenThread("f1"));
  }

  platform::ManualClock clock_;
  PhoneUi ui_;
  FakeOwner owner_;
};

TEST_F(PhoneUiModelTest, FreshModelIsDirtyOnceAndAttachingOwnerReadsStatusOnce) {
  EXPECT_TRUE(ui_.TakeDirty());
  EXPECT_FALSE(ui_.TakeDirty());

  owner_.status.code = 3;
  owner_.status.revision = 42;
  ui_.audio_panel_open = 1;
  ui_.last_owner_action_failed = 1;
  ui_.AttachOwner(&owner_);
  EXPECT_EQ(owner_.calls, (std::vector<OwnerCall>{{"GetStatus", ""}}));
  EXPECT_EQ(ui_.cached_status_revision, 42u);
  EXPECT_EQ(ui_.cached_status_code, 3u);
  EXPECT_EQ(ui_.audio_panel_open, 0);
  EXPECT_EQ(ui_.last_owner_action_failed, 0);
  EXPECT_TRUE(ui_.TakeDirty());

  owner_.ClearCalls();
  ui_.AttachOwner(nullptr);
  EXPECT_TRUE(owner_.calls.empty());
  EXPECT_EQ(ui_.cached_status_revision, 42u);
}

TEST_F(PhoneUiModelTest, AttachSettingsHandsTheRecordThenTheSwitchToTheOwner) {
  UiSettings settings;
  settings.notifications = false;
  ui_.AttachOwner(&owner_);
  owner_.ClearCalls();
  ui_.keyboard_open = 1;
  ui_.AttachSettings(&settings);
  EXPECT_EQ(owner_.calls, (std::vector<OwnerCall>{{"AttachSettings", "record"}, {"SetNotificationsEnabled", "false"}}));
  EXPECT_EQ(owner_.attached_settings, &settings);
  EXPECT_FALSE(owner_.notifications_enabled);
  EXPECT_EQ(ui_.launcher_screen, 1u);
  EXPECT_EQ(ui_.launcher_app, 0);
  EXPECT_EQ(ui_.keyboard_open, 0);

  // Null goes back to launcher mode without asking the owner.
  owner_.ClearCalls();
  ui_.launcher_app = 5;
  ui_.AttachSettings(nullptr);
  EXPECT_TRUE(owner_.calls.empty());
  EXPECT_EQ(ui_.settings, nullptr);
  EXPECT_EQ(ui_.launcher_app, 0);
}

TEST_F(PhoneUiModelTest, AttachSettingsCapsTheSoundVolumeAndStopsPlayingVoicesOnAChange) {
  quorix_test::ScratchDir sounds;
  quorix_test::WriteBytes(sounds.path() / "ui_tap.wav", quorix_test::WaveFile({100, -100, 200, -200}));
  auto output = std::make_unique<quorix_test::FakeWaveOutput>();
  quorix_test::FakeWaveOutput* fake = output.get();
  ui_sound_test_hooks::SetProcessPlayerParts(std::move(output), &clock_, sounds.path());
  UiSoundPlayer& player = UiSoundPlayer::Instance();
  player.volume = 80;
  ASSERT_TRUE(player.Play(static_cast<int32_t>(UiSoundId::ui_tap), false));

  UiSettings settings;
  settings.ui_volume = 150;
  ui_.AttachSettings(&settings);
  EXPECT_EQ(player.volume, 100);
  EXPECT_EQ(fake->calls, (std::vector<std::string>{"Open(-1)=1", "Write(1,8)", "Reset(1)", "Close(1)"}));

  ui_.AttachSettings(&settings);
  EXPECT_EQ(fake->calls.size(), 4u);
  ui_sound_test_hooks::SetProcessPlayerParts(nullptr, nullptr, sounds.path());
}

TEST_F(PhoneUiModelTest, InitializeReadsBothOptInsByteForByte) {
  struct Case {
    std::optional<std::u16string_view> read_only;
    std::optional<std::u16string_view> messaging;
    const char* line;
  };
  const Case cases[] = {
      {std::nullopt, u"1", "OFF"},
      {u"1", u"1", "OPT_IN"},
      {u"1 ", u"1", "OFF"},
      {u"1", u"yes", "OFF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("messaging ") + c.line);
    ScopedEnvironmentVariable read_only(u"QUORIX_MVP03B2B_LIVE_READONLY", c.read_only);
    ScopedEnvironmentVariable messaging(u"QUORIX_MVP03_LIVE_MESSAGING", c.messaging);
    PhoneUi ui;
    const uint64_t epoch = ui.conversation_epoch;
    bool result = false;
    EXPECT_EQ(Printed([&] { result = ui.Initialize(); }),
              std::string("TWO_PC_CHAT_ENV=REAL_QUORIX_API\nMVP03_LIVE_MESSAGING=") + c.line +
                  "\n[PF17_UI] INITIALIZE=PASS screen=HOME page=1/2 apps=12 dock=3\n");
    EXPECT_TRUE(result);
    EXPECT_EQ(ui.live_messaging, std::string(c.line) == "OPT_IN" ? 1 : 0);
    EXPECT_EQ(ui.conversation_epoch, epoch + 1);
    EXPECT_EQ(ui.clock_minute, GetClockMinute());
  }
}

TEST_F(PhoneUiModelTest, TextInputIsActiveOnlyWhereAFieldTakesTyping) {
  enum Owner { kNone, kSignedOut, kSignedIn };
  struct Case {
    const char* name;
    bool native;
    Owner owner;
    uint32_t screen;
    uint32_t field;
    bool live_thread;
    bool expected;
    bool transition = false;
    bool audio_panel = false;
    bool chat_view = false;
  };
  const Case cases[] = {
      {"launcher, keyboard over the home app", false, kNone, 0, kFieldMessage, false, true},
      {"launcher, chat view without live thread", false, kNone, 0, kFieldMessage, false, false, false, false, true},
      {"launcher, chat view in a live thread", false, kNone, 0, kFieldMessage, true, true, false, false, true},
      {"launcher, sliding", false, kNone, 0, kFieldMessage, false, false, true},
      {"launcher, audio panel", false, kNone, 0, kFieldMessage, false, false, false, true},
      {"native without owner, id field", true, kNone, 0, kFieldId, false, true},
      {"native signed out, message field", true, kSignedOut, 0, kFieldMessage, false, false},
      {"native signed out, password", true, kSignedOut, 0, kFieldPassword, false, true},
      {"signed in, conversation, live thread", true, kSignedIn, 4, kFieldMessage, true, true},
      {"signed in, conversation, demo data", true, kSignedIn, 4, kFieldMessage, false, false},
      {"signed in, friend requests without entry", true, kSignedIn, 5, kFieldMessage, false, false},
      {"signed in, home screen", true, kSignedIn, 0, kFieldMessage, true, false},
      {"signed in, id field", true, kSignedIn, 4, kFieldId, true, false},
  };
  UiSettings settings;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PhoneUi ui;
    owner_.status.signed_in = c.owner == kSignedIn ? 1 : 0;
    if (c.owner != kNone) ui.AttachOwner(&owner_);
    if (c.native) ui.AttachSettings(&settings);
    ui.launcher_screen = 1;
    ui.launcher_app = 0;
    ui.keyboard_open = 1;
    ui.native_screen = c.screen;
    ui.keyboard.active_field = c.field;
    ui.transition_kind = c.transition ? kTransitionAppOpen : kTransitionNone;
    ui.audio_panel_open = c.audio_panel ? 1 : 0;
    ui.chat_view_open = c.chat_view ? 1 : 0;
    if (c.live_thread) {
      ui.live_messaging = 1;
      ASSERT_TRUE(ui.chat_model.LoadSnapshot({"me", {{"f1", "Friend"}}, {}}));
      ASSERT_TRUE(ui.chat_model.OpenThread("f1"));
    }
    EXPECT_EQ(ui.IsTextInputActive(), c.expected);
    ui.keyboard_open = 0;
    EXPECT_FALSE(ui.IsTextInputActive());
    ui.external_editor = std::make_unique<QuorixVrKeyboard>();
    EXPECT_TRUE(ui.IsTextInputActive());
  }
}

TEST_F(PhoneUiModelTest, FriendIdEntryMakesTheFriendRequestScreenTakeText) {
  UiSettings settings;
  owner_.status.signed_in = 1;
  ui_.AttachOwner(&owner_);
  ui_.AttachSettings(&settings);
  ui_.keyboard_open = 1;
  ui_.native_screen = 5;
  ui_.friend_id_entry_active = 1;
  EXPECT_TRUE(ui_.IsTextInputActive());
}

TEST_F(PhoneUiModelTest, APendingFetchIsOneWhoseResultIsNotReady) {
  EXPECT_FALSE(ui_.HasPendingFetch());
  std::promise<quorix_mvp03b2b::FetchResult> list;
  ui_.list_fetch_slot = list.get_future();
  EXPECT_TRUE(ui_.HasPendingFetch());
  list.set_value({});
  EXPECT_FALSE(ui_.HasPendingFetch());

  std::promise<quorix_mvp03read::Result> read;
  ui_.read_slot = read.get_future();
  EXPECT_TRUE(ui_.HasPendingFetch());
  read.set_exception(std::make_exception_ptr(std::runtime_error("gone")));
  EXPECT_FALSE(ui_.HasPendingFetch());

  std::promise<quorix_mvp03live::Result> send;
  ui_.send_slot = send.get_future();
  EXPECT_TRUE(ui_.HasPendingFetch());
}

TEST_F(PhoneUiModelTest, OwnerRevisionsAndStatusTexts) {
  EXPECT_EQ(ui_.GetOwnerRevisions(7), (std::array<uint64_t, 3>{7, 0, 0}));
  owner_.friend_requests.revision = 5;
  owner_.status.revision = 9;
  ui_.AttachOwner(&owner_);
  EXPECT_EQ(ui_.GetOwnerRevisions(7), (std::array<uint64_t, 3>{7, 5, 9}));

  EXPECT_EQ(std::u16string(GetOwnerStatusText(0)), u"ログインしてください");
  EXPECT_EQ(std::u16string(GetOwnerStatusText(6)), u"ログアウト中…");
  EXPECT_EQ(std::u16string(GetOwnerStatusText(7)), u"通話の終了を確認中");
  EXPECT_EQ(std::u16string(GetOwnerStatusText(8)), u"状態を確認してください");
  EXPECT_EQ(std::u16string(GetOwnerStatusText(0xFFFFFFFF)), u"状態を確認してください");
}

TEST_F(PhoneUiModelTest, ClockMinuteCountsTheDayOfTheYear) {
  struct Case {
    platform::WallTime local;
    uint32_t day_of_year;
  };
  const Case cases[] = {
      {{2023, 1, 1, 9, 5}, 0},
      {{2023, 3, 1, 9, 5}, 59},
      {{2024, 3, 1, 9, 5}, 60},
      {{2024, 12, 31, 9, 5}, 365},
      {{2100, 3, 1, 9, 5}, 59},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.local.year * 10000 + c.local.month * 100 + c.local.day);
    clock_.local = c.local;
    EXPECT_EQ(GetClockMinute(), (9 + c.day_of_year * 24) * 60 + 5);
  }
}

TEST_F(PhoneUiModelTest, ResettingTheConversationClearsItsStateAndTheDraftWhenAsked) {
  ui_.live_page_list.resize(3);
  ui_.history_peer = "f1";
  ui_.live_page_index = 2;
  ui_.history_loaded = 1;
  ui_.send_outcome_uncertain = 1;
  ui_.send_status_text = u"x";
  ui_.keyboard_open = 1;
  ASSERT_TRUE(ui_.keyboard.SetMessageText(u"draft"));
  ui_.ResetLiveConversation();
  EXPECT_EQ(ui_.conversation_epoch, 1u);
  EXPECT_TRUE(ui_.live_page_list.empty());
  EXPECT_TRUE(ui_.history_peer.empty());
  EXPECT_EQ(ui_.live_page_index + ui_.history_loaded + ui_.send_outcome_uncertain + ui_.keyboard_open, 0u);
  EXPECT_TRUE(ui_.send_status_text.empty());
  EXPECT_EQ(ui_.keyboard.message, u"draft");

  ui_.draft_cleared_on_exit = 1;
  ui_.ResetLiveConversation();
  EXPECT_EQ(ui_.conversation_epoch, 2u);
  EXPECT_TRUE(ui_.keyboard.message.empty());
  EXPECT_EQ(ui_.draft_cleared_on_exit, 0);
}

// ---- Navigation ----

TEST_F(PhoneUiModelTest, GoHomeIsANoopAtTheRootAndASlideFromPageTwo) {
  std::string out = Printed([&] { EXPECT_FALSE(ui_.GoHome()); });
  EXPECT_EQ(out, "[PF17_UI] HOME=NOOP reason=ALREADY_HOME_ROOT\n");
  EXPECT_EQ(ui_.transition_kind, kTransitionNone);

  ui_.launcher_page = 1;
  out = Printed([&] { EXPECT_TRUE(ui_.GoHome()); });
  EXPECT_EQ(out, "[PF17_UI] HOME=START target=HOME_ROOT\n");
  EXPECT_EQ(ui_.transition_kind, kTransitionHome);
  EXPECT_EQ(ui_.transition_start, clock_.TickMs());
  EXPECT_EQ(ui_.launcher_page, 1u);  // until the slide ends
  EXPECT_EQ(ui_.launcher_page_to, 0u);
  EXPECT_FALSE(ui_.GoHome());  // a slide is running

  UiSettings settings;
  ui_.AttachSettings(&settings);
  out = Printed([&] { EXPECT_TRUE(ui_.GoHome()); });
  EXPECT_EQ(out, "");
  EXPECT_EQ(ui_.launcher_screen, 0u);
  EXPECT_EQ(ui_.launcher_app, -1);
}

TEST_F(PhoneUiModelTest, GoToPageClampsAndLogsTheDirection) {
  ASSERT_TRUE(ui_.TakeDirty());
  EXPECT_EQ(Printed([&] { ui_.GoToPage(-3); }), "");
  EXPECT_FALSE(ui_.TakeDirty());
  EXPECT_EQ(Printed([&] { ui_.GoToPage(7); }), "[PF17_UI] PAGE_TRANSITION=START from=1 to=2 direction=LEFT\n");
  EXPECT_EQ(ui_.transition_kind, kTransitionPageForward);
  EXPECT_EQ(ui_.launcher_page_to, 1u);
  EXPECT_EQ(ui_.launcher_app_to, -1);
  EXPECT_TRUE(ui_.TakeDirty());
}

TEST_F(PhoneUiModelTest, AppTransitionsNameTheTileClampedToTheTable) {
  struct Case {
    int32_t app;
    const char* label;
  };
  for (const Case& c : {Case{4, "GALLERY"}, Case{15, "ABOUT"}, Case{-1, "-"}}) {
    SCOPED_TRACE(c.app);
    PhoneUi ui;
    EXPECT_EQ(Printed([&] { ui.StartTransition(kTransitionAppOpen, 1, c.app); }),
              std::string("[PF17_UI] APP_TRANSITION=START from=HOME target=APP app=") + c.label + "\n");
    EXPECT_EQ(ui.launcher_app_to, c.app);
  }
}

TEST_F(PhoneUiModelTest, TickEndsTheSlideAt180MsOnce) {
  Printed([&] { ui_.Initialize(); });
  Printed([&] { ui_.StartTransition(kTransitionAppOpen, 1, 0); });
  clock_.Advance(179);
  ui_.TakeDirty();
  EXPECT_EQ(Printed([&] { ui_.Tick(); }), "");
  EXPECT_EQ(ui_.transition_step, 5);
  EXPECT_TRUE(ui_.TakeDirty());
  ui_.Tick();
  EXPECT_FALSE(ui_.TakeDirty());

  clock_.Advance(1);
  EXPECT_EQ(Printed([&] { ui_.Tick(); }), "[PF17_UI] TRANSITION=END kind=3 screen=APP page=1 app=QUORIX\n");
  EXPECT_EQ(ui_.launcher_screen, 1u);
  EXPECT_EQ(ui_.launcher_app, 0);
  EXPECT_EQ(ui_.transition_kind, kTransitionNone);
  EXPECT_EQ(ui_.transition_step, -1);
  EXPECT_EQ(Printed([&] { ui_.Tick(); }), "");

  // A start ahead of the clock counts as just started.
  Printed([&] { ui_.GoHome(); });
  ui_.transition_start = clock_.TickMs() + 50;
  ui_.Tick();
  EXPECT_EQ(ui_.transition_step, 0);
  EXPECT_EQ(ui_.transition_kind, kTransitionHome);
}

TEST_F(PhoneUiModelTest, ANewMinuteDirtiesOnce) {
  Printed([&] { ui_.Initialize(); });
  ui_.TakeDirty();
  ui_.Tick();
  EXPECT_FALSE(ui_.TakeDirty());
  clock_.local.minute += 1;
  ui_.Tick();
  EXPECT_TRUE(ui_.TakeDirty());
  ui_.Tick();
  EXPECT_FALSE(ui_.TakeDirty());
}

}  // namespace
