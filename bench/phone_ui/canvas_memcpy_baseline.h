#pragma once
// The yardstick of the phone frame benchmarks: one memcpy of a whole canvas
// (2,073,600 bytes), as the best of 50 rounds of ten, and the same copy as
// its own benchmark. Included by one file of each benchmark binary.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "phone_ui/canvas.h"

// One memcpy of `bytes`, as the best of 50 rounds of ten.
inline double MeasureMemcpyNs(size_t bytes) {
  std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
  double best = 1e18;
  for (int round = 0; round < 50; ++round) {
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < 10; ++k) {
      std::memcpy(b.data(), a.data(), a.size());
      benchmark::DoNotOptimize(b.data());
      benchmark::ClobberMemory();
    }
    best = std::min(best,
                    std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / 10);
  }
  return best;
}

inline double MeasureCanvasMemcpyNs() { return MeasureMemcpyNs(kCanvasBytes); }

inline void BM_Memcpy(benchmark::State& state) {
  std::vector<uint8_t> a(kCanvasBytes, 1), b(kCanvasBytes, 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Memcpy);
