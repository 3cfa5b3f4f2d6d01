// The phone overlay's per-frame cost on the simulated runtime: a 540 × 960
// record whose frames are (a) identical and (b) alternate between two
// pictures that differ in a 120 × 40 region. Each pass copies a prepared
// frame into the buffer it hands over, as the frame driver does. The floor is
// one memcpy plus one memcmp of a frame; targets: (a) 1.2 ×, (b) 3 × the floor.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "vr/overlay/overlay_record.h"
#include "vr/sim/sim_runtime.h"

namespace {

constexpr uint32_t kWidth = 540, kHeight = 960;
constexpr size_t kBytes = size_t{kWidth} * kHeight * 4;
constexpr uint32_t kRegionW = 120, kRegionH = 40;

std::vector<uint8_t> Frame(uint8_t region_value) {
  std::vector<uint8_t> frame(kBytes);
  for (size_t i = 0; i < kBytes; ++i) frame[i] = static_cast<uint8_t>(i * 31 >> 4);
  for (uint32_t y = 300; y < 300 + kRegionH; ++y) {
    std::memset(&frame[(size_t{y} * kWidth + 200) * 4], region_value, size_t{kRegionW} * 4);
  }
  return frame;
}

// A connected simulated runtime with one phone-sized record.
struct Rig {
  Rig() : scoped(sim) {
    sim.StartServer(1);
    sim.SetFenceLatency(0);
    int32_t error = 0;
    sim.Init(platform::vr::kAppTypeOverlay, &error);
    sim.CreateGpuDevice(0, &device);
    ok = CreateVrOverlay(record, "quorix.bench.phone", "Bench", device, kWidth, kHeight, 0.24f, 200);
  }
  // One pass: hand over a copy of `frame`, then publish.
  bool Pass(const std::vector<uint8_t>& frame) {
    buffer.resize(kBytes);
    std::memcpy(buffer.data(), frame.data(), kBytes);
    return OverlaySurface::StoreIfChanged(record.ring, std::move(buffer), ContentKey{}) &&
           record.PublishTextureCached();
  }

  vr_sim::SimRuntime sim;
  platform::vr::ScopedRuntime scoped;
  std::shared_ptr<platform::vr::GpuDevice> device;
  OverlayRecord record;
  std::vector<uint8_t> buffer;
  bool ok = false;
};

const std::vector<uint8_t>& FrameA() {
  static const std::vector<uint8_t> frame = Frame(10);
  return frame;
}
const std::vector<uint8_t>& FrameB() {
  static const std::vector<uint8_t> frame = Frame(200);
  return frame;
}

void BM_Floor(benchmark::State& state) {
  std::vector<uint8_t> buffer(kBytes);
  for (auto _ : state) {
    std::memcpy(buffer.data(), FrameA().data(), kBytes);
    benchmark::DoNotOptimize(std::memcmp(buffer.data(), FrameA().data(), kBytes));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Floor);

void BM_IdenticalFrames(benchmark::State& state) {
  Rig rig;
  rig.Pass(FrameA());
  rig.Pass(FrameA());
  for (auto _ : state) benchmark::DoNotOptimize(rig.Pass(FrameA()));
}
BENCHMARK(BM_IdenticalFrames);

void BM_AlternatingRegion(benchmark::State& state) {
  Rig rig;
  rig.Pass(FrameA());
  rig.Pass(FrameA());
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    benchmark::DoNotOptimize(rig.Pass(flip ? FrameB() : FrameA()));
  }
}
BENCHMARK(BM_AlternatingRegion);

// One pass of each case must do what it is meant to: (a) no upload, (b) one
// upload of the region.
bool CheckPasses() {
  Rig rig;
  if (!rig.ok || !rig.Pass(FrameA()) || !rig.Pass(FrameA())) return false;
  const uint64_t uploads = rig.record.ring.uploads;
  if (!rig.Pass(FrameA()) || rig.record.ring.uploads != uploads) {
    std::fprintf(stderr, "identical frames uploaded\n");
    return false;
  }
  const uint64_t pixels = rig.record.ring.uploaded_pixels;
  if (!rig.Pass(FrameB()) || rig.record.ring.uploads != uploads + 1 ||
      rig.record.ring.uploaded_pixels - pixels != uint64_t{kRegionW} * kRegionH) {
    std::fprintf(stderr, "the changed region was not uploaded alone\n");
    return false;
  }
  return rig.sim.held_texture_writes() == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!CheckPasses()) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
