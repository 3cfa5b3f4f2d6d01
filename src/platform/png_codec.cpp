#include "platform/png_codec.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/files.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

uint32_t ReadBigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

struct ChunkScan {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t frame_count = 1;
};

// Walks every chunk from the signature to IEND: each must lie inside the
// bytes and carry a correct CRC; the first must be IHDR. acTL before the
// image data gives the frame count. Offsets are 64-bit so no length wraps.
PngStatus ScanChunks(std::span<const uint8_t> bytes, ChunkScan* scan) {
  uint64_t offset = sizeof(kSignature);
  bool seen_header = false;
  bool seen_data = false;
  while (true) {
    if (offset > bytes.size() || bytes.size() - offset < 12) return PngStatus::kMalformed;
    const uint8_t* chunk = bytes.data() + offset;
    const uint64_t length = ReadBigEndian32(chunk);
    if (length > 0x7FFFFFFFu || bytes.size() - offset - 12 < length) {
      return PngStatus::kMalformed;
    }
    const std::string_view type(reinterpret_cast<const char*>(chunk + 4), 4);
    const uint8_t* data = chunk + 8;
    const uint32_t stored_crc = ReadBigEndian32(data + length);
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), chunk + 4, static_cast<uInt>(length + 4));
    if (crc != stored_crc) return PngStatus::kMalformed;
    if (!seen_header) {
      if (type != "IHDR" || length != 13) return PngStatus::kMalformed;
      scan->width = ReadBigEndian32(data);
      scan->height = ReadBigEndian32(data + 4);
      if (scan->width == 0 || scan->height == 0) return PngStatus::kMalformed;
      seen_header = true;
    } else if (type == "acTL" && !seen_data) {
      if (length != 8) return PngStatus::kMalformed;
      scan->frame_count = ReadBigEndian32(data);
    } else if (type == "IDAT") {
      seen_data = true;
    } else if (type == "IEND") {
      return seen_data ? PngStatus::kOk : PngStatus::kMalformed;
    }
    offset += 12 + length;
  }
}

}  // namespace

PngStatus DecodePng(std::span<const uint8_t> bytes, uint32_t max_width, uint32_t max_height,
                    PngImage* image) {
  *image = PngImage{};
  if (bytes.size() < sizeof(kSignature) ||
      std::memcmp(bytes.data(), kSignature, sizeof(kSignature)) != 0) {
    return PngStatus::kNotPng;
  }
  ChunkScan scan;
  if (const PngStatus status = ScanChunks(bytes, &scan); status != PngStatus::kOk) {
    return status;
  }
  if (scan.width > max_width || scan.height > max_height) return PngStatus::kTooLarge;

  png_image reader;
  std::memset(&reader, 0, sizeof(reader));
  reader.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&reader, bytes.data(), bytes.size())) {
    png_image_free(&reader);
    return PngStatus::kDecodeFailed;
  }
  if (reader.width != scan.width || reader.height != scan.height) {
    png_image_free(&reader);
    return PngStatus::kDecodeFailed;
  }
  reader.format = PNG_FORMAT_RGBA;
  // 16-bit channels without gamma information are read as sRGB, like 8-bit
  // ones, so they reduce by value instead of being taken for linear light.
  reader.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(reader));
  if (!png_image_finish_read(&reader, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&reader);
    return PngStatus::kDecodeFailed;
  }
  png_image_free(&reader);
  image->width = scan.width;
  image->height = scan.height;
  image->frame_count = scan.frame_count;
  image->rgba = std::move(pixels);
  return PngStatus::kOk;
}

PngStatus DecodePngFile(const std::filesystem::path& path, uint64_t max_bytes,
                        uint32_t max_width, uint32_t max_height, PngImage* image) {
  *image = PngImage{};
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return PngStatus::kReadFailed;
  std::vector<uint8_t> bytes;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<uint64_t>(info.st_size) > max_bytes) {
    return PngStatus::kReadFailed;
  }
  bytes.resize(static_cast<size_t>(info.st_size));
  if (ReadFully(fd.get(), bytes.data(), bytes.size()) != static_cast<long>(bytes.size())) {
    return PngStatus::kReadFailed;
  }
  return DecodePng(bytes, max_width, max_height, image);
}

PngStatus EncodePng(uint32_t width, uint32_t height, std::span<const uint8_t> rgba,
                    std::string* png) {
  png->clear();
  if (width == 0 || height == 0 || width > 0x7FFFFFFFu / 4 ||
      rgba.size() / 4 / width != height || rgba.size() % (size_t{width} * 4) != 0) {
    return PngStatus::kEncodeFailed;
  }
  png_image writer;
  std::memset(&writer, 0, sizeof(writer));
  writer.version = PNG_IMAGE_VERSION;
  writer.width = width;
  writer.height = height;
  writer.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_get_memory_size(writer, size, 0, rgba.data(), 0, nullptr)) {
    png_image_free(&writer);
    return PngStatus::kEncodeFailed;
  }
  png->resize(size);
  if (!png_image_write_to_memory(&writer, png->data(), &size, 0, rgba.data(), 0, nullptr)) {
    png_image_free(&writer);
    png->clear();
    return PngStatus::kEncodeFailed;
  }
  png->resize(size);
  png_image_free(&writer);
  return PngStatus::kOk;
}

PngStatus WritePngFile(const std::filesystem::path& path, uint32_t width, uint32_t height,
                       std::span<const uint8_t> rgba) {
  std::string png;
  if (const PngStatus status = EncodePng(width, height, rgba, &png); status != PngStatus::kOk) {
    return status;
  }
  return ReplaceFileDurably(path, png, 0644) ? PngStatus::kOk : PngStatus::kEncodeFailed;
}

}  // namespace platform
