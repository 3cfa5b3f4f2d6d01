// The owner window's life: creation with its controls, the status it
// reports, and the close.
#include <algorithm>
#include <atomic>
#include <thread>

#include "chat/history_session.h"
#include "owner_fixture.h"
#include "platform/com.h"
#include "platform/env.h"
#include "platform/message_pump.h"
#include "platform/ui_window_test_hooks.h"

namespace quorix_test {
namespace {

namespace ui = platform::ui;

TEST_F(OwnerTest, PhoneModeGivesAHiddenWindowWithItsControls) {
  ASSERT_TRUE(Create());
  const platform::WindowHandle window = owner_->window_handle();
  EXPECT_FALSE(ui::IsWindowVisible(window));
  EXPECT_EQ(ui::GetWindowText(window), u"QuorixPhone");
  ASSERT_EQ(ui::ChildWindows(window).size(), 24u);
  struct Case {
    size_t index;
    const char16_t* class_name;
    const char16_t* text;
    uint32_t id, limit, height;
    bool enabled;
  } cases[] = {
      {2, u"EDIT", u"", 0, 128, 26, true},
      {3, u"EDIT", u"", 0, 256, 26, true},
      {4, u"BUTTON", u"Login / reconnect", 101, 0, 28, true},
      {6, u"COMBOBOX", u"", 112, 0, 160, true},
      {7, u"STATIC", u"Real ID / password above; select friend after login", 0, 0, 38, true},
      {12, u"BUTTON", u"Call (test grant)", 103, 0, 30, false},
      {22, u"EDIT", u"", 0, 2000, 65, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    ui::WindowInfo info;
    ASSERT_TRUE(ui::GetWindowInfo(Control(c.index), &info));
    EXPECT_EQ(info.class_name, c.class_name);
    EXPECT_EQ(ui::GetWindowText(Control(c.index)), c.text);
    EXPECT_EQ(info.id, c.id);
    EXPECT_EQ(info.text_limit, c.limit);
    EXPECT_EQ(info.height, static_cast<int32_t>(c.height));
    EXPECT_EQ(ui::IsWindowEnabled(Control(c.index)), c.enabled);
    EXPECT_NE(info.style & ui::kWsChild, 0u);
    EXPECT_EQ(info.style & ui::kEsPassword, c.index == 3 ? ui::kEsPassword : 0u);
  }
}

TEST_F(OwnerTest, DesktopModeShowsTheWindowAndClosingItEndsTheLoop) {
  platform::MessagePump pump;
  ui::SetQuitPump(&pump);
  ASSERT_TRUE(Create(false));
  EXPECT_TRUE(ui::IsWindowVisible(owner_->window_handle()));
  EXPECT_EQ(ui::GetWindowText(owner_->window_handle()), u"Quorix Desktop");
  ui::SendMessage(owner_->window_handle(), ui::kWmClose, 0, 0);  // the user closes it
  ui::SetQuitPump(nullptr);
  EXPECT_FALSE(owner_->HasWindowHandle());
  EXPECT_EQ(log_.Count("PANEL_CLOSED"), 1u);
  EXPECT_TRUE(pump.Drain([](const platform::PumpMessage&) {}));
}

TEST_F(OwnerTest, CreateFailsOnlyForTheApartmentTheClassOrTheWindow) {
  struct Case {
    const char* name;
    std::function<void()> inject;
    bool created;
  } cases[] = {
      {"window", [] { ui::testing::FailNextWindowCreation(); }, false},
      {"class", [] { ui::testing::FailNextClassRegistration(); }, false},
      {"apartment", [] { platform::testing::SetNextApartmentResult(platform::kApartmentFailed); }, false},
      {"other apartment mode", [] { platform::testing::SetNextApartmentResult(platform::kApartmentChangedMode); },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t depth = platform::ApartmentDepth();
    two_pc::Window owner(&call_, &wire_, &gateway_);
    c.inject();
    EXPECT_EQ(owner.Create(true), c.created);
    EXPECT_EQ(owner.HasWindowHandle(), c.created);
    owner.Close();
    EXPECT_FALSE(owner.HasWindowHandle());
    EXPECT_EQ(platform::ApartmentDepth(), depth);  // Close balances what Create entered
  }
}

TEST_F(OwnerTest, CloseTwiceClosesOnceAndKeepsTheSessionFile) {
  ASSERT_TRUE(CreateSignedOut());
  ASSERT_TRUE(SignIn());
  ASSERT_TRUE(PassUntilOnline());
  ASSERT_TRUE(platform::env::Set("QUORIX_C1B_CAPTURE_ID", "mic"));
  ASSERT_TRUE(platform::env::Set("QUORIX_C1B_RENDER_ID", "speaker"));
  const platform::WindowHandle window = owner_->window_handle();
  owner_->Close();
  owner_->Close();
  EXPECT_FALSE(owner_->HasWindowHandle());
  EXPECT_FALSE(ui::IsWindow(window));
  EXPECT_EQ(owner_->GetStatus().code, 0u);
  EXPECT_EQ(HistorySession::Snapshot().store, nullptr);
  StoredSession kept;
  EXPECT_TRUE(LoadSessionFile(&kept));
  EXPECT_FALSE(platform::env::Get("QUORIX_C1B_CAPTURE_ID").has_value());
  EXPECT_FALSE(platform::env::Get("QUORIX_C1B_RENDER_ID").has_value());
  EXPECT_TRUE(WaitFor([&] { return service_.open_sessions() == 0; }, std::chrono::seconds(30)));
  std::vector<std::string> closing;
  for (const LoggedEvent& e : log_.Events()) {
    if (e.event == "SESSION_PRESERVED_ON_CLOSE" || e.event == "PANEL_CLOSED") closing.push_back(e.event);
  }
  EXPECT_EQ(closing, (std::vector<std::string>{"SESSION_PRESERVED_ON_CLOSE", "PANEL_CLOSED"}));
}

TEST_F(OwnerTest, CloseDuringAHeldLoginWaitsForIt) {
  ScriptedReply held = ScriptedReply::Json(200, kLoginReply);
  held.hold_until_released = true;
  service_.Script("POST", "/auth/login", held);
  ASSERT_TRUE(CreateSignedOut());
  ASSERT_TRUE(SignIn());
  ASSERT_TRUE(WaitFor([&] { return !service_.RequestsTo("/auth/login").empty(); }, std::chrono::seconds(30)));
  std::atomic<bool> released{false};
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    released = true;
    service_.Release();
  });
  owner_->Close();
  EXPECT_TRUE(released.load());
  releaser.join();
  EXPECT_EQ(service_.upgrades(), 0u);
  EXPECT_EQ(log_.Count("AUTH_REAL_VERIFIED"), 0u);
}

TEST(OwnerStatus, CodeFollowsTheFirstMatchingRule) {
  using In = two_pc::Window::StatusInput;
  struct Case {
    const char* name;
    In in;
    uint32_t code;
  } cases[] = {
      {"closing wins", {true, true, true, true, true, true, 1, true, 1, 2}, 0},
      {"sign-in over sign-out", {false, true, false, true, false, false, 0, false, 0, 0}, 1},
      {"restore wanted", {false, false, true, true, false, false, 0, false, 0, 0}, 1},
      {"signing out", {false, false, false, true, true, false, 0, true, 0, 0}, 6},
      {"signed out", {false, false, false, false, false, false, 0, false, 0, 0}, 0},
      {"sign-in failed", {false, false, false, false, false, true, 0, false, 0, 0}, 5},
      {"recovering a call", {false, false, false, false, true, false, 1, true, 0, 0}, 7},
      {"online", {false, false, false, false, true, false, 0, true, 0, 0}, 3},
      {"never started", {false, false, false, false, true, false, 0, false, 0, 99999}, 4},
      {"relogin, started 14999 ms ago", {false, false, false, false, true, false, 2, true, 1000, 15999}, 2},
      {"relogin, started 15000 ms ago", {false, false, false, false, true, false, 2, true, 1000, 16000}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(two_pc::Window::StatusCode(c.in), c.code);
  }
}

TEST_F(OwnerTest, LiveStatusStepsThroughConnectingToOnline) {
  ASSERT_TRUE(CreateSignedOut());
  // The WebSocket waits until connecting has been seen.
  service_.ScriptWebSocket([](size_t) {
    WsUpgrade upgrade{101, false, {WsAction::Ready(kConnectionA)}};
    upgrade.hold_until_released = true;
    return upgrade;
  });
  ASSERT_TRUE(SignIn());
  ASSERT_TRUE(PassUntil([&] { return owner_->GetStatus().code == 2; }));
  service_.Release();
  const std::u16string label = u"alice | call:check on start | peer=bob | IDLE ONLINE";
  ASSERT_TRUE(PassUntil([&] { return StatusText() == label; }));
  std::vector<uint64_t> codes;
  for (const LoggedEvent& e : log_.Events("NATIVE_SESSION_STATE")) codes.push_back(e.n);
  EXPECT_EQ(codes, (std::vector<uint64_t>{1, 0, 1, 2, 3}));
  const size_t call_states = log_.Count("CALL_STATE");
  Ticks(20);
  EXPECT_EQ(log_.Count("CALL_STATE"), call_states);
  EXPECT_EQ(log_.Events("CALL_STATE").back().code, 1u);
  const quorix_native::Ui::Status status = owner_->GetStatus();
  EXPECT_EQ(status.signed_in + status.call_ready + status.idle, 3);
}

}  // namespace
}  // namespace quorix_test

namespace quorix_test {
namespace {

TEST_F(OwnerTest, SoundsAreReleasedEachPassAndStoppedOnClose) {
  std::vector<int32_t> calls;
  ui_sound_test_hooks::SetObserver([&](int32_t id, bool, bool) { calls.push_back(id); });
  ASSERT_TRUE(Create(true));
  owner_->Tick();
  owner_->Tick();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), ui_sound_test_hooks::kReleaseFinishedId), 2);
  calls.clear();
  owner_->Close();
  // The close stops them, and so does the session reset inside it.
  EXPECT_EQ(calls, (std::vector<int32_t>{ui_sound_test_hooks::kStopAllId, ui_sound_test_hooks::kStopAllId}));
}

}  // namespace
}  // namespace quorix_test
