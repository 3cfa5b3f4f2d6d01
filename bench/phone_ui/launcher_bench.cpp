// Launcher page costs: a home page, an app page and a slide frame as the
// frame composer draws them, beside memset of a whole canvas and one
// whole-canvas FillCanvasRect. Allocations per page are counted through a
// replaced operator new (the aim is none). Ratios are read, not asserted:
// a page should cost at most 2 whole-canvas fills, a slide frame 2.5.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "phone_ui/app_lifecycle.h"
#include "phone_ui/canvas.h"
#include "phone_ui/launcher.h"
#include "phone_ui/phone_ui.h"

namespace {

std::atomic<uint64_t> g_allocations{0};

}  // namespace

// Kept out of line: inlined into a caller, g++ pairs the free below with
// that caller's new expression and reports a mismatch.
__attribute__((noinline)) void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
__attribute__((noinline)) void* operator new[](std::size_t size) { return ::operator new(size); }
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Runs `draw` per iteration and reports the allocations it made per page.
template <typename F>
void RunPages(benchmark::State& state, PhoneCanvas& canvas, F draw) {
  const uint64_t before = g_allocations.load();
  for (auto _ : state) {
    draw();
    benchmark::DoNotOptimize(canvas.data());
    benchmark::ClobberMemory();
  }
  state.counters["allocs_per_page"] =
      static_cast<double>(g_allocations.load() - before) / static_cast<double>(state.iterations());
}

void BM_MemsetCanvas(benchmark::State& state) {
  PhoneCanvas canvas(255);
  RunPages(state, canvas, [&] { std::memset(canvas.data(), 0x5A, canvas.size()); });
}
BENCHMARK(BM_MemsetCanvas);

void BM_FillWholeCanvas(benchmark::State& state) {
  PhoneCanvas canvas(255);
  RunPages(state, canvas, [&] { FillCanvasRect(canvas, 0, 0, kCanvasWidth, kCanvasHeight, 0xFF336699); });
}
BENCHMARK(BM_FillWholeCanvas);

void BM_HomePage1(benchmark::State& state) {
  PhoneCanvas canvas(255);
  PhoneUi ui;
  RunPages(state, canvas, [&] { ComposeLauncherPage(canvas, ui, false, 0, -1); });
}
BENCHMARK(BM_HomePage1);

void BM_NotesAppPage(benchmark::State& state) {
  PhoneCanvas canvas(255);
  PhoneUi ui;
  PhoneAppLifecycle lifecycle;
  ui.app_lifecycle = &lifecycle;
  RunPages(state, canvas, [&] { ComposeLauncherPage(canvas, ui, true, 0, 3); });
}
BENCHMARK(BM_NotesAppPage);

void BM_SlideFrame(benchmark::State& state) {
  PhoneCanvas canvas(255);
  RunPages(state, canvas, [&] {
    RenderLauncherHomePage(canvas, 0, -270);
    RenderLauncherHomePage(canvas, 1, 270);
    RenderLauncherDock(canvas, kLauncherTiles[1], kLauncherTiles[2]);
    DrawPageDots(canvas, 1);
    DrawStatusBar(canvas, "QUORIXPHONE");
    DrawNavigationBar(canvas, true);
  });
}
BENCHMARK(BM_SlideFrame);

}  // namespace

BENCHMARK_MAIN();
