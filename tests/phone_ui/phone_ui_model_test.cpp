#include <gtest/gtest.h>

#include <future>
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

using Calls = std::vector<quorix_test::OwnerCall>;

template <typename F>
std::string Printed(F action) {
  testing::internal::CaptureStdout();
  action();
  return testing::internal::GetCapturedStdout();
}

class PhoneUiModelTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetClockForTesting(&clock_); }
  void TearDown() override { platform::SetClockForTesting(nullptr); }

  platform::ManualClock clock_;
  PhoneUi ui_;
  quorix_test::FakeOwner owner_;
  UiSettings settings_;
};

TEST_F(PhoneUiModelTest, DirtyOnceAndTheOwnerStatusIsReadOnceOnAttach) {
  EXPECT_TRUE(ui_.TakeDirty());
  EXPECT_FALSE(ui_.TakeDirty());
  owner_.status = {.code = 3, .revision = 42};
  ui_.audio_panel_open = ui_.last_owner_action_failed = 1;
  ui_.AttachOwner(&owner_);
  EXPECT_EQ(owner_.calls, (Calls{{"GetStatus", ""}}));
  EXPECT_EQ(ui_.cached_status_revision, 42u);
  EXPECT_EQ(ui_.cached_status_code, 3u);
  EXPECT_EQ(ui_.audio_panel_open + ui_.last_owner_action_failed, 0);
  EXPECT_TRUE(ui_.TakeDirty());
  owner_.ClearCalls();
  ui_.AttachOwner(nullptr);
  EXPECT_TRUE(owner_.calls.empty());
}

TEST_F(PhoneUiModelTest, AttachSettingsHandsTheRecordThenTheSwitchToTheOwner) {
  settings_.notifications = false;
  ui_.AttachOwner(&owner_);
  owner_.ClearCalls();
  ui_.keyboard_open = 1;
  ui_.AttachSettings(&settings_);
  EXPECT_EQ(owner_.calls, (Calls{{"AttachSettings", "record"}, {"SetNotificationsEnabled", "false"}}));
  EXPECT_EQ(owner_.attached_settings, &settings_);
  EXPECT_EQ(ui_.launcher_screen, 1u);
  EXPECT_EQ(ui_.launcher_app, 0);
  EXPECT_EQ(ui_.keyboard_open, 0);
  owner_.ClearCalls();
  ui_.launcher_app = 5;
  ui_.AttachSettings(nullptr);  // back to launcher mode, the owner not asked
  EXPECT_TRUE(owner_.calls.empty());
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
  settings_.ui_volume = 150;
  ui_.AttachSettings(&settings_);
  EXPECT_EQ(player.volume, 100);
  EXPECT_EQ(fake->calls, (std::vector<std::string>{"Open(-1)=1", "Write(1,8)", "Reset(1)", "Close(1)"}));
  ui_.AttachSettings(&settings_);
  EXPECT_EQ(fake->calls.size(), 4u);
  ui_sound_test_hooks::SetProcessPlayerParts(nullptr, nullptr, sounds.path());
}

TEST_F(PhoneUiModelTest, InitializeReadsBothOptInsByteForByte) {
  struct Case {
    std::optional<std::u16string_view> read_only, messaging;
    std::string word;
  };
  for (const Case& c : {Case{std::nullopt, u"1", "OFF"}, Case{u"1", u"1", "OPT_IN"}, Case{u"1 ", u"1", "OFF"}}) {
    SCOPED_TRACE(c.word);
    ScopedEnvironmentVariable read_only(u"QUORIX_MVP03B2B_LIVE_READONLY", c.read_only);
    ScopedEnvironmentVariable messaging(u"QUORIX_MVP03_LIVE_MESSAGING", c.messaging);
    PhoneUi ui;
    EXPECT_EQ(Printed([&] { EXPECT_TRUE(ui.Initialize()); }),
              "TWO_PC_CHAT_ENV=REAL_QUORIX_API\nMVP03_LIVE_MESSAGING=" + c.word +
                  "\n[PF17_UI] INITIALIZE=PASS screen=HOME page=1/2 apps=12 dock=3\n");
    EXPECT_EQ(ui.live_messaging, c.word == "OPT_IN" ? 1 : 0);
    EXPECT_EQ(ui.conversation_epoch, 1u);
  }
}

TEST_F(PhoneUiModelTest, TextInputIsActiveOnlyWhereAFieldTakesTyping) {
  enum Owner { kNone, kOut, kIn };
  struct Case {
    const char* name;
    bool native;
    Owner owner;
    uint32_t screen, field;
    bool live_thread, expected, sliding = false, audio_panel = false, chat_view = false, friend_entry = false;
  };
  const Case cases[] = {
      {"launcher, home app", false, kNone, 0, kFieldMessage, false, true},
      {"launcher, chat view, demo data", false, kNone, 0, kFieldMessage, false, false, false, false, true},
      {"launcher, chat view, live thread", false, kNone, 0, kFieldMessage, true, true, false, false, true},
      {"launcher, sliding", false, kNone, 0, kFieldMessage, false, false, true},
      {"launcher, audio panel", false, kNone, 0, kFieldMessage, false, false, false, true},
      {"native, no owner, id field", true, kNone, 0, kFieldId, false, true},
      {"native, signed out, message", true, kOut, 0, kFieldMessage, false, false},
      {"native, signed out, password", true, kOut, 0, kFieldPassword, false, true},
      {"signed in, conversation, live", true, kIn, 4, kFieldMessage, true, true},
      {"signed in, conversation, demo", true, kIn, 4, kFieldMessage, false, false},
      {"signed in, requests, no entry", true, kIn, 5, kFieldMessage, false, false},
      {"signed in, requests, entry", true, kIn, 5, kFieldMessage, false, true, false, false, false, true},
      {"signed in, home screen", true, kIn, 0, kFieldMessage, true, false},
      {"signed in, id field", true, kIn, 4, kFieldId, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PhoneUi ui;
    owner_.status.signed_in = c.owner == kIn ? 1 : 0;
    if (c.owner != kNone) ui.AttachOwner(&owner_);
    if (c.native) ui.AttachSettings(&settings_);
    ui.launcher_screen = 1;
    ui.launcher_app = 0;
    ui.keyboard_open = 1;
    ui.native_screen = c.screen;
    ui.keyboard.active_field = c.field;
    ui.transition_kind = c.sliding ? kTransitionAppOpen : kTransitionNone;
    ui.audio_panel_open = c.audio_panel;
    ui.chat_view_open = c.chat_view;
    ui.friend_id_entry_active = c.friend_entry;
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
}

TEST_F(PhoneUiModelTest, OwnerRevisionsStatusPastTheTableAndClockMinute) {
  EXPECT_EQ(ui_.GetOwnerRevisions(7), (std::array<uint64_t, 3>{7, 0, 0}));
  owner_.friend_requests.revision = 5;
  owner_.status.revision = 9;
  ui_.AttachOwner(&owner_);
  EXPECT_EQ(ui_.GetOwnerRevisions(7), (std::array<uint64_t, 3>{7, 5, 9}));
  EXPECT_EQ(std::u16string(GetOwnerStatusText(8)), u"状態を確認してください");

  for (const auto& [local, day] : {std::pair{platform::WallTime{2023, 3, 1, 9, 5}, 59u},
                                   std::pair{platform::WallTime{2024, 12, 31, 9, 5}, 365u},
                                   std::pair{platform::WallTime{2100, 3, 1, 9, 5}, 59u}}) {
    clock_.local = local;
    EXPECT_EQ(GetClockMinute(), (9 + day * 24) * 60 + 5) << local.year;
  }
}

TEST_F(PhoneUiModelTest, ResettingTheConversationClearsItAndTheDraftOnlyWhenAsked) {
  ui_.live_page_list.resize(3);
  ui_.history_peer = "f1";
  ui_.live_page_index = ui_.history_loaded = ui_.keyboard_open = 1;
  ASSERT_TRUE(ui_.keyboard.SetMessageText(u"draft"));
  ui_.ResetLiveConversation();
  EXPECT_EQ(ui_.conversation_epoch, 1u);
  EXPECT_TRUE(ui_.live_page_list.empty() && ui_.history_peer.empty());
  EXPECT_EQ(ui_.live_page_index + ui_.history_loaded + ui_.keyboard_open, 0u);
  EXPECT_EQ(ui_.keyboard.message, u"draft");
  ui_.draft_cleared_on_exit = 1;
  ui_.ResetLiveConversation();
  EXPECT_TRUE(ui_.keyboard.message.empty());
  EXPECT_EQ(ui_.draft_cleared_on_exit, 0);
}

TEST_F(PhoneUiModelTest, GoHomeAndGoToPageStartSlidesOnlyWhenThereIsSomewhereToGo) {
  EXPECT_EQ(Printed([&] { EXPECT_FALSE(ui_.GoHome()); }), "[PF17_UI] HOME=NOOP reason=ALREADY_HOME_ROOT\n");
  ui_.TakeDirty();
  EXPECT_EQ(Printed([&] { ui_.GoToPage(-3); }), "");
  EXPECT_FALSE(ui_.TakeDirty());
  EXPECT_EQ(Printed([&] { ui_.GoToPage(7); }), "[PF17_UI] PAGE_TRANSITION=START from=1 to=2 direction=LEFT\n");
  EXPECT_EQ(ui_.transition_kind, kTransitionPageForward);
  EXPECT_EQ(ui_.launcher_page_to, 1u);

  ui_.transition_kind = kTransitionNone;
  ui_.launcher_page = 1;
  EXPECT_EQ(Printed([&] { EXPECT_TRUE(ui_.GoHome()); }), "[PF17_UI] HOME=START target=HOME_ROOT\n");
  EXPECT_EQ(ui_.transition_kind, kTransitionHome);
  EXPECT_EQ(ui_.transition_start, clock_.TickMs());
  EXPECT_EQ(ui_.launcher_page, 1u);  // until the slide ends
  EXPECT_FALSE(ui_.GoHome());

  ui_.AttachSettings(&settings_);
  EXPECT_EQ(Printed([&] { EXPECT_TRUE(ui_.GoHome()); }), "");
  EXPECT_EQ(ui_.launcher_screen, 0u);
  EXPECT_EQ(ui_.launcher_app, -1);
}

TEST_F(PhoneUiModelTest, AppTransitionsNameTheTileClampedToTheTable) {
  for (const auto& named : {std::pair{4, "GALLERY"}, std::pair{15, "ABOUT"}, std::pair{-1, "-"}}) {
    const int app = named.first;
    const char* const label = named.second;
    PhoneUi ui;
    EXPECT_EQ(Printed([&] { ui.StartTransition(kTransitionAppOpen, 1, app); }),
              std::string("[PF17_UI] APP_TRANSITION=START from=HOME target=APP app=") + label + "\n");
  }
}

TEST_F(PhoneUiModelTest, TickEndsTheSlideAt180MsOnceAndRedrawsForANewMinute) {
  Printed([&] {
    ui_.Initialize();
    ui_.StartTransition(kTransitionAppOpen, 1, 0);
  });
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
  EXPECT_EQ(ui_.transition_step, -1);
  EXPECT_EQ(Printed([&] { ui_.Tick(); }), "");

  ui_.TakeDirty();
  clock_.local.minute += 1;
  ui_.Tick();
  EXPECT_TRUE(ui_.TakeDirty());
  ui_.Tick();
  EXPECT_FALSE(ui_.TakeDirty());

  // A start ahead of the clock counts as just started.
  Printed([&] { ui_.GoHome(); });
  ui_.transition_start = clock_.TickMs() + 50;
  ui_.Tick();
  EXPECT_EQ(ui_.transition_step, 0);
  EXPECT_EQ(ui_.transition_kind, kTransitionHome);
}

}  // namespace
