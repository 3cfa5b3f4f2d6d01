#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "phone_ui/ui_sound_player.h"
#include "platform/env.h"
#include "support/wave_files.h"
#include "test_util.h"

namespace {

using quorix_test::ReadBytes;
using quorix_test::Samples;
using quorix_test::ScratchDir;

// Runs the generator built beside the tests into `folder`; its exit status.
int RunGenerator(const std::filesystem::path& folder) {
  const std::string tool =
      (quorix_test::BuildDir() / "tools" / "quorix_sound_generator").string();
  const std::string target = folder.string();
  std::vector<char*> argv = {const_cast<char*>(tool.c_str()), const_cast<char*>(target.c_str()), nullptr};
  std::vector<std::string> env = platform::env::Snapshot();
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, tool.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(SoundGeneratorTest, WritesElevenLoadableDistinctClipsTheSameEveryRun) {
  ScratchDir first, second;
  ASSERT_EQ(RunGenerator(first.path()), 0);
  ASSERT_EQ(RunGenerator(second.path() / "sounds"), 0);

  std::set<std::vector<uint8_t>> distinct;
  for (std::string_view name : kUiSoundNames) {
    const std::string file = std::string(name) + ".wav";
    const std::vector<uint8_t> bytes = ReadBytes(first.path() / file);
    EXPECT_EQ(bytes, ReadBytes(second.path() / "sounds" / file)) << name;
    EXPECT_LT(bytes.size(), kUiSoundMaxFileSize) << name;
    const std::vector<uint8_t> clip = ExtractUiSoundClip(bytes);
    ASSERT_FALSE(clip.empty()) << name;
    EXPECT_EQ(clip.size() + 44, bytes.size()) << name;
    distinct.insert(clip);

    const std::vector<int16_t> samples = Samples(clip);
    int peak = 0;
    for (int16_t s : samples) peak = std::max(peak, std::abs(int{s}));
    EXPECT_LE(peak, 16384) << name;
    EXPECT_GT(peak, 1000) << name;
    EXPECT_LE(std::abs(int{samples.front()}), 328) << name;
    EXPECT_LE(std::abs(int{samples.back()}), 328) << name;
    const double seconds = static_cast<double>(samples.size()) / 44100.0;
    if (name == "ui_tap" || name == "typing_key") {
      EXPECT_LT(seconds, 0.060) << name;
    } else if (name == "call_incoming") {
      EXPECT_GT(seconds, 1.4) << name;
      EXPECT_LT(seconds, 2.7) << name;
    } else {
      EXPECT_LT(seconds, 1.0) << name;
    }
  }
  EXPECT_EQ(distinct.size(), kUiSoundCount);
}

TEST(SoundGeneratorTest, RefusesAFolderItCannotCreate) {
  ScratchDir dir;
  quorix_test::WriteBytes(dir.path() / "file", {1});
  EXPECT_EQ(RunGenerator(dir.path() / "file" / "sounds"), 1);
}

}  // namespace
