#include "core/event_log.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "core/environment.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "test_util.h"

namespace {

using quorix_test::ReadFile;

class EventLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_.Set(123456);
    platform::SetClockForTesting(&clock_);
  }
  void TearDown() override { platform::SetClockForTesting(nullptr); }
  void PointAt(const std::filesystem::path& path) { platform::env::Set("QUORIX_2PC_EVENT_LOG", path.string()); }

  quorix_test::TempDir dir_;
  platform::ManualClock clock_;
  ScopedEnvironmentVariable restore_{u"QUORIX_2PC_EVENT_LOG"};
};

TEST_F(EventLogTest, LineFormatAndKeyOrder) {
  const auto path = dir_.path() / "events.jsonl";
  PointAt(path);
  WriteEventLog("UI3_UNIFIED_STARTED", 1, 0);
  WriteEventLog("NEGATIVE", static_cast<uint64_t>(-1), 7);
  WriteEventLog("A\"B", 0, 0);  // written as given
  EXPECT_EQ(ReadFile(path),
            "{\"tick_ms\":123456,\"event\":\"UI3_UNIFIED_STARTED\",\"n\":1,\"code\":0}\n"
            "{\"tick_ms\":123456,\"event\":\"NEGATIVE\",\"n\":18446744073709551615,\"code\":7}\n"
            "{\"tick_ms\":123456,\"event\":\"A\"B\",\"n\":0,\"code\":0}\n");
}

TEST_F(EventLogTest, VariableIsReadOnEveryCallAndUnsetOrMissingWritesNothing) {
  platform::env::Unset("QUORIX_2PC_EVENT_LOG");
  WriteEventLog("X", 1, 1);
  PointAt(dir_.path() / "missing" / "events.jsonl");
  WriteEventLog("X", 1, 1);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));

  PointAt(dir_.path() / "one");
  WriteEventLog("FIRST", 0, 0);
  PointAt(dir_.path() / "two");
  WriteEventLog("SECOND", 0, 0);
  EXPECT_NE(ReadFile(dir_.path() / "one").find("FIRST"), std::string::npos);
  EXPECT_NE(ReadFile(dir_.path() / "two").find("SECOND"), std::string::npos);
}

TEST_F(EventLogTest, ThreadsNeverInterleaveLines) {
  const auto path = dir_.path() / "events.jsonl";
  PointAt(path);
  constexpr int kThreads = 8;
  constexpr int kEach = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      const std::string name = "THREAD_" + std::to_string(t) + "_" + std::string(40, 'X');
      for (int i = 0; i < kEach; ++i) WriteEventLog(name.c_str(), static_cast<uint64_t>(i), static_cast<uint64_t>(t));
    });
  }
  for (auto& th : threads) th.join();
  std::istringstream lines(ReadFile(path));
  std::string line;
  std::set<std::pair<int, int>> seen;
  while (std::getline(lines, line)) {
    int t = -1;
    int i = -1;
    char tail[64] = {};
    ASSERT_EQ(std::sscanf(line.c_str(), "{\"tick_ms\":123456,\"event\":\"THREAD_%d_%*[X]\",\"n\":%d,\"code\":%*d%63s", &t,
                          &i, tail),
              3)
        << line;
    EXPECT_STREQ(tail, "}");
    seen.insert({t, i});
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kEach));
}

}  // namespace
