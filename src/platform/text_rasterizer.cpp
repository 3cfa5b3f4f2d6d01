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

class PangoFont final : public TextFont {
 public:
  explicit PangoFont(PangoFontDescription* description) : description_(description) {}
  ~PangoFont() override { pango_font_description_free(description_); }
  PangoFont(const PangoFont&) = delete;
  PangoFont& operator=(const PangoFont&) = delete;
  const PangoFontDescription* description() const { return description_; }

 private:
  PangoFontDescription* description_;
};

class PangoTextRasterizer final : public TextRasterizer {
 public:
  PangoTextRasterizer() = default;
  PangoTextRasterizer(const PangoTextRasterizer&) = delete;
  PangoTextRasterizer& operator=(const PangoTextRasterizer&) = delete;

  ~PangoTextRasterizer() override {
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
    return true;
  }

  std::unique_ptr<TextFont> CreateFont(int32_t height, bool centred) override {
    PangoFontDescription* description = pango_font_description_from_string(kTextFamilies);
    if (description == nullptr) return nullptr;
    const int64_t pixels = std::clamp<int64_t>(int64_t{height} - 3, 1, kTextBoxMaxHeight);
    pango_font_description_set_absolute_size(description,
                                             static_cast<double>(pixels) * PANGO_SCALE);
    pango_font_description_set_weight(description,
                                      centred ? PANGO_WEIGHT_MEDIUM : PANGO_WEIGHT_NORMAL);
    return std::make_unique<PangoFont>(description);
  }

  std::optional<std::vector<uint8_t>> Rasterize(const TextFont* font, std::u16string_view text,
                                                int32_t width, int32_t height,
                                                bool centred) override {
    if (width < 1 || width > kTextBoxMaxWidth || height < 1 || height > kTextBoxMaxHeight) {
      return std::nullopt;
    }
    if (font != nullptr) {
      pango_layout_set_font_description(layout_,
                                        static_cast<const PangoFont*>(font)->description());
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
    PangoRectangle logical{};
    pango_layout_get_pixel_extents(layout_, nullptr, &logical);
    cairo_set_source_rgba(cairo_, 1, 1, 1, 1);
    cairo_move_to(cairo_, 0, (height - logical.height) / 2);
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
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cairo_ = nullptr;
  PangoFontMap* font_map_ = nullptr;
  PangoContext* context_ = nullptr;
  PangoLayout* layout_ = nullptr;
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
