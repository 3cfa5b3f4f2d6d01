// Owner-drawn rows on a paint target: fills, one line of plain text, the
// focus rectangle and the theme's colours, in Cairo and Pango.
#include <gtk/gtk.h>
#include <pango/pangocairo.h>

#include <algorithm>

#include "platform/text_encoding.h"
#include "platform/text_rasterizer.h"
#include "platform/ui_window.h"

namespace platform::ui {
namespace {

bool Empty(const Rect& rect) { return rect.right <= rect.left || rect.bottom <= rect.top; }

bool Record(const PaintTarget& target, PaintCall::Kind kind, const Rect& rect, uint32_t colour,
            const std::u16string& text = {}) {
  if (target.recorder == nullptr) return false;
  target.recorder->calls.push_back({kind, rect, colour, text});
  return true;
}

void SetColour(cairo_t* cr, uint32_t colour) {
  cairo_set_source_rgb(cr, (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0, ((colour >> 16) & 0xFF) / 255.0);
}

uint32_t ToColour(const GdkRGBA& rgba) {
  auto channel = [](double v) { return static_cast<uint32_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
  return channel(rgba.red) | (channel(rgba.green) << 8) | (channel(rgba.blue) << 16);
}

}  // namespace

uint32_t GetSystemColour(const PaintTarget& target, SystemColour which) {
  struct Entry {
    const char* name;
    uint32_t fallback;  // Windows' default
  };
  static constexpr Entry kEntries[] = {
      {"theme_selected_bg_color", 0x00D77800},
      {"theme_base_color", 0x00FFFFFF},
      {"theme_selected_fg_color", 0x00FFFFFF},
      {"theme_text_color", 0x00000000},
  };
  const Entry& entry = kEntries[static_cast<uint32_t>(which)];
  GdkRGBA rgba;
  if (target.style != nullptr &&
      gtk_style_context_lookup_color(static_cast<GtkStyleContext*>(target.style), entry.name, &rgba)) {
    return ToColour(rgba);
  }
  return entry.fallback;
}

bool FillRect(const PaintTarget& target, const Rect& rect, uint32_t colour) {
  if (Empty(rect)) return false;
  if (Record(target, PaintCall::kFill, rect, colour)) return true;
  if (target.surface == nullptr) return false;
  auto* cr = static_cast<cairo_t*>(target.surface);
  cairo_save(cr);
  SetColour(cr, colour);
  cairo_rectangle(cr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  cairo_fill(cr);
  cairo_restore(cr);
  return true;
}

bool DrawTextLine(const PaintTarget& target, const Rect& rect, const std::u16string& text, uint32_t colour) {
  if (Empty(rect)) return false;
  if (Record(target, PaintCall::kText, rect, colour, text)) return true;
  if (target.surface == nullptr) return false;
  auto* cr = static_cast<cairo_t*>(target.surface);
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_from_string(kTextFamilies);
  pango_font_description_set_absolute_size(font, 12 * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  pango_layout_set_width(layout, (rect.right - rect.left) * PANGO_SCALE);
  const std::string utf8 = Utf16ToUtf8Lenient(text);
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));  // plain: no markup
  int width = 0;
  int height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  cairo_save(cr);
  cairo_rectangle(cr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  cairo_clip(cr);
  SetColour(cr, colour);
  cairo_move_to(cr, rect.left, rect.top + (rect.bottom - rect.top - height) / 2);
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  g_object_unref(layout);
  return true;
}

bool DrawFocusRect(const PaintTarget& target, const Rect& rect) {
  if (Empty(rect)) return false;
  const uint32_t colour = GetSystemColour(target, SystemColour::kWindowText);
  if (Record(target, PaintCall::kFocus, rect, colour)) return true;
  if (target.surface == nullptr) return false;
  auto* cr = static_cast<cairo_t*>(target.surface);
  static constexpr double kDots[] = {1.0, 1.0};
  cairo_save(cr);
  SetColour(cr, colour);
  cairo_set_line_width(cr, 1.0);
  cairo_set_dash(cr, kDots, 2, 0.0);
  cairo_rectangle(cr, rect.left + 0.5, rect.top + 0.5, rect.right - rect.left - 1, rect.bottom - rect.top - 1);
  cairo_stroke(cr);
  cairo_restore(cr);
  return true;
}

}  // namespace platform::ui
