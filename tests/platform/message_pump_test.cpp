#include "platform/message_pump.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <unistd.h>

#include <thread>
#include <vector>

namespace {

using Kind = platform::PumpMessage::Kind;

TEST(MessagePump, DrainDeliversInOrderAndStopsAtQuit) {
  platform::MessagePump pump;
  pump.Post(1);
  pump.Post(2);
  pump.PostQuit();
  pump.Post(3);
  std::vector<uint32_t> seen;
  EXPECT_TRUE(pump.Drain([&](const platform::PumpMessage& m) {
    seen.push_back(m.kind == Kind::kQuit ? 0 : m.id);
  }));
  EXPECT_EQ(seen, (std::vector<uint32_t>{1, 2, 0}));
  seen.clear();
  EXPECT_FALSE(pump.Drain([&](const platform::PumpMessage& m) { seen.push_back(m.id); }));
  EXPECT_EQ(seen, std::vector<uint32_t>{3});
}

TEST(MessagePump, WaitWakesForAPostFromAnotherThread) {
  platform::MessagePump pump;
  std::thread poster([&] { pump.Post(42); });
  pump.Wait(10000);
  poster.join();
  uint32_t got = 0;
  pump.Drain([&](const platform::PumpMessage& m) { got = m.id; });
  EXPECT_EQ(got, 42u);
}

TEST(MessagePump, TerminationSignalBecomesQuit) {
  platform::MessagePump::BlockTerminationSignals();
  platform::MessagePump pump;
  ASSERT_EQ(::raise(SIGTERM), 0);  // blocked: it waits in the signalfd
  pump.Wait(10000);
  bool quit = false;
  EXPECT_TRUE(pump.Drain([&](const platform::PumpMessage& m) { quit = m.kind == Kind::kQuit; }));
  EXPECT_TRUE(quit);
}

TEST(MessagePump, WatchedDescriptorRunsItsCallback) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  platform::MessagePump pump;
  int calls = 0;
  pump.AddWatch(fds[0], [&] {
    char c;
    (void)!::read(fds[0], &c, 1);
    ++calls;
  });
  ASSERT_EQ(::write(fds[1], "x", 1), 1);
  pump.Wait(10000);
  pump.Drain([](const platform::PumpMessage&) {});
  EXPECT_EQ(calls, 1);
  pump.RemoveWatch(fds[0]);
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
