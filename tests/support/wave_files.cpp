#include "support/wave_files.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/env.h"

namespace quorix_test {
namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

std::vector<uint8_t> ChunkDeclaring(const std::string& id, uint32_t declared, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> out(id.begin(), id.end());
  PutU32(out, declared);
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() % 2 == 1) out.push_back(0);
  return out;
}

std::vector<uint8_t> Chunk(const std::string& id, const std::vector<uint8_t>& body) {
  return ChunkDeclaring(id, static_cast<uint32_t>(body.size()), body);
}

std::vector<uint8_t> FormatChunk(const WaveFormat& f) {
  std::vector<uint8_t> body;
  PutU16(body, f.tag);
  PutU16(body, f.channels);
  PutU32(body, f.rate);
  PutU32(body, f.rate * f.channels * f.bits / 8);
  PutU16(body, static_cast<uint16_t>(f.channels * f.bits / 8));
  PutU16(body, f.bits);
  body.resize(f.fmt_size, 0);
  return Chunk("fmt ", body);
}

std::vector<uint8_t> RiffWave(const std::vector<std::vector<uint8_t>>& chunks) {
  std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
  for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
  std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
  PutU32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<uint8_t> SampleBytes(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> out;
  for (int16_t s : samples) PutU16(out, static_cast<uint16_t>(s));
  return out;
}

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) out.push_back(static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8));
  return out;
}

std::vector<uint8_t> WaveFile(const std::vector<int16_t>& samples) {
  return RiffWave({FormatChunk(), Chunk("data", SampleBytes(samples))});
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ScratchDir::ScratchDir() {
  const std::filesystem::path base = platform::env::Get("TMPDIR").value_or("/tmp");
  std::string pattern = (base / "quorix-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace quorix_test
