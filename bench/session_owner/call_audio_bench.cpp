// The media status line's walk over the worker's audio records: a 65536-byte
// tail of 500 lines, none of which is from the current call (so every line is
// parsed), beside ParseJson of the same lines alone. It runs on the main
// thread every 2000 ms; the walk should cost little beyond the parsing.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/json.h"
#include "session_owner/call_audio.h"

namespace {

constexpr size_t kLines = 500;
constexpr size_t kTailBytes = 65536;

std::vector<std::string> Lines() {
  std::vector<std::string> lines;
  for (size_t i = 0; i < kLines; ++i) {
    std::string line = i % 2 == 0 ? R"({"event":"stats","tick_ms":)" + std::to_string(1000 + i) +
                                        R"(,"packets_sent":)" + std::to_string(i * 50) +
                                        R"(,"packets_received":)" + std::to_string(i * 49) +
                                        R"(,"source_level":0.25,"note":")"
                                  : R"({"event":"pcm_summary","tick_ms":)" + std::to_string(1000 + i) +
                                        R"(,"pcm_rms":0.031,"pcm_clip_fraction":0.0001,"note":")";
    // Padding to the window: every line the same length.
    line.append(kTailBytes / kLines - line.size() - 3, 'p');
    line += "\"}";
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string Tail(const std::vector<std::string>& lines) {
  std::string tail;
  for (const std::string& line : lines) tail += line + "\n";
  if (tail.size() > kTailBytes) std::abort();
  return tail;
}

void BM_ReadCallAudioLines(benchmark::State& state) {
  const std::string tail = Tail(Lines());
  for (auto _ : state) {
    // Every record is older than the call start.
    two_pc::CallAudioReading reading = two_pc::ReadCallAudioLines(tail, false, 1'000'000);
    benchmark::DoNotOptimize(reading);
    if (!reading.any_complete_line || reading.packets_sent != -1) std::abort();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * tail.size()));
}
BENCHMARK(BM_ReadCallAudioLines);

void BM_ParseJsonSameLines(benchmark::State& state) {
  const std::vector<std::string> lines = Lines();
  const std::string tail = Tail(lines);
  for (auto _ : state) {
    for (const std::string& line : lines) {
      JsonValue value;
      if (!ParseJson(line, value)) std::abort();
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * tail.size()));
}
BENCHMARK(BM_ParseJsonSameLines);

}  // namespace

BENCHMARK_MAIN();
