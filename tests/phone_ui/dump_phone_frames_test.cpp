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

struct DumpMode {
  const char* flag;  // "" the launcher's pages and the keyboard
  size_t files;
  int runs;
};
void PrintTo(const DumpMode& mode, std::ostream* out) { *out << (*mode.flag != 0 ? mode.flag + 2 : "phone"); }

// One test per mode, so that the three dumps run side by side.
class DumpPhoneFramesTest : public ::testing::TestWithParam<DumpMode> {};

TEST_P(DumpPhoneFramesTest, WritesDecodablePicturesOfTheirSizes) {
  const DumpMode& c = GetParam();
  quorix_test::TempDir out;
  std::vector<std::string> args = {out.path().string()};
  if (*c.flag != 0) args.insert(args.begin(), c.flag);
  std::map<std::string, std::string> runs[2];
  for (int run = 0; run < c.runs; ++run) {
    auto dump = quorix_test::ChildProcess::Start(DUMP_PHONE_FRAMES_PATH, args, {});
    ASSERT_NE(dump, nullptr);
    ASSERT_EQ(dump->WaitExit(300s), 0) << dump->Stderr();
    for (const auto& entry : std::filesystem::directory_iterator(out.path())) {
      const std::string name = entry.path().filename().string();
      platform::PngImage image;
      ASSERT_EQ(platform::DecodePngFile(entry.path(), 1 << 26, 4096, 4096, &image), platform::PngStatus::kOk) << name;
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

INSTANTIATE_TEST_SUITE_P(Modes, DumpPhoneFramesTest,
                         ::testing::Values(DumpMode{"", 7 + 14 + 28, 2}, DumpMode{"--native", 25 * 4 + 4, 1},
                                           DumpMode{"--more", 12 * 4 + 2 + 12 * 4, 1}));

}  // namespace
