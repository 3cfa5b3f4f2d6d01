// ComposeKeyboardFrame warm, with the real Pango text, beside a Pango+Cairo
// peer drawing the same keys and labels onto an ARGB32 surface; and its share
// of an 11.1 ms (90 Hz) frame.
#include <benchmark/benchmark.h>
#include <pango/pangocairo.h>

#include <string>
#include <vector>

#include "phone_ui/keyboard_frame.h"
#include "platform/text_encoding.h"

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

void RoundedRect(cairo_t* cr, double x0, double y0, double x1, double y1, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x1 - r, y0 + r, r, -G_PI / 2, 0);
  cairo_arc(cr, x1 - r, y1 - r, r, 0, G_PI / 2);
  cairo_arc(cr, x0 + r, y1 - r, r, G_PI / 2, G_PI);
  cairo_arc(cr, x0 + r, y0 + r, r, G_PI, 3 * G_PI / 2);
  cairo_close_path(cr);
}

void BM_PangoCairoPeer(benchmark::State& state) {
  QuorixVrKeyboard kb;
  const std::vector<Key> keys = FlickKeys(kb);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 540, 508);
  cairo_t* cr = cairo_create(surface);
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_from_string("Noto Sans CJK JP, DejaVu Sans");
  std::vector<std::string> labels;
  for (const Key& k : keys) labels.push_back(platform::Utf16ToUtf8Lenient(k.label));
  for (auto _ : state) {
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    for (size_t i = 0; i < keys.size(); ++i) {
      const Key& k = keys[i];
      cairo_set_source_rgb(cr, 0.96, 0.93, 0.91);
      RoundedRect(cr, k.x0, k.y0 - 297, k.x1, k.y1 - 297, k.r);
      cairo_fill(cr);
      if (labels[i].empty()) continue;
      pango_font_description_set_absolute_size(font, k.size * PANGO_SCALE);
      pango_layout_set_font_description(layout, font);
      pango_layout_set_text(layout, labels[i].c_str(), -1);
      int w = 0, h = 0;
      pango_layout_get_pixel_size(layout, &w, &h);
      cairo_set_source_rgb(cr, 0.1, 0.16, 0.26);
      cairo_move_to(cr, (k.x0 + k.x1 - w) / 2.0, (k.y0 + k.y1 - h) / 2.0 - 297);
      pango_cairo_show_layout(cr, layout);
    }
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  pango_font_description_free(font);
  g_object_unref(layout);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

BENCHMARK(BM_ComposeKeyboardFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PangoCairoPeer)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
