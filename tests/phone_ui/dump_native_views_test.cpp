#include <gtest/gtest.h>

#include <chrono>

#include "platform/png_codec.h"
#include "test_util.h"

namespace {

using namespace std::chrono_literals;

TEST(DumpNativeViewsTest, WritesEveryViewInFourVariantsAndTheirContactSheets) {
  quorix_test::TempDir out;
  auto dump = quorix_test::ChildProcess::Start(DUMP_PHONE_FRAMES_PATH, {"--native", out.path().string()}, {});
  ASSERT_NE(dump, nullptr);
  ASSERT_EQ(dump->WaitExit(300s), 0) << dump->Stderr();
  size_t frames = 0, sheets = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out.path())) {
    platform::PngImage image;
    ASSERT_EQ(platform::DecodePngFile(entry.path(), 1 << 26, 4096, 4096, &image), platform::PngStatus::kOk)
        << entry.path();
    const bool sheet = entry.path().filename().string().find("contact_sheet") != std::string::npos;
    (sheet ? sheets : frames) += 1;
    if (sheet) continue;
    EXPECT_EQ(image.width, 540u);
    EXPECT_EQ(image.height, 960u);
  }
  EXPECT_EQ(frames, 25u * 4);
  EXPECT_EQ(sheets, 4u);
}

}  // namespace
