#include "core/run_records.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <stdexcept>

#include "core/environment.h"
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

TEST(RunRecord, WritesExactBytesAndDetectsFailures) {
  quorix_test::TempDir dir;
  WriteRunRecord(dir.path() / "a.json", "{\"x\":1}", true);
  EXPECT_EQ(ReadFile(dir.path() / "a.json"), kBom + "{\"x\":1}");
  WriteRunRecord(dir.path() / "a.json", "short", false);  // truncates
  EXPECT_EQ(ReadFile(dir.path() / "a.json"), "short");
  EXPECT_THROW(WriteRunRecord(dir.path() / "missing" / "a.json", "x", true), std::runtime_error);
  if (std::filesystem::exists("/dev/full")) {
    try {
      WriteRunRecord("/dev/full", "a full disk is not success", true);
      FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "UI3_RUN_RECORD_FAILED");
    }
  }
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
