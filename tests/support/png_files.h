#pragma once
// PNG files for decoder tests: encoded pictures and chunk surgery on them.
#include <cstdint>
#include <functional>
#include <string>

namespace quorix_test {

// A width × height RGBA picture whose pixel (x, y) is `pixel`(x, y), as
// 0xRRGGBBAA, encoded by the program's PNG writer.
std::string EncodeRgbaPng(uint32_t width, uint32_t height, const std::function<uint32_t(uint32_t, uint32_t)>& pixel);

// A chunk: length, type, data and CRC.
std::string PngChunk(const std::string& type, const std::string& data);

// `v` as four big-endian bytes.
std::string BigEndian32(uint32_t v);

// `png` whose header chunk claims `width` × `height` (its CRC made right).
std::string WithDimensions(const std::string& png, uint32_t width, uint32_t height);

// `png` with one chunk inserted right after the header chunk.
std::string InsertChunkAfterHeader(const std::string& png, const std::string& type, const std::string& data);

// `png` with an animation control chunk announcing `frames` frames.
std::string WithFrameCount(const std::string& png, uint32_t frames);

// `png` with the CRC of its first data chunk damaged.
std::string WithDamagedDataCrc(const std::string& png);

// `png` padded to exactly `size` bytes by a private ancillary chunk (at
// least 12 bytes more than `png`).
std::string PaddedTo(const std::string& png, size_t size);

}  // namespace quorix_test
