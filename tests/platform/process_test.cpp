#include "platform/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "test_util.h"

namespace {

using quorix_test::TempDir;
using quorix_test::WriteFile;

// A fake /proc: numbered folders with an exe link or only a cmdline.
class FakeProc {
 public:
  void AddWithExe(int pid, const std::string& target) {
    const auto dir = root_.path() / std::to_string(pid);
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink(target, dir / "exe");
  }
  void AddWithCmdline(int pid, const std::string& cmdline) {
    const auto dir = root_.path() / std::to_string(pid);
    std::filesystem::create_directories(dir);
    WriteFile(dir / "cmdline", cmdline);
  }
  const std::filesystem::path& path() const { return root_.path(); }

 private:
  TempDir root_;
};

TEST(ProcessScan, NamesComeFromTheExecutableThenTheCommandLine) {
  FakeProc proc;
  proc.AddWithExe(10, "/opt/steam/bin/vrserver");
  proc.AddWithExe(11, "/usr/bin/QuorixDesktopTestClient (deleted)");
  proc.AddWithCmdline(12, std::string("/x/QuorixPhone2PCTest\0--flag\0", 29));
  proc.AddWithCmdline(13, "");  // a kernel thread
  std::filesystem::create_directories(proc.path() / "self");
  WriteFile(proc.path() / "uptime", "1");

  auto list = platform::ListProcesses(proc.path());
  std::sort(list.begin(), list.end(), [](auto& a, auto& b) { return a.pid < b.pid; });
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "vrserver");
  EXPECT_EQ(list[1].name, "QuorixDesktopTestClient");  // longer than the 15 characters of comm
  EXPECT_EQ(list[2].name, "QuorixPhone2PCTest");
}

TEST(ProcessScan, MatchesBaseNamesIgnoringCase) {
  FakeProc proc;
  proc.AddWithExe(20, "/x/QUORIXDESKTOP");
  EXPECT_TRUE(platform::AnyProcessNamed({"QuorixPhone", "QuorixDesktop"}, proc.path()));
  EXPECT_FALSE(platform::AnyProcessNamed({"QuorixDesktop2"}, proc.path()));
  EXPECT_FALSE(platform::AnyProcessNamed({"QuorixDesktop"}, proc.path() / "missing"));
}

TEST(ProcessScan, FindsThisProcessInTheRealProc) {
  const auto self = platform::ExecutablePath();
  ASSERT_FALSE(self.empty());
  bool found = false;
  for (const auto& entry : platform::ListProcesses()) {
    if (entry.pid == platform::CurrentProcessId()) {
      found = true;
      EXPECT_EQ(entry.name, self.filename().string());
    }
  }
  EXPECT_TRUE(found);
}

TEST(ProcessFacts, CreationTimeIsRecentAndNotInTheFuture) {
  const auto created = platform::ProcessCreationTime();
  ASSERT_TRUE(created.has_value());
  const auto now = std::chrono::system_clock::now();
  EXPECT_LE(*created, now + std::chrono::seconds(1));
  EXPECT_GT(*created, now - std::chrono::hours(1));
}

}  // namespace
