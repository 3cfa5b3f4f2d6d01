// The desktop panels' pixel work on a 540 × 960 frame against its peers:
// premultiplying against a memcpy of the frame, the bilinear scaling to
// 486 × 864 and 1080 × 1920 against Cairo painting the same premultiplied
// image with CAIRO_FILTER_BILINEAR onto ARGB32, and skipping an identical
// frame against a memcmp. Before the runs, main checks that an idle
// DesktopWindow::Update (hidden, on a private X server) allocates nothing.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "allocation_counter.h"
#include "phone_ui/desktop_pixels.h"
#include "phone_ui/desktop_window.h"
#include "platform/gui.h"
#include "platform/message_pump.h"
#include "support/phone_fixture.h"
#include "support/private_x_server.h"

namespace {

namespace dp = desktop_pixels;
constexpr int kHeight = 960;
constexpr size_t kBytes = size_t{dp::kFrameWidth} * kHeight * 4;

std::vector<uint8_t> RandomFrame() {
  std::vector<uint8_t> frame(kBytes);
  std::mt19937 random(7);
  for (uint8_t& byte : frame) byte = static_cast<uint8_t>(random());
  return frame;
}

void BM_FrameMemcpy(benchmark::State& state) {
  const std::vector<uint8_t> frame = RandomFrame();
  std::vector<uint8_t> copy(kBytes);
  for (auto _ : state) {
    std::memcpy(copy.data(), frame.data(), kBytes);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FrameMemcpy);

void BM_PremultiplySwap(benchmark::State& state) {
  const std::vector<uint8_t> frame = RandomFrame();
  std::vector<uint8_t> out(kBytes);
  for (auto _ : state) {
    dp::PremultiplySwap(frame.data(), out.data(), kBytes / 4);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PremultiplySwap);

void BM_ScaleFrame(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  std::vector<uint8_t> premultiplied(kBytes);
  const std::vector<uint8_t> frame = RandomFrame();
  dp::PremultiplySwap(frame.data(), premultiplied.data(), kBytes / 4);
  std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
  for (auto _ : state) {
    dp::ScaleSurface(premultiplied.data(), kHeight, out.data(), width, height);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ScaleFrame)->Args({486, 864})->Args({1080, 1920});

void BM_CairoBilinear(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  std::vector<uint8_t> premultiplied(kBytes);
  const std::vector<uint8_t> frame = RandomFrame();
  dp::PremultiplySwap(frame.data(), premultiplied.data(), kBytes / 4);
  cairo_surface_t* source = cairo_image_surface_create_for_data(premultiplied.data(), CAIRO_FORMAT_ARGB32,
                                                                dp::kFrameWidth, kHeight, dp::kFrameWidth * 4);
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(target);
  for (auto _ : state) {
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_scale(cr, static_cast<double>(width) / dp::kFrameWidth, static_cast<double>(height) / kHeight);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_flush(target);
    benchmark::ClobberMemory();
  }
  cairo_destroy(cr);
  cairo_surface_destroy(target);
  cairo_surface_destroy(source);
}
BENCHMARK(BM_CairoBilinear)->Args({486, 864})->Args({1080, 1920});

void BM_FrameMemcmp(benchmark::State& state) {
  const std::vector<uint8_t> a = RandomFrame(), b = a;
  for (auto _ : state) benchmark::DoNotOptimize(std::memcmp(a.data(), b.data(), kBytes));
}
BENCHMARK(BM_FrameMemcmp);

// Present of the frame already on screen: one comparison, nothing drawn.
// The frame handed over by value is made outside the timing.
void BM_PresentIdenticalFrame(benchmark::State& state) {
  DesktopPanel panel;
  panel.height = kHeight;
  panel.last_frame = RandomFrame();
  panel.frame_identity = {1, 2, 3};
  panel.needs_present = false;
  std::vector<uint8_t> frame;
  for (auto _ : state) {
    state.PauseTiming();
    frame = panel.last_frame;
    state.ResumeTiming();
    benchmark::DoNotOptimize(panel.Present(std::move(frame), {1, 2, 3}));
  }
}
BENCHMARK(BM_PresentIdenticalFrame);

// An idle pass of the main loop's Update, hidden, on a private X server,
// with the real phone UI model: no heap allocation.
bool IdleUpdateAllocatesNothing() {
  quorix_test::PrivateXServer& server = quorix_test::SharedPrivateXServer();
  if (!server.running() || !platform::StartGui()) {
    std::fprintf(stderr, "idle Update not checked: no X server (%s)\n", server.failure().c_str());
    return true;
  }
  quorix_test::PhoneFixture phone;
  DesktopWindow desktop(&phone.ui);
  if (!desktop.Create(true)) return false;
  platform::MessagePump pump;
  pump.SetPollSource(platform::GuiPollSource());
  for (int i = 0; i < 3; ++i) {
    desktop.Update(i == 0);
    pump.Wait(0);
    (void)pump.Drain([](const platform::PumpMessage&) {});
  }
  // The fake owner records every question it is asked; its record is not
  // the desktop's to count.
  phone.owner.calls.reserve(phone.owner.calls.size() + 10000);
  const uint64_t before = g_allocations.load();
  for (int i = 0; i < 100; ++i) desktop.Update(false);
  const uint64_t made = g_allocations.load() - before;
  pump.SetPollSource(nullptr);
  if (made != 0) std::fprintf(stderr, "idle Update: %llu allocations\n", static_cast<unsigned long long>(made));
  return made == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!IdleUpdateAllocatesNothing()) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
