#include "platform/owner_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

#include "platform/guid.h"
#include "test_util.h"

namespace {

TEST(OwnerOnlyFiles, FoldersAndFileGetOwnerModesWhateverTheUmask) {
  quorix_test::TempDir dir;
  mode_t old = ::umask(0);  // the most permissive umask must not widen anything
  auto deep = dir.path() / "a" / "b" / "c";
  bool made = platform::CreateOwnerOnlyDirectories(deep);
  ::umask(old);
  ASSERT_TRUE(made);
  EXPECT_EQ(0700u, quorix_test::FileMode(dir.path() / "a"));
  EXPECT_EQ(0700u, quorix_test::FileMode(dir.path() / "a" / "b"));
  EXPECT_EQ(0700u, quorix_test::FileMode(deep));
  // An existing last folder is forced to 0700, existing parents are left alone.
  ASSERT_EQ(0, ::chmod(deep.c_str(), 0755));
  ASSERT_EQ(0, ::chmod((dir.path() / "a").c_str(), 0755));
  ASSERT_TRUE(platform::CreateOwnerOnlyDirectories(deep));
  EXPECT_EQ(0700u, quorix_test::FileMode(deep));
  EXPECT_EQ(0755u, quorix_test::FileMode(dir.path() / "a"));

  auto file = deep / "f.db";
  quorix_test::WriteFile(file, "keep");
  ASSERT_EQ(0, ::chmod(file.c_str(), 0644));
  ASSERT_TRUE(platform::EnsureOwnerOnlyFile(file));
  EXPECT_EQ(0600u, quorix_test::FileMode(file));
  EXPECT_EQ("keep", quorix_test::ReadFile(file));
}

TEST(OwnerOnlyFiles, RefusesLinksAndFilesInTheWay) {
  quorix_test::TempDir dir;
  quorix_test::WriteFile(dir.path() / "plain", "x");
  EXPECT_FALSE(platform::CreateOwnerOnlyDirectories(dir.path() / "plain" / "sub"));
  EXPECT_FALSE(platform::CreateOwnerOnlyDirectories(dir.path() / "plain"));
  ASSERT_EQ(0, ::symlink((dir.path() / "plain").c_str(), (dir.path() / "link").c_str()));
  EXPECT_FALSE(platform::EnsureOwnerOnlyFile(dir.path() / "link"));
  EXPECT_FALSE(platform::EnsureOwnerOnlyFile(dir.path() / "missing" / "f"));
  EXPECT_FALSE(platform::CreateOwnerOnlyDirectories(""));
}

TEST(Guid, VersionAndVariantBitsAndNoRepeats) {
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    auto g = platform::CreateGuid();
    ASSERT_TRUE(g.has_value());
    EXPECT_EQ(0x4000, g->data3 & 0xF000);
    EXPECT_EQ(0x80, g->data4[0] & 0xC0);
    std::string key(reinterpret_cast<const char*>(&*g), sizeof(*g));
    EXPECT_TRUE(seen.insert(key).second);
  }
}

}  // namespace
