// Canvas drawing costs: a whole chat frame (warm, cold, first use on a new
// thread, with a fake rasteriser, and a Pango + Cairo peer that draws the
// same frame directly), text rasterisation misses, and each primitive beside
// memset / memcpy of a whole canvas and beside Cairo.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "../tools/sample_chat_frame.h"
#include "cairo_peer.h"
#include "core/text.h"
#include "phone_ui/canvas.h"
#include "phone_ui/canvas_text.h"

namespace {

constexpr double kFrameAt90HzSeconds = 1.0 / 90.0;

// A coverage mask with text-like ink: short runs of full coverage with a
// partial edge on each side, about 17 % of the pixels inked.
std::vector<uint8_t> TextLikeMask(int32_t width, int32_t height) {
  std::vector<uint8_t> mask(static_cast<size_t>(width) * height, 0);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const int32_t phase = (x + y * 3) % 12;
      mask[size_t(y) * width + x] = phase == 0 ? 90 : phase == 1 ? 255 : 0;
    }
  }
  return mask;
}

class TextLikeRasterizer final : public platform::TextRasterizer {
 public:
  std::unique_ptr<platform::TextFont> CreateFont(int32_t, bool) override {
    return std::make_unique<platform::TextFont>();
  }
  std::optional<std::vector<uint8_t>> Rasterize(const platform::TextFont*, std::u16string_view,
                                                int32_t width, int32_t height, bool) override {
    return TextLikeMask(width, height);
  }
  int32_t CountMissingGlyphs(std::u16string_view) override { return 0; }
};

void UseRealText() {
  platform::SetTextRasterizerFactory(nullptr);
  ResetTextRasterContextForTesting();
}

void DrawFreshFrame() {
  PhoneCanvas canvas(255);
  sample_frame::DrawChatFrame(canvas);
  benchmark::DoNotOptimize(canvas.data());
}

// Adds the frame's mean share of a 90 Hz frame and its longest time.
class FrameTimer {
 public:
  void Start() { start_ = std::chrono::steady_clock::now(); }
  void Stop() {
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    total_ += s;
    longest_ = std::max(longest_, s);
  }
  void Report(benchmark::State& state) const {
    state.counters["share_of_90Hz"] =
        benchmark::Counter(total_ / kFrameAt90HzSeconds, benchmark::Counter::kAvgIterations);
    state.counters["longest_ms"] = longest_ * 1e3;
  }

 private:
  std::chrono::steady_clock::time_point start_;
  double total_ = 0, longest_ = 0;
};

void BM_ChatFrameWarm(benchmark::State& state) {
  UseRealText();
  DrawFreshFrame();  // primes the cache
  FrameTimer timer;
  for (auto _ : state) {
    timer.Start();
    DrawFreshFrame();
    timer.Stop();
  }
  timer.Report(state);
  size_t bytes = 0;
  for (const auto& [key, entry] : GetTextRasterContext().texts) {
    bytes += entry.mask.size() + key.text.size() * sizeof(char16_t);
  }
  state.counters["labels"] = static_cast<double>(GetTextRasterContext().texts.size());
  state.counters["cache_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ChatFrameWarm)->Unit(benchmark::kMillisecond);

void BM_ChatFrameCold(benchmark::State& state) {
  UseRealText();
  DrawFreshFrame();  // fonts loaded once, as after the first frame
  FrameTimer timer;
  for (auto _ : state) {
    timer.Start();
    ClearTextCache();
    DrawFreshFrame();
    timer.Stop();
  }
  timer.Report(state);
}
BENCHMARK(BM_ChatFrameCold)->Unit(benchmark::kMillisecond);

// A new thread builds its own rasteriser, font map and fonts on its first frame.
void BM_ChatFrameFirstUseOnNewThread(benchmark::State& state) {
  UseRealText();
  for (auto _ : state) {
    double seconds = 0;
    std::thread([&seconds] {
      const auto start = std::chrono::steady_clock::now();
      DrawFreshFrame();
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }).join();
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(BM_ChatFrameFirstUseOnNewThread)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ChatFrameFakeText(benchmark::State& state) {
  platform::SetTextRasterizerFactory([] { return std::make_unique<TextLikeRasterizer>(); });
  ResetTextRasterContextForTesting();
  DrawFreshFrame();
  FrameTimer timer;
  for (auto _ : state) {
    timer.Start();
    DrawFreshFrame();
    timer.Stop();
  }
  timer.Report(state);
  UseRealText();
}
BENCHMARK(BM_ChatFrameFakeText)->Unit(benchmark::kMillisecond);

// ---- The peer: Pango and Cairo straight onto an ARGB32 surface --------------

struct PeerFrame : CairoPeer {
  PeerFrame() : CairoPeer(kCanvasWidth, kCanvasHeight) {}

  void Draw() {
    using namespace sample_frame;
    cairo_set_source_rgba(cr, 1, 1, 1, 1);
    cairo_paint(cr);
    Colour(kAccent);
    cairo_rectangle(cr, 0, 0, kCanvasWidth, 44);
    cairo_fill(cr);
    Text(u"トーク Chat", 60, 6, 420, 22, kWhite, true);
    Text(u"オンライン", 440, 26, 96, 14, kWhite, false);
    for (int i = 0; i < kBubbles; ++i) {
      const double y = 48 + i * 44;
      const bool mine = i % 2 == 1;
      const double bx = mine ? 114 : 52;
      Colour(mine ? kAccent : kMuted);
      cairo_arc(cr, mine ? 510 : 28, y + 20, 16, 0, 2 * M_PI);
      cairo_fill(cr);
      Rounded(bx, y, bx + 374, y + 40, 20, mine ? kMine : kTheirs);
      Text(Lines()[i], bx + 16, y + 9, 344, 22, kInk, false);
      Text(TimeLabel(i), mine ? 66 : 430, y + 24, 44, 14, kMuted, false);
    }
    Rounded(20, 926, 260, 956, 15, kAccent);
    Text(u"送信 Send", 20, 930, 240, 20, kWhite, true);
    Rounded(280, 926, 520, 956, 15, kTheirs);
    Text(u"戻る Back", 280, 930, 240, 20, kInk, true);
    cairo_surface_flush(surface);
  }
};

void BM_ChatFramePeerPangoCairo(benchmark::State& state) {
  PeerFrame peer;
  peer.Draw();
  for (auto _ : state) peer.Draw();
}
BENCHMARK(BM_ChatFramePeerPangoCairo)->Unit(benchmark::kMillisecond);

// ---- Rasterisation misses ---------------------------------------------------

void Miss(benchmark::State& state, const std::u16string& text) {
  UseRealText();
  TextRasterContext& context = GetTextRasterContext();
  RasterizeText(context, text, 344, 22, false);  // fonts made
  for (auto _ : state) {
    ClearTextCache();
    benchmark::DoNotOptimize(RasterizeText(context, text, 344, 22, false));
  }
}
void BM_RasterizeMissJapanese19(benchmark::State& state) {
  Miss(state, u"明日の会議は十時から始まります。よろし");
}
void BM_RasterizeMissLatin19(benchmark::State& state) { Miss(state, u"The quick brown fox"); }
void BM_RasterizeMissEllipsized300(benchmark::State& state) {
  std::u16string text;
  while (text.size() < 300) text += u"長いメッセージ long message ";
  text.resize(300);
  Miss(state, text);
}
BENCHMARK(BM_RasterizeMissJapanese19)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RasterizeMissLatin19)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RasterizeMissEllipsized300)->Unit(benchmark::kMicrosecond);

// ---- Primitives beside memset / memcpy of a whole canvas --------------------

void SetPixels(benchmark::State& state, int64_t pixels) {
  state.SetItemsProcessed(state.iterations() * pixels);  // items/s = pixels/s
}

void BM_MemsetCanvas(benchmark::State& state) {
  PhoneCanvas canvas(0);
  for (auto _ : state) {
    std::memset(canvas.data(), 0x5A, kCanvasBytes);
    benchmark::ClobberMemory();
  }
  SetPixels(state, int64_t{kCanvasWidth} * kCanvasHeight);
}
BENCHMARK(BM_MemsetCanvas);

void BM_MemcpyCanvas(benchmark::State& state) {
  PhoneCanvas from(1), to(0);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kCanvasBytes);
    benchmark::ClobberMemory();
  }
  SetPixels(state, int64_t{kCanvasWidth} * kCanvasHeight);
}
BENCHMARK(BM_MemcpyCanvas);

void BM_FillCanvasRectWhole(benchmark::State& state) {
  PhoneCanvas canvas(0);
  for (auto _ : state) {
    FillCanvasRect(canvas, 0, 0, kCanvasWidth, kCanvasHeight, 0xFF123456);
    benchmark::ClobberMemory();
  }
  SetPixels(state, int64_t{kCanvasWidth} * kCanvasHeight);
}
BENCHMARK(BM_FillCanvasRectWhole);

int64_t Covered(const PhoneCanvas& canvas, uint32_t colour) {
  int64_t n = 0;
  for (int y = 0; y < kCanvasHeight; ++y)
    for (int x = 0; x < kCanvasWidth; ++x) n += canvas.PixelAt(x, y) == colour;
  return n;
}

void BM_FillRoundedRectWhole(benchmark::State& state) {
  PhoneCanvas canvas(0);
  for (auto _ : state) {
    FillRoundedRect(canvas, 0, 0, kCanvasWidth, kCanvasHeight, 28, 0xFF123456);
    benchmark::ClobberMemory();
  }
  SetPixels(state, Covered(canvas, 0xFF123456));
}
BENCHMARK(BM_FillRoundedRectWhole);

void BM_FillRoundedRectBubbles(benchmark::State& state) {
  PhoneCanvas canvas(0);
  for (auto _ : state) {
    for (int i = 0; i < 20; ++i) {
      const int x = i % 2 ? 114 : 52;
      FillRoundedRect(canvas, x, 48 + i * 44, x + 374, 88 + i * 44, 20, 0xFF123456);
    }
    benchmark::ClobberMemory();
  }
  SetPixels(state, Covered(canvas, 0xFF123456));
}
BENCHMARK(BM_FillRoundedRectBubbles);

// memset of exactly the bubbles' bounding rows: short rows with gaps cost
// more per pixel than one whole-canvas memset, whatever fills them.
void BM_MemsetBubbleRows(benchmark::State& state) {
  PhoneCanvas canvas(0);
  for (auto _ : state) {
    for (int i = 0; i < 20; ++i) {
      const int x = i % 2 ? 114 : 52;
      for (int y = 48 + i * 44; y < 88 + i * 44; ++y) {
        std::memset(canvas.data() + y * kCanvasStride + x * 4, 0x5A, 374 * 4);
      }
    }
    benchmark::ClobberMemory();
  }
  SetPixels(state, 20 * 40 * 374);
}
BENCHMARK(BM_MemsetBubbleRows);

void BM_FillCircle270(benchmark::State& state) {
  PhoneCanvas canvas(0);
  for (auto _ : state) {
    FillCircle(canvas, 270, 480, 270, 0xFF123456);
    benchmark::ClobberMemory();
  }
  SetPixels(state, Covered(canvas, 0xFF123456));
}
BENCHMARK(BM_FillCircle270);

void BlendMask(benchmark::State& state, const std::vector<uint8_t>& mask) {
  int64_t inked = 0;
  for (uint8_t m : mask) inked += m != 0;
  PhoneCanvas canvas(255);
  for (auto _ : state) {
    BlendTextMask(canvas, 0, 100, mask.data(), 540, 128, 0xFF262626);
    benchmark::ClobberMemory();
  }
  SetPixels(state, 540 * 128);
  state.counters["ink_share"] = static_cast<double>(inked) / static_cast<double>(mask.size());
}

void BM_TextBlend540x128(benchmark::State& state) { BlendMask(state, TextLikeMask(540, 128)); }
BENCHMARK(BM_TextBlend540x128);

void BM_TextBlendRealMask(benchmark::State& state) {
  UseRealText();
  const std::vector<uint8_t>* found =
      RasterizeText(GetTextRasterContext(), u"漢字とかなと English の混在", 540, 128, false);
  BlendMask(state, found ? *found : std::vector<uint8_t>(540 * 128, 0));
}
BENCHMARK(BM_TextBlendRealMask);

void BM_BlendCanvasRectVeil(benchmark::State& state) {
  PhoneCanvas canvas(200);
  for (auto _ : state) {
    BlendCanvasRect(canvas, 0, 64, 540, 900, 0xFF2D1F1C, 0.35f);
    benchmark::ClobberMemory();
  }
  SetPixels(state, 540 * 836);
}
BENCHMARK(BM_BlendCanvasRectVeil);

void BM_ApplyCornerMask28(benchmark::State& state) {
  PhoneCanvas canvas(255);
  for (auto _ : state) {
    ApplyCornerMask(canvas.bytes(), kCanvasWidth, kCanvasHeight, 28);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ApplyCornerMask28)->Unit(benchmark::kMicrosecond);

// ---- Cairo filling the same shapes, antialiasing off ------------------------

struct CairoOnCanvas {
  PhoneCanvas canvas{0};
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      canvas.data(), CAIRO_FORMAT_ARGB32, kCanvasWidth, kCanvasHeight, int(kCanvasStride));
  cairo_t* cr = cairo_create(surface);
  CairoOnCanvas() {
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, 0.2, 0.3, 0.4, 1);
  }
  ~CairoOnCanvas() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
};

void BM_CairoRectWhole(benchmark::State& state) {
  CairoOnCanvas c;
  for (auto _ : state) {
    cairo_rectangle(c.cr, 0, 0, kCanvasWidth, kCanvasHeight);
    cairo_fill(c.cr);
    cairo_surface_flush(c.surface);
  }
  SetPixels(state, int64_t{kCanvasWidth} * kCanvasHeight);
}
BENCHMARK(BM_CairoRectWhole);

void BM_CairoRoundedRectWhole(benchmark::State& state) {
  CairoOnCanvas c;
  const double r = 28, x1 = kCanvasWidth, y1 = kCanvasHeight;
  for (auto _ : state) {
    cairo_new_sub_path(c.cr);
    cairo_arc(c.cr, x1 - r, r, r, -M_PI / 2, 0);
    cairo_arc(c.cr, x1 - r, y1 - r, r, 0, M_PI / 2);
    cairo_arc(c.cr, r, y1 - r, r, M_PI / 2, M_PI);
    cairo_arc(c.cr, r, r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(c.cr);
    cairo_fill(c.cr);
    cairo_surface_flush(c.surface);
  }
  SetPixels(state, int64_t{kCanvasWidth} * kCanvasHeight);
}
BENCHMARK(BM_CairoRoundedRectWhole);

void BM_CairoCircle270(benchmark::State& state) {
  CairoOnCanvas c;
  for (auto _ : state) {
    cairo_arc(c.cr, 270.5, 480.5, 270.5, 0, 2 * M_PI);
    cairo_fill(c.cr);
    cairo_surface_flush(c.surface);
  }
  SetPixels(state, 229'000);
}
BENCHMARK(BM_CairoCircle270);

}  // namespace

BENCHMARK_MAIN();
