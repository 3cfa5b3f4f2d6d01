#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/environment.h"
#include "core/run_records.h"
#include "platform/env.h"
#include "test_util.h"

namespace {

unsigned ModeOf(const std::filesystem::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 0777;
}

// The private record is the owner's alone under the usual umask; the others keep theirs.
TEST(RunRecordMode, ProcessRecordIsOwnerOnly) {
  quorix_test::TempDir profile;
  quorix_test::TempDir exe_dir;
  ScopedEnvironmentVariable restore_profile{u"USERPROFILE"};
  ScopedEnvironmentVariable restore_log{u"QUORIX_2PC_EVENT_LOG"};
  platform::env::Set("USERPROFILE", profile.path().string());
  const auto exe = exe_dir.path() / "Quorix";
  quorix_test::WriteFile(exe, "program bytes");
  const mode_t saved = ::umask(022);
  const auto run_dir = CreateRunDirectory(exe);
  // An older copy, as a crashed earlier write could leave it, is narrowed too.
  quorix_test::WriteFile(exe_dir.path() / "old.private.json", "x");
  ::chmod((exe_dir.path() / "old.private.json").c_str(), 0644);
  WriteRunRecord(exe_dir.path() / "old.private.json", "y", false, true);
  ::umask(saved);
  EXPECT_EQ(ModeOf(run_dir / "process.private.json"), 0600u);
  EXPECT_EQ(ModeOf(exe_dir.path() / "old.private.json"), 0600u);
  EXPECT_EQ(ModeOf(exe_dir.path() / "LAST_RUN.txt"), 0644u);
}

}  // namespace
