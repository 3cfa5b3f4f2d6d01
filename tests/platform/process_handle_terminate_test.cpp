// The process handle's working folder, its wait on a live child and
// termination with an exit code of our choosing.
#include <gtest/gtest.h>

#include "platform/process_handle.h"
#include "test_util.h"

namespace {

using platform::ProcessHandle;

TEST(ProcessHandleTerminate, WorkingFolderWaitAndTerminateWithCode) {
  quorix_test::TempDir dir;
  ProcessHandle missing_folder;
  EXPECT_FALSE(missing_folder.Start("/bin/true", {}, {}, nullptr, dir.path() / "missing"));
  // The child ends only once "go" appears in its working folder.
  ProcessHandle gated;
  ASSERT_TRUE(gated.Start("/bin/sh", {"-c", "pwd > out; while [ ! -e go ]; do sleep 0.01; done; exit 5"}, {}, nullptr,
                          dir.path()));
  int code = -1;
  EXPECT_FALSE(gated.Wait(std::chrono::milliseconds(50), &code));
  EXPECT_EQ(code, ProcessHandle::kStillActive);
  quorix_test::WriteFile(dir.path() / "go", "");
  ASSERT_TRUE(gated.Wait(std::chrono::seconds(60), &code));
  EXPECT_EQ(code, 5);
  EXPECT_EQ(quorix_test::ReadFile(dir.path() / "out"), std::filesystem::canonical(dir.path()).string() + "\n");
  EXPECT_FALSE(gated.TerminateWithCode(31));  // reaped already: nothing changes
  ASSERT_TRUE(gated.ExitCode(&code));
  EXPECT_EQ(code, 5);

  ProcessHandle sleeper;
  ASSERT_TRUE(sleeper.Start("/bin/sleep", {"600"}));
  EXPECT_TRUE(sleeper.TerminateWithCode(31));
  EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(sleeper.pid())));  // reaped: no zombie
  ASSERT_TRUE(sleeper.ExitCode(&code));
  EXPECT_EQ(code, 31);
}

}  // namespace
