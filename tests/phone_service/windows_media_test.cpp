// The media worker client against the scripted fake worker: how it is
// started, fed, read and always stopped, also when it misbehaves.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "event_log_capture.h"
#include "fake_media_worker.h"
#include "phone_service/windows_media.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "platform/test_hooks.h"

namespace quorix_phone {
namespace {

using quorix_test::FakeMediaWorker;
using quorix_test::WaitFor;
using std::chrono::seconds;

const std::string kReady = "say READY_IDLE";
const std::string kBurstLine = "{\"event\":\"b\",\"p\":\"" + std::string(177, 'p') + "\"}";

TEST(WorkerConfiguredEventTest, OnlyAJsonObjectWhoseEventIsConfigured) {
  const struct {
    const char* line;
    bool configured;
  } cases[] = {
      {R"({"event":"configured"})", true},
      {R"({"event":"configured","extra":[1,2]})", true},
      {R"({"event":"ready"})", false},
      {R"({"event":["configured"]})", false},
      {R"(["configured"])", false},
      {R"({"event":"configured")", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsWorkerConfiguredEvent(c.line), c.configured) << c.line;
}

class WindowsMediaTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetClockForTesting(&clock_); }
  void TearDown() override { platform::SetClockForTesting(nullptr); }

  // Polls until an event comes; "" when none came.
  std::string NextEvent(WindowsMedia& media) {
    std::string json;
    WaitFor([&] { return media.PollEvent(json); }, seconds(20));
    return json;
  }
  // Polls (dropping events) until the worker's ready line was handled.
  bool WaitReady(WindowsMedia& media) {
    std::string json;
    return WaitFor([&] { return media.PollEvent(json), media.process.pipe_ready != 0; }, seconds(20));
  }

  platform::ManualClock clock_;
  FakeMediaWorker worker_;
  quorix_test::EventLogCapture log_;
};

// No child, not even a zombie, beyond those in `before` (an earlier test of
// the same binary may have left some).
bool NoChildLeft(const std::set<pid_t>& before) {
  return std::ranges::includes(before, quorix_test::ChildProcesses());
}

TEST_F(WindowsMediaTest, StartsBesideTheProgramWithOnlyItsPipesInItsOwnGroup) {
  ASSERT_TRUE(platform::env::Set("QUORIX_C1B_CAPTURE_ID", "capture-7"));
  worker_.SetScript({"env QUORIX_C1B_CAPTURE_ID", kReady});
  WindowsMedia media;
  ASSERT_TRUE(media.Start());
  EXPECT_FALSE(media.Start());
  ASSERT_TRUE(worker_.WaitForRecord("ENV QUORIX_C1B_CAPTURE_ID=capture-7"));
  EXPECT_EQ(worker_.RecordValue("ARGV"), worker_.WorkerPath().string() + " --quorix-worker");
  EXPECT_EQ(worker_.RecordValue("FDS"), "0 1 2");
  EXPECT_EQ(worker_.RecordValue("FD2"), "/dev/null");
  EXPECT_EQ(worker_.RecordValue("PGID"), worker_.RecordValue("PID"));
  EXPECT_EQ(worker_.RecordValue("PPID"), std::to_string(getpid()));
  const auto started = log_.Events("WORKER_STARTED");
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(std::to_string(started[0].n), worker_.RecordValue("PID"));
  EXPECT_EQ(log_.Events().size(), 1u);  // the refused second start logs nothing
  media.Stop();
  EXPECT_TRUE(platform::env::Unset("QUORIX_C1B_CAPTURE_ID"));
}

TEST_F(WindowsMediaTest, RefusesWorkerFilesItMayNotRun) {
  struct Case {
    const char* name;
    std::function<void(const std::filesystem::path& worker, const std::filesystem::path& folder)> arrange;
    uint64_t code;
  };
  namespace fs = std::filesystem;
  const Case cases[] = {
      {"missing", [](const fs::path& w, const fs::path&) { fs::remove(w); }, 87},
      {"folder", [](const fs::path& w, const fs::path&) { fs::remove(w), fs::create_directory(w); }, 87},
      {"symlink to a good worker",
       [](const fs::path& w, const fs::path& d) { fs::rename(w, d / "real"), fs::create_symlink(d / "real", w); }, 87},
      {"mode 0644", [](const fs::path& w, const fs::path&) { fs::permissions(w, fs::perms(0644)); }, 87},
      {"UNC-like own path",
       [](const fs::path&, const fs::path&) { platform::testing::SetExecutablePathOverride("//host/share/Quorix"); }, 87},
      {"garbage", [](const fs::path& w, const fs::path&) { quorix_test::WriteFile(w, std::string(64, '\x01')), fs::permissions(w, fs::perms(0755)); }, 193},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::set<pid_t> children = quorix_test::ChildProcesses();
    FakeMediaWorker worker;
    quorix_test::EventLogCapture log;
    c.arrange(worker.WorkerPath(), worker.folder());
    WindowsMedia media;
    EXPECT_FALSE(media.Start());
    const auto failed = log.Events("WORKER_START_FAIL");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].code, c.code);
    EXPECT_TRUE(NoChildLeft(children));
    std::string json;
    EXPECT_FALSE(media.PollEvent(json));
  }
}

TEST_F(WindowsMediaTest, QueuesTwentyFourCommandsUntilReady) {
  WindowsMedia media;  // the fake says READY_IDLE at once; nothing is polled before the queue is full
  ASSERT_TRUE(media.Start());
  for (int i = 0; i < 24; ++i) ASSERT_TRUE(media.SendCommand("{\"n\":" + std::to_string(i) + "}"));
  EXPECT_FALSE(media.SendCommand("{\"n\":24}"));
  EXPECT_EQ(NextEvent(media), "{\"event\":\"error\",\"reason\":\"pipe_closed\"}");
  // Polling goes on until the ready line was read and the queue written.
  ASSERT_TRUE(WaitReady(media));
  ASSERT_TRUE(worker_.WaitForRecord("IN {\"n\":23}"));
  std::vector<std::string> in;
  for (const std::string& line : worker_.Record()) {
    if (line.rfind("IN ", 0) == 0) in.push_back(line);
  }
  ASSERT_EQ(in.size(), 24u);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(in[i], "IN {\"n\":" + std::to_string(i) + "}");
  EXPECT_EQ(log_.Events("WORKER_PIPE_ERROR")[0].n, 111u);
}

TEST_F(WindowsMediaTest, ReturnsEventLinesTrimmedAndDropsTheRest) {
  worker_.SetScript({kReady, "say-crlf PONG_IDLE", "say hello", "say-crlf   {\"event\":\"a\"}\t", "big 145000",
                     "burst 2000 " + kBurstLine});
  WindowsMedia media;
  ASSERT_TRUE(media.Start());
  EXPECT_EQ(NextEvent(media), "{\"event\":\"a\"}");
  EXPECT_EQ(NextEvent(media).size(), 145000u);
  // 400 KB behind a longest line: every line comes out, none is dropped.
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(NextEvent(media), kBurstLine) << i;
  EXPECT_EQ(media.process.last_error, 0u);
  const auto rejected = log_.Events("WORKER_PIPE_REJECTED");
  ASSERT_EQ(rejected.size(), 1u);
  EXPECT_EQ(rejected[0].n, 5u);
  EXPECT_EQ(log_.Events("WORKER_PIPE_JSON")[0].code, 1u);
}

TEST_F(WindowsMediaTest, SetUpTimeoutsCountFromTheStart) {
  struct Case {
    std::vector<std::string> script;
    const char* reason;  // after 30000 ms; null: none
    uint64_t n;
  };
  const Case cases[] = {
      {{"hang"}, "worker_ready_timeout", 1},
      {{kReady}, "worker_setup_timeout", 2},
      {{kReady, "say {\"event\":\"configured\"}"}, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script.back());
    worker_.SetScript(c.script);
    WindowsMedia media;
    ASSERT_TRUE(media.Start());
    if (c.n == 2) { ASSERT_TRUE(WaitReady(media)); }
    if (c.n == 0) { ASSERT_EQ(NextEvent(media), "{\"event\":\"configured\"}"); }
    clock_.Advance(29999);
    std::string json;
    EXPECT_FALSE(media.PollEvent(json));
    clock_.Advance(1);
    EXPECT_EQ(media.PollEvent(json), c.reason != nullptr);
    if (c.reason != nullptr) {
      EXPECT_EQ(json, std::string("{\"event\":\"error\",\"reason\":\"") + c.reason + "\"}");
      EXPECT_EQ(log_.Events("WORKER_IPC_TIMEOUT").back().n, c.n);
    }
  }
}

TEST_F(WindowsMediaTest, AWorkerThatEndsOrClosesItsOutputIsReported) {
  struct Case {
    std::vector<std::string> script;
    const char* reason;
    const char* event;
    uint64_t n;
  };
  const Case cases[] = {
      {{kReady, "exit 7"}, "worker_exited", "WORKER_EXITED", 7},
      {{kReady, "crash"}, "worker_exited", "WORKER_EXITED", 139},
      {{kReady, "close-stdout"}, "pipe_closed", "WORKER_PIPE_ERROR", 109},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script.back());
    quorix_test::EventLogCapture log;
    worker_.SetScript(c.script);
    WindowsMedia media;
    ASSERT_TRUE(media.Start());
    const std::string want = std::string("{\"event\":\"error\",\"reason\":\"") + c.reason + "\"}";
    EXPECT_EQ(NextEvent(media), want);
    EXPECT_EQ(NextEvent(media), want);  // again, until Stop
    EXPECT_EQ(log.Events(c.event).back().n, c.n);
    if (c.n == 7) {
      EXPECT_FALSE(media.Start());
      EXPECT_EQ(log.Events("WORKER_START_FAIL").back().code, 183u);
    }
    media.Stop();
    std::string json;
    EXPECT_FALSE(media.PollEvent(json));
  }
}

TEST_F(WindowsMediaTest, AWorkerThatStopsReadingCannotHoldTheCaller) {
  worker_.SetScript({kReady, "stop-reading"});
  WindowsMedia media;
  ASSERT_TRUE(media.Start());
  ASSERT_TRUE(WaitReady(media));
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(media.SendCommand("{" + std::string(144998, 'x') + "}"));
  EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(2000));
  EXPECT_EQ(media.process.last_error, platform::kErrorTimeout);
  EXPECT_FALSE(media.SendCommand("{}"));  // nothing more after a cut line
  EXPECT_EQ(NextEvent(media), "{\"event\":\"error\",\"reason\":\"pipe_closed\"}");

  // Stop must end it; should it hang, the watchdog kills the worker's group.
  const int group = static_cast<int>(media.process.process_id);
  std::mutex mutex;
  std::condition_variable cv;
  bool stopped = false;
  std::thread watchdog([&] {
    std::unique_lock lock(mutex);
    if (!cv.wait_for(lock, seconds(60), [&] { return stopped; })) {
      ADD_FAILURE() << "Stop hung";
      kill(-group, SIGKILL);
    }
  });
  media.Stop();
  {
    std::lock_guard lock(mutex);
    stopped = true;
  }
  cv.notify_one();
  watchdog.join();
  EXPECT_TRUE(quorix_test::ProcessGone(group));
}

TEST_F(WindowsMediaTest, StopEndsTheWorkerAndEverythingItStarted) {
  struct Case {
    std::vector<std::string> script;
    bool asked;  // the worker saw "STOP"
  };
  const Case cases[] = {
      {{kReady}, true},
      {{kReady, "ignore-stop"}, true},
      {{kReady, "child"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script.back());
    const std::set<pid_t> children = quorix_test::ChildProcesses();
    FakeMediaWorker worker;
    worker.SetScript(c.script);
    WindowsMedia media;
    ASSERT_TRUE(media.Start());
    ASSERT_TRUE(WaitReady(media));
    const int pid = static_cast<int>(media.process.process_id);
    if (c.script.back() == "child") { ASSERT_TRUE(WaitFor([&] { return !worker.RecordValue("CHILD").empty(); }, seconds(20))); }
    media.Stop();
    EXPECT_TRUE(worker.WaitForRecord("STOP"));
    EXPECT_TRUE(quorix_test::ProcessGone(pid));
    const std::string child = worker.RecordValue("CHILD");
    if (!child.empty()) { EXPECT_TRUE(WaitFor([&] { return quorix_test::ProcessGone(std::stoi(child)); }, seconds(20))); }
    EXPECT_TRUE(NoChildLeft(children));
  }
  FakeMediaWorker worker;
  WindowsMedia never_started;
  never_started.Stop();
  EXPECT_TRUE(never_started.Start());
}

TEST_F(WindowsMediaTest, StartStopCyclesLeaveNothingBehind) {
  const std::set<pid_t> children = quorix_test::ChildProcesses();
  {
    WindowsMedia warm;  // first use allocates the process-wide tables
    ASSERT_TRUE(warm.Start());
  }
  const size_t fds = quorix_test::CountDirectoryEntries("/proc/self/fd");
  WindowsMedia media;
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(media.Start()) << i;
    ASSERT_TRUE(media.SendCommand("{\"cycle\":" + std::to_string(i) + "}"));
    media.Stop();
  }
  EXPECT_EQ(quorix_test::CountDirectoryEntries("/proc/self/fd"), fds);
  EXPECT_TRUE(NoChildLeft(children));
}

TEST_F(WindowsMediaTest, TheWorkerDiesWithTheProgram) {
  const auto host = quorix_test::ChildProcess::Start(QUORIX_MEDIA_WORKER_HOST, {worker_.folder().string()},
                                                     platform::env::Snapshot());
  ASSERT_TRUE(host);
  ASSERT_TRUE(WaitFor([&] { return host->Stdout().find('\n') != std::string::npos; }, seconds(20)));
  const int worker = std::stoi(host->Stdout().substr(host->Stdout().find(' ') + 1));
  ASSERT_FALSE(quorix_test::ProcessGone(worker));
  host->Signal(SIGKILL);
  EXPECT_TRUE(WaitFor([&] { return quorix_test::ProcessGone(worker); }, seconds(20)));
}

}  // namespace
}  // namespace quorix_phone
