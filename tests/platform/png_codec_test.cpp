#include "platform/png_codec.h"

#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "leftovers.h"
#include "png_files.h"
#include "test_util.h"

namespace {

using platform::DecodePng;
using platform::PngImage;
using platform::PngStatus;

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// A file written by libpng's own writer in any of its layouts, so the decoder
// meets what other programs produce. Errors abort the test program.
struct RawPng {
  uint32_t width = 0, height = 0;
  int colour_type = PNG_COLOR_TYPE_RGBA;
  int bit_depth = 8;
  int interlace = PNG_INTERLACE_NONE;
  std::vector<std::vector<uint8_t>> rows;
  std::vector<png_color> palette;
  std::vector<uint8_t> transparency;

  std::string Write() const {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t size) {
          static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), size);
        },
        [](png_structp) {});
    png_set_IHDR(png, info, width, height, bit_depth, colour_type, interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!transparency.empty()) {
      png_set_tRNS(png, info, transparency.data(), static_cast<int>(transparency.size()), nullptr);
    }
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (const auto& row : rows) pointers.push_back(const_cast<png_bytep>(row.data()));
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
  }
};

std::vector<uint8_t> Decoded(const std::string& file) {
  PngImage image;
  EXPECT_EQ(DecodePng(Bytes(file), 4096, 4096, &image), PngStatus::kOk);
  EXPECT_EQ(image.frame_count, 1u);
  return image.rgba;
}

std::string SmallRgba() {
  std::vector<uint8_t> pixels(4 * 4 * 4, 200);
  std::string png;
  EXPECT_EQ(platform::EncodePng(4, 4, pixels, &png), PngStatus::kOk);
  return png;
}

TEST(PngCodecTest, RoundTripKeepsEveryByte) {
  std::mt19937 random(7);
  std::vector<uint8_t> pixels(256 * 256 * 4);
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = (i % 4 == 3) ? static_cast<uint8_t>(i / 4) : static_cast<uint8_t>(random());
  }
  std::string png;
  ASSERT_EQ(platform::EncodePng(256, 256, pixels, &png), PngStatus::kOk);
  std::string again;
  ASSERT_EQ(platform::EncodePng(256, 256, pixels, &again), PngStatus::kOk);
  EXPECT_EQ(png, again);
  PngImage image;
  ASSERT_EQ(DecodePng(Bytes(png), 256, 256, &image), PngStatus::kOk);
  EXPECT_EQ(image.width, 256u);
  EXPECT_EQ(image.height, 256u);
  EXPECT_EQ(image.rgba, pixels);

  std::string bad;
  EXPECT_EQ(platform::EncodePng(256, 255, pixels, &bad), PngStatus::kEncodeFailed);
  EXPECT_EQ(platform::EncodePng(0, 0, {}, &bad), PngStatus::kEncodeFailed);
}

TEST(PngCodecTest, OtherLayoutsComeOutAsRgba) {
  RawPng palette;
  palette.width = 3;
  palette.height = 1;
  palette.colour_type = PNG_COLOR_TYPE_PALETTE;
  palette.palette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
  palette.transparency = {0, 128};  // the third entry stays opaque
  palette.rows = {{2, 1, 0}};
  EXPECT_EQ(Decoded(palette.Write()),
            (std::vector<uint8_t>{70, 80, 90, 255, 40, 50, 60, 128, 10, 20, 30, 0}));

  RawPng grey;
  grey.width = 2;
  grey.height = 1;
  grey.colour_type = PNG_COLOR_TYPE_GRAY;
  grey.rows = {{0, 77}};
  EXPECT_EQ(Decoded(grey.Write()), (std::vector<uint8_t>{0, 0, 0, 255, 77, 77, 77, 255}));

  RawPng grey_alpha = grey;
  grey_alpha.colour_type = PNG_COLOR_TYPE_GRAY_ALPHA;
  grey_alpha.rows = {{77, 0, 200, 99}};
  // A fully transparent pixel's colour is not kept; its alpha is.
  const std::vector<uint8_t> ga = Decoded(grey_alpha.Write());
  ASSERT_EQ(ga.size(), 8u);
  EXPECT_EQ(ga[3], 0);
  EXPECT_EQ((std::vector<uint8_t>(ga.begin() + 4, ga.end())), (std::vector<uint8_t>{200, 200, 200, 99}));

  // 16-bit channels of k × 257 reduce to k.
  RawPng deep;
  deep.width = 2;
  deep.height = 1;
  deep.bit_depth = 16;
  deep.colour_type = PNG_COLOR_TYPE_RGBA;
  deep.rows = {{0x0A, 0x0A, 0x14, 0x14, 0x1E, 0x1E, 0xFF, 0xFF, 0xC8, 0xC8, 0x64, 0x64, 0x32, 0x32, 0xFF, 0xFF}};
  EXPECT_EQ(Decoded(deep.Write()), (std::vector<uint8_t>{10, 20, 30, 255, 200, 100, 50, 255}));

  RawPng interlaced;
  interlaced.width = 9;
  interlaced.height = 9;
  interlaced.colour_type = PNG_COLOR_TYPE_RGB;
  interlaced.interlace = PNG_INTERLACE_ADAM7;
  std::vector<uint8_t> expected;
  for (uint32_t y = 0; y < 9; ++y) {
    std::vector<uint8_t> row;
    for (uint32_t x = 0; x < 9; ++x) {
      const uint8_t rgb[3] = {uint8_t(x * 20), uint8_t(y * 20), uint8_t(x * y)};
      row.insert(row.end(), rgb, rgb + 3);
      expected.insert(expected.end(), rgb, rgb + 3);
      expected.push_back(255);
    }
    interlaced.rows.push_back(row);
  }
  EXPECT_EQ(Decoded(interlaced.Write()), expected);
}

TEST(PngCodecTest, DamagedAndOversizedFilesFail) {
  const std::string good = SmallRgba();
  PngImage image;
  EXPECT_EQ(DecodePng({}, 256, 256, &image), PngStatus::kNotPng);
  EXPECT_EQ(DecodePng(Bytes(std::string("GIF89a not a png at all")), 256, 256, &image),
            PngStatus::kNotPng);
  for (size_t cut : {size_t{8}, size_t{20}, good.size() / 2, good.size() - 1}) {
    EXPECT_EQ(DecodePng(Bytes(good.substr(0, cut)), 256, 256, &image), PngStatus::kMalformed)
        << cut;
  }
  std::string bad_crc = good;
  bad_crc[29] ^= 0x01;  // the header chunk's CRC
  EXPECT_EQ(DecodePng(Bytes(bad_crc), 256, 256, &image), PngStatus::kMalformed);
  EXPECT_NE(DecodePng(Bytes(quorix_test::WithDamagedDataCrc(good)), 256, 256, &image), PngStatus::kOk);
  EXPECT_TRUE(image.rgba.empty());

  // A header claiming 100,000 × 100,000 is refused before any pixel memory.
  EXPECT_EQ(DecodePng(Bytes(quorix_test::WithDimensions(good, 100'000, 100'000)), 256, 256, &image),
            PngStatus::kTooLarge);
  EXPECT_EQ(DecodePng(Bytes(good), 3, 4, &image), PngStatus::kTooLarge);

  // A chunk length pointing past the end.
  for (const uint32_t length : {0x7FFFFFF0u, 0xFFFFFFFFu}) {
    const std::string past_end = good.substr(0, 33) + quorix_test::BigEndian32(length) + good.substr(37);
    EXPECT_EQ(DecodePng(Bytes(past_end), 256, 256, &image), PngStatus::kMalformed) << length;
  }
}

TEST(PngCodecTest, FrameCountComesFromTheAnimationChunk) {
  PngImage image;
  ASSERT_EQ(DecodePng(Bytes(quorix_test::WithFrameCount(SmallRgba(), 2)), 256, 256, &image), PngStatus::kOk);
  EXPECT_EQ(image.frame_count, 2u);
}

// The writer's temporary name once was "<file>.tmp.<pid>": a write killed then
// left a file there that no later write with that pid passed. Neither it nor
// anything at the names taken now stops a write.
TEST(PngCodecTest, LeftoversOfKilledWritesNeverStopAWrite) {
  const quorix_test::TempDir temp;
  const auto path = temp.path() / "icon.png";
  const quorix_test::Leftovers leftovers(path);
  const std::vector<uint8_t> pixels(4 * 4 * 4, 200);
  ASSERT_EQ(platform::WritePngFile(path, 4, 4, pixels), PngStatus::kOk);
  PngImage image;
  ASSERT_EQ(platform::DecodePngFile(path, 1 << 20, 8, 8, &image), PngStatus::kOk);
  EXPECT_EQ(image.rgba, pixels);
  EXPECT_EQ(quorix_test::FileMode(path), 0644u);
  leftovers.ExpectOnlyEndedWritersRemoved();
}

TEST(PngCodecTest, FilesAreWrittenAndReadWithinBounds) {
  const quorix_test::TempDir temp;  // of its own: other test runs may share /tmp
  const std::filesystem::path& dir = temp.path();
  const std::vector<uint8_t> pixels(8 * 8 * 4, 90);
  ASSERT_EQ(platform::WritePngFile(dir / "a.png", 8, 8, pixels), PngStatus::kOk);
  PngImage image;
  ASSERT_EQ(platform::DecodePngFile(dir / "a.png", 1 << 20, 8, 8, &image), PngStatus::kOk);
  EXPECT_EQ(image.rgba, pixels);
  EXPECT_EQ(platform::DecodePngFile(dir / "a.png", 10, 8, 8, &image), PngStatus::kReadFailed);
  EXPECT_EQ(platform::DecodePngFile(dir / "missing.png", 1 << 20, 8, 8, &image),
            PngStatus::kReadFailed);
  EXPECT_EQ(platform::DecodePngFile(dir, 1 << 20, 8, 8, &image), PngStatus::kReadFailed);
  std::filesystem::remove_all(dir);
}

}  // namespace
