#include "png_files.h"

#include <array>
#include <stdexcept>
#include <vector>

#include "platform/png_codec.h"

namespace quorix_test {
namespace {

uint32_t Crc32(const std::string& bytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (const char b : bytes) c = table[(c ^ static_cast<uint8_t>(b)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

// Offset of the first chunk of `type`.
size_t FindChunk(const std::string& png, const std::string& type) {
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const uint32_t length = (uint32_t{static_cast<uint8_t>(png[at])} << 24) |
                            (uint32_t{static_cast<uint8_t>(png[at + 1])} << 16) |
                            (uint32_t{static_cast<uint8_t>(png[at + 2])} << 8) | static_cast<uint8_t>(png[at + 3]);
    if (png.compare(at + 4, 4, type) == 0) return at;
    at += 12 + length;
  }
  throw std::runtime_error("no " + type + " chunk");
}

}  // namespace

std::string BigEndian32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string PngChunk(const std::string& type, const std::string& data) {
  return BigEndian32(static_cast<uint32_t>(data.size())) + type + data + BigEndian32(Crc32(type + data));
}

std::string WithDimensions(const std::string& png, uint32_t width, uint32_t height) {
  const std::string header = BigEndian32(width) + BigEndian32(height) + png.substr(24, 5);
  return png.substr(0, 8) + PngChunk("IHDR", header) + png.substr(8 + 12 + 13);
}

std::string EncodeRgbaPng(uint32_t width, uint32_t height, const std::function<uint32_t(uint32_t, uint32_t)>& pixel) {
  std::vector<uint8_t> rgba;
  rgba.reserve(size_t{width} * height * 4);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t p = pixel(x, y);
      for (const int shift : {24, 16, 8, 0}) rgba.push_back(static_cast<uint8_t>(p >> shift));
    }
  }
  std::string png;
  if (platform::EncodePng(width, height, rgba, &png) != platform::PngStatus::kOk) throw std::runtime_error("encode");
  return png;
}

std::string InsertChunkAfterHeader(const std::string& png, const std::string& type, const std::string& data) {
  const size_t after_header = 8 + 12 + 13;
  return png.substr(0, after_header) + PngChunk(type, data) + png.substr(after_header);
}

std::string WithFrameCount(const std::string& png, uint32_t frames) {
  return InsertChunkAfterHeader(png, "acTL", BigEndian32(frames) + BigEndian32(0));
}

std::string WithDamagedDataCrc(const std::string& png) {
  const size_t at = FindChunk(png, "IDAT");
  const uint32_t length = (uint32_t{static_cast<uint8_t>(png[at])} << 24) |
                          (uint32_t{static_cast<uint8_t>(png[at + 1])} << 16) |
                          (uint32_t{static_cast<uint8_t>(png[at + 2])} << 8) | static_cast<uint8_t>(png[at + 3]);
  std::string out = png;
  out[at + 8 + length] = static_cast<char>(out[at + 8 + length] ^ 0x01);
  return out;
}

std::string PaddedTo(const std::string& png, size_t size) {
  if (size < png.size() + 12) throw std::runtime_error("padding too small");
  return InsertChunkAfterHeader(png, "qrXp", std::string(size - png.size() - 12, '\0'));
}

}  // namespace quorix_test
