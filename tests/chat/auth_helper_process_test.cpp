#include "chat/auth_helper_process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <optional>

#include "core/environment.h"
#include "core/text.h"
#include "platform/test_hooks.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using H = AuthHelperProcess;
constexpr auto kBound = std::chrono::seconds(60);

// The fake helper beside a program path in a fresh folder; the helper writes
// its record to "record" there and ends as FAKE_HELPER_EXIT says.
class AuthHelper : public ::testing::Test {
 protected:
  AuthHelper() {
    fs::copy_file(QUORIX_FAKE_AUTH_HELPER, helper_);
    platform::testing::SetExecutablePathOverride(dir_.path() / "quorix_phone");
  }
  ~AuthHelper() override { platform::testing::SetExecutablePathOverride({}); }
  void ExitWith(const char16_t* how) { exit_.emplace(u"FAKE_HELPER_EXIT", how); }
  // Polls until the helper's end is seen (the event asserted on).
  static void PollToEnd(H& helper) { EXPECT_TRUE(quorix_test::WaitFor([&] { return helper.Poll(); }, kBound)); }

  quorix_test::TempDir dir_;
  fs::path helper_ = dir_.path() / H::kHelperName;
  fs::path record_ = dir_.path() / "record";
  ScopedEnvironmentVariable record_variable_{u"FAKE_HELPER_RECORD", Utf8ToWide(record_.string())};
  std::optional<ScopedEnvironmentVariable> exit_;
};

TEST_F(AuthHelper, HelperStartsCleanAndItsExitCodeIsMapped) {
  ScopedEnvironmentVariable probe(u"FAKE_HELPER_PROBE", u"probe-42");
  struct Case {
    uint32_t action;
    const char16_t* exit;
    uint32_t status;
    const char* output;
  } cases[] = {
      {H::kActionStatus, u"0", H::kSignedIn, "START=PASS action=STATUS\n[MVP02B] RESULT=SIGNED IN\n"},
      {H::kActionStatus, u"2", H::kLoginNeeded, "START=PASS action=STATUS\n[MVP02B] RESULT=LOGIN NEEDED\n"},
      {H::kActionStatus, u"1", H::kCheckFailed, "START=PASS action=STATUS\n[MVP02B] RESULT=CHECK FAILED\n"},
      {H::kActionStatus, u"kill", H::kCheckFailed, "START=PASS action=STATUS\n[MVP02B] RESULT=CHECK FAILED\n"},
      {H::kActionLogout, u"0", H::kSignedOut, "START=PASS action=LOGOUT\n[MVP02B] RESULT=SIGNED OUT\n"},
      {H::kActionLogout, u"2", H::kCheckFailed, "START=PASS action=LOGOUT\n[MVP02B] RESULT=CHECK FAILED\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    ExitWith(c.exit);
    H helper;
    ::testing::internal::CaptureStdout();
    c.action == H::kActionStatus ? helper.StartStatusCheck() : helper.StartLogout();
    EXPECT_EQ(helper.status, H::kWaitForPc);
    PollToEnd(helper);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), std::string("[MVP02B] ") + c.output);
    EXPECT_EQ(helper.status, c.status);
    EXPECT_EQ(helper.action, H::kActionNone);
    EXPECT_FALSE(helper.process.has_value());
    EXPECT_FALSE(helper.Poll());
  }
  EXPECT_EQ(quorix_test::ReadFile(record_), "arg " + helper_.string() + "\narg logout\n" +
                                                "fd 0 /dev/null\nfd 1 /dev/null\nfd 2 /dev/null\nown_session 1\n" +
                                                "cwd " + fs::current_path().string() + "\nprobe probe-42\n");
}

TEST_F(AuthHelper, OneHelperAtATimeAndAReleasedRecordLeavesItRunning) {
  ExitWith(u"hold");
  auto helper = std::make_unique<H>();
  ASSERT_TRUE(helper->Start(H::kActionStatus));
  ASSERT_TRUE(quorix_test::WaitFor([&] { return fs::exists(record_); }, kBound));
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(helper->Start(H::kActionLogout));
  EXPECT_FALSE(helper->Poll());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(helper->status, H::kWaitForPc);
  EXPECT_EQ(helper->action, H::kActionStatus);

  const pid_t pid = helper->process->pid();
  helper.reset();
  EXPECT_EQ(::kill(pid, 0), 0);
  quorix_test::WriteFile(record_.string() + ".go", "");
  // Gone from /proc only once reaped: no zombie is left.
  EXPECT_TRUE(quorix_test::WaitFor([&] { return !fs::exists("/proc/" + std::to_string(pid)); }, kBound));
}

TEST_F(AuthHelper, FailedStartsEndInCheckFailed) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& helper)> arrange;
    fs::path own_path;  // empty: the fixture's
    const char* output;
  } cases[] = {
      {"missing", [](const fs::path& h) { fs::remove(h); }, {}, "[MVP02B] START=FAIL stage=PROCESS_START\n"},
      {"a folder", [](const fs::path& h) { fs::remove(h), fs::create_directory(h); }, {},
       "[MVP02B] START=FAIL stage=PROCESS_START\n"},
      {"mode 0644", [](const fs::path& h) { ::chmod(h.c_str(), 0644); }, {}, "[MVP02B] START=FAIL stage=PROCESS_START\n"},
      {"none beside the program", nullptr, QUORIX_FAKE_AUTH_HELPER, "[MVP02B] START=FAIL stage=PROCESS_START\n"},
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
      EXPECT_EQ(helper.status, H::kCheckFailed);
      EXPECT_EQ(helper.action, H::kActionNone);
      EXPECT_FALSE(helper.process.has_value());
    }
  }
}

TEST_F(AuthHelper, HelperReapedElsewhereGivesCheckFailedWithoutAResult) {
  H helper;
  ASSERT_TRUE(helper.Start(H::kActionStatus));
  int status = 0;
  ASSERT_EQ(::waitpid(helper.process->pid(), &status, 0), helper.process->pid());
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(helper.Poll());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(helper.status, H::kCheckFailed);
  EXPECT_FALSE(helper.process.has_value());
}

}  // namespace
