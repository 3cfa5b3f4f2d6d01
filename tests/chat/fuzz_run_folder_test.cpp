// The fuzz entries that keep a store on tmpfs: a run ended by a signal
// cannot remove its folder (libFuzzer leaves through _Exit, SIGKILL through
// nothing), so the next run removes it. Real replay programs, really killed.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/env.h"
#include "support/fuzz/run_folder.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The folder "/dev/shm/<prefix>_..." in which the process `pid` holds a
// file open (the entry's store); empty when there is none.
fs::path OpenFolderOf(pid_t pid, const std::string& prefix) {
  std::error_code error;
  for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    const fs::path target = fs::read_symlink(fd.path(), error);
    if (error) continue;
    const fs::path relative = target.lexically_relative("/dev/shm");
    if (relative.empty() || *relative.begin() == "..") continue;
    const fs::path folder = *relative.begin();
    if (folder.native().rfind(prefix + "_", 0) == 0) return fs::path("/dev/shm") / folder;
  }
  return {};
}

// The folders under /dev/shm that the run `pid` of `prefix` made.
std::vector<fs::path> FoldersOf(const char* prefix, pid_t pid) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator("/dev/shm")) {
    if (quorix_fuzz::RunFolderPid(entry.path().filename().native(), prefix) == pid) found.push_back(entry.path());
  }
  return found;
}

TEST(FuzzRunFolder, TheNextRunRemovesTheFolderOfAKilledRun) {
  struct Case {
    const char* program;
    const char* prefix;
    const char* seed;
  };
  const Case cases[] = {
      {QUORIX_CHAT_REPLY_FUZZ_REPLAY, "quorix_chat_reply_fuzz", QUORIX_CHAT_REPLY_SEED},
      {QUORIX_HISTORY_IMPORT_FUZZ_REPLAY, "quorix_import_fuzz", QUORIX_HISTORY_IMPORT_SEED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prefix);
    quorix_test::TempDir inputs;
    fs::copy_file(c.seed, inputs.path() / "a");
    // The replay makes its folder with the first input, then waits on this
    // FIFO until it is killed.
    ASSERT_EQ(::mkfifo((inputs.path() / "b").c_str(), 0600), 0);
    auto killed = quorix_test::ChildProcess::Start(c.program, {(inputs.path() / "a").string(), (inputs.path() / "b").string()},
                                                   platform::env::Snapshot());
    fs::path left;
    ASSERT_TRUE(quorix_test::WaitFor([&] { return !(left = OpenFolderOf(killed->pid(), c.prefix)).empty(); }, 60s));
    killed->Signal(SIGKILL);
    ASSERT_EQ(killed->WaitExit(60s), 128 + SIGKILL);
    ASSERT_TRUE(fs::exists(left));

    auto next = quorix_test::ChildProcess::Start(c.program, {(inputs.path() / "a").string()}, platform::env::Snapshot());
    ASSERT_EQ(next->WaitExit(120s), 0) << next->Stderr();
    EXPECT_FALSE(fs::exists(left)) << left;
    EXPECT_TRUE(FoldersOf(c.prefix, next->pid()).empty());  // and its own went at its exit
  }
}

// Only a folder of an ended run of the same entry is removed.
TEST(FuzzRunFolder, RemovesOnlyEndedRunsFolders) {
  quorix_test::TempDir root;
  const std::string prefix = "entry";
  // A pid that has surely ended: a reaped child's.
  auto ended = quorix_test::ChildProcess::Start("/bin/true", {}, {});
  ASSERT_EQ(ended->WaitExit(60s), 0);
  const std::string dead = std::to_string(ended->pid());
  const std::vector<std::string> kept = {
      prefix + "_" + std::to_string(::getpid()) + "_aaaaaa",   // ours
      prefix + "_1_aaaaaa",                                    // alive
      prefix + "_" + std::to_string(::getppid()) + "_aaaaaa",  // alive
      prefix + "_0" + dead + "_aaaaaa",                        // leading zero
      prefix + "_" + dead + "_aaaaa",                          // five characters
      prefix + "_" + dead + "_aaaaaaa",                        // seven
      prefix + "_+" + dead + "_aaaaaa",                        // a sign
      prefix + "_99999999999_aaaaaa",                          // past 2^31-1
      "other_" + dead + "_aaaaaa",                             // another entry's
      prefix + "x_" + dead + "_aaaaaa",
  };
  for (const std::string& name : kept) fs::create_directory(root.path() / name);
  const fs::path file = root.path() / (prefix + "_" + dead + "_file00");
  quorix_test::WriteFile(file, "a file is left alone");
  fs::create_directory(root.path() / "target");
  quorix_test::WriteFile(root.path() / "target" / "inside", "kept");
  const fs::path link = root.path() / (prefix + "_" + dead + "_link00");
  fs::create_directory_symlink(root.path() / "target", link);
  const fs::path removed = root.path() / (prefix + "_" + dead + "_abc123");
  fs::create_directories(removed / "keys");
  fs::create_directory_symlink(root.path() / "target", removed / "link");

  const fs::path made = quorix_fuzz::MakeRunFolder(root.path(), prefix);
  EXPECT_EQ(quorix_fuzz::RunFolderPid(made.filename().native(), prefix), ::getpid());
  EXPECT_TRUE(fs::is_directory(made));
  EXPECT_FALSE(fs::exists(removed));
  for (const std::string& name : kept) EXPECT_TRUE(fs::is_directory(root.path() / name)) << name;
  EXPECT_TRUE(fs::is_regular_file(file));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(quorix_test::ReadFile(root.path() / "target" / "inside"), "kept");
}

}  // namespace
