#pragma once
// What the platform's GTK windows share among themselves; not for callers
// outside the platform layer.
#include <gtk/gtk.h>

#include <cstdint>
#include <span>

#include "platform/input_window.h"
#include "platform/panel_window.h"

namespace platform {

// The toolkit widgets behind our windows.
struct GuiWindows {
  static GtkWidget* Of(const PanelWindow& window);
  static GtkWidget* Of(const InputWindow& window);
};

// A 256 × 256 straight-alpha RGBA image scaled to size × size; null for any
// other input. The caller owns the reference.
GdkPixbuf* ScaledIcon(std::span<const uint8_t> rgba, int size);

// Maps `window` at our place (the window manager may have placed it on
// mapping) or unmaps it; a raise asked for before mapping is done now.
void ShowToplevel(GtkWidget* window, bool shown, int x, int y, bool* front_pending);
// Raises and focuses `window` with the server's time; before it is mapped,
// only remembers the request.
void RaiseToplevel(GtkWidget* window, bool* front_pending);

// The UTF-16 length of UTF-8 text GTK holds (always valid UTF-8); `bytes`
// below 0 means up to the terminating zero.
size_t Utf16Units(const char* text, ssize_t bytes);
// Of `text` being inserted (`bytes` long; below 0 up to the terminating zero)
// beside `have` UTF-16 units under `limit`: the end of the longest run of
// whole characters that fits. `*end` gets the end of the whole text.
const char* CutInsertion(const char* text, ssize_t bytes, size_t have, size_t limit, const char** end);

// The name of the theme icon used when the application's own is missing.
inline constexpr const char* kFallbackIconName = "application-x-executable";

}  // namespace platform
