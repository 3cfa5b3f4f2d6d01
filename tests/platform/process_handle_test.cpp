#include "platform/process_handle.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "test_util.h"

namespace {

using platform::ProcessHandle;
constexpr auto kBound = std::chrono::seconds(60);

std::string ReadToEnd(int fd) {
  std::string out;
  char chunk[256];
  for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) != 0;) {
    if (n > 0) out.append(chunk, static_cast<size_t>(n));
    if (n < 0 && errno != EINTR) break;
  }
  return out;
}

TEST(ProcessHandle, PipesCarryTheStreamsAndNoDescriptorStays) {
  const size_t descriptors = quorix_test::CountDirectoryEntries("/proc/self/fd");
  {
    ProcessHandle child;
    ASSERT_TRUE(child.Start("/bin/sh", {"-c", "read line; echo \"got $line\"; echo oops >&2; exit 7"}, {true, true, true}));
    ASSERT_EQ(::write(child.stdin_fd(), "hi\n", 3), 3);
    child.CloseStdin();
    EXPECT_EQ(ReadToEnd(child.stdout_fd()), "got hi\n");
    EXPECT_EQ(ReadToEnd(child.stderr_fd()), "oops\n");
    int code = 0;
    ASSERT_TRUE(child.Wait(kBound, &code));
    EXPECT_EQ(code, 7);
    ASSERT_TRUE(child.ExitCode(&code));  // kept once read
    EXPECT_EQ(code, 7);
  }
  EXPECT_EQ(quorix_test::CountDirectoryEntries("/proc/self/fd"), descriptors);
}

TEST(ProcessHandle, RunningTerminatedAndRefusedStarts) {
  ProcessHandle child;
  ASSERT_TRUE(child.Start("/bin/sleep", {"600"}));
  int code = 0;
  EXPECT_FALSE(child.Wait(std::chrono::milliseconds(0), &code));
  EXPECT_EQ(code, ProcessHandle::kStillActive);
  EXPECT_FALSE(child.Start("/bin/true", {}));  // it holds one already
  EXPECT_TRUE(child.Terminate(SIGKILL));
  ASSERT_TRUE(child.Wait(kBound, &code));
  EXPECT_EQ(code, 128 + SIGKILL);
  EXPECT_FALSE(child.Terminate(SIGKILL));

  const size_t descriptors = quorix_test::CountDirectoryEntries("/proc/self/fd");
  ProcessHandle missing;
  int error = 0;
  EXPECT_FALSE(missing.Start("/nonexistent/program", {}, {true, true, true}, &error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_FALSE(missing.started());
  EXPECT_EQ(quorix_test::CountDirectoryEntries("/proc/self/fd"), descriptors);
}

}  // namespace
