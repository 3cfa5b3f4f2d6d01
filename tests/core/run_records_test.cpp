#include "core/run_records.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/environment.h"
#include "leftovers.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "platform/process.h"
#include "test_util.h"

namespace {

using quorix_test::ReadFile;
using quorix_test::WriteFile;

const std::string kBom = "\xEF\xBB\xBF";

class RunDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_.local = {2026, 3, 4, 5, 6, 7, 89};
    platform::SetClockForTesting(&clock_);
    platform::env::Set("USERPROFILE", profile_.path().string());
    std::filesystem::create_directories(exe_dir_.path());
    exe_ = exe_dir_.path() / "Quorix";
    WriteFile(exe_, "program bytes");
  }
  void TearDown() override { platform::SetClockForTesting(nullptr); }

  std::filesystem::path ExpectedRunDir() const {
    return profile_.path() / "Documents" / "QuorixPhone_Development" /
           ("UI3_Run_20260304_050607_089_" + std::to_string(platform::CurrentProcessId()));
  }

  platform::ManualClock clock_;
  quorix_test::TempDir profile_;
  quorix_test::TempDir exe_dir_;
  std::filesystem::path exe_;
  ScopedEnvironmentVariable restore_profile_{u"USERPROFILE"};
  ScopedEnvironmentVariable restore_log_{u"QUORIX_2PC_EVENT_LOG"};
};

TEST_F(RunDirectoryTest, CreatesTheRunAndItsRecords) {
  platform::env::Set("QUORIX_C1D_STATS_PATH", "/somewhere");
  platform::env::Set("QUORIX_2PC_ALLOWED_HOST", "evil.example");
  platform::env::Set("QUORIX_BROWSER_OUTPUT_GENERATION", "9");

  const auto run_dir = CreateRunDirectory(exe_);
  EXPECT_EQ(run_dir, ExpectedRunDir());
  EXPECT_TRUE(std::filesystem::is_directory(run_dir));

  const std::string record = ReadFile(run_dir / "process.private.json");
  ASSERT_EQ(record.rfind(kBom, 0), 0u);
  const std::string prefix = kBom + "{\"owner\":\"Quorix_UI3_Unified\",\"pid\":" +
                             std::to_string(platform::CurrentProcessId()) + ",\"exe\":\"" + exe_.string() +
                             "\",\"sha256\":\"" + FileSha256Hex(exe_) + "\",\"start_utc\":\"";
  EXPECT_EQ(record.substr(0, prefix.size()), prefix);
  const std::string rest = record.substr(prefix.size());
  // "YYYY-MM-DDTHH:MM:SS.fffffffZ" then the mode.
  ASSERT_EQ(rest.size(), 28u + std::string("\",\"mode\":\"Unified\"}").size()) << rest;
  EXPECT_EQ(rest.substr(10, 1), "T");
  EXPECT_EQ(rest.substr(27), "Z\",\"mode\":\"Unified\"}");
  EXPECT_EQ(record.back(), '}');

  EXPECT_EQ(ReadFile(exe_dir_.path() / "LAST_RUN.txt"), kBom + run_dir.string());

  EXPECT_FALSE(platform::env::Get("QUORIX_C1D_STATS_PATH").has_value());
  EXPECT_FALSE(platform::env::Get("QUORIX_2PC_ALLOWED_HOST").has_value());
  EXPECT_FALSE(platform::env::Get("QUORIX_BROWSER_OUTPUT_GENERATION").has_value());
  EXPECT_EQ(platform::env::Get("QUORIX_RUNTIME_MODE"), "LIVE_PRODUCTION_RC");
  EXPECT_EQ(platform::env::Get("QUORIX_2PC_NETWORK"), "AUTHORIZED_ISOLATED_ONLY");
  EXPECT_EQ(platform::env::Get("QUORIX_2PC_REAL_ACCOUNTS"), "1");
  EXPECT_EQ(platform::env::Get("QUORIXPHONE_TSF_C3E"), "1");
  EXPECT_EQ(platform::env::Get("QUORIX_2PC_ORIGIN"), "https://api.quorix.example");
  EXPECT_EQ(platform::env::Get("QUORIX_2PC_EVENT_LOG"), (run_dir / "events.private.jsonl").string());
}

// LAST_RUN.txt is shared by every run of an installation: what a run killed
// while replacing it left, at the very names this one takes, never stops the
// start, and the start removes what ended runs left.
TEST_F(RunDirectoryTest, LeftoversOfKilledRunsBesideTheProgramNeverStopAStart) {
  const quorix_test::Leftovers leftovers(exe_dir_.path() / "LAST_RUN.txt");
  const auto run_dir = CreateRunDirectory(exe_);
  EXPECT_EQ(ReadFile(exe_dir_.path() / "LAST_RUN.txt"), kBom + run_dir.string());
  leftovers.ExpectOnlyEndedWritersRemoved();
}

TEST_F(RunDirectoryTest, BackslashesOfTheExecutablePathAreDoubled) {
  const auto odd = exe_dir_.path() / "odd\\name\"x";
  WriteFile(odd, "other bytes");
  const auto run_dir = CreateRunDirectory(odd);
  const std::string record = ReadFile(run_dir / "process.private.json");
  EXPECT_NE(record.find("odd\\\\name\\\"x\""), std::string::npos) << record;
}

TEST_F(RunDirectoryTest, SameNameTwiceAndMissingProfileAreRefused) {
  const auto first = CreateRunDirectory(exe_);
  std::filesystem::remove(first / "process.private.json");
  try {
    CreateRunDirectory(exe_);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "RUN_ALREADY_EXISTS");
  }
  EXPECT_TRUE(std::filesystem::is_empty(first));

  platform::env::Unset("USERPROFILE");
  try {
    CreateRunDirectory(exe_);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "USERPROFILE_MISSING");
  }
  platform::env::Set("USERPROFILE", "");
  EXPECT_THROW(CreateRunDirectory(exe_), std::runtime_error);
}

// The private record is the owner's alone under the usual umask; the others keep theirs.
TEST_F(RunDirectoryTest, ProcessRecordIsOwnerOnly) {
  const mode_t saved = ::umask(022);
  const auto run_dir = CreateRunDirectory(exe_);
  // An older copy, as a crashed earlier write could leave it, is narrowed too.
  WriteFile(exe_dir_.path() / "old.private.json", "x");
  ::chmod((exe_dir_.path() / "old.private.json").c_str(), 0644);
  WriteRunRecord(exe_dir_.path() / "old.private.json", "y", false, true);
  ::umask(saved);
  EXPECT_EQ(quorix_test::FileMode(run_dir / "process.private.json"), 0600u);
  EXPECT_EQ(quorix_test::FileMode(exe_dir_.path() / "old.private.json"), 0600u);
  EXPECT_EQ(quorix_test::FileMode(exe_dir_.path() / "LAST_RUN.txt"), 0644u);
}

// The names in `folder`, sorted.
std::vector<std::string> Names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(RunRecord, WritesExactBytesAndLeavesNothingElse) {
  quorix_test::TempDir dir;
  WriteRunRecord(dir.path() / "a.json", "{\"x\":1}", true);
  EXPECT_EQ(ReadFile(dir.path() / "a.json"), kBom + "{\"x\":1}");
  WriteRunRecord(dir.path() / "a.json", "short", false);
  EXPECT_EQ(ReadFile(dir.path() / "a.json"), "short");
  // A link in the record's place is replaced, and what it named is untouched.
  WriteFile(dir.path() / "named", "kept");
  std::filesystem::create_symlink(dir.path() / "named", dir.path() / "link");
  WriteRunRecord(dir.path() / "link", "record", false);
  EXPECT_EQ(ReadFile(dir.path() / "named"), "kept");
  EXPECT_EQ(ReadFile(dir.path() / "link"), "record");
  EXPECT_FALSE(std::filesystem::is_symlink(dir.path() / "link"));
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.json", "link", "named"}));
}

// Every failure throws the one error and leaves the previous record (or
// nothing) in place, with no temporary file beside it.
TEST(RunRecord, AFailedWriteKeepsThePreviousRecord) {
  quorix_test::TempDir dir;
  const auto expect_failure = [](const std::function<void()>& write) {
    try {
      write();
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "UI3_RUN_RECORD_FAILED");
    }
  };
  expect_failure([&] { WriteRunRecord(dir.path() / "missing" / "a.json", "x", true); });
  std::filesystem::create_directories(dir.path() / "folder" / "inside");
  expect_failure([&] { WriteRunRecord(dir.path() / "folder", "x", true); });
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "folder" / "inside"));

  // A write cut short by the file size limit (regular files only: the test's
  // own output is not affected while it is set).
  WriteRunRecord(dir.path() / "a.json", std::string(100, 'o'), true);
  {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{50, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    expect_failure([&] { WriteRunRecord(dir.path() / "a.json", std::string(100, 'n'), true); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, old_handler);
  }
  EXPECT_EQ(ReadFile(dir.path() / "a.json"), kBom + std::string(100, 'o'));
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.json", "folder"}));
}

// A reader polling a record while it is rewritten (as the owner-check watcher
// polls RUN.txt) sees one whole record or the other, never a part.
TEST(RunRecord, AReaderNeverSeesAPartialRecord) {
  quorix_test::TempDir dir;
  const auto path = dir.path() / "RUN.txt";
  const std::string first(256 * 1024, 'a');
  const std::string second(256 * 1024, 'b');
  WriteRunRecord(path, first, true);
  std::atomic<bool> writing{true};
  std::atomic<size_t> reads{0};
  std::thread writer([&] {
    // Until the reader has read often enough to have met the writes.
    for (size_t i = 0; i < 40 || reads.load() < 400; ++i) WriteRunRecord(path, i % 2 ? first : second, true);
    writing = false;
  });
  size_t partial = 0;
  while (writing.load()) {
    const std::string seen = ReadFile(path);
    partial += seen != kBom + first && seen != kBom + second;
    ++reads;
  }
  writer.join();
  EXPECT_EQ(partial, 0u) << "of " << reads.load() << " reads";
}

TEST(FileDigest, KnownContentAndUnreadableFiles) {
  quorix_test::TempDir dir;
  WriteFile(dir.path() / "abc", "abc");
  EXPECT_EQ(FileSha256Hex(dir.path() / "abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(FileSha256Hex(dir.path() / "missing"), "");
  EXPECT_EQ(FileSha256Hex(dir.path()), "");  // a folder opens but cannot be read
  WriteFile(dir.path() / "big", std::string(200000, 'q'));
  EXPECT_EQ(FileSha256Hex(dir.path() / "big").size(), 64u);
}

}  // namespace
