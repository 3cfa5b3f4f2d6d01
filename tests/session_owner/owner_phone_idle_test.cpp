// The phone UI on the session owner, as the program wires them, signed in on
// the loopback service and left alone: its friend and conversation lists are
// fetched again only when something changed, never by the idle update itself.
#include "chat/history_session.h"
#include "core/ui_settings.h"
#include "owner_fixture.h"
#include "phone_ui/phone_ui.h"

namespace quorix_test {
namespace {

class OwnerPhoneIdleTest : public OwnerTest {
 protected:
  ~OwnerPhoneIdleTest() override {
    // The list tasks still running read the history session.
    WaitFor([&] { return !ui_.HasPendingFetch(); }, std::chrono::seconds(60));
  }

  // Signed in and online with the history open, then the phone attached in
  // native mode with the live lists opted in, counting the list fetches.
  void SignInWithPhone() {
    ASSERT_TRUE(CreateSignedOut());
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(PassUntilOnline());
    ui_.AttachCallSession(&call_);
    ui_.AttachOwner(owner_.get());
    ui_.Initialize();
    ui_.AttachSettings(&settings_);
    const auto list = ui_.chat_tasks.list;
    ui_.chat_tasks.list = [this, list] {
      ++fetches_;
      return list();
    };
    ASSERT_TRUE(Idle(1));  // the first load
    ASSERT_TRUE(ui_.chat_model.snapshot_loaded());
  }
  // `count` main-loop passes; a list fetch started in one pass is finished
  // before the next, so a fetch that restarts itself shows in every other one.
  bool Idle(int count) {
    for (int i = 0; i < count; ++i) {
      gateway_.Pump();
      owner_->Tick();
      ui_.Tick();
      if (!WaitFor([&] { return !ui_.HasPendingFetch(); }, std::chrono::seconds(60))) return false;
    }
    // The last result is taken.
    ui_.Tick();
    return true;
  }

  ScopedEnvironmentVariable live_lists_{u"QUORIX_MVP03B2B_LIVE_READONLY", u"1"};
  UiSettings settings_;
  PhoneUi ui_;
  size_t fetches_ = 0;
};

TEST_F(OwnerPhoneIdleTest, IdlePhoneFetchesItsListsOnlyWhenTheHistoryChanged) {
  SignInWithPhone();
  struct Case {
    std::string name;
    uint32_t screen;
    bool home;  // left for the launcher's home first
  };
  std::vector<Case> cases;
  for (uint32_t screen = 0; screen < 11; ++screen) cases.push_back({"screen " + std::to_string(screen), screen, false});
  cases.push_back({"home from screen 1", 1, true});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ui_.native_screen = c.screen;
    if (c.home) {
      EXPECT_TRUE(ui_.GoHome());
    }
    const size_t before = fetches_;
    ASSERT_TRUE(Idle(200));
    EXPECT_LE(fetches_ - before, 1u);
    EXPECT_TRUE(ui_.chat_model.snapshot_loaded());
    // The open conversation's screen follows a change with its history
    // instead; the others fetch their lists once.
    if (c.screen == 4) continue;
    const size_t idle = fetches_;
    HistorySession::NoteChange();
    ASSERT_TRUE(Idle(200));
    EXPECT_EQ(fetches_ - idle, 1u);
  }
}

}  // namespace
}  // namespace quorix_test
