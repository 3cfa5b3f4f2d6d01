// The process handle's working folder, its wait on a live child and
// termination with an exit code of our choosing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/process_handle.h"
#include "test_util.h"

namespace {

using platform::ProcessHandle;

TEST(ProcessHandleTerminate, WorkingFolderWaitAndTerminateWithCode) {
  quorix_test::TempDir dir;
  ProcessHandle pwd;
  ASSERT_TRUE(pwd.Start("/bin/sh", {"-c", "pwd > out"}, {}, nullptr, dir.path()));
  int code = -1;
  ASSERT_TRUE(pwd.Wait(std::chrono::seconds(60), &code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(quorix_test::ReadFile(dir.path() / "out"), std::filesystem::canonical(dir.path()).string() + "\n");
  ProcessHandle missing_folder;
  EXPECT_FALSE(missing_folder.Start("/bin/true", {}, {}, nullptr, dir.path() / "missing"));

  // The wait ends at the child's exit, which the child holds back until told.
  ProcessHandle gated;
  ASSERT_TRUE(gated.Start("/bin/sh", {"-c", "while [ ! -e go ]; do sleep 0.01; done; exit 5"}, {}, nullptr,
                          dir.path()));
  EXPECT_FALSE(gated.Wait(std::chrono::milliseconds(50), &code));
  EXPECT_EQ(code, ProcessHandle::kStillActive);
  quorix_test::WriteFile(dir.path() / "go", "");
  ASSERT_TRUE(gated.Wait(std::chrono::seconds(60), &code));
  EXPECT_EQ(code, 5);
  EXPECT_FALSE(gated.TerminateWithCode(31));  // reaped already: nothing changes
  ASSERT_TRUE(gated.ExitCode(&code));
  EXPECT_EQ(code, 5);

  ProcessHandle sleeper;
  ASSERT_TRUE(sleeper.Start("/bin/sleep", {"600"}));
  const pid_t pid = sleeper.pid();
  EXPECT_TRUE(sleeper.TerminateWithCode(31));
  EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid)));  // reaped: no zombie
  ASSERT_TRUE(sleeper.Wait(std::chrono::milliseconds(0), &code));
  EXPECT_EQ(code, 31);
}

}  // namespace
