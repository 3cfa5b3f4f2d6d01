#pragma once
// Building RIFF/WAVE files byte by byte for the sound tests, and a scratch
// folder that is removed with its contents.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorix_test {

struct WaveFormat {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 44100;
  uint16_t bits = 16;
  uint32_t fmt_size = 16;  // bytes of the "fmt " body (at least 14 are written)
};

// A chunk: 4-byte id, little-endian size, body, pad byte for an odd size.
std::vector<uint8_t> Chunk(const std::string& id, const std::vector<uint8_t>& body);
// The same with a declared size that need not match the body.
std::vector<uint8_t> ChunkDeclaring(const std::string& id, uint32_t declared, const std::vector<uint8_t>& body);
std::vector<uint8_t> FormatChunk(const WaveFormat& format = {});
// "RIFF", size, "WAVE", then the chunks.
std::vector<uint8_t> RiffWave(const std::vector<std::vector<uint8_t>>& chunks);
// A plain mono 16-bit 44,100 Hz file of these samples.
std::vector<uint8_t> WaveFile(const std::vector<int16_t>& samples);
std::vector<uint8_t> SampleBytes(const std::vector<int16_t>& samples);
std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes);

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace quorix_test
