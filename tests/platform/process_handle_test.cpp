#include "platform/process_handle.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "test_util.h"

namespace {

using platform::ProcessHandle;

std::string ReadToEnd(int fd) {
  std::string out;
  char chunk[256];
  for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) out.append(chunk, static_cast<size_t>(n));
  return out;
}

TEST(ProcessHandle, PipesWaitsSignalsAndLeavesNoDescriptor) {
  const size_t descriptors = quorix_test::CountDirectoryEntries("/proc/self/fd");
  int code = 0;
  {
    ProcessHandle child;
    ASSERT_TRUE(child.Start("/bin/sh", {"-c", "read l; echo \"got $l\"; echo oops >&2; exit 7"}, {true, true, true}));
    ASSERT_EQ(::write(child.stdin_fd(), "hi\n", 3), 3);
    child.CloseStdin();
    EXPECT_EQ(ReadToEnd(child.stdout_fd()) + ReadToEnd(child.stderr_fd()), "got hi\noops\n");
    ASSERT_TRUE(child.Wait(std::chrono::seconds(60), &code) && child.ExitCode(&code));  // kept once read
    EXPECT_EQ(code, 7);
    EXPECT_FALSE(child.Start("/bin/true", {}));  // it holds one already
  }
  ProcessHandle sleeper;
  ASSERT_TRUE(sleeper.Start("/bin/sleep", {"600"}));
  EXPECT_FALSE(sleeper.Wait(std::chrono::milliseconds(0), &code));
  EXPECT_EQ(code, ProcessHandle::kStillActive);
  EXPECT_TRUE(sleeper.Terminate(SIGKILL));
  ASSERT_TRUE(sleeper.Wait(std::chrono::seconds(60), &code));
  EXPECT_EQ(code, 128 + SIGKILL);
  EXPECT_FALSE(sleeper.Terminate(SIGKILL));
  ProcessHandle missing;
  EXPECT_FALSE(missing.Start("/nonexistent/program", {}, {true, true, true}, &code));
  EXPECT_EQ(code, ENOENT);
  EXPECT_EQ(quorix_test::CountDirectoryEntries("/proc/self/fd"), descriptors);
}

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
