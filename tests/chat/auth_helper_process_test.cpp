#include "chat/auth_helper_process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>

#include "core/environment.h"
#include "core/text.h"
#include "platform/test_hooks.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using H = AuthHelperProcess;
const std::string kStartFail = "[MVP02B] START=FAIL stage=PROCESS_START\n";

bool WaitFor(const std::function<bool()>& done) { return quorix_test::WaitFor(done, std::chrono::seconds(60)); }

// The fake helper beside a program path in a fresh folder; it writes its
// record to "record" there and ends as FAKE_HELPER_EXIT says.
class AuthHelper : public ::testing::Test {
 protected:
  AuthHelper() {
    fs::copy_file(QUORIX_FAKE_AUTH_HELPER, helper_);
    platform::testing::SetExecutablePathOverride(dir_.path() / "quorix_phone");
  }
  ~AuthHelper() override { platform::testing::SetExecutablePathOverride({}); }

  quorix_test::TempDir dir_;
  fs::path helper_ = dir_.path() / H::kHelperName;
  fs::path record_ = dir_.path() / "record";
  ScopedEnvironmentVariable record_variable_{u"FAKE_HELPER_RECORD", Utf8ToWide(record_.string())};
};

TEST_F(AuthHelper, HelperStartsCleanAndItsExitCodeIsMapped) {
  ScopedEnvironmentVariable probe(u"FAKE_HELPER_PROBE", u"probe-42");
  struct Case {
    uint32_t action;
    const char16_t* exit;
    uint32_t status;
    std::string lines;
  } cases[] = {
      {H::kActionStatus, u"0", H::kSignedIn, "STATUS\n[MVP02B] RESULT=SIGNED IN\n"},
      {H::kActionStatus, u"2", H::kLoginNeeded, "STATUS\n[MVP02B] RESULT=LOGIN NEEDED\n"},
      {H::kActionStatus, u"1", H::kCheckFailed, "STATUS\n[MVP02B] RESULT=CHECK FAILED\n"},
      {H::kActionStatus, u"kill", H::kCheckFailed, "STATUS\n[MVP02B] RESULT=CHECK FAILED\n"},
      {H::kActionLogout, u"0", H::kSignedOut, "LOGOUT\n[MVP02B] RESULT=SIGNED OUT\n"},
      {H::kActionLogout, u"2", H::kCheckFailed, "LOGOUT\n[MVP02B] RESULT=CHECK FAILED\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    ScopedEnvironmentVariable exit(u"FAKE_HELPER_EXIT", c.exit);
    H helper;
    ::testing::internal::CaptureStdout();
    c.action == H::kActionStatus ? helper.StartStatusCheck() : helper.StartLogout();
    EXPECT_EQ(helper.status, H::kWaitForPc);
    EXPECT_TRUE(WaitFor([&] { return helper.Poll(); }));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "[MVP02B] START=PASS action=" + c.lines);
    EXPECT_EQ(helper.status, c.status);
    EXPECT_EQ(helper.action, H::kActionNone);
    EXPECT_FALSE(helper.process.has_value() || helper.Poll());
  }
  EXPECT_EQ(quorix_test::ReadFile(record_), "arg " + helper_.string() + "\narg logout\nfd 0 /dev/null\nfd 1 /dev/null\n" +
                                                "fd 2 /dev/null\nown_session 1\ncwd " + fs::current_path().string() +
                                                "\nprobe probe-42\n");
}

TEST_F(AuthHelper, OneHelperAtATimeAndAReleasedRecordLeavesItRunning) {
  ScopedEnvironmentVariable exit(u"FAKE_HELPER_EXIT", u"hold");
  auto helper = std::make_unique<H>();
  ASSERT_TRUE(helper->Start(H::kActionStatus));
  ASSERT_TRUE(WaitFor([&] { return fs::exists(record_); }));
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(helper->Start(H::kActionLogout) || helper->Poll());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(helper->status * 10 + helper->action, H::kWaitForPc * 10 + H::kActionStatus);

  const pid_t pid = helper->process->pid();
  helper.reset();
  EXPECT_EQ(::kill(pid, 0), 0);
  quorix_test::WriteFile(record_.string() + ".go", "");
  // Gone from /proc only once reaped: no zombie is left.
  EXPECT_TRUE(WaitFor([&] { return !fs::exists("/proc/" + std::to_string(pid)); }));
}

TEST_F(AuthHelper, FailedStartsEndInCheckFailed) {
  struct Case {
    const char* name;
    void (*arrange)(const fs::path& helper);
    fs::path own_path;  // empty: the fixture's
    std::string output;
  } cases[] = {
      {"missing", [](const fs::path& h) { fs::remove(h); }, {}, kStartFail},
      {"a folder", [](const fs::path& h) { fs::create_directory(h); }, {}, kStartFail},
      {"mode 0644", [](const fs::path& h) { fs::remove(h), fs::copy_file(QUORIX_FAKE_AUTH_HELPER, h), ::chmod(h.c_str(), 0644); },
       {}, kStartFail},
      {"none beside the program", nullptr, QUORIX_FAKE_AUTH_HELPER, kStartFail},
      {"no slash", nullptr, "quorix_phone", ""},
      {"not UTF-8", nullptr, "/tmp/\xff/quorix_phone", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.arrange) c.arrange(helper_);
    if (!c.own_path.empty()) platform::testing::SetExecutablePathOverride(c.own_path);
    for (const uint32_t action : {H::kActionStatus, H::kActionLogout}) {
      H helper;
      ::testing::internal::CaptureStdout();
      EXPECT_FALSE(helper.Start(action));
      EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.output);
      EXPECT_EQ(helper.status * 10 + helper.action, H::kCheckFailed * 10 + H::kActionNone);
      EXPECT_FALSE(helper.process.has_value());
    }
  }
}

TEST_F(AuthHelper, HelperReapedElsewhereGivesCheckFailedWithoutAResult) {
  H helper;
  ASSERT_TRUE(helper.Start(H::kActionStatus));
  ASSERT_EQ(::waitpid(helper.process->pid(), nullptr, 0), helper.process->pid());
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(helper.Poll());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(helper.status, H::kCheckFailed);
  EXPECT_FALSE(helper.process.has_value());
}

}  // namespace
