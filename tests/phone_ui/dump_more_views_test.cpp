#include <gtest/gtest.h>

#include <chrono>

#include "platform/png_codec.h"
#include "test_util.h"

namespace {

using namespace std::chrono_literals;

// The popups keep their sizes and stay transparent outside their cards.
TEST(DumpMoreViewsTest, WritesScreensPopupsAndSlidesAsDecodablePictures) {
  quorix_test::TempDir out;
  auto dump = quorix_test::ChildProcess::Start(DUMP_PHONE_FRAMES_PATH, {"--more", out.path().string()}, {});
  ASSERT_NE(dump, nullptr);
  ASSERT_EQ(dump->WaitExit(300s), 0) << dump->Stderr();
  size_t screens = 0, popups = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out.path())) {
    platform::PngImage image;
    ASSERT_EQ(platform::DecodePngFile(entry.path(), 1 << 26, 4096, 4096, &image), platform::PngStatus::kOk);
    const std::string name = entry.path().filename().string();
    if (name.starts_with("popup_")) {
      ++popups;
      EXPECT_EQ(image.height, name.starts_with("popup_call") ? 300u : 200u) << name;
      EXPECT_EQ(image.rgba[3], 0) << name;
      EXPECT_EQ(image.rgba[(size_t{100} * 540 + 270) * 4 + 3], 255) << name;
    } else {
      ++screens;
      EXPECT_EQ(image.height, 960u) << name;
    }
  }
  EXPECT_EQ(screens, 12u * 4 + 2);
  EXPECT_EQ(popups, 12u * 4);
}

}  // namespace
