#include "platform/data_protection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/test_hooks.h"
#include "test_util.h"

namespace {

using platform::ProtectData;
using platform::SecretBuffer;
using platform::UnprotectData;
using quorix_test::TempDir;

class DataProtection : public ::testing::Test {
 protected:
  DataProtection() : key_folder_(dir_.path() / "keys"), scoped_(key_folder_) {}
  ~DataProtection() override { platform::testing::ClearFailures(); }

  std::filesystem::path KeyFile() const { return key_folder_ / "data-protection.key"; }

  TempDir dir_;
  std::filesystem::path key_folder_;
  quorix_test::ScopedKeyFolder scoped_;
};

std::string Protect(std::string_view plain, std::string_view entropy = {}) {
  std::string blob;
  EXPECT_TRUE(ProtectData(plain, u"QuorixPhone test \u00e9", entropy, &blob));
  return blob;
}

TEST_F(DataProtection, RoundTripsEmptySmallAndLargePlaintextsWithAndWithoutEntropy) {
  std::string large(1 << 20, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 131 + 7);
  for (const std::string& plain : {std::string(), std::string("\x00", 1), large}) {
    for (const std::string& entropy : {std::string(), std::string("extra\x01")}) {
      const std::string blob = Protect(plain, entropy);
      SecretBuffer out;
      ASSERT_TRUE(UnprotectData(blob, entropy, &out)) << plain.size() << " " << entropy.size();
      EXPECT_EQ(out.view(), plain);
    }
  }
}

TEST_F(DataProtection, BlobLayoutAndFreshNonces) {
  const std::string a = Protect("same");
  const std::string b = Protect("same");
  ASSERT_EQ(a.substr(0, 4), "QDP1");
  const std::string description = "QuorixPhone test \xc3\xa9";
  EXPECT_EQ(a.substr(4, 4), std::string("\x13\x00\x00\x00", 4));
  EXPECT_EQ(a.substr(8, description.size()), description);
  EXPECT_EQ(a.size(), 8 + description.size() + 12 + 4 + 16);
  EXPECT_NE(a, b);
}

TEST_F(DataProtection, AnyAlterationOrOtherEntropyOrKeyFails) {
  const std::string blob = Protect("the token", "e");
  SecretBuffer out;
  ASSERT_TRUE(out.Append("prefilled", 9));
  EXPECT_FALSE(UnprotectData(blob, "", &out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(UnprotectData(blob, "f", &out));
  for (size_t i = 0; i < blob.size(); ++i) {
    std::string flipped = blob;
    flipped[i] = static_cast<char>(flipped[i] ^ 0x01);
    EXPECT_FALSE(UnprotectData(flipped, "e", &out)) << "byte " << i;
  }
  for (size_t cut = 0; cut < blob.size(); ++cut) {
    EXPECT_FALSE(UnprotectData(blob.substr(0, cut), "e", &out)) << "cut " << cut;
  }
  EXPECT_FALSE(UnprotectData(blob + "x", "e", &out));
  ASSERT_TRUE(UnprotectData(blob, "e", &out));

  TempDir other;
  quorix_test::ScopedKeyFolder other_folder(other.path() / "keys");
  EXPECT_FALSE(UnprotectData(blob, "e", &out));
  EXPECT_FALSE(std::filesystem::exists(other.path() / "keys" / "data-protection.key"));
}

TEST_F(DataProtection, KeyIsCreatedPrivateOnceAndNeverRewritten) {
  Protect("x");
  const std::string first = quorix_test::ReadFile(KeyFile());
  ASSERT_EQ(first.size(), 32u);
  EXPECT_EQ(quorix_test::FileMode(KeyFile()), 0600u);
  EXPECT_EQ(quorix_test::FileMode(key_folder_), 0700u);
  Protect("y");
  EXPECT_EQ(quorix_test::ReadFile(KeyFile()), first);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(key_folder_), {}), 1);
}

TEST_F(DataProtection, UnprotectWithoutAKeyCreatesNothing) {
  SecretBuffer out;
  std::string blob = "QDP1";
  blob += std::string(4 + 12 + 16 + 3, '\0');
  EXPECT_FALSE(UnprotectData(blob, "", &out));
  EXPECT_FALSE(std::filesystem::exists(KeyFile()));
}

TEST_F(DataProtection, FailedRandomSourceGivesNoBlob) {
  platform::testing::FailNext(platform::testing::FailStep::kRandomSource);
  std::string blob = "old";
  EXPECT_FALSE(ProtectData("x", u"d", "", &blob));
  EXPECT_TRUE(blob.empty());
  EXPECT_FALSE(std::filesystem::exists(KeyFile()));
  EXPECT_TRUE(ProtectData("x", u"d", "", &blob));
}

TEST_F(DataProtection, UnpairedSurrogateInTheDescriptionIsRefused) {
  std::string blob;
  EXPECT_FALSE(ProtectData("x", std::u16string(1, u'\xD800'), "", &blob));
}

// Keys that fail a check make both calls fail and stay as they are.
TEST(DataProtectionBadKey, RefusedAndLeftAlone) {
  struct Case {
    const char* name;
    std::function<void(const std::filesystem::path& folder)> make;
  };
  const std::vector<Case> cases = {
      {"31 bytes", [](const auto& f) { quorix_test::WriteFile(f / "data-protection.key", std::string(31, 'k')); }},
      {"mode 0640",
       [](const auto& f) {
         quorix_test::WriteFile(f / "data-protection.key", std::string(32, 'k'));
         ::chmod((f / "data-protection.key").c_str(), 0640);
       }},
      {"symbolic link",
       [](const auto& f) {
         quorix_test::WriteFile(f / "target", std::string(32, 'k'));
         ::chmod((f / "target").c_str(), 0600);
         std::filesystem::create_symlink(f / "target", f / "data-protection.key");
       }},
      {"folder", [](const auto& f) { std::filesystem::create_directory(f / "data-protection.key"); }},
      {"folder writable by others",
       [](const auto& f) {
         quorix_test::WriteFile(f / "data-protection.key", std::string(32, 'k'));
         ::chmod((f / "data-protection.key").c_str(), 0600);
         ::chmod(f.c_str(), 0777);
       }},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const auto folder = dir.path() / "keys";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    c.make(folder);
    struct stat before {};
    ASSERT_EQ(::lstat((folder / "data-protection.key").c_str(), &before), 0);
    const std::string content =
        std::filesystem::is_regular_file(folder / "data-protection.key")
            ? quorix_test::ReadFile(folder / "data-protection.key") : "";
    quorix_test::ScopedKeyFolder scoped(folder);
    std::string blob;
    EXPECT_FALSE(ProtectData("x", u"d", "", &blob)) << c.name;
    SecretBuffer out;
    EXPECT_FALSE(UnprotectData(std::string("QDP1") + std::string(40, '\0'), "", &out)) << c.name;
    struct stat after {};
    ASSERT_EQ(::lstat((folder / "data-protection.key").c_str(), &after), 0) << c.name;
    EXPECT_EQ(before.st_ino, after.st_ino) << c.name;
    EXPECT_EQ(before.st_mode, after.st_mode) << c.name;
    if (!content.empty()) {
      EXPECT_EQ(quorix_test::ReadFile(folder / "data-protection.key"), content) << c.name;
    }
  }
}

// Eight processes protecting at once in an empty folder agree on one key.
TEST(DataProtectionRace, ConcurrentFirstUseLeavesOneKeyForAll) {
  TempDir dir;
  const auto folder = dir.path() / "keys";
  std::vector<std::unique_ptr<quorix_test::ChildProcess>> children;
  for (int i = 0; i < 8; ++i) {
    children.push_back(quorix_test::ChildProcess::Start(
        QUORIX_DATA_PROTECTION_CHILD,
        {folder.string(), (dir.path() / ("blob" + std::to_string(i))).string(), "plain " + std::to_string(i)},
        platform::env::Snapshot()));
  }
  for (auto& child : children) {
    const auto code = child->WaitExit(std::chrono::seconds(60));
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0) << child->Stderr();
  }
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  ASSERT_EQ(names, std::vector<std::string>{"data-protection.key"});
  EXPECT_EQ(std::filesystem::file_size(folder / "data-protection.key"), 32u);
  EXPECT_EQ(quorix_test::FileMode(folder / "data-protection.key"), 0600u);
  EXPECT_EQ(quorix_test::FileMode(folder), 0700u);

  quorix_test::ScopedKeyFolder scoped(folder);
  for (int i = 0; i < 8; ++i) {
    SecretBuffer out;
    ASSERT_TRUE(UnprotectData(quorix_test::ReadFile(dir.path() / ("blob" + std::to_string(i))), "", &out)) << i;
    EXPECT_EQ(out.view(), "plain " + std::to_string(i));
  }
}

}  // namespace
