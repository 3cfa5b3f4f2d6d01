// The picture dumps for a person to look at: every file decodes at the size of
// its kind, the popups stay transparent outside their cards, and a second run
// writes the same bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "platform/png_codec.h"
#include "test_util.h"

namespace {

using namespace std::chrono_literals;

uint32_t HeightOf(const std::string& name) {
  if (name.starts_with("keyboard_")) return 508;
  if (name.starts_with("popup_")) return name.starts_with("popup_call") ? 300 : 200;
  return 960;
}

TEST(DumpPhoneFramesTest, EveryModeWritesDecodablePicturesOfTheirSizes) {
  struct Case {
    const char* mode;  // "" the launcher's pages and the keyboard
    size_t files;
    int runs;
  };
  const Case cases[] = {{"", 7 + 14 + 28, 2}, {"--native", 25 * 4 + 4, 1}, {"--more", 12 * 4 + 2 + 12 * 4, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    quorix_test::TempDir out;
    std::vector<std::string> args = {out.path().string()};
    if (*c.mode != 0) args.insert(args.begin(), c.mode);
    std::map<std::string, std::string> runs[2];
    for (int run = 0; run < c.runs; ++run) {
      auto dump = quorix_test::ChildProcess::Start(DUMP_PHONE_FRAMES_PATH, args, {});
      ASSERT_NE(dump, nullptr);
      ASSERT_EQ(dump->WaitExit(300s), 0) << dump->Stderr();
      for (const auto& entry : std::filesystem::directory_iterator(out.path())) {
        const std::string name = entry.path().filename().string();
        platform::PngImage image;
        ASSERT_EQ(platform::DecodePngFile(entry.path(), 1 << 26, 4096, 4096, &image), platform::PngStatus::kOk)
            << name;
        runs[run][name] = quorix_test::ReadFile(entry.path());
        if (name.find("contact_sheet") != std::string::npos) continue;
        EXPECT_EQ(image.width, 540u) << name;
        EXPECT_EQ(image.height, HeightOf(name)) << name;
        if (!name.starts_with("popup_")) continue;
        EXPECT_EQ(image.rgba[3], 0) << name;
        EXPECT_EQ(image.rgba[(size_t{100} * 540 + 270) * 4 + 3], 255) << name;
      }
    }
    EXPECT_EQ(runs[0].size(), c.files);
    EXPECT_TRUE(c.runs == 1 || runs[0] == runs[1]);
  }
}

}  // namespace
