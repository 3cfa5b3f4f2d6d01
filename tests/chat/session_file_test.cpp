#include "chat/session_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/environment.h"
#include "core/text.h"
#include "leftovers.h"
#include "platform/data_protection.h"
#include "platform/test_hooks.h"
#include "test_util.h"

namespace {

using quorix_test::TempDir;

// Each test gets its own local data folder; production mode off unless asked.
class SessionFile : public ::testing::Test {
 protected:
  SessionFile()
      : local_(u"LOCALAPPDATA", Utf8ToWide((dir_.path() / "local").string())),
        mode_(u"QUORIX_RUNTIME_MODE", std::nullopt) {}
  ~SessionFile() override { platform::testing::ClearFailures(); }

  std::filesystem::path Path() const {
    std::filesystem::path path;
    EXPECT_TRUE(SessionFilePath(&path));
    return path;
  }

  // Writes a file holding `plain` sealed as the program seals it.
  void WriteSealed(const std::string& plain) {
    std::string blob;
    ASSERT_TRUE(platform::ProtectData(plain, u"QuorixPhone MVP02 User Session", "", &blob));
    std::filesystem::create_directories(Path().parent_path());
    quorix_test::WriteFile(Path(), blob);
  }

  static std::string Plain(const std::string& user, const std::string& token) {
    std::string out = "QRXMVP02";
    for (const size_t n : {user.size(), token.size()}) {
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    }
    return out + user + token;
  }

  static void ExpectAbsent(const char* what) {
    StoredSession loaded{"prefilled", "secret"};
    EXPECT_FALSE(LoadSessionFile(&loaded)) << what;
    EXPECT_TRUE(loaded.user_id.empty()) << what;
    EXPECT_TRUE(loaded.token.empty()) << what;
  }

  TempDir dir_;
  ScopedEnvironmentVariable local_;
  ScopedEnvironmentVariable mode_;
};

TEST_F(SessionFile, PathAndSessionDependOnTheMode) {
  EXPECT_EQ(Path(), dir_.path() / "local" / "QuorixPhoneReal2PCTest" / "auth" / "session.dpapi");
  ScopedEnvironmentVariable production(u"QUORIX_RUNTIME_MODE", u"LIVE_PRODUCTION_RC");
  EXPECT_EQ(Path(), dir_.path() / "local" / "QuorixPhone" / "auth" / "session.dpapi");
  {
    ScopedEnvironmentVariable unset(u"LOCALAPPDATA", std::nullopt);
    std::filesystem::path path;
    EXPECT_FALSE(SessionFilePath(&path));
  }
  // Each mode's session stays its own.
  ASSERT_TRUE(SaveSessionFile({"prod", "t1"}));
  {
    ScopedEnvironmentVariable test_mode(u"QUORIX_RUNTIME_MODE", std::nullopt);
    ExpectAbsent("production session from test mode");
    ASSERT_TRUE(SaveSessionFile({"test", "t2"}));
  }
  StoredSession loaded;
  ASSERT_TRUE(LoadSessionFile(&loaded));
  EXPECT_EQ(loaded.user_id, "prod");
}

TEST_F(SessionFile, LargestSessionRoundTripsPrivatelyWithinTheFileLimit) {
  StoredSession session;
  for (int i = 0; i < 256; ++i) session.user_id.push_back(static_cast<char>(i));
  session.token = std::string(2047, 'A') + "_";
  ASSERT_TRUE(SaveSessionFile(session));
  EXPECT_EQ(quorix_test::FileMode(Path()), 0600u);
  EXPECT_LE(std::filesystem::file_size(Path()), 4096u);
  EXPECT_EQ(quorix_test::FileMode(Path().parent_path()), 0700u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path().parent_path()), {}), 1);
  StoredSession loaded{"x", "y"};
  ASSERT_TRUE(LoadSessionFile(&loaded));
  EXPECT_EQ(loaded.user_id, session.user_id);
  EXPECT_EQ(loaded.token, session.token);

  // A missing file counts as deleted.
  EXPECT_TRUE(DeleteSessionFile());
  EXPECT_FALSE(std::filesystem::exists(Path()));
  EXPECT_TRUE(DeleteSessionFile());
  ExpectAbsent("deleted");
}

TEST_F(SessionFile, SaveRefusesBadSessionsAndWritesNothing) {
  for (const StoredSession& bad : {StoredSession{"u", std::string(2049, 'a')}, StoredSession{"u", ""},
                                   StoredSession{"u", "a.b"}, StoredSession{std::string(257, 'u'), "t"},
                                   StoredSession{"", "t"}}) {
    EXPECT_FALSE(SaveSessionFile(bad));
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "local"));
}

TEST_F(SessionFile, MalformedFilesLoadAsAbsent) {
  std::filesystem::create_directories(Path().parent_path());
  quorix_test::WriteFile(Path(), "");
  ExpectAbsent("0 bytes");
  quorix_test::WriteFile(Path(), std::string(4097, 'x'));
  ExpectAbsent("4097 bytes");
  WriteSealed(Plain("u", "t") + "x");
  ExpectAbsent("extra byte");
  std::string wrong = Plain("u", "t");
  wrong[7] = '3';
  WriteSealed(wrong);
  ExpectAbsent("wrong magic");
  WriteSealed(Plain("", "t"));
  ExpectAbsent("user id length 0");
  WriteSealed(Plain("u", std::string(2049, 't')));
  ExpectAbsent("token length 2049");
  WriteSealed(Plain("u", "t").substr(0, 15));
  ExpectAbsent("short header");
  WriteSealed(Plain("u", "t"));
  StoredSession loaded;
  EXPECT_TRUE(LoadSessionFile(&loaded));

  TempDir other_keys;
  quorix_test::ScopedKeyFolder other(other_keys.path() / "keys");
  ExpectAbsent("another key");
}

// A save killed before its rename leaves its temporary file; a later run may
// get the same pid (in a container, every start does). Nothing left at the
// names a save takes stops it, and ended saves' leftovers go.
TEST_F(SessionFile, LeftoversOfKilledSavesNeverStopASave) {
  ASSERT_TRUE(SaveSessionFile({"old", "t_old"}));
  const quorix_test::Leftovers leftovers(Path());
  ASSERT_TRUE(SaveSessionFile({"new", "t_new"}));
  StoredSession loaded;
  ASSERT_TRUE(LoadSessionFile(&loaded));
  EXPECT_EQ(loaded.user_id, "new");
  EXPECT_EQ(loaded.token, "t_new");
  EXPECT_EQ(quorix_test::FileMode(Path()), 0600u);
  leftovers.ExpectOnlyEndedWritersRemoved();
}

TEST_F(SessionFile, FailedSavesLeaveTheOldFileAndUnwritableTargetsFail) {
  ASSERT_TRUE(SaveSessionFile({"old", "t_old"}));
  const std::string before = quorix_test::ReadFile(Path());
  auto expect_unchanged = [&](const char* what) {
    EXPECT_EQ(quorix_test::ReadFile(Path()), before) << what;
  };

  platform::testing::FailNext(platform::testing::FailStep::kRandomSource);
  EXPECT_FALSE(SaveSessionFile({"new", "t_new"}));
  expect_unchanged("protection failure");

  {
    ScopedEnvironmentVariable unset(u"LOCALAPPDATA", std::nullopt);
    EXPECT_FALSE(SaveSessionFile({"new", "t_new"}));
    EXPECT_FALSE(DeleteSessionFile());
  }
  expect_unchanged("LOCALAPPDATA unset");
  ASSERT_TRUE(SaveSessionFile({"new", "t_new"}));
  StoredSession loaded;
  ASSERT_TRUE(LoadSessionFile(&loaded));
  EXPECT_EQ(loaded.user_id, "new");

  // "auth" a plain file.
  std::filesystem::remove_all(Path().parent_path());
  quorix_test::WriteFile(Path().parent_path(), "plain");
  EXPECT_FALSE(SaveSessionFile({"u", "t"}));
  EXPECT_EQ(quorix_test::ReadFile(Path().parent_path()), "plain");
  std::filesystem::remove(Path().parent_path());

  // The target a non-empty folder: the temporary is removed again.
  std::filesystem::create_directories(Path() / "inner");
  EXPECT_FALSE(SaveSessionFile({"u", "t"}));
  EXPECT_TRUE(std::filesystem::is_directory(Path() / "inner"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path().parent_path()), {}), 1);
  EXPECT_FALSE(DeleteSessionFile());
}

}  // namespace
