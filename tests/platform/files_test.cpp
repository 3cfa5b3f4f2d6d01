#include "platform/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <thread>
#include <vector>

#include "leftovers.h"
#include "platform/crypto.h"
#include "test_util.h"

namespace {

using quorix_test::ReadFile;
using quorix_test::TempDir;
using quorix_test::WriteFile;

TEST(DurableReplace, ReplacesContentAndLeavesNoTemporary) {
  TempDir dir;
  const auto target = dir.path() / "state.json";
  WriteFile(target, "old");
  ASSERT_TRUE(platform::ReplaceFileDurably(target, "new content"));
  EXPECT_EQ(ReadFile(target), "new content");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1);
  EXPECT_EQ(quorix_test::FileMode(target), 0600u);
}

TEST(DurableReplace, FailureKeepsTheOldFileAndRemovesTheTemporary) {
  TempDir dir;
  // The target is a non-empty folder: the rename must fail.
  const auto target = dir.path() / "busy";
  std::filesystem::create_directories(target / "inner");
  const auto temp = dir.path() / "busy.tmp.1";
  EXPECT_FALSE(platform::ReplaceFileDurablyThrough(target, "x", temp));
  EXPECT_FALSE(std::filesystem::exists(temp));
  EXPECT_TRUE(std::filesystem::is_directory(target / "inner"));
}

TEST(DurableReplace, ExistingTemporaryIsNeverReused) {
  TempDir dir;
  const auto target = dir.path() / "t";
  const auto temp = dir.path() / "t.tmp.7";
  WriteFile(temp, "someone else's");
  EXPECT_FALSE(platform::ReplaceFileDurablyThrough(target, "x", temp));
  EXPECT_EQ(ReadFile(temp), "someone else's");
  EXPECT_FALSE(std::filesystem::exists(target));
}

// A killed run of this pid may have left files at the very names the next
// replace takes: the write passes over them, whatever stands there, and
// removes only what ended writers left. Both forms, each with its mode.
TEST(DurableReplace, LeftoversNeverStopTheWriteAndOnlyEndedWritersGo) {
  const mode_t saved_umask = ::umask(027);
  for (const bool under_umask : {false, true}) {
    SCOPED_TRACE(under_umask ? "under the umask" : "exact mode");
    TempDir dir;
    const auto target = dir.path() / "state.json";
    WriteFile(target, "old");
    const quorix_test::Leftovers leftovers(target);
    ASSERT_TRUE(under_umask ? platform::ReplaceFileDurablyUnderUmask(target, "new", 0666)
                            : platform::ReplaceFileDurably(target, "new", 0604));
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(quorix_test::FileMode(target), under_umask ? 0640u : 0604u);
    leftovers.ExpectOnlyEndedWritersRemoved();
  }
  ::umask(saved_umask);
}

// Writers of one process never share a temporary name: every replace of one
// target from many threads at once succeeds and leaves only the target.
TEST(DurableReplace, ConcurrentReplacesOfOneTargetAllSucceed) {
  TempDir dir;
  const auto target = dir.path() / "session";
  std::atomic<int> failures{0};
  std::vector<std::thread> writers;
  for (int t = 0; t < 8; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) failures += !platform::ReplaceFileDurably(target, std::string(100, 'a' + t));
    });
  }
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(ReadFile(target).size(), 100u);
  EXPECT_EQ(quorix_test::CountDirectoryEntries(dir.path()), 1u);
}

TEST(FileHelpers, AppendCreatesAndAppends) {
  TempDir dir;
  const auto path = dir.path() / "log";
  ASSERT_TRUE(platform::AppendToFile(path, "a\n"));
  ASSERT_TRUE(platform::AppendToFile(path, "b\n"));
  EXPECT_EQ(ReadFile(path), "a\nb\n");
  EXPECT_FALSE(platform::AppendToFile(dir.path() / "missing" / "log", "x"));
}

TEST(FileHelpers, CreateDirectoriesReportsWhetherItMadeTheFolder) {
  TempDir dir;
  bool created = false;
  ASSERT_TRUE(platform::CreateDirectories(dir.path() / "a" / "b", &created));
  EXPECT_TRUE(created);
  ASSERT_TRUE(platform::CreateDirectories(dir.path() / "a" / "b", &created));
  EXPECT_FALSE(created);
  WriteFile(dir.path() / "file", "x");
  EXPECT_FALSE(platform::CreateDirectories(dir.path() / "file" / "sub", &created));
  EXPECT_TRUE(platform::PathExists(dir.path() / "file"));
  EXPECT_FALSE(platform::PathExists(dir.path() / "nothing"));
}

TEST(Sha256, KnownDigestsWholeAndInPieces) {
  const auto empty = platform::Sha256("");
  ASSERT_TRUE(empty);
  EXPECT_EQ(platform::ToHex(empty->data(), empty->size()),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  platform::Sha256Hasher hasher;
  hasher.Update("a", 1);
  hasher.Update("bc", 2);
  const auto abc = hasher.Finish();
  ASSERT_TRUE(abc);
  EXPECT_EQ(platform::ToHex(abc->data(), abc->size()),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_FALSE(hasher.Finish().has_value());  // a finished hasher gives nothing more
}

}  // namespace
