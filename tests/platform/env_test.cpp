#include "platform/env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(EnvironmentTable, SetGetUnsetAndInvalidNames) {
  EXPECT_TRUE(platform::env::Set("QX_TEST_A", "value with = sign"));
  EXPECT_EQ(platform::env::Get("QX_TEST_A"), "value with = sign");
  EXPECT_TRUE(platform::env::Set("QX_TEST_A", ""));
  EXPECT_EQ(platform::env::Get("QX_TEST_A"), "");  // set but empty is not unset
  EXPECT_TRUE(platform::env::Unset("QX_TEST_A"));
  EXPECT_FALSE(platform::env::Get("QX_TEST_A").has_value());
  EXPECT_TRUE(platform::env::Unset("QX_TEST_A"));  // removing twice is fine

  EXPECT_FALSE(platform::env::Set("", "x"));
  EXPECT_FALSE(platform::env::Set("A=B", "x"));
  EXPECT_FALSE(platform::env::Set(std::string_view("A\0B", 3), "x"));
  EXPECT_FALSE(platform::env::Set("QX_TEST_B", std::string_view("a\0b", 3)));
  EXPECT_FALSE(platform::env::Get("QX_TEST_B").has_value());
}

TEST(EnvironmentTable, SnapshotIsWhatAChildGets) {
  ASSERT_TRUE(platform::env::Set("QX_TEST_SNAP", "1"));
  const auto snapshot = platform::env::Snapshot();
  EXPECT_NE(std::find(snapshot.begin(), snapshot.end(), "QX_TEST_SNAP=1"), snapshot.end());
  EXPECT_TRUE(std::is_sorted(snapshot.begin(), snapshot.end()));
  platform::env::Unset("QX_TEST_SNAP");
}

TEST(EnvironmentTable, WindowsFoldersAreSeededFromHome) {
  // The table was filled from this process's environment, which has HOME.
  const auto home = platform::env::Get("HOME");
  ASSERT_TRUE(home.has_value());
  EXPECT_TRUE(platform::env::Get("USERPROFILE").has_value());
  EXPECT_TRUE(platform::env::Get("LOCALAPPDATA").has_value());
}

TEST(EnvironmentTable, FaultRefusesOneLayerAndChangesNothing) {
  ASSERT_TRUE(platform::env::Set("QX_TEST_F", "old"));
  platform::env::SetWriteFaultForTesting(
      [](platform::env::Layer layer, std::string_view) { return layer != platform::env::Layer::kRuntime; });
  EXPECT_FALSE(platform::env::Set("QX_TEST_F", "new", platform::env::Layer::kRuntime));
  EXPECT_FALSE(platform::env::Unset("QX_TEST_F", platform::env::Layer::kRuntime));
  EXPECT_EQ(platform::env::Get("QX_TEST_F"), "old");
  EXPECT_TRUE(platform::env::Set("QX_TEST_F", "new", platform::env::Layer::kProcess));
  platform::env::SetWriteFaultForTesting({});
  EXPECT_EQ(platform::env::Get("QX_TEST_F"), "new");
  platform::env::Unset("QX_TEST_F");
}

TEST(EnvironmentTable, ConcurrentReadersAndWritersSeeWholeValues) {
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::vector<std::thread> threads;
  for (int w = 0; w < 2; ++w) {
    threads.emplace_back([&, w] {
      for (int i = 0; i < 2000; ++i) {
        platform::env::Set("QX_TEST_RACE", w == 0 ? std::string(64, 'a') : std::string(128, 'b'));
      }
    });
  }
  for (int r = 0; r < 2; ++r) {
    threads.emplace_back([&] {
      while (!stop) {
        const auto v = platform::env::Get("QX_TEST_RACE");
        if (v && *v != std::string(64, 'a') && *v != std::string(128, 'b')) ++torn;
      }
    });
  }
  threads[0].join();
  threads[1].join();
  stop = true;
  threads[2].join();
  threads[3].join();
  EXPECT_EQ(torn.load(), 0);
  platform::env::Unset("QX_TEST_RACE");
}

}  // namespace
