// ComposeKeyboardFrame warm, with the real Pango text, beside a Pango+Cairo
// peer drawing the same keys and labels onto an ARGB32 surface; and its share
// of an 11.1 ms (90 Hz) frame.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "../cairo_peer.h"
#include "phone_ui/keyboard_frame.h"

namespace {

struct Key {
  int x0, y0, x1, y1, r;
  std::u16string label;
  int size;
};

// The kana flick keyboard with VR conversion, as DrawKeyboardPanel lays it out.
std::vector<Key> FlickKeys(const QuorixVrKeyboard& kb) {
  std::vector<Key> keys = {{12, 299, 528, 803, 27, u"", 0},        {22, 353, 184, 400, 12, u"かな", 25},
                           {190, 353, 369, 400, 12, u"英字", 25},   {375, 353, 518, 400, 12, u"数字・記号", 25},
                           {18, 405, 520, 458, 10, u"", 0},         {431, 304, 519, 346, 11, u"閉じる", 20},
                           {19, 409, 68, 453, 8, u"◀", 25},         {470, 409, 519, 453, 8, u"▶", 25}};
  const char16_t* side[2][4] = {{u"→", u"↶", u"ABC", u"◎"}, {u"⌫", u"空白", u"変換", u"確定"}};
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 5; ++column) {
      const int x = 100 * column, y = 465 + 66 * row;
      std::u16string label = column == 0 ? side[0][row] : column == 4 ? side[1][row] : kb.GetKeyLabel(3 * row + column - 1);
      keys.push_back({x + 20, y, x + 114, y + 60, 12, label, 37});
    }
  }
  const char16_t* control[4] = {u"切替", u"削除", u"空白", u"消去"};
  const int xs[5] = {18, 120, 234, 362, 519};
  for (int i = 0; i < 4; ++i) keys.push_back({xs[i], 741, i == 3 ? 519 : xs[i + 1] - 3, 793, 10, control[i], 24});
  return keys;
}

void BM_ComposeKeyboardFrame(benchmark::State& state) {
  QuorixVrKeyboard kb;
  QuorixTsfDraftBridge::State bridge;
  bridge.vr_conversion_enabled = 1;
  KeyboardFrameInputs in;
  in.keyboard = &kb;
  in.bridge_state = &bridge;
  benchmark::DoNotOptimize(ComposeKeyboardFrame(in));  // warm the text cache
  for (auto _ : state) benchmark::DoNotOptimize(ComposeKeyboardFrame(in));
  state.counters["share_of_11.1ms_frame"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * 0.0111, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_PangoCairoPeer(benchmark::State& state) {
  QuorixVrKeyboard kb;
  const std::vector<Key> keys = FlickKeys(kb);
  CairoPeer peer(kCanvasWidth, kKeyboardFrameHeight);
  for (auto _ : state) {
    cairo_set_operator(peer.cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(peer.cr);
    cairo_set_operator(peer.cr, CAIRO_OPERATOR_OVER);
    for (const Key& k : keys) {
      peer.Rounded(k.x0, k.y0 - 297, k.x1, k.y1 - 297, k.r, 0xFFF5ECE7);
      if (!k.label.empty()) peer.Text(k.label, k.x0, k.y0 - 297, k.x1 - k.x0, k.size, 0xFF422819, true);
    }
    cairo_surface_flush(peer.surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(peer.surface));
  }
}

BENCHMARK(BM_ComposeKeyboardFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PangoCairoPeer)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
