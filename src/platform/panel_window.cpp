#include "platform/panel_window.h"

#include <cairo.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstring>

#include "platform/gui.h"
#include "platform/gui_internal.h"

namespace platform {

struct PanelWindow::State {
  GtkWidget* window = nullptr;
  cairo_surface_t* surface = nullptr;
  int x = 0;
  int y = 0;
  PanelWindow::MessageHandler handler;
  bool front_pending = false;
  bool resize_cursor = false;

  ~State() {
    if (window != nullptr && !DisplayLost()) gtk_widget_destroy(window);
    // On a lost display the widget stays, but nothing may call back here.
    if (window != nullptr && DisplayLost()) g_signal_handlers_disconnect_by_data(window, this);
    if (surface != nullptr) cairo_surface_destroy(surface);
  }
};

namespace {

gboolean Draw(GtkWidget* /*widget*/, cairo_t* cr, gpointer data) {
  auto* state = static_cast<PanelWindow::State*>(data);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  if (state->surface != nullptr) {
    cairo_set_source_surface(cr, state->surface, 0, 0);
  } else {
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
  }
  cairo_paint(cr);
  return TRUE;
}

intptr_t Send(PanelWindow::State* state, WindowMessageType type, double x_root, double y_root) {
  if (!state->handler) return 0;
  WindowMessage message;
  message.type = type;
  message.x = static_cast<int32_t>(x_root);
  message.y = static_cast<int32_t>(y_root);
  return state->handler(message);
}

void UpdateCursor(PanelWindow::State* state, double x_root, double y_root) {
  const bool resize = Send(state, WindowMessageType::kSetCursor, x_root, y_root) != 0;
  if (resize == state->resize_cursor) return;
  state->resize_cursor = resize;
  GdkWindow* window = gtk_widget_get_window(state->window);
  if (window == nullptr) return;
  GdkCursor* cursor = resize ? gdk_cursor_new_from_name(gdk_window_get_display(window), "nwse-resize") : nullptr;
  gdk_window_set_cursor(window, cursor);
  if (cursor != nullptr) g_object_unref(cursor);
}

gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* state = static_cast<PanelWindow::State*>(data);
  if (event->button == 1 && event->type == GDK_BUTTON_PRESS) {
    Send(state, WindowMessageType::kLeftButtonDown, event->x_root, event->y_root);
  }
  return TRUE;
}

gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* state = static_cast<PanelWindow::State*>(data);
  if (event->button == 1) Send(state, WindowMessageType::kLeftButtonUp, event->x_root, event->y_root);
  if (event->button == 3) Send(state, WindowMessageType::kRightButtonUp, event->x_root, event->y_root);
  return TRUE;
}

gboolean OnMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
  auto* state = static_cast<PanelWindow::State*>(data);
  UpdateCursor(state, event->x_root, event->y_root);
  Send(state, WindowMessageType::kMouseMove, event->x_root, event->y_root);
  return TRUE;
}

gboolean GrabBroken(GtkWidget*, GdkEvent*, gpointer data) {
  Send(static_cast<PanelWindow::State*>(data), WindowMessageType::kCaptureChanged, 0, 0);
  return FALSE;
}

gboolean DeleteEvent(GtkWidget*, GdkEvent*, gpointer data) {
  Send(static_cast<PanelWindow::State*>(data), WindowMessageType::kClose, 0, 0);
  return TRUE;  // the owner decides; the window stays
}

void SetWindowClass(GtkWindow* window) {
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_window_set_wmclass(window, "QuorixUnifiedOverlay3", "Quorix");
  G_GNUC_END_IGNORE_DEPRECATIONS
}

}  // namespace

PanelWindow::PanelWindow(std::unique_ptr<State> state) : state_(std::move(state)) {}

PanelWindow::~PanelWindow() = default;

std::unique_ptr<PanelWindow> PanelWindow::Create(int x, int y, int width, int height) {
  if (!GuiAvailable()) return nullptr;
  auto state = std::make_unique<State>();
  GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  state->window = widget;
  GtkWindow* window = GTK_WINDOW(widget);
  gtk_window_set_title(window, "Quorix");
  SetWindowClass(window);
  gtk_window_set_decorated(window, FALSE);
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_keep_above(window, TRUE);
  gtk_window_set_skip_taskbar_hint(window, TRUE);
  gtk_window_set_skip_pager_hint(window, TRUE);
  gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_UTILITY);
  gtk_window_set_focus_on_map(window, FALSE);
  GdkScreen* screen = gtk_widget_get_screen(widget);
  if (GdkVisual* rgba = gdk_screen_get_rgba_visual(screen)) gtk_widget_set_visual(widget, rgba);
  gtk_widget_set_app_paintable(widget, TRUE);
  g_signal_connect(widget, "draw", G_CALLBACK(Draw), state.get());
  gtk_widget_add_events(widget, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
  g_signal_connect(widget, "button-press-event", G_CALLBACK(OnButtonPress), state.get());
  g_signal_connect(widget, "button-release-event", G_CALLBACK(OnButtonRelease), state.get());
  g_signal_connect(widget, "motion-notify-event", G_CALLBACK(OnMotion), state.get());
  g_signal_connect(widget, "grab-broken-event", G_CALLBACK(GrabBroken), state.get());
  g_signal_connect(widget, "delete-event", G_CALLBACK(DeleteEvent), state.get());
  gtk_window_set_default_size(window, width > 0 ? width : 1, height > 0 ? height : 1);
  gtk_window_move(window, x, y);
  state->x = x;
  state->y = y;
  gtk_widget_realize(widget);
  return std::unique_ptr<PanelWindow>(new PanelWindow(std::move(state)));
}

bool PanelWindow::Present(const uint8_t* pixels, int width, int height, int x, int y) {
  if (state_->window == nullptr || DisplayLost() || width <= 0 || height <= 0) return false;
  cairo_surface_t*& surface = state_->surface;
  if (surface == nullptr || cairo_image_surface_get_width(surface) != width ||
      cairo_image_surface_get_height(surface) != height) {
    cairo_surface_t* fresh = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(fresh) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(fresh);
      return false;
    }
    if (surface != nullptr) cairo_surface_destroy(surface);
    surface = fresh;
  }
  cairo_surface_flush(surface);
  uint8_t* dst = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const size_t row = static_cast<size_t>(width) * 4;
  for (int r = 0; r < height; ++r) std::memcpy(dst + static_cast<size_t>(r) * stride, pixels + r * row, row);
  cairo_surface_mark_dirty(surface);
  GtkWindow* window = GTK_WINDOW(state_->window);
  // Not resizable: the window takes exactly its size request.
  gtk_widget_set_size_request(state_->window, width, height);
  gtk_window_resize(window, width, height);
  Move(x, y);
  gtk_widget_queue_draw(state_->window);
  return true;
}

void PanelWindow::SetInputShape(const std::vector<ScreenRect>& rects) {
  if (state_->window == nullptr || DisplayLost()) return;
  if (rects.empty()) {
    gtk_widget_input_shape_combine_region(state_->window, nullptr);
    return;
  }
  cairo_region_t* region = cairo_region_create();
  for (const ScreenRect& r : rects) {
    const cairo_rectangle_int_t rect{r.x, r.y, r.width, r.height};
    cairo_region_union_rectangle(region, &rect);
  }
  gtk_widget_input_shape_combine_region(state_->window, region);
  cairo_region_destroy(region);
}

void PanelWindow::Move(int x, int y) {
  if (state_->window == nullptr || DisplayLost()) return;
  state_->x = x;
  state_->y = y;
  gtk_window_move(GTK_WINDOW(state_->window), x, y);
}

void ShowToplevel(GtkWidget* window, bool shown, int x, int y, bool* front_pending) {
  if (!shown) {
    gtk_widget_hide(window);
    return;
  }
  gtk_widget_show(window);
  gtk_window_move(GTK_WINDOW(window), x, y);
  if (*front_pending) {
    *front_pending = false;
    RaiseToplevel(window, front_pending);
  }
}

void RaiseToplevel(GtkWidget* window, bool* front_pending) {
  if (!gtk_widget_get_mapped(window)) {
    *front_pending = true;
    return;
  }
  gtk_window_present_with_time(GTK_WINDOW(window), gdk_x11_get_server_time(gtk_widget_get_window(window)));
}

void PanelWindow::SetShown(bool shown) {
  if (state_->window == nullptr || DisplayLost()) return;
  ShowToplevel(state_->window, shown, state_->x, state_->y, &state_->front_pending);
}

bool PanelWindow::IsMapped() const { return state_->window != nullptr && gtk_widget_get_mapped(state_->window); }

unsigned long PanelWindow::XWindowId() const {
  if (state_->window == nullptr) return 0;
  GdkWindow* window = gtk_widget_get_window(state_->window);
  return window != nullptr ? gdk_x11_window_get_xid(window) : 0;
}

void PanelWindow::SetMessageHandler(MessageHandler handler) { state_->handler = std::move(handler); }

void PanelWindow::ReleaseCapture() {
  if (state_->window == nullptr || DisplayLost()) return;
  gdk_seat_ungrab(gdk_display_get_default_seat(gtk_widget_get_display(state_->window)));
}

void PanelWindow::BringToFront() {
  if (state_->window != nullptr && !DisplayLost()) RaiseToplevel(state_->window, &state_->front_pending);
}

void PanelWindow::SetIcons(std::span<const uint8_t> rgba) {
  if (state_->window == nullptr || DisplayLost()) return;
  GdkPixbuf* big = ScaledIcon(rgba, 32);
  GdkPixbuf* small = ScaledIcon(rgba, 16);
  if (big == nullptr || small == nullptr) {
    gtk_window_set_icon_name(GTK_WINDOW(state_->window), kFallbackIconName);
  } else {
    GList* list = g_list_append(g_list_append(nullptr, big), small);
    gtk_window_set_icon_list(GTK_WINDOW(state_->window), list);
    g_list_free(list);
  }
  if (big != nullptr) g_object_unref(big);
  if (small != nullptr) g_object_unref(small);
}

bool PanelWindow::SetOwner(const InputWindow& owner) {
  GtkWidget* parent = GuiWindows::Of(owner);
  if (state_->window == nullptr || parent == nullptr || DisplayLost()) return false;
  gtk_window_set_transient_for(GTK_WINDOW(state_->window), GTK_WINDOW(parent));
  return gtk_window_get_transient_for(GTK_WINDOW(state_->window)) == GTK_WINDOW(parent);
}

GtkWidget* GuiWindows::Of(const PanelWindow& window) { return window.state_->window; }

GdkPixbuf* ScaledIcon(std::span<const uint8_t> rgba, int size) {
  constexpr int kSide = 256;
  if (rgba.size() != size_t{kSide} * kSide * 4) return nullptr;
  GdkPixbuf* source =
      gdk_pixbuf_new_from_data(rgba.data(), GDK_COLORSPACE_RGB, TRUE, 8, kSide, kSide, kSide * 4, nullptr, nullptr);
  if (source == nullptr) return nullptr;
  GdkPixbuf* scaled = gdk_pixbuf_scale_simple(source, size, size, GDK_INTERP_BILINEAR);
  g_object_unref(source);
  return scaled;
}

namespace {
ScreenRect g_test_work_area;
}  // namespace

ScreenRect WorkArea(const PanelWindow* near) {
  if (g_test_work_area.width > 0 && g_test_work_area.height > 0) return g_test_work_area;
  if (!GuiAvailable()) return {};
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = nullptr;
  if (near != nullptr && near->state_->window != nullptr) {
    if (GdkWindow* window = gtk_widget_get_window(near->state_->window)) {
      monitor = gdk_display_get_monitor_at_window(display, window);
    }
  }
  if (monitor == nullptr) monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) return {};
  GdkRectangle area{};
  gdk_monitor_get_workarea(monitor, &area);
  return {area.x, area.y, area.width, area.height};
}

void SetWorkAreaForTesting(const ScreenRect& area) { g_test_work_area = area; }

}  // namespace platform
