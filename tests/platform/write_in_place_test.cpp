#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/files.h"
#include "test_util.h"

namespace {

using quorix_test::ReadFile;

TEST(WriteFileInPlaceTest, ReplacesTheContentOwnerOnlyAndNeverThroughALink) {
  quorix_test::TempDir dir;
  const auto file = dir.path() / "state.txt";
  quorix_test::WriteFile(file, "a much longer old content");
  ::chmod(file.c_str(), 0644);
  ASSERT_TRUE(platform::WriteFileInPlace(file, "new\r\n"));
  EXPECT_EQ(ReadFile(file), "new\r\n");
  EXPECT_EQ(std::filesystem::status(file).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  const auto link = dir.path() / "link.txt";
  std::filesystem::create_symlink(file, link);
  EXPECT_FALSE(platform::WriteFileInPlace(link, "through the link"));
  EXPECT_FALSE(platform::WriteFileInPlace(dir.path(), "a folder"));
  EXPECT_FALSE(platform::WriteFileInPlace(dir.path() / "missing" / "x.txt", "no folder"));
  EXPECT_EQ(ReadFile(file), "new\r\n");
}

}  // namespace
