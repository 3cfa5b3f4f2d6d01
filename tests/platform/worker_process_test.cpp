// The worker process layer with real children: start errors as the callers
// see them, exit codes, and writes that cannot hang or raise SIGPIPE.
#include "platform/worker_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <functional>
#include <set>

#include "fake_media_worker.h"
#include "test_util.h"

namespace platform {
namespace {

using quorix_test::FakeMediaWorker;

TEST(WorkerProcessTest, StartErrorsAreReportedAtOnceAndLeaveNothing) {
  namespace fs = std::filesystem;
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> arrange;
    uint32_t error;
  };
  const Case cases[] = {
      {"missing", [](const fs::path& p) { fs::remove(p); }, kErrorFileNotFound},
      {"not executable", [](const fs::path& p) { fs::permissions(p, fs::perms(0644)); }, kErrorAccessDenied},
      {"not a program",
       [](const fs::path& p) { quorix_test::WriteFile(p, "garbage\x01\x02"), fs::permissions(p, fs::perms(0755)); },
       kErrorBadExeFormat},
  };
  const size_t fds = quorix_test::CountDirectoryEntries("/proc/self/fd");
  for (const Case& c : cases) {
    const std::set<pid_t> children = quorix_test::ChildProcesses();
    SCOPED_TRACE(c.name);
    FakeMediaWorker fake;
    c.arrange(fake.WorkerPath());
    WorkerProcess worker;
    uint32_t error = 0;
    EXPECT_FALSE(worker.Spawn(fake.WorkerPath(), {"w"}, &error));
    EXPECT_EQ(error, c.error);
    EXPECT_FALSE(worker.IsOpen());
    EXPECT_EQ(worker.ExitCode(), kStillActive);
    // No new child, not even a zombie; earlier tests' children may remain.
    EXPECT_TRUE(std::ranges::includes(children, quorix_test::ChildProcesses()));
  }
  EXPECT_EQ(quorix_test::CountDirectoryEntries("/proc/self/fd"), fds);
}

TEST(WorkerProcessTest, ExitCodes) {
  struct Case {
    const char* step;
    uint32_t terminate;  // 0xFFFFFFFF: the worker ends by itself
    uint32_t code;
  };
  const Case cases[] = {
      {"exit 7", 0xFFFFFFFF, 7},
      {"crash", 0xFFFFFFFF, 128 + SIGSEGV},
      {"hang", 0, 0},
      {"hang", 5, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    FakeMediaWorker fake;
    fake.SetScript({c.step});
    WorkerProcess worker;
    uint32_t error = 0;
    ASSERT_TRUE(worker.Spawn(FakeMediaWorker::BuiltProgram(), {"w"}, &error));
    if (c.terminate != 0xFFFFFFFF) {
      ASSERT_TRUE(fake.WaitForRecord("FD2 /dev/null"));
      EXPECT_TRUE(worker.IsAlive());
      EXPECT_EQ(worker.ExitCode(), kStillActive);
      worker.Terminate(c.terminate);
    }
    ASSERT_TRUE(worker.WaitExit(20000));
    EXPECT_FALSE(worker.IsAlive());
    EXPECT_EQ(worker.ExitCode(), c.code);
  }
}

TEST(WorkerProcessTest, WritesToAClosedReaderFailWithoutASignal) {
  FakeMediaWorker fake;
  fake.SetScript({"exit 0"});
  WorkerProcess worker;
  uint32_t error = 0;
  ASSERT_TRUE(worker.Spawn(FakeMediaWorker::BuiltProgram(), {"w"}, &error));
  ASSERT_TRUE(worker.WaitExit(20000));
  EXPECT_FALSE(worker.Write("{}\n", 3, 2000, &error));
  EXPECT_EQ(error, kErrorBrokenPipe);
  EXPECT_FALSE(worker.WriteIfFits("STOP\n", 5));
  size_t available = 0;
  EXPECT_FALSE(worker.Peek(&available, &error));
  EXPECT_EQ(error, kErrorBrokenPipe);
}

}  // namespace
}  // namespace platform
