#include "core/local_data_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "core/environment.h"
#include "test_util.h"

namespace {

using quorix_test::ReadFile;
using quorix_test::TempDir;
using quorix_test::WriteFile;

const char kManifest[] =
    "format=QuorixPhoneLocalDataStore\n"
    "schema_version=1\n"
    "root_scope=LOCAL_USER_ONLY\n"
    "cloud_sync_default=NO\n"
    "server_upload_default=NO\n"
    "raw_vrchat_log_copy=NO\n"
    "gallery_photo_copy=NO_INDEX_ONLY\n"
    "atomic_write=TEMP_THEN_REPLACE\n"
    "max_value_bytes=16777216\n"
    "area_count=10\n"
    "area.0=settings\n"
    "area.1=window_layouts\n"
    "area.2=notes\n"
    "area.3=calendar\n"
    "area.4=join_log,auto_cloud_sync=NO\n"
    "area.5=encounter_history,auto_cloud_sync=NO\n"
    "area.6=gallery_index,auto_cloud_sync=NO\n"
    "area.7=browser_data,auto_cloud_sync=NO\n"
    "area.8=templates\n"
    "area.9=timers\n";

int CountTemporaries(const std::filesystem::path& dir) {
  int n = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    if (e.path().filename().string().find(".tmp.") != std::string::npos) ++n;
  }
  return n;
}

// Initialises a store on `root`, keeping its status line out of the test output.
bool InitQuietly(LocalDataStore& store, const std::string& root, std::string* line = nullptr) {
  testing::internal::CaptureStdout();
  const bool ok = store.Initialize(root);
  const std::string out = testing::internal::GetCapturedStdout();
  if (line != nullptr) *line = out;
  return ok;
}

TEST(StoreKeys, OnlyPlainNamesPass) {
  const std::string accepted[] = {"a", std::string(96, 'k'), "a.b.c", ".hidden", "Ab-9_x", "wrist_home_v1", "A.B-"};
  for (const std::string& key : accepted) EXPECT_TRUE(IsValidStoreKey(key)) << key;
  const std::string refused[] = {"",     std::string(97, 'k'), ".",   "..",    "a..b", "x..", "a/b", "a\\b",
                                 "a b",  "\xC3\xA9",           "a\x80", "a:b", "a\tb", std::string("a\0b", 3)};
  for (const std::string& key : refused) EXPECT_FALSE(IsValidStoreKey(key)) << key;
}

TEST(LocalDataStore, RefusesUnknownAreasBadKeysEarlyUseAndIrregularFiles) {
  TempDir dir;
  LocalDataStore store;
  std::string out = "untouched";
  EXPECT_FALSE(store.Write("settings", "k", "v"));
  EXPECT_EQ(store.rejected_count, 1u);
  EXPECT_FALSE(store.Read("settings", "k", &out));
  EXPECT_EQ(store.read_count, 0u);
  EXPECT_EQ(store.rejected_count, 1u);

  ASSERT_TRUE(InitQuietly(store, dir.path().string()));
  EXPECT_FALSE(store.Write("SETTINGS", "k", "v"));
  EXPECT_FALSE(store.Write("settings", "a/b", "v"));
  EXPECT_FALSE(store.Write("settings", "..", "v"));
  EXPECT_EQ(store.rejected_count, 4u);
  EXPECT_FALSE(store.Read("Settings", "k", &out));
  EXPECT_FALSE(store.Read("settings", "missing", &out));
  EXPECT_FALSE(store.Read("settings", "k", nullptr));
  EXPECT_EQ(out, "untouched");
  EXPECT_EQ(store.read_count, 0u);
  EXPECT_EQ(store.write_count, 0u);

  for (const StoreArea& area : kStoreAreas) {
    ASSERT_TRUE(store.Write(area.name, "k", area.name));
    ASSERT_TRUE(store.Read(area.name, "k", &out));
    EXPECT_EQ(out, area.name);
  }
  EXPECT_EQ(store.write_count, 10u);
  EXPECT_EQ(store.read_count, 10u);
  std::string path;
  ASSERT_TRUE(store.ResolveKeyPath("notes", "n.1", &path));
  EXPECT_EQ(path, (dir.path() / "notes" / "n.1").string());

  // What is no regular file is refused at once.
  ASSERT_EQ(::mkfifo((dir.path() / "notes" / "fifo").c_str(), 0600), 0);
  std::filesystem::create_directories(dir.path() / "notes" / "folder");
  out = "untouched";
  EXPECT_FALSE(store.Read("notes", "fifo", &out));
  EXPECT_FALSE(store.Read("notes", "folder", &out));
  EXPECT_EQ(out, "untouched");
  EXPECT_EQ(store.read_count, 10u);
}

TEST(LocalDataStore, ValuesUpToTheLimitRoundTrip) {
  TempDir dir;
  LocalDataStore store;
  ASSERT_TRUE(InitQuietly(store, dir.path().string()));
  std::string big(kStoreMaxValueBytes, '\0');
  for (size_t i = 0; i < big.size(); i += 4093) big[i] = static_cast<char>(i % 251);
  ASSERT_TRUE(store.Write("gallery_index", "big", big));
  std::string back;
  ASSERT_TRUE(store.Read("gallery_index", "big", &back));
  EXPECT_TRUE(back == big);

  big.push_back('x');
  EXPECT_FALSE(store.Write("gallery_index", "big", big));
  EXPECT_EQ(store.rejected_count, 1u);
  // A file over the limit put there by someone else is refused on reading.
  WriteFile(dir.path() / "gallery_index" / "big", big);
  back = "untouched";
  EXPECT_FALSE(store.Read("gallery_index", "big", &back));
  EXPECT_EQ(back, "untouched");
  EXPECT_EQ(store.read_count, 1u);

  ASSERT_TRUE(store.Write("notes", "empty", ""));
  back = "x";
  ASSERT_TRUE(store.Read("notes", "empty", &back));
  EXPECT_EQ(back, "");
}

TEST(LocalDataStore, ReplacesAtomicallyAndKeepsTheOldValueOnFailure) {
  TempDir dir;
  LocalDataStore store;
  ASSERT_TRUE(InitQuietly(store, dir.path().string()));
  ASSERT_TRUE(store.Write("settings", "k", "first"));
  ASSERT_TRUE(store.Write("settings", "k", "second"));
  EXPECT_EQ(ReadFile(dir.path() / "settings" / "k"), "second");
  EXPECT_EQ(CountTemporaries(dir.path()), 0);

  // A non-empty folder where the file must go: the move fails.
  std::filesystem::create_directories(dir.path() / "notes" / "busy" / "inner");
  EXPECT_FALSE(store.Write("notes", "busy", "v"));
  EXPECT_EQ(store.write_count, 2u);
  EXPECT_EQ(store.rejected_count, 0u);
  EXPECT_EQ(CountTemporaries(dir.path()), 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "notes" / "busy" / "inner"));

  // A full disk, made by a file size limit in a child process.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const bool written = store.Write("settings", "k", std::string(100000, 'z'));
    ::_exit(written ? 1 : (store.write_count == 2 ? 0 : 2));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(dir.path() / "settings" / "k"), "second");
  EXPECT_EQ(CountTemporaries(dir.path()), 0);
}

TEST(LocalDataStoreInitialize, ReportsEachOutcome) {
  TempDir dir;
  {
    ScopedEnvironmentVariable unset(u"LOCALAPPDATA", std::nullopt);
    LocalDataStore store;
    std::string line;
    EXPECT_FALSE(InitQuietly(store, "", &line));
    EXPECT_EQ(line, "[PF20_STORE] INITIALIZE=FAIL reason=ROOT_PATH\n");
    EXPECT_FALSE(store.initialized);
    EXPECT_EQ(DefaultStoreRoot(), "");
  }
  {
    ScopedEnvironmentVariable set(u"LOCALAPPDATA", u"/somewhere/local");
    EXPECT_EQ(DefaultStoreRoot(), "/somewhere/local/QuorixPhoneReal2PCTest/data/v1");
  }
  {
    WriteFile(dir.path() / "plain", "x");
    const std::string root = (dir.path() / "plain" / "root").string();
    LocalDataStore store;
    std::string line;
    EXPECT_FALSE(InitQuietly(store, root, &line));
    EXPECT_EQ(line, "[PF20_STORE] INITIALIZE=FAIL reason=LAYOUT root=" + root + "\n");
    EXPECT_FALSE(store.initialized);
  }
  {
    const std::string root = (dir.path() / "warn").string();
    std::filesystem::create_directories(dir.path() / "warn" / "store_manifest.txt");
    LocalDataStore store;
    std::string line;
    EXPECT_FALSE(InitQuietly(store, root, &line));
    EXPECT_EQ(line, "[PF20_STORE] INITIALIZE=PASS root=" + root +
                        " schema=1 areas=10 atomic_write=YES cloud_sync=NO policy_manifest=WARN\n");
    EXPECT_TRUE(store.initialized);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "warn" / "timers"));
    EXPECT_TRUE(store.Write("timers", "t", "1"));
  }
}

TEST(LocalDataStoreInitialize, MakesAnOwnerOnlyLayoutAndTheManifest) {
  TempDir dir;
  const std::string root = (dir.path() / "Local" / "data" / "v1").string();
  LocalDataStore store;
  std::string line;
  const mode_t old_mask = ::umask(0);
  const bool ok = InitQuietly(store, root, &line);
  const bool written = store.Write("settings", "k", "v");
  ::umask(old_mask);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(written);
  EXPECT_EQ(line, "[PF20_STORE] INITIALIZE=PASS root=" + root +
                      " schema=1 areas=10 atomic_write=YES cloud_sync=NO policy_manifest=PASS\n");
  EXPECT_EQ(store.root, root);
  EXPECT_EQ(ReadFile(std::filesystem::path(root) / "store_manifest.txt"), kManifest);
  const auto mode = quorix_test::FileMode;
  EXPECT_EQ(mode(dir.path() / "Local"), 0700u);
  EXPECT_EQ(mode(root), 0700u);
  for (const StoreArea& area : kStoreAreas) EXPECT_EQ(mode(std::filesystem::path(root) / area.name), 0700u);
  EXPECT_EQ(mode(std::filesystem::path(root) / "store_manifest.txt"), 0600u);
  EXPECT_EQ(mode(std::filesystem::path(root) / "settings" / "k"), 0600u);

  // A repeat recreates a deleted area and rewrites the manifest.
  std::filesystem::remove_all(std::filesystem::path(root) / "calendar");
  WriteFile(std::filesystem::path(root) / "store_manifest.txt", "stale");
  ASSERT_TRUE(InitQuietly(store, root));
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(root) / "calendar"));
  EXPECT_EQ(ReadFile(std::filesystem::path(root) / "store_manifest.txt"), kManifest);
  EXPECT_EQ(CountTemporaries(root), 0);
}

TEST(WriteFileAtomically, TemporariesLeftByACrashDoNotBlockWrites) {
  TempDir dir;
  // The numbers a fresh process draws first, each taken by a stale file.
  for (int n = 1; n <= 2000; ++n) WriteFile(dir.path() / ("k.tmp." + std::to_string(n)), "stale");
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(WriteFileAtomically((dir.path() / "k").string(), "value" + std::to_string(i)));
  }
  EXPECT_EQ(ReadFile(dir.path() / "k"), "value2");
  EXPECT_EQ(CountTemporaries(dir.path()), 1997);
}

TEST(WriteFileAtomically, CreatesMissingFoldersAndFailsCleanly) {
  TempDir dir;
  const auto target = dir.path() / "x" / "y" / "value";
  ASSERT_TRUE(WriteFileAtomically(target.string(), "abc"));
  EXPECT_EQ(ReadFile(target), "abc");
  EXPECT_FALSE(WriteFileAtomically((dir.path() / "x" / "y" / "value" / "under").string(), "abc"));
  EXPECT_FALSE(WriteFileAtomically("", "abc"));
  EXPECT_FALSE(WriteFileAtomically((dir.path() / "bad\xC0\xAF").string(), "abc"));
  EXPECT_EQ(CountTemporaries(dir.path()), 0);
}

}  // namespace
