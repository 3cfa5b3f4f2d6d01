#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "platform/png_codec.h"
#include "test_util.h"

namespace {

using namespace std::chrono_literals;

TEST(DumpPhoneFramesTest, WritesThePhoneAndKeyboardPicturesTheSameOnEveryRun) {
  quorix_test::TempDir out;
  std::map<std::string, std::string> runs[2];
  for (auto& files : runs) {
    auto dump = quorix_test::ChildProcess::Start(DUMP_PHONE_FRAMES_PATH, {out.path().string()}, {});
    ASSERT_NE(dump, nullptr);
    ASSERT_EQ(dump->WaitExit(60s), 0) << dump->Stderr();
    for (const auto& entry : std::filesystem::directory_iterator(out.path())) {
      platform::PngImage image;
      // Keyboard pictures are 540 × 508, the others 540 × 960.
      const bool keyboard = entry.path().filename().string().starts_with("keyboard_");
      const uint32_t height = keyboard ? 508 : 960;
      ASSERT_EQ(platform::DecodePngFile(entry.path(), 1 << 24, 540, height, &image), platform::PngStatus::kOk)
          << entry.path();
      EXPECT_EQ(image.width, 540u);
      EXPECT_EQ(image.height, height);
      files[entry.path().filename().string()] = quorix_test::ReadFile(entry.path());
    }
  }
  EXPECT_EQ(runs[0].size(), 7u + 14u + 28u);
  EXPECT_TRUE(runs[0] == runs[1]);
}

}  // namespace
