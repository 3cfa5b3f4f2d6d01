#pragma once
// Shows window records (ui_window.h) on the X display through GTK: a shown
// top-level record becomes a GTK window with its static texts as labels and
// its buttons as buttons, drawn under them by its procedure's WM_PAINT.
// Without a display nothing is presented and the records stay records.
// Main thread only.
#include <cstdint>

#include "platform/window_handle.h"

namespace platform {

// Presents shown top-level records from now on; starts GTK when it is not
// running. False without a display.
bool StartWindowPresenter();
// Drops every presented window; the records stay.
void StopWindowPresenter();
// The X window showing `window`, 0 when it is not presented.
unsigned long PresentedXWindow(WindowHandle window);

}  // namespace platform
