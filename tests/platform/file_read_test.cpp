#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/files.h"
#include "test_util.h"

namespace {

using platform::FileReadResult;
using platform::ReadRegularFile;
using quorix_test::TempDir;
using quorix_test::WriteFile;

TEST(ReadRegularFile, ReadsUpToTheLimitAndLeavesTheOutputAloneOtherwise) {
  TempDir dir;
  WriteFile(dir.path() / "four", "abcd");
  WriteFile(dir.path() / "empty", "");
  std::string out = "old";
  EXPECT_EQ(ReadRegularFile(dir.path() / "four", 4, &out), FileReadResult::kOk);
  EXPECT_EQ(out, "abcd");
  EXPECT_EQ(ReadRegularFile(dir.path() / "empty", 4, &out), FileReadResult::kOk);
  EXPECT_EQ(out, "");

  out = "old";
  EXPECT_EQ(ReadRegularFile(dir.path() / "four", 3, &out), FileReadResult::kTooLarge);
  EXPECT_EQ(ReadRegularFile(dir.path() / "missing", 3, &out), FileReadResult::kNotOpened);
  EXPECT_EQ(ReadRegularFile(dir.path(), 3, &out), FileReadResult::kNotOpened);
  // A FIFO with no writer would block a plain open; it must fail at once.
  ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
  EXPECT_EQ(ReadRegularFile(dir.path() / "fifo", 3, &out), FileReadResult::kNotOpened);
  EXPECT_EQ(out, "old");
}

TEST(CreatePrivateDirectories, MakesOwnerOnlyFoldersWhateverTheUmask) {
  TempDir dir;
  const mode_t old_mask = ::umask(0);
  const auto deep = dir.path() / "a" / "b" / "c";
  const bool made = platform::CreatePrivateDirectories(deep);
  // An existing folder keeps its mode.
  std::filesystem::create_directories(dir.path() / "open");
  std::filesystem::permissions(dir.path() / "open", std::filesystem::perms::all);
  const bool again = platform::CreatePrivateDirectories(dir.path() / "open" / "x");
  WriteFile(dir.path() / "file", "x");
  const bool under_file = platform::CreatePrivateDirectories(dir.path() / "file" / "x");
  const bool replaced = platform::ReplaceFileDurably(dir.path() / "a" / "value", "v");
  ::umask(old_mask);

  ASSERT_TRUE(made);
  for (const auto& p : {dir.path() / "a", dir.path() / "a" / "b", deep, dir.path() / "open" / "x"}) {
    EXPECT_EQ(quorix_test::FileMode(p), 0700u) << p;
  }
  EXPECT_TRUE(again);
  EXPECT_EQ(quorix_test::FileMode(dir.path() / "open"), 0777u);
  EXPECT_FALSE(under_file);
  ASSERT_TRUE(replaced);
  EXPECT_EQ(quorix_test::FileMode(dir.path() / "a" / "value"), 0600u);
}

}  // namespace
