// The desktop panel's commands, sent through the owner window's procedure on
// a desktop-mode owner kept as records (no display).
#include <gtk/gtk.h>

#include "chat/history_session.h"
#include "owner_fixture.h"
#include "private_x_server.h"

namespace quorix_test {
namespace {

namespace ui = platform::ui;

// Accepts every call request and counts the starts.
struct CallCounter final : quorix_call::Gateway {
  bool IsReady() override { return true; }
  bool StartCall(const std::string& peer) override { return started.push_back(peer), true; }
  bool CancelCall(const std::string&) override { return true; }
  bool AnswerCall(const std::string&) override { return ++answers, true; }
  bool DeclineCall(const std::string&) override { return ++declines, true; }
  bool EndCall(const std::string&) override { return ++ends, true; }
  bool SetMuted(const std::string&, bool) override { return true; }
  std::vector<std::string> started;
  int answers = 0, declines = 0, ends = 0;
};

class OwnerPanelTest : public OwnerTest {
 protected:
  ~OwnerPanelTest() override {
    service_.Release();
    owner_.reset();
    call_.state = CallSession::kIdle;
    call_.AttachGateway(&gateway_);
  }
  void Command(uint32_t id, uint32_t code = ui::kBnClicked) {
    ui::SendMessage(owner_->window_handle(), ui::kWmCommand, id | (static_cast<uintptr_t>(code) << 16), 0);
  }
  // Signed in from the desktop panel, online, with the counting backend.
  void SignInOnline() {
    if (!owner_->HasWindowHandle()) {
      ASSERT_TRUE(Create(false));
    }
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(PassUntil([&] {
      return owner_->GetStatus().code == 3 && call_.enabled != 0 && HistorySession::Snapshot().store;
    }));
    ASSERT_TRUE(call_.AttachGateway(&backend_));
    call_.SetPrepareCheck([] { return true; });
  }
  platform::WindowHandle UserIdField() { return Control(2); }
  platform::WindowHandle PasswordField() { return Control(3); }

  CallCounter backend_;
};

TEST_F(OwnerPanelTest, SignInFromFieldsEmptiesThePasswordAndSendsBoth) {
  ASSERT_TRUE(Create(false));
  struct Case { const char* name; std::u16string password; bool request; } cases[] = {
      {"empty password", u"", false},
      {"id and password", u"Owner-Pass-5150-long-enough", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui::SetWindowText(UserIdField(), u"alice");
    ui::SetWindowText(PasswordField(), c.password);
    Command(two_pc::Window::kSignInButtonId);
    EXPECT_EQ(ui::GetWindowText(PasswordField()), u"");
    if (!c.request) {
      EXPECT_EQ(StatusText(), u"Quorix IDとパスワードを確認してください");
      EXPECT_TRUE(service_.RequestsTo("/auth/login").empty());
      continue;
    }
    ASSERT_TRUE(PassUntil([&] { return owner_->GetStatus().signed_in != 0; }));
    const auto logins = service_.RequestsTo("/auth/login");
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_NE(logins[0].body.find("\"alice\""), std::string::npos);
    EXPECT_NE(logins[0].body.find(kPassword), std::string::npos);
  }
  // Refused while a history fetch runs; taken once the owner is free.
  EXPECT_TRUE(PassUntil([&] {
    Command(two_pc::Window::kSignOutButtonId);
    return log_.Count("LOGOUT") == 1;
  }));
}

TEST_F(OwnerPanelTest, CallButtonsNeedASignedInConnectedOwner) {
  ASSERT_TRUE(Create(false));
  call_.AttachGateway(&backend_);
  call_.SetPrepareCheck([] { return true; });
  Command(two_pc::Window::kCallButtonId);
  EXPECT_TRUE(backend_.started.empty());  // signed out
  call_.AttachGateway(&gateway_);
  SignInOnline();
  struct Case { const char* name; uint32_t id; uint32_t state_before; } cases[] = {
      {"call from idle", two_pc::Window::kCallButtonId, CallSession::kIdle},
      {"call after a failure", two_pc::Window::kCallButtonId, CallSession::kFailed},
      {"the probe is the same call", two_pc::Window::kPermissionProbeButtonId, CallSession::kFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    backend_.started.clear();
    call_.state = c.state_before;
    Command(c.id);
    EXPECT_EQ(backend_.started, (std::vector<std::string>{"bob"}));
    EXPECT_EQ(call_.state, CallSession::kOutgoing);
  }
  wire_.Stop();  // no connection: nothing starts
  backend_.started.clear();
  call_.state = CallSession::kIdle;
  Command(two_pc::Window::kCallButtonId);
  EXPECT_TRUE(backend_.started.empty());
}

TEST_F(OwnerPanelTest, CallActionsReachTheCallSession) {
  SignInOnline();
  call_.OnIncomingCall("call-1", "bob");
  Command(two_pc::Window::kRejectButtonId);
  EXPECT_EQ(backend_.declines, 1);
  call_.state = CallSession::kConnected;
  call_.call_id = "call-1";
  struct Case { const char* name; uint32_t id; uint8_t muted_after; } cases[] = {
      {"mute", two_pc::Window::kMuteButtonId, 1},
      {"unmute", two_pc::Window::kMuteButtonId, 0},
      {"another notification of another id", 9999, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Command(c.id);
    EXPECT_EQ(call_.muted, c.muted_after);
  }
  Command(two_pc::Window::kEndButtonId);
  EXPECT_EQ(backend_.ends, 1);
  call_.state = CallSession::kFailed;
  Command(two_pc::Window::kClearFailureButtonId);
  EXPECT_EQ(call_.state, CallSession::kIdle);
  const uint64_t devices = owner_->GetAudioDevices(true).revision;
  Command(two_pc::Window::kRefreshDevicesButtonId);
  EXPECT_EQ(owner_->GetAudioDevices(true).revision, devices + 2);
  for (const uint32_t code : {ui::kCbnDropDown, ui::kCbnCloseUp}) {  // only a choice applies devices
    Command(two_pc::Window::kSpeakerListId, code);
    Command(two_pc::Window::kMicrophoneListId, code);
  }
  EXPECT_EQ(log_.Count("AUDIO_SELECTION_REJECTED"), 0u);
  Command(two_pc::Window::kMicrophoneListId, ui::kCbnSelChange);
  EXPECT_EQ(log_.Count("AUDIO_SELECTION_REJECTED"), 1u);  // no devices on this machine's lists
}

TEST_F(OwnerPanelTest, FriendChoiceMovesOnlyWhenIdle) {
  service_.Script("GET", "/friends/alice",
                  ScriptedReply::Json(200, FriendsReply(R"({"user_id":"bob"},{"user_id":"carol"})")));
  SignInOnline();
  const platform::WindowHandle list = Control(6);
  const platform::WindowHandle transcript = Control(21);
  struct Case { const char* name; uint32_t state; int32_t row; std::u16string transcript_after; } cases[] = {
      {"during a call", CallSession::kConnected, 1, u"kept"},
      {"idle", CallSession::kIdle, 1, u""},
      {"no row", CallSession::kIdle, -1, u"kept"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    call_.state = c.state;
    ui::SetWindowText(transcript, u"kept");
    ui::SendMessage(list, ui::kCbSetCurSel, static_cast<uintptr_t>(c.row), 0);
    Command(two_pc::Window::kFriendListId, 1);
    EXPECT_EQ(ui::GetWindowText(transcript), c.transcript_after);
  }
  call_.state = CallSession::kIdle;
  Command(two_pc::Window::kCallButtonId);
  EXPECT_EQ(backend_.started, (std::vector<std::string>{"carol"}));
}

TEST_F(OwnerPanelTest, FriendRowsDrawFillAvatarNameAndFocus) {
  service_.Script("GET", "/friends/alice",
                  ScriptedReply::Json(200, FriendsReply(R"({"user_id":"bob","display_name":"<b>Bob</b>"},)"
                                                        R"({"user_id":"carol"})")));
  SignInOnline();
  using Call = ui::PaintCall;
  const ui::Rect rect{0, 28, 220, 56};
  const uint32_t kHighlight = 0x00D77800, kWindow = 0x00FFFFFF, kPlaceholder = 0x00BC754C;
  struct Case { const char* name; int32_t index; bool selected, focused; std::vector<Call> calls; } cases[] = {
      {"selected named friend", 0, true, false,
       {{Call::kFill, rect, kHighlight, {}}, {Call::kPixels, {3, 30, 27, 54}, kPlaceholder, {}},
        {Call::kText, {34, 28, 220, 56}, 0x00FFFFFF, u"<b>Bob</b>"}}},
      {"friend without a name, focused", 1, false, true,
       {{Call::kFill, rect, kWindow, {}}, {Call::kPixels, {3, 30, 27, 54}, kPlaceholder, {}},
        {Call::kText, {34, 28, 220, 56}, 0x00000000, u"carol"}, {Call::kFocus, rect, 0x00000000, {}}}},
      {"no row", -1, false, false, {{Call::kFill, rect, kWindow, {}}}},
      {"beyond the friends", 2, true, false, {{Call::kFill, rect, kHighlight, {}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui::PaintRecorder recorder;
    ui::DrawItem item{c.index, c.selected, c.focused, rect, ui::PaintTarget{nullptr, 220, 84, nullptr, &recorder}};
    ui::SendMessage(owner_->window_handle(), ui::kWmDrawItem, two_pc::Window::kFriendListId,
                    reinterpret_cast<intptr_t>(&item));
    ASSERT_EQ(recorder.calls.size(), c.calls.size());
    for (size_t i = 0; i < c.calls.size(); ++i) {
      const Call& got = recorder.calls[i];
      const Call& want = c.calls[i];
      EXPECT_EQ(std::tie(got.kind, got.rect.left, got.rect.top, got.rect.right, got.rect.bottom, got.colour, got.text),
                std::tie(want.kind, want.rect.left, want.rect.top, want.rect.right, want.rect.bottom, want.colour,
                         want.text))
          << "call " << i;
    }
  }
}

// The first widget under `widget` that `match` accepts, depth first.
template <typename Match>
GtkWidget* FindWidget(GtkWidget* widget, Match match) {
  if (match(widget)) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* child = children; child != nullptr && found == nullptr; child = child->next) {
    found = FindWidget(GTK_WIDGET(child->data), match);
  }
  g_list_free(children);
  return found;
}

TEST_F(OwnerPanelTest, OnScreenFriendPickDisabledListAndLogoutButton) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "GTK is left out under ThreadSanitizer";
#endif
  if (!SharedPrivateXServer().running()) GTEST_SKIP() << "no private X server: " << SharedPrivateXServer().failure();
  service_.Script("GET", "/friends/alice",
                  ScriptedReply::Json(200, FriendsReply(R"({"user_id":"bob"},{"user_id":"carol"})")));
  SignInOnline();
  GtkWidget* panel = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* window = toplevels; window != nullptr; window = window->next) {
    if (g_strcmp0(gtk_window_get_title(GTK_WINDOW(window->data)), "Quorix Desktop") == 0) panel = GTK_WIDGET(window->data);
  }
  g_list_free(toplevels);
  ASSERT_NE(panel, nullptr);
  auto* friends = GTK_COMBO_BOX(FindWidget(panel, [](GtkWidget* w) { return GTK_IS_COMBO_BOX(w); }));
  ASSERT_NE(friends, nullptr);
  EXPECT_EQ(gtk_combo_box_get_active(friends), 0);
  gtk_combo_box_set_active(friends, 1);  // the user's pick
  Command(two_pc::Window::kCallButtonId);
  EXPECT_EQ(backend_.started, (std::vector<std::string>{"carol"}));
  Ticks(1);
  EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(friends)));  // during the call
  call_.state = CallSession::kIdle;
  Ticks(1);
  EXPECT_TRUE(gtk_widget_get_sensitive(GTK_WIDGET(friends)));
  GtkWidget* logout = FindWidget(panel, [](GtkWidget* w) {
    return GTK_IS_BUTTON(w) && g_strcmp0(gtk_button_get_label(GTK_BUTTON(w)), "Logout") == 0;
  });
  ASSERT_NE(logout, nullptr);
  EXPECT_TRUE(PassUntil([&] {
    gtk_button_clicked(GTK_BUTTON(logout));
    return log_.Count("LOGOUT") == 1;
  }));
}

}  // namespace
}  // namespace quorix_test
