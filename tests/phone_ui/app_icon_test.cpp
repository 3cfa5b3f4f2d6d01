// The application icon drawn at build time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/png_codec.h"
#include "test_util.h"

namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(AppIconTest, BuiltIconIsARoundedOpaqueSquareWrittenTheSameEveryRun) {
  const std::filesystem::path build = quorix_test::BuildDir();
  platform::PngImage icon;
  ASSERT_EQ(platform::DecodePngFile(build / "assets" / "quorix-icon-256.png", 1 << 20, 256, 256,
                                    &icon),
            platform::PngStatus::kOk);
  ASSERT_EQ(icon.width, 256u);
  ASSERT_EQ(icon.height, 256u);
  EXPECT_EQ(icon.frame_count, 1u);
  auto alpha = [&](int x, int y) { return icon.rgba[(size_t(y) * 256 + x) * 4 + 3]; };
  EXPECT_EQ(alpha(0, 0), 0);
  EXPECT_EQ(alpha(255, 0), 0);
  EXPECT_EQ(alpha(0, 255), 0);
  EXPECT_EQ(alpha(255, 255), 0);
  EXPECT_EQ(alpha(128, 128), 255);
  EXPECT_EQ(alpha(128, 0), 255);

  // Every run writes the same bytes.
  const quorix_test::TempDir temp;  // of its own: other test runs may share /tmp
  const std::filesystem::path& dir = temp.path();
  const std::filesystem::path tool = build / "tools" / "make_app_icon";
  for (const char* name : {"a.png", "b.png"}) {
    const std::string command = "'" + tool.string() + "' '" + (dir / name).string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  const std::string first = ReadAll(dir / "a.png");
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(first, ReadAll(dir / "b.png"));
  EXPECT_EQ(first, ReadAll(build / "assets" / "quorix-icon-256.png"));
}

}  // namespace
