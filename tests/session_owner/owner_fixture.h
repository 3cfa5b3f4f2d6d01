#pragma once
// A session owner on the real wire, gateway (with a scripted media worker)
// and call session, against the loopback service in production mode: the
// account routes for "alice" and the phone routes, a fresh LOCALAPPDATA (so
// a fresh session file and history), the event log in a temporary file, one
// manual clock and the UI sounds on a recording output.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "chat/avatar_test_hooks.h"
#include "chat/history_session.h"
#include "chat/session_file.h"
#include "event_log_capture.h"
#include "fake_network.h"
#include "loopback_service.h"
#include "phone_service/call_gateway.h"
#include "phone_service/call_session.h"
#include "phone_ui/ui_sound_test_hooks.h"
#include "phone_service/gateway.h"
#include "phone_service/windows_wire.h"
#include "phone_service_fixture.h"
#include "platform/clock.h"
#include "platform/data_protection.h"
#include "platform/ui_window.h"
#include "service_admission.h"
#include "session_owner/window.h"
#include "test_util.h"
#include "ui_sound_fixture.h"

namespace quorix_test {

inline constexpr char kPassword[] = "Owner-Pass-5150-long-enough";
inline constexpr char kAccountToken[] = "tok_account-7731";
inline constexpr char kStoredToken[] = "tok_stored-4402";
inline constexpr char kPhoneSessionToken[] = "tok_phone-8812";

inline const std::string kLoginReply =
    std::string(R"({"ok":true,"user":{"user_id":"alice"},"token":")") + kAccountToken + "\"}";
inline std::string FriendsReply(const std::string& friends) {
  return R"({"ok":true,"user_id":"alice","friends":[)" + friends + "]}";
}
inline std::string PhoneSessionReply() {
  return std::string(R"({"ok":true,"user":{"user_id":"alice"},"token":")") + kPhoneSessionToken +
         R"(","can_start":true,"can_answer":true,"media_ready":true,"valid_for_seconds":5})";
}

// A call backend that accepts every call request and counts them.
struct CallBackend final : quorix_call::Gateway {
  bool IsReady() override { return true; }
  bool StartCall(const std::string&) override { return true; }
  bool CancelCall(const std::string&) override { return true; }
  bool AnswerCall(const std::string&) override { return ++answers, true; }
  bool DeclineCall(const std::string&) override { return ++declines, true; }
  bool EndCall(const std::string&) override { return true; }
  bool SetMuted(const std::string&, bool) override { return true; }
  int answers = 0;
  int declines = 0;
};

class OwnerTest : public ::testing::Test {
 protected:
  explicit OwnerTest(bool production = true) {
    production ? (void)production_.emplace(service_) : (void)isolated_.emplace(service_);
    platform::SetClockForTesting(&clock_);
    ScriptPhoneRoutes(service_, "alice");
    service_.Script("POST", "/auth/login", ScriptedReply::Json(200, kLoginReply));
    service_.Script("GET", "/auth/me", ScriptedReply::Json(200, MeReply("alice")));
    service_.Script("GET", "/friends/alice",
                    ScriptedReply::Json(200, FriendsReply(R"({"user_id":"bob","display_name":"Bob"})")));
    service_.Script("POST", "/phone/v1/session", ScriptedReply::Json(200, PhoneSessionReply()));
    service_.Script("POST", "/auth/logout", ScriptedReply::Json(200, R"({"ok":true})"));
    call_.AttachGateway(&gateway_);
  }
  ~OwnerTest() override {
    // First: a test's observer may hold its body's locals, and closing the
    // owner below stops the sounds.
    ui_sound_test_hooks::SetObserver(nullptr);
    service_.Release();
    owner_.reset();
    gateway_.Shutdown();
    wire_.Stop();
    avatar_test_hooks::ResetForTest();
    platform::SetClockForTesting(nullptr);
  }

  bool Create(bool phone_mode = true) { return owner_->Create(phone_mode); }
  // Created, with the restore at start over (nothing stored).
  bool CreateSignedOut() { return Create() && PassUntilLogged("SESSION_RESTORE_ABSENT"); }
  void Ticks(int count) {
    for (int i = 0; i < count; ++i) owner_->Tick();
  }
  // A session file for "alice", sealed as the program seals it, whatever the
  // token holds.
  void StoreSession(const std::string& token) {
    std::string plain = "QRXMVP02";
    for (const size_t n : {size_t{5}, token.size()}) {
      for (int i = 0; i < 4; ++i) plain.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    }
    std::string blob;
    ASSERT_TRUE(platform::ProtectData(plain + "alice" + token, u"QuorixPhone MVP02 User Session", "", &blob));
    std::filesystem::path path;
    ASSERT_TRUE(SessionFilePath(&path));
    std::filesystem::create_directories(path.parent_path());
    WriteFile(path, blob);
  }

  // Main-loop passes (the gateway's pump, then the owner's tick) until `done`.
  bool PassUntil(const std::function<bool()>& done) {
    return WaitFor(
        [&] {
          gateway_.Pump();
          owner_->Tick();
          return done();
        },
        std::chrono::seconds(60));
  }
  // Passes until the owner is online with the history open, then one pass
  // more: the wire connects on its own thread, so the pass that found it
  // connected may have ticked just before it did, and what the owner derives
  // from its own ticks (the connection notices, the call's availability)
  // follows only from the next one.
  bool PassUntilOnline() {
    return PassUntil([&] { return owner_->GetStatus().code == 3 && HistorySession::Snapshot().store; }) &&
           PassUntil([] { return true; });
  }
  bool PassUntilLogged(const std::string& name, size_t count = 1) {
    return PassUntil([&] { return log_.Count(name) >= count; });
  }
  bool SignIn(const std::string& password = kPassword) {
    return owner_->SignIn(u"alice", std::u16string(password.begin(), password.end()));
  }
  std::u16string StatusText() { return platform::ui::GetWindowText(Control(7)); }
  // The window's controls, in creation order.
  platform::WindowHandle Control(size_t index) {
    return platform::ui::ChildWindows(owner_->window_handle()).at(index);
  }

  LoopbackService service_;
  std::optional<ScopedProductionService> production_;
  std::optional<ScopedIsolatedService> isolated_;
  TempDir local_;
  ScopedEnvironmentVariable local_app_data_{u"LOCALAPPDATA", local_.path().u16string()};
  EventLogCapture log_;
  platform::ManualClock clock_;
  ScopedUiSounds sounds_{&clock_};
  CallSession call_;
  quorix_phone::WindowsWire wire_;
  FakeMedia media_;
  quorix_phone::Gateway gateway_{&call_, &wire_, &media_, {}};
  std::unique_ptr<two_pc::Window> owner_ = std::make_unique<two_pc::Window>(&call_, &wire_, &gateway_);
};

}  // namespace quorix_test
