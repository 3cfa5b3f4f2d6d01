#pragma once
// The benchmarks' peer: Pango and Cairo straight onto an ARGB32 surface, set
// up as the platform's text rasteriser sets up its own context (language
// "ja", grey antialiasing, slight hinting, whole-pixel metrics).
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "core/text.h"

struct CairoPeer {
  cairo_surface_t* surface;
  cairo_t* cr;
  PangoFontMap* font_map = pango_cairo_font_map_new();
  PangoContext* context = pango_font_map_create_context(font_map);
  PangoLayout* layout = nullptr;

  CairoPeer(int width, int height)
      : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)), cr(cairo_create(surface)) {
    pango_context_set_language(context, pango_language_from_string("ja"));
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    layout = pango_layout_new(context);
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  }
  ~CairoPeer() {
    g_object_unref(layout);
    g_object_unref(context);
    g_object_unref(font_map);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }

  void Colour(uint32_t c) {
    cairo_set_source_rgba(cr, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                          ((c >> 16) & 0xFF) / 255.0, (c >> 24) / 255.0);
  }
  void Rounded(double x0, double y0, double x1, double y1, double r, uint32_t c) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x1 - r, y0 + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x1 - r, y1 - r, r, 0, M_PI / 2);
    cairo_arc(cr, x0 + r, y1 - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x0 + r, y0 + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
    Colour(c);
    cairo_fill(cr);
  }
  void Text(const std::u16string& text, double x, double y, int w, int h, uint32_t c,
            bool centred) {
    PangoFontDescription* font = pango_font_description_from_string("Noto Sans CJK JP, DejaVu Sans");
    pango_font_description_set_absolute_size(font, std::max(h - 3, 1) * double(PANGO_SCALE));
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    const std::string utf8 = WideToUtf8(text);
    pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
    pango_layout_set_width(layout, w * PANGO_SCALE);
    pango_layout_set_alignment(layout, centred ? PANGO_ALIGN_CENTER : PANGO_ALIGN_LEFT);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    Colour(c);
    cairo_move_to(cr, x, y + (h - logical.height) / 2);
    pango_cairo_show_layout(cr, layout);
  }

};
