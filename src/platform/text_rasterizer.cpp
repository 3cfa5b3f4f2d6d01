#include "platform/text_rasterizer.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "platform/text_encoding.h"

namespace platform {
namespace {

// Everything the single-line drawing must not see as a line break or control
// becomes a space; unpaired surrogates become U+FFFD.
std::string ToPangoText(std::u16string_view text) {
  std::u16string cleaned(text);
  for (char16_t& unit : cleaned) {
    if (unit < 0x20 || unit == 0x2028 || unit == 0x2029) unit = u' ';
  }
  return Utf16ToUtf8Lenient(cleaned);
}

// The glyphs that reach highest and lowest in the UI's text: accented
// capitals, descenders, the underscore, brackets and CJK. Their ink is the
// band a font's text is placed by.
constexpr const char* kInkReference = "ÁÅÇgjpqy_|([{漢あグ";

// The top of `extent` pixels centred in `box` pixels; an odd pixel left over
// goes below.
int32_t CentredTop(int32_t box, int32_t extent) {
  const int32_t room = box - extent;
  return room >= 0 ? room / 2 : -((1 - room) / 2);
}

class PangoFont final : public TextFont {
 public:
  PangoFont(PangoFontDescription* description, int32_t band_above, int32_t band_height)
      : description_(description), band_above_(band_above), band_height_(band_height) {}
  ~PangoFont() override { pango_font_description_free(description_); }
  PangoFont(const PangoFont&) = delete;
  PangoFont& operator=(const PangoFont&) = delete;
  const PangoFontDescription* description() const { return description_; }
  int32_t band_above() const { return band_above_; }
  int32_t band_height() const { return band_height_; }

 private:
  PangoFontDescription* description_;
  int32_t band_above_;   // rows of the reference ink above the baseline
  int32_t band_height_;  // rows of the reference ink
};

class PangoTextRasterizer final : public TextRasterizer {
 public:
  PangoTextRasterizer() = default;
  PangoTextRasterizer(const PangoTextRasterizer&) = delete;
  PangoTextRasterizer& operator=(const PangoTextRasterizer&) = delete;

  ~PangoTextRasterizer() override {
    if (measure_layout_ != nullptr) g_object_unref(measure_layout_);
    if (layout_ != nullptr) g_object_unref(layout_);
    if (context_ != nullptr) g_object_unref(context_);
    if (font_map_ != nullptr) g_object_unref(font_map_);
    if (cairo_ != nullptr) cairo_destroy(cairo_);
    if (surface_ != nullptr) cairo_surface_destroy(surface_);
  }

  bool Init() {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_A8, kTextBoxMaxWidth, kTextBoxMaxHeight);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) return false;
    cairo_ = cairo_create(surface_);
    if (cairo_status(cairo_) != CAIRO_STATUS_SUCCESS) return false;
    font_map_ = pango_cairo_font_map_new();
    if (font_map_ == nullptr) return false;
    context_ = pango_font_map_create_context(font_map_);
    if (context_ == nullptr) return false;
    pango_context_set_language(context_, pango_language_from_string("ja"));
    // Fixed options, so no desktop setting brings subpixel colour or
    // fractional advances: grey coverage, slight hinting, whole-pixel metrics.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(context_, options);
    cairo_font_options_destroy(options);
    layout_ = pango_layout_new(context_);
    if (layout_ == nullptr) return false;
    pango_layout_set_single_paragraph_mode(layout_, TRUE);
    pango_layout_set_ellipsize(layout_, PANGO_ELLIPSIZE_END);
    measure_layout_ = pango_layout_new(context_);
    return measure_layout_ != nullptr;
  }

  // The largest whole-pixel size, at most the box height less 3, whose
  // reference ink fits the box with a free row above and below. The face's
  // line (ascent + descent, about 1.45 em) is much taller than its em, so the
  // box height less 3 would push descenders out of the box. The search starts
  // from the band's share of a large em, so it measures two or three sizes.
  std::unique_ptr<TextFont> CreateFont(int32_t height, bool centred) override {
    const int32_t box = std::clamp(height, 1, kTextBoxMaxHeight);
    const int32_t largest = std::max(box - 3, 1);
    const auto fits = [box](const PangoFont& font) { return font.band_height() <= box - 2; };
    if (band_per_40_pixels_ == 0) {
      const std::unique_ptr<PangoFont> large = MeasuredFont(40, false);
      if (large == nullptr) return nullptr;
      band_per_40_pixels_ = std::max(large->band_height(), 1);
    }
    int32_t pixels = std::clamp((box - 2) * 40 / band_per_40_pixels_, 1, largest);
    std::unique_ptr<PangoFont> font = MeasuredFont(pixels, centred);
    if (font == nullptr) return nullptr;
    if (fits(*font)) {
      while (pixels < largest) {
        std::unique_ptr<PangoFont> larger = MeasuredFont(pixels + 1, centred);
        if (larger == nullptr || !fits(*larger)) break;
        font = std::move(larger);
        ++pixels;
      }
    } else {
      while (pixels > 1 && font != nullptr && !fits(*font)) font = MeasuredFont(--pixels, centred);
    }
    return font;
  }

  std::optional<std::vector<uint8_t>> Rasterize(const TextFont* font, std::u16string_view text,
                                                int32_t width, int32_t height,
                                                bool centred) override {
    if (width < 1 || width > kTextBoxMaxWidth || height < 1 || height > kTextBoxMaxHeight) {
      return std::nullopt;
    }
    if (font != nullptr) {
      const auto& pango_font = static_cast<const PangoFont&>(*font);
      pango_layout_set_font_description(layout_, pango_font.description());
      band_above_ = pango_font.band_above();
      band_height_ = pango_font.band_height();
    }
    const std::string utf8 = ToPangoText(text);
    pango_layout_set_text(layout_, utf8.data(), static_cast<int>(utf8.size()));
    pango_layout_set_width(layout_, width * PANGO_SCALE);
    pango_layout_set_alignment(layout_, centred ? PANGO_ALIGN_CENTER : PANGO_ALIGN_LEFT);

    cairo_save(cairo_);
    cairo_rectangle(cairo_, 0, 0, width, height);
    cairo_clip(cairo_);
    cairo_set_operator(cairo_, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cairo_);
    cairo_set_operator(cairo_, CAIRO_OPERATOR_OVER);
    cairo_set_source_rgba(cairo_, 1, 1, 1, 1);
    cairo_move_to(cairo_, 0, LayoutTop(layout_, height));
    pango_cairo_show_layout(cairo_, layout_);
    cairo_restore(cairo_);
    cairo_surface_flush(surface_);
    if (cairo_status(cairo_) != CAIRO_STATUS_SUCCESS) return std::nullopt;

    const uint8_t* bits = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    if (bits == nullptr) return std::nullopt;
    std::vector<uint8_t> mask(static_cast<size_t>(width) * height);
    for (int32_t row = 0; row < height; ++row) {
      std::memcpy(mask.data() + static_cast<size_t>(row) * width,
                  bits + static_cast<size_t>(row) * stride, static_cast<size_t>(width));
    }
    return mask;
  }

  int32_t CountMissingGlyphs(std::u16string_view text) override {
    PangoLayout* layout = pango_layout_new(context_);
    if (layout == nullptr) return static_cast<int32_t>(text.size());
    PangoFontDescription* description = pango_font_description_from_string(kTextFamilies);
    pango_font_description_set_absolute_size(description, 20.0 * PANGO_SCALE);
    pango_layout_set_font_description(layout, description);
    pango_font_description_free(description);
    const std::string utf8 = ToPangoText(text);
    pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
    const int missing = pango_layout_get_unknown_glyphs_count(layout);
    g_object_unref(layout);
    return missing;
  }

 private:
  // Where the layout's top goes: the font's reference band is centred in
  // the box, so every text of one font shares the baseline, whichever
  // fallback faces it uses. Before any font, the layout's own line is centred.
  int32_t LayoutTop(PangoLayout* layout, int32_t box_height) const {
    if (band_height_ <= 0) {
      PangoRectangle logical{};
      pango_layout_get_pixel_extents(layout, nullptr, &logical);
      return CentredTop(box_height, logical.height);
    }
    return CentredTop(box_height, band_height_) + band_above_ - PANGO_PIXELS(pango_layout_get_baseline(layout));
  }

  // The font of `pixels` em and its reference ink band; null when Pango
  // cannot describe it.
  std::unique_ptr<PangoFont> MeasuredFont(int32_t pixels, bool centred) {
    PangoFontDescription* description = pango_font_description_from_string(kTextFamilies);
    if (description == nullptr) return nullptr;
    pango_font_description_set_absolute_size(description, static_cast<double>(pixels) * PANGO_SCALE);
    pango_font_description_set_weight(description, centred ? PANGO_WEIGHT_MEDIUM : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(measure_layout_, description);
    pango_layout_set_text(measure_layout_, kInkReference, -1);
    PangoRectangle ink{};
    pango_layout_get_pixel_extents(measure_layout_, &ink, nullptr);
    const int32_t above = PANGO_PIXELS(pango_layout_get_baseline(measure_layout_)) - ink.y;
    return std::make_unique<PangoFont>(description, above, ink.height);
  }

  cairo_surface_t* surface_ = nullptr;
  cairo_t* cairo_ = nullptr;
  PangoFontMap* font_map_ = nullptr;
  PangoContext* context_ = nullptr;
  PangoLayout* layout_ = nullptr;
  PangoLayout* measure_layout_ = nullptr;
  int32_t band_above_ = 0;
  int32_t band_height_ = 0;  // 0 until a font is used
  int32_t band_per_40_pixels_ = 0;  // the reference band of a 40-pixel em, once measured
};

std::mutex g_factory_mutex;
TextRasterizerFactory g_factory;

}  // namespace

std::unique_ptr<TextRasterizer> MakePangoTextRasterizer() {
  auto rasterizer = std::make_unique<PangoTextRasterizer>();
  if (!rasterizer->Init()) return nullptr;
  return rasterizer;
}

void SetTextRasterizerFactory(TextRasterizerFactory factory) {
  std::lock_guard<std::mutex> lock(g_factory_mutex);
  g_factory = std::move(factory);
}

std::unique_ptr<TextRasterizer> MakeTextRasterizer() {
  TextRasterizerFactory factory;
  {
    std::lock_guard<std::mutex> lock(g_factory_mutex);
    factory = g_factory;
  }
  return factory ? factory() : MakePangoTextRasterizer();
}

}  // namespace platform
