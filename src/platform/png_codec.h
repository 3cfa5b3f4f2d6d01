#pragma once
// PNG reading and writing, in place of the Windows Imaging Component.
// Pixels are straight RGBA, 8 bits a channel, rows top first, no padding.
// Every call is self-contained and may run on any thread.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace platform {

enum class PngStatus {
  kOk,
  kNotPng,         // empty, or no PNG signature
  kMalformed,      // a chunk runs past the end, a bad CRC, no header, ...
  kTooLarge,       // the header's size exceeds the caller's limit
  kDecodeFailed,   // the image data could not be decoded
  kReadFailed,     // the file could not be read, or is longer than allowed
  kEncodeFailed,
};

struct PngImage {
  uint32_t width = 0;
  uint32_t height = 0;
  // acTL's frame count for an animated file, else 1. Only the first frame's
  // pixels are decoded.
  uint32_t frame_count = 0;
  std::vector<uint8_t> rgba;  // width × height × 4 bytes
};

// Decodes `bytes`. Palette, transparency chunk, grey and 16-bit images come
// out as RGBA8. The width and height are checked against the limits from the
// header, before any pixel memory is taken.
[[nodiscard]] PngStatus DecodePng(std::span<const uint8_t> bytes, uint32_t max_width, uint32_t max_height,
                    PngImage* image);

// Reads at most `max_bytes` of the file and decodes them; a longer file fails.
[[nodiscard]] PngStatus DecodePngFile(const std::filesystem::path& path, uint64_t max_bytes,
                        uint32_t max_width, uint32_t max_height, PngImage* image);

// Encodes width × height RGBA pixels. The same pixels give the same bytes.
[[nodiscard]] PngStatus EncodePng(uint32_t width, uint32_t height, std::span<const uint8_t> rgba,
                    std::string* png);

// Encodes and replaces `path` durably (mode 0644).
[[nodiscard]] PngStatus WritePngFile(const std::filesystem::path& path, uint32_t width, uint32_t height,
                       std::span<const uint8_t> rgba);

}  // namespace platform
