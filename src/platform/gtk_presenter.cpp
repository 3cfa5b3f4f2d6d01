#include "platform/gtk_presenter.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/gui.h"
#include "platform/gui_internal.h"
#include "platform/text_encoding.h"
#include "platform/ui_window.h"

namespace platform {
namespace {

namespace ui = platform::ui;

// One presented top-level record and the widgets of its children.
struct Presented {
  GtkWidget* window = nullptr;
  GtkWidget* fixed = nullptr;
  std::map<WindowHandle, GtkWidget*> outer;  // what sits in `fixed`
  std::map<WindowHandle, GtkWidget*> inner;  // the label or button
};

// Callback data: the record a signal speaks for.
struct Binding {
  WindowHandle window = kNoWindow;
  WindowHandle parent = kNoWindow;
  uint32_t id = 0;
};

std::string Utf8(const std::u16string& text) { return Utf16ToUtf8Lenient(text); }

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  const auto* binding = static_cast<const Binding*>(data);
  ui::SendMessage(binding->window, ui::kWmClose, 0, 0);
  return TRUE;  // the record decides; its destruction removes the window
}

void OnClicked(GtkButton*, gpointer data) {
  const auto* binding = static_cast<const Binding*>(data);
  const uintptr_t wparam = (static_cast<uintptr_t>(ui::kBnClicked) << 16) | (binding->id & 0xFFFF);
  ui::SendMessage(binding->parent, ui::kWmCommand, wparam, static_cast<intptr_t>(binding->window));
}

gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  const auto* binding = static_cast<const Binding*>(data);
  ui::PaintTarget target{cr, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget)};
  ui::SendMessage(binding->window, ui::kWmPaint, 0, reinterpret_cast<intptr_t>(&target));
  return FALSE;
}

void FreeBinding(gpointer data, GClosure*) { delete static_cast<Binding*>(data); }

uint32_t UnitLimit(WindowHandle window) {
  ui::WindowInfo info;
  if (!ui::GetWindowInfo(window, &info) || info.text_limit == 0) return 30000;  // Windows' default limit
  return info.text_limit;
}

// The user's typing and pasting are cut at the record's limit, in UTF-16
// units; the program's own text is set with this handler blocked.
void OnEntryInsert(GtkEditable* editable, gchar* text, gint bytes, gint* position, gpointer data) {
  const auto* binding = static_cast<const Binding*>(data);
  const size_t limit = UnitLimit(binding->window);
  const char* end = nullptr;
  const char* cut = CutInsertion(text, bytes, Utf16Units(gtk_entry_get_text(GTK_ENTRY(editable)), -1), limit, &end);
  if (cut == end) return;
  g_signal_stop_emission_by_name(editable, "insert-text");
  if (cut == text) return;
  g_signal_handlers_block_by_func(editable, reinterpret_cast<gpointer>(OnEntryInsert), data);
  gtk_editable_insert_text(editable, text, static_cast<gint>(cut - text), position);
  g_signal_handlers_unblock_by_func(editable, reinterpret_cast<gpointer>(OnEntryInsert), data);
}

void OnBufferInsert(GtkTextBuffer* buffer, GtkTextIter* where, gchar* text, gint bytes, gpointer data) {
  const auto* binding = static_cast<const Binding*>(data);
  const size_t limit = UnitLimit(binding->window);
  GtkTextIter start;
  GtkTextIter stop;
  gtk_text_buffer_get_bounds(buffer, &start, &stop);
  gchar* all = gtk_text_buffer_get_text(buffer, &start, &stop, FALSE);
  const size_t have = Utf16Units(all, -1);
  g_free(all);
  const char* end = nullptr;
  const char* cut = CutInsertion(text, bytes, have, limit, &end);
  if (cut == end) return;
  g_signal_stop_emission_by_name(buffer, "insert-text");
  if (cut == text) return;
  g_signal_handlers_block_by_func(buffer, reinterpret_cast<gpointer>(OnBufferInsert), data);
  gtk_text_buffer_insert(buffer, where, text, static_cast<gint>(cut - text));
  g_signal_handlers_unblock_by_func(buffer, reinterpret_cast<gpointer>(OnBufferInsert), data);
}

// Every change the user makes goes into the record at once.
void TakeUserText(WindowHandle window, const char* utf8, bool multiline) {
  std::u16string text;
  if (!DecodeUtf8(utf8, strlen(utf8), &text)) return;
  if (multiline) {  // the record keeps Windows' line breaks
    std::u16string crlf;
    for (const char16_t c : text) c == u'\n' ? (void)crlf.append(u"\r\n") : crlf.push_back(c);
    std::fill(text.begin(), text.end(), u'\0');
    text.swap(crlf);
  }
  ui::SetTextFromUser(window, text);
  std::fill(text.begin(), text.end(), u'\0');
}

void OnEntryChanged(GtkEditable* editable, gpointer data) {
  TakeUserText(static_cast<const Binding*>(data)->window, gtk_entry_get_text(GTK_ENTRY(editable)), false);
}

void OnBufferChanged(GtkTextBuffer* buffer, gpointer data) {
  GtkTextIter start;
  GtkTextIter stop;
  gtk_text_buffer_get_bounds(buffer, &start, &stop);
  gchar* all = gtk_text_buffer_get_text(buffer, &start, &stop, FALSE);
  TakeUserText(static_cast<const Binding*>(data)->window, all, true);
  g_free(all);
}

// The program's text, shown without being cut and without coming back as a
// user change; "\r\n" shows as one line break.
void ShowProgramText(GtkWidget* widget, const std::u16string& record_text) {
  if (GTK_IS_ENTRY(widget)) {
    g_signal_handlers_block_matched(widget, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                    reinterpret_cast<gpointer>(OnEntryInsert), nullptr);
    g_signal_handlers_block_matched(widget, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                    reinterpret_cast<gpointer>(OnEntryChanged), nullptr);
    gtk_entry_set_text(GTK_ENTRY(widget), Utf8(record_text).c_str());
    g_signal_handlers_unblock_matched(widget, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                      reinterpret_cast<gpointer>(OnEntryChanged), nullptr);
    g_signal_handlers_unblock_matched(widget, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                      reinterpret_cast<gpointer>(OnEntryInsert), nullptr);
    return;
  }
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(widget));
  std::u16string shown;
  for (size_t i = 0; i < record_text.size(); ++i) {
    if (record_text[i] == u'\r' && i + 1 < record_text.size() && record_text[i + 1] == u'\n') continue;
    shown.push_back(record_text[i]);
  }
  const std::string utf8 = Utf8(shown);
  for (gpointer handler : {reinterpret_cast<gpointer>(OnBufferInsert), reinterpret_cast<gpointer>(OnBufferChanged)}) {
    g_signal_handlers_block_matched(buffer, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr, handler, nullptr);
  }
  gtk_text_buffer_set_text(buffer, utf8.c_str(), static_cast<gint>(utf8.size()));
  for (gpointer handler : {reinterpret_cast<gpointer>(OnBufferInsert), reinterpret_cast<gpointer>(OnBufferChanged)}) {
    g_signal_handlers_unblock_matched(buffer, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr, handler, nullptr);
  }
}

// The owner-drawn list's cell: its height comes from WM_MEASUREITEM and its
// drawing from WM_DRAWITEM, both sent to the list's parent.
struct RowRenderer {
  GtkCellRenderer parent_instance;
  WindowHandle list;
  WindowHandle owner;
  uint32_t id;
  int32_t index;
};
struct RowRendererClass {
  GtkCellRendererClass parent_class;
};
G_DEFINE_TYPE(RowRenderer, row_renderer, GTK_TYPE_CELL_RENDERER)

void RowRendererRender(GtkCellRenderer* cell, cairo_t* cr, GtkWidget* widget, const GdkRectangle*,
                       const GdkRectangle* area, GtkCellRendererState flags) {
  auto* row = reinterpret_cast<RowRenderer*>(cell);
  ui::DrawItem item;
  item.index = row->index;
  item.selected = (flags & (GTK_CELL_RENDERER_SELECTED | GTK_CELL_RENDERER_PRELIT)) != 0;
  item.focused = (flags & GTK_CELL_RENDERER_FOCUSED) != 0;
  item.rect = ui::Rect{area->x, area->y, area->x + area->width, area->y + area->height};
  item.target = ui::PaintTarget{cr, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget),
                                gtk_widget_get_style_context(widget), nullptr};
  ui::SendMessage(row->owner, ui::kWmDrawItem, row->id, reinterpret_cast<intptr_t>(&item));
}

void RowRendererHeight(GtkCellRenderer* cell, GtkWidget*, gint* minimum, gint* natural) {
  auto* row = reinterpret_cast<RowRenderer*>(cell);
  uint32_t height = 0;
  ui::SendMessage(row->owner, ui::kWmMeasureItem, row->id, reinterpret_cast<intptr_t>(&height));
  if (minimum != nullptr) *minimum = static_cast<gint>(height);
  if (natural != nullptr) *natural = static_cast<gint>(height);
}

void RowRendererWidth(GtkCellRenderer*, GtkWidget*, gint* minimum, gint* natural) {
  if (minimum != nullptr) *minimum = 40;
  if (natural != nullptr) *natural = 40;
}

void row_renderer_init(RowRenderer* row) {
  row->list = kNoWindow;
  row->owner = kNoWindow;
  row->id = 0;
  row->index = -1;
}

void row_renderer_class_init(RowRendererClass* klass) {
  GtkCellRendererClass* cell = GTK_CELL_RENDERER_CLASS(klass);
  cell->render = RowRendererRender;
  cell->get_preferred_height = RowRendererHeight;
  cell->get_preferred_width = RowRendererWidth;
}

// The row index the renderer draws: the model row's place.
void SetRowIndex(GtkCellLayout*, GtkCellRenderer* cell, GtkTreeModel* model, GtkTreeIter* iter, gpointer) {
  GtkTreePath* path = gtk_tree_model_get_path(model, iter);
  const gint* indices = path != nullptr ? gtk_tree_path_get_indices(path) : nullptr;
  reinterpret_cast<RowRenderer*>(cell)->index = indices != nullptr ? indices[0] : -1;
  if (path != nullptr) gtk_tree_path_free(path);
}

void SendListCommand(const Binding* binding, uint32_t code) {
  const uintptr_t wparam = (static_cast<uintptr_t>(code) << 16) | (binding->id & 0xFFFF);
  ui::SendMessage(binding->parent, ui::kWmCommand, wparam, static_cast<intptr_t>(binding->window));
}

// A user's choice: the record's selection first, then CBN_SELCHANGE. The
// program's own changes are made with this handler blocked.
void OnComboChanged(GtkComboBox* combo, gpointer data) {
  const auto* binding = static_cast<const Binding*>(data);
  ui::SelectFromUser(binding->window, gtk_combo_box_get_active(combo));
  SendListCommand(binding, ui::kCbnSelChange);
}

void OnPopupShown(GObject* combo, GParamSpec*, gpointer data) {
  gboolean shown = FALSE;
  g_object_get(combo, "popup-shown", &shown, nullptr);
  SendListCommand(static_cast<const Binding*>(data), shown ? ui::kCbnDropDown : ui::kCbnCloseUp);
}

// The record's rows and selection, set without any notification.
void ShowRows(GtkWidget* combo, WindowHandle window) {
  ui::WindowInfo info;
  if (!ui::GetWindowInfo(window, &info)) return;
  g_signal_handlers_block_matched(combo, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                  reinterpret_cast<gpointer>(OnComboChanged), nullptr);
  GtkListStore* store = GTK_LIST_STORE(gtk_combo_box_get_model(GTK_COMBO_BOX(combo)));
  gtk_list_store_clear(store);
  for (const std::u16string& row : info.rows) {
    gtk_list_store_insert_with_values(store, nullptr, -1, 0, Utf8(row).c_str(), -1);
  }
  gtk_combo_box_set_active(GTK_COMBO_BOX(combo), info.selection);
  g_signal_handlers_unblock_matched(combo, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                    reinterpret_cast<gpointer>(OnComboChanged), nullptr);
}

class GtkPresenter final : public ui::WindowPresenter {
 public:
  ~GtkPresenter() override {
    for (auto& [handle, presented] : windows_) gtk_widget_destroy(presented.window);
  }

  void Shown(WindowHandle window, bool shown) override {
    ui::WindowInfo info;
    if (!ui::GetWindowInfo(window, &info)) return;
    if ((info.style & ui::kWsChild) != 0) {
      if (GtkWidget* widget = ChildWidget(window, /*outer=*/true)) gtk_widget_set_visible(widget, shown);
      return;
    }
    auto found = windows_.find(window);
    if (!shown) {
      if (found != windows_.end()) gtk_widget_hide(found->second.window);
      return;
    }
    if (found == windows_.end()) found = windows_.emplace(window, Present(window, info)).first;
    gtk_widget_show_all(found->second.window);
    for (const auto& [child, widget] : found->second.outer) {
      if (!ui::IsWindowVisible(child)) gtk_widget_hide(widget);
    }
  }

  void TextChanged(WindowHandle window) override {
    const std::string text = Utf8(ui::GetWindowText(window));
    if (auto found = windows_.find(window); found != windows_.end()) {
      gtk_window_set_title(GTK_WINDOW(found->second.window), text.c_str());
      return;
    }
    GtkWidget* widget = ChildWidget(window, /*outer=*/false);
    if (widget == nullptr) return;
    if (GTK_IS_LABEL(widget)) gtk_label_set_text(GTK_LABEL(widget), text.c_str());
    if (GTK_IS_BUTTON(widget)) gtk_button_set_label(GTK_BUTTON(widget), text.c_str());
    if (GTK_IS_ENTRY(widget) || GTK_IS_TEXT_VIEW(widget)) ShowProgramText(widget, ui::GetWindowText(window));
  }

  void EnabledChanged(WindowHandle window) override {
    GtkWidget* widget = ChildWidget(window, /*outer=*/true);
    if (auto found = windows_.find(window); found != windows_.end()) widget = found->second.window;
    if (widget != nullptr) gtk_widget_set_sensitive(widget, ui::IsWindowEnabled(window));
  }

  void Destroying(WindowHandle window) override {
    if (auto found = windows_.find(window); found != windows_.end()) {
      gtk_widget_destroy(found->second.window);
      windows_.erase(found);
      return;
    }
    for (auto& [handle, presented] : windows_) {
      auto outer = presented.outer.find(window);
      if (outer == presented.outer.end()) continue;
      gtk_widget_destroy(outer->second);
      presented.outer.erase(outer);
      presented.inner.erase(window);
      return;
    }
  }

  void RowsChanged(WindowHandle window) override {
    GtkWidget* widget = ChildWidget(window, /*outer=*/false);
    if (widget != nullptr && GTK_IS_COMBO_BOX(widget)) ShowRows(widget, window);
  }

  void Invalidated(WindowHandle window) override {
    if (GtkWidget* widget = ChildWidget(window, /*outer=*/true)) gtk_widget_queue_draw(widget);
  }

  void FocusChanged(WindowHandle window) override {
    if (auto found = windows_.find(window); found != windows_.end()) ShowFocus(found->second, window);
  }

  unsigned long XWindow(WindowHandle window) const {
    auto found = windows_.find(window);
    if (found == windows_.end()) return 0;
    GdkWindow* gdk_window = gtk_widget_get_window(found->second.window);
    return gdk_window != nullptr ? GDK_WINDOW_XID(gdk_window) : 0;
  }

 private:
  GtkWidget* ChildWidget(WindowHandle child, bool outer) {
    for (auto& [handle, presented] : windows_) {
      auto& map = outer ? presented.outer : presented.inner;
      if (auto found = map.find(child); found != map.end()) return found->second;
    }
    return nullptr;
  }

  // The record's focused child becomes the GTK window's focus widget; a
  // window that accepts no focus still takes none.
  static void ShowFocus(const Presented& presented, WindowHandle window) {
    auto inner = presented.inner.find(ui::GetFocusedChild(window));
    if (inner != presented.inner.end()) gtk_window_set_focus(GTK_WINDOW(presented.window), inner->second);
  }

  template <typename Handler>
  static void Connect(gpointer widget, const char* signal, Handler handler, Binding binding) {
    g_signal_connect_data(widget, signal, G_CALLBACK(handler), new Binding(binding), FreeBinding,
                          static_cast<GConnectFlags>(0));
  }

  static Presented Present(WindowHandle window, const ui::WindowInfo& info) {
    Presented presented;
    GtkWidget* top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* gtk_window = GTK_WINDOW(top);
    presented.window = top;
    gtk_window_set_title(gtk_window, Utf8(ui::GetWindowText(window)).c_str());
    gtk_window_set_decorated(gtk_window, (info.style & ui::kWsCaption) == ui::kWsCaption);
    gtk_window_set_deletable(gtk_window, (info.style & ui::kWsSysMenu) != 0);
    gtk_window_set_resizable(gtk_window, FALSE);
    if ((info.ex_style & ui::kWsExTopmost) != 0) gtk_window_set_keep_above(gtk_window, TRUE);
    if ((info.ex_style & ui::kWsExToolWindow) != 0) {
      gtk_window_set_skip_taskbar_hint(gtk_window, TRUE);
      gtk_window_set_skip_pager_hint(gtk_window, TRUE);
      gtk_window_set_type_hint(gtk_window, GDK_WINDOW_TYPE_HINT_UTILITY);
    }
    if ((info.ex_style & ui::kWsExNoActivate) != 0) {
      gtk_window_set_accept_focus(gtk_window, FALSE);
      gtk_window_set_focus_on_map(gtk_window, FALSE);
    }
    if (info.x != ui::kCwUseDefault && info.y != ui::kCwUseDefault) gtk_window_move(gtk_window, info.x, info.y);
    Connect(top, "delete-event", OnDelete, Binding{window, kNoWindow, 0});

    presented.fixed = gtk_fixed_new();
    gtk_widget_set_size_request(presented.fixed, info.width, info.height);
    gtk_container_add(GTK_CONTAINER(top), presented.fixed);
    // The procedure's own drawing, under the children.
    GtkWidget* canvas = gtk_drawing_area_new();
    gtk_widget_set_size_request(canvas, info.width, info.height);
    gtk_fixed_put(GTK_FIXED(presented.fixed), canvas, 0, 0);
    Connect(canvas, "draw", OnDraw, Binding{window, kNoWindow, 0});

    for (WindowHandle child : ui::ChildWindows(window)) {
      ui::WindowInfo child_info;
      if (!ui::GetWindowInfo(child, &child_info)) continue;
      const std::string text = Utf8(ui::GetWindowText(child));
      GtkWidget* inner = nullptr;
      GtkWidget* outer = nullptr;
      if (child_info.class_name == u"STATIC") {
        // Plain text, never markup or mnemonics; wrapped, and clipped to the
        // control's rectangle by a scroller that shows no bars.
        inner = gtk_label_new(nullptr);
        gtk_label_set_text(GTK_LABEL(inner), text.c_str());
        gtk_label_set_use_markup(GTK_LABEL(inner), FALSE);
        gtk_label_set_use_underline(GTK_LABEL(inner), FALSE);
        gtk_label_set_line_wrap(GTK_LABEL(inner), TRUE);
        gtk_label_set_line_wrap_mode(GTK_LABEL(inner), PANGO_WRAP_WORD_CHAR);
        gtk_label_set_xalign(GTK_LABEL(inner), 0);
        gtk_label_set_yalign(GTK_LABEL(inner), 0);
        outer = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(outer), GTK_POLICY_EXTERNAL, GTK_POLICY_EXTERNAL);
        gtk_container_add(GTK_CONTAINER(outer), inner);
      } else if (child_info.class_name == u"BUTTON") {
        inner = gtk_button_new_with_label(text.c_str());
        gtk_button_set_use_underline(GTK_BUTTON(inner), FALSE);
        gtk_widget_set_focus_on_click(inner, FALSE);
        outer = inner;
        Connect(inner, "clicked", OnClicked, Binding{child, window, child_info.id});
      } else if (child_info.class_name == u"EDIT" && (child_info.style & ui::kEsMultiline) == 0) {
        inner = gtk_entry_new();
        if ((child_info.style & ui::kEsPassword) != 0) {
          gtk_entry_set_visibility(GTK_ENTRY(inner), FALSE);
          gtk_entry_set_invisible_char(GTK_ENTRY(inner), 0x25CF);
        }
        gtk_editable_set_editable(GTK_EDITABLE(inner), (child_info.style & ui::kEsReadOnly) == 0);
        outer = inner;
        Connect(inner, "insert-text", OnEntryInsert, Binding{child, window, child_info.id});
        Connect(inner, "changed", OnEntryChanged, Binding{child, window, child_info.id});
        ShowProgramText(inner, ui::GetWindowText(child));
      } else if (child_info.class_name == u"EDIT") {
        inner = gtk_text_view_new();
        gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(inner), GTK_WRAP_WORD_CHAR);
        const bool read_only = (child_info.style & ui::kEsReadOnly) != 0;
        gtk_text_view_set_editable(GTK_TEXT_VIEW(inner), !read_only);
        gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(inner), !read_only);
        GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(inner));
        Connect(buffer, "insert-text", OnBufferInsert, Binding{child, window, child_info.id});
        Connect(buffer, "changed", OnBufferChanged, Binding{child, window, child_info.id});
        ShowProgramText(inner, ui::GetWindowText(child));
        outer = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(outer), GTK_POLICY_NEVER,
                                       (child_info.style & ui::kWsVScroll) != 0 ? GTK_POLICY_AUTOMATIC
                                                                                : GTK_POLICY_EXTERNAL);
        gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(outer), GTK_SHADOW_IN);
        gtk_container_add(GTK_CONTAINER(outer), inner);
      } else if (child_info.class_name == u"COMBOBOX") {
        GtkListStore* store = gtk_list_store_new(1, G_TYPE_STRING);
        inner = gtk_combo_box_new_with_model(GTK_TREE_MODEL(store));
        g_object_unref(store);
        GtkCellLayout* layout = GTK_CELL_LAYOUT(inner);
        if ((child_info.style & ui::kCbsOwnerDrawFixed) != 0) {
          auto* row = static_cast<RowRenderer*>(g_object_new(row_renderer_get_type(), nullptr));
          row->list = child;
          row->owner = window;
          row->id = child_info.id;
          gtk_cell_layout_pack_start(layout, GTK_CELL_RENDERER(row), TRUE);
          gtk_cell_layout_set_cell_data_func(layout, GTK_CELL_RENDERER(row), SetRowIndex, nullptr, nullptr);
        } else {
          GtkCellRenderer* text_cell = gtk_cell_renderer_text_new();
          gtk_cell_layout_pack_start(layout, text_cell, TRUE);
          gtk_cell_layout_add_attribute(layout, text_cell, "text", 0);
        }
        ShowRows(inner, child);
        Connect(inner, "changed", OnComboChanged, Binding{child, window, child_info.id});
        Connect(inner, "notify::popup-shown", OnPopupShown, Binding{child, window, child_info.id});
        outer = inner;
        // The drop-down height is left to GTK: the record's height is the closed field's.
        child_info.height = std::min(child_info.height, 30);
      } else {
        continue;
      }
      gtk_widget_set_size_request(outer, child_info.width, child_info.height);
      gtk_widget_set_sensitive(outer, (child_info.style & ui::kWsDisabled) == 0);
      gtk_fixed_put(GTK_FIXED(presented.fixed), outer, child_info.x, child_info.y);
      presented.outer[child] = outer;
      presented.inner[child] = inner;
    }
    ShowFocus(presented, window);
    return presented;
  }

  std::map<WindowHandle, Presented> windows_;
};

std::unique_ptr<GtkPresenter>& Instance() {
  static std::unique_ptr<GtkPresenter> presenter;
  return presenter;
}

}  // namespace

bool StartWindowPresenter() {
  if (Instance() != nullptr) return true;
  if (!StartGui() || DisplayLost()) return false;
  Instance() = std::make_unique<GtkPresenter>();
  ui::SetWindowPresenter(Instance().get());
  return true;
}

void StopWindowPresenter() {
  if (Instance() == nullptr) return;
  ui::SetWindowPresenter(nullptr);
  Instance().reset();
}

unsigned long PresentedXWindow(WindowHandle window) {
  return Instance() != nullptr ? Instance()->XWindow(window) : 0;
}

namespace ui {

bool DrawPixels(const PaintTarget& target, int32_t x, int32_t y, int32_t width, int32_t height,
                const uint8_t* pixels) {
  if (pixels == nullptr || width <= 0 || height <= 0) return false;
  if (target.recorder != nullptr) {
    const uint8_t* centre = pixels + (static_cast<size_t>(height / 2) * static_cast<size_t>(width) + width / 2) * 4;
    target.recorder->calls.push_back({PaintCall::kPixels, Rect{x, y, x + width, y + height},
                                      static_cast<uint32_t>(centre[2] | (centre[1] << 8) | (centre[0] << 16)), {}});
    return true;
  }
  if (target.surface == nullptr) return false;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return false;
  }
  cairo_surface_flush(surface);
  uint8_t* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  // B, G, R, X in memory is Cairo's RGB24 on a little-endian machine.
  for (int32_t row = 0; row < height; ++row) {
    std::memcpy(data + static_cast<size_t>(row) * static_cast<size_t>(stride),
                pixels + static_cast<size_t>(row) * static_cast<size_t>(width) * 4, static_cast<size_t>(width) * 4);
  }
  cairo_surface_mark_dirty(surface);
  auto* cr = static_cast<cairo_t*>(target.surface);
  cairo_save(cr);
  cairo_set_source_surface(cr, surface, x, y);
  cairo_rectangle(cr, x, y, width, height);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_surface_destroy(surface);
  return true;
}

}  // namespace ui
}  // namespace platform
