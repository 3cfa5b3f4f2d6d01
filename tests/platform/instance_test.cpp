#include "platform/instance.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/env.h"
#include "platform/message_pump.h"
#include "test_util.h"

namespace {

class InstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform::env::Get("XDG_RUNTIME_DIR");
    ::chmod(dir_.path().c_str(), 0700);
    platform::env::Set("XDG_RUNTIME_DIR", dir_.path().string());
  }
  void TearDown() override {
    if (saved_) {
      platform::env::Set("XDG_RUNTIME_DIR", *saved_);
    } else {
      platform::env::Unset("XDG_RUNTIME_DIR");
    }
  }
  quorix_test::TempDir dir_;
  std::optional<std::string> saved_;
};

TEST_F(InstanceTest, SecondHolderIsToldAnotherInstanceRuns) {
  std::unique_ptr<platform::InstanceLock> first, second;
  ASSERT_EQ(platform::InstanceLock::Acquire("Test.Lock", &first), platform::InstanceLockResult::kAcquired);
  EXPECT_EQ(platform::InstanceLock::Acquire("Test.Lock", &second), platform::InstanceLockResult::kAlreadyRunning);
  EXPECT_EQ(second, nullptr);
  first.reset();
  EXPECT_EQ(platform::InstanceLock::Acquire("Test.Lock", &second), platform::InstanceLockResult::kAcquired);
}

TEST_F(InstanceTest, HolderThatDiedLeavesNothingStale) {
  const pid_t child = ::fork();
  if (child == 0) {
    std::unique_ptr<platform::InstanceLock> lock;
    const bool ok = platform::InstanceLock::Acquire("Test.Dead", &lock) == platform::InstanceLockResult::kAcquired;
    auto listener = platform::ShowListener::Listen("TestClassDead");
    ::_exit(ok && listener ? 0 : 1);  // dies without cleaning up
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  std::unique_ptr<platform::InstanceLock> lock;
  EXPECT_EQ(platform::InstanceLock::Acquire("Test.Dead", &lock), platform::InstanceLockResult::kAcquired);
  auto listener = platform::ShowListener::Listen("TestClassDead");
  ASSERT_NE(listener, nullptr);
  EXPECT_TRUE(platform::PostToInstance("TestClassDead", "Quorix.UI3.Show"));
}

TEST_F(InstanceTest, ShowRequestReachesTheRunningInstanceAsAMessage) {
  EXPECT_FALSE(platform::PostToInstance("TestClass", "Quorix.UI3.Show"));  // nobody listens
  auto listener = platform::ShowListener::Listen("TestClass");
  ASSERT_NE(listener, nullptr);
  platform::MessagePump pump;
  pump.AttachShowListener(listener.get());
  ASSERT_TRUE(platform::PostToInstance("TestClass", "Quorix.UI3.Show"));
  ASSERT_TRUE(platform::PostToInstance("TestClass", "something else"));
  int shows = 0;
  ASSERT_TRUE(quorix_test::WaitFor(
      [&] {
        pump.Wait(100);
        pump.Drain([&](const platform::PumpMessage& m) {
          if (m.kind == platform::PumpMessage::Kind::kShow) ++shows;
        });
        return shows >= 1;
      },
      std::chrono::seconds(10)));
  EXPECT_EQ(shows, 1);
}

TEST(RuntimeDirectory, RefusesAFallbackFolderOpenToOthers) {
  const auto saved = platform::env::Get("XDG_RUNTIME_DIR");
  platform::env::Set("XDG_RUNTIME_DIR", "relative/path");  // not absolute: ignored
  const auto dir = platform::UserRuntimeDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir, "/tmp/quorix-" + std::to_string(::getuid()));
  ::chmod(dir.c_str(), 0777);
  EXPECT_TRUE(platform::UserRuntimeDirectory().empty());
  ::chmod(dir.c_str(), 0700);
  EXPECT_EQ(platform::UserRuntimeDirectory(), dir);
  if (saved) {
    platform::env::Set("XDG_RUNTIME_DIR", *saved);
  } else {
    platform::env::Unset("XDG_RUNTIME_DIR");
  }
}

}  // namespace
