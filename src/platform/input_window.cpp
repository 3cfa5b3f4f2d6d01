#include "platform/input_window.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <string.h>

#include <cstdio>

#include "platform/gui.h"
#include "platform/gui_internal.h"
#include "platform/text_encoding.h"
#include "platform/text_rasterizer.h"

namespace platform {

struct TextEntry::State {
  GtkWidget* window = nullptr;
  GtkWidget* entry = nullptr;
  GtkCssProvider* css = nullptr;
  TextEntry* owner = nullptr;
  TextEntry::MessageHandler handler;
  bool composing = false;
  bool unlimited = false;  // SetText: the program's own text is not cut
  bool front_pending = false;
  int x = 0, y = 0, width = 300, height = 30;

  ~State() {
    if (window != nullptr && !DisplayLost()) gtk_widget_destroy(window);
    // On a lost display the widgets stay, but nothing may call back here.
    if (entry != nullptr && DisplayLost()) g_signal_handlers_disconnect_by_data(entry, this);
    if (css != nullptr) g_object_unref(css);
  }
};

size_t Utf16Units(const char* text, ssize_t bytes) {
  size_t units = 0;
  const char* end = bytes < 0 ? text + strlen(text) : text + bytes;
  for (const char* p = text; p < end; p = g_utf8_next_char(p)) units += g_utf8_get_char(p) > 0xFFFF ? 2 : 1;
  return units;
}

const char* CutInsertion(const char* text, ssize_t bytes, size_t have, size_t limit, const char** end) {
  *end = bytes < 0 ? text + strlen(text) : text + bytes;
  const size_t room = have >= limit ? 0 : limit - have;
  size_t units = 0;
  const char* cut = text;
  while (cut < *end) {
    const size_t next = g_utf8_get_char(cut) > 0xFFFF ? 2 : 1;
    if (units + next > room) break;
    units += next;
    cut = g_utf8_next_char(cut);
  }
  return cut;
}

namespace {

// The character offset of UTF-16 unit offset `units` (clamped).
gint CharOffset(const char* text, uint64_t units) {
  gint chars = 0;
  uint64_t seen = 0;
  for (const char* p = text; *p != '\0' && seen < units; p = g_utf8_next_char(p), ++chars) {
    seen += g_utf8_get_char(p) > 0xFFFF ? 2 : 1;
  }
  return chars;
}

intptr_t Send(TextEntry::State* state, WindowMessageType type, WindowKey key = WindowKey::kOther,
              TextEntry::KeyState keys = {}) {
  if (!state->handler) return 0;
  WindowMessage message;
  message.type = type;
  message.key = key;
  return state->handler(message, keys);
}

void InsertText(GtkEditable* editable, gchar* text, gint bytes, gint* position, gpointer data) {
  auto* state = static_cast<TextEntry::State*>(data);
  if (state->unlimited) return;
  const size_t limit = state->owner->UnitLimit();
  const char* end = nullptr;
  const char* cut = CutInsertion(text, bytes, Utf16Units(gtk_entry_get_text(GTK_ENTRY(editable)), -1), limit, &end);
  if (cut == end) return;
  g_signal_stop_emission_by_name(editable, "insert-text");
  if (cut == text) {
    gtk_widget_error_bell(GTK_WIDGET(editable));
    return;
  }
  g_signal_handlers_block_by_func(editable, reinterpret_cast<gpointer>(InsertText), data);
  gtk_editable_insert_text(editable, text, static_cast<gint>(cut - text), position);
  g_signal_handlers_unblock_by_func(editable, reinterpret_cast<gpointer>(InsertText), data);
}

void Changed(GtkEditable*, gpointer data) { Send(static_cast<TextEntry::State*>(data), WindowMessageType::kEditChanged); }

void PreeditChanged(GtkEntry*, gchar* preedit, gpointer data) {
  auto* state = static_cast<TextEntry::State*>(data);
  const bool composing = preedit != nullptr && preedit[0] != '\0';
  if (composing == state->composing) return;
  state->composing = composing;
  Send(state, composing ? WindowMessageType::kCompositionStart : WindowMessageType::kCompositionEnd);
}

WindowKey KeyOf(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
    case GDK_KEY_KP_Tab:
      return WindowKey::kTab;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      return WindowKey::kEnter;
    default:
      return WindowKey::kOther;
  }
}

gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer data) {
  auto* state = static_cast<TextEntry::State*>(data);
  TextEntry::KeyState keys;
  keys.composing_before = state->composing;
  if (gtk_entry_im_context_filter_keypress(GTK_ENTRY(widget), event)) return TRUE;
  keys.composing_after = state->composing;
  const WindowKey key = KeyOf(event->keyval);
  const bool swallow = Send(state, WindowMessageType::kKeyDown, key, keys) != 0;
  // A single-line entry makes no character of Tab (it would move the focus).
  return swallow || key == WindowKey::kTab;
}

std::string Hex(uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", rgb & 0xFFFFFF);
  return text;
}

}  // namespace

void TextEntry::SetMessageHandler(MessageHandler handler) { state_->handler = std::move(handler); }

bool TextEntry::IsAlive() const { return state_->entry != nullptr && !DisplayLost(); }

bool TextEntry::HasFocus() const {
  return IsAlive() && gtk_widget_has_focus(state_->entry) && gtk_window_is_active(GTK_WINDOW(state_->window));
}

std::u16string TextEntry::Text() const {
  if (!IsAlive()) return {};
  const char* text = gtk_entry_get_text(GTK_ENTRY(state_->entry));
  std::u16string wide;
  DecodeUtf8(text, strlen(text), &wide);
  return wide;
}

void TextEntry::SetSelection(uint64_t start, uint64_t end) {
  if (!IsAlive()) return;
  const char* text = gtk_entry_get_text(GTK_ENTRY(state_->entry));
  gtk_editable_select_region(GTK_EDITABLE(state_->entry), CharOffset(text, start), CharOffset(text, end));
}

void TextEntry::ReplaceSelection(const std::u16string& text) {
  if (!IsAlive()) return;
  GtkEditable* editable = GTK_EDITABLE(state_->entry);
  gtk_editable_delete_selection(editable);
  std::string utf8 = Utf16ToUtf8Lenient(text);
  gint position = gtk_editable_get_position(editable);
  gtk_editable_insert_text(editable, utf8.data(), static_cast<gint>(utf8.size()), &position);
  gtk_editable_set_position(editable, position);
  explicit_bzero(utf8.data(), utf8.size());
}

bool TextEntry::HasComposition() const { return state_->composing; }

void TextEntry::CancelComposition() {
  if (IsAlive()) gtk_entry_reset_im_context(GTK_ENTRY(state_->entry));
  // Some input methods commit the preedit on reset instead of dropping it.
  state_->composing = false;
}

void TextEntry::SetText(const std::u16string& text) {
  if (!IsAlive()) return;
  std::string utf8 = Utf16ToUtf8Lenient(text);
  state_->unlimited = true;
  gtk_entry_set_text(GTK_ENTRY(state_->entry), utf8.c_str());
  state_->unlimited = false;
  gtk_editable_set_position(GTK_EDITABLE(state_->entry), -1);
  explicit_bzero(utf8.data(), utf8.size());
}

void TextEntry::SetPassword(bool password) {
  if (!IsAlive()) return;
  GtkEntry* entry = GTK_ENTRY(state_->entry);
  gtk_entry_set_visibility(entry, password ? FALSE : TRUE);
  if (password) gtk_entry_set_invisible_char(entry, 0x25CF);
  gtk_entry_set_input_purpose(entry, password ? GTK_INPUT_PURPOSE_PASSWORD : GTK_INPUT_PURPOSE_FREE_FORM);
}

bool TextEntry::IsPassword() const { return IsAlive() && !gtk_entry_get_visibility(GTK_ENTRY(state_->entry)); }

void TextEntry::SetColours(uint32_t background_rgb, uint32_t text_rgb) {
  background_ = background_rgb;
  text_colour_ = text_rgb;
  ApplyCss();
}

void TextEntry::SetFontPixels(int pixels) {
  font_pixels_ = pixels;
  ApplyCss();
}

void TextEntry::ApplyCss() {
  if (!IsAlive()) return;
  const std::string css = "entry { background: " + Hex(background_) + "; color: " + Hex(text_colour_) +
                          "; caret-color: " + Hex(text_colour_) + "; font-family: " + kTextFamilies +
                          "; font-size: " + std::to_string(font_pixels_ > 0 ? font_pixels_ : 12) +
                          "px; min-height: 0; padding: 0 4px; border: 1px solid #8a8a8a; border-radius: 0;"
                          " box-shadow: none; }";
  gtk_css_provider_load_from_data(state_->css, css.c_str(), -1, nullptr);
}

void TextEntry::SetSize(int width, int height) {
  if (IsAlive()) gtk_widget_set_size_request(state_->entry, width, height);
}

void TextEntry::Focus() {
  if (!IsAlive()) return;
  // GTK selects the whole text when an entry takes the focus; typing would
  // then replace it. The caret stays where it was.
  GtkEditable* editable = GTK_EDITABLE(state_->entry);
  const gint position = gtk_editable_get_position(editable);
  gtk_widget_grab_focus(state_->entry);
  gtk_editable_set_position(editable, position);
}

void TextEntry::Unfocus() {
  if (IsAlive()) gtk_window_set_focus(GTK_WINDOW(state_->window), nullptr);
}

InputWindow::InputWindow(std::unique_ptr<TextEntry::State> state)
    : state_(std::move(state)), entry_(new TextEntry(state_.get())) {
  state_->owner = entry_.get();
}

InputWindow::~InputWindow() = default;

std::unique_ptr<InputWindow> InputWindow::Create(const PanelWindow& owner) {
  GtkWidget* parent = GuiWindows::Of(owner);
  if (!GuiAvailable() || parent == nullptr) return nullptr;
  auto state = std::make_unique<TextEntry::State>();
  GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  state->window = widget;
  GtkWindow* window = GTK_WINDOW(widget);
  gtk_window_set_title(window, "Quorix Input");
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_window_set_wmclass(window, "QuorixUnifiedInput3", "Quorix");
  G_GNUC_END_IGNORE_DEPRECATIONS
  gtk_window_set_decorated(window, FALSE);
  gtk_window_set_keep_above(window, TRUE);
  gtk_window_set_skip_taskbar_hint(window, TRUE);
  gtk_window_set_skip_pager_hint(window, TRUE);
  gtk_window_set_focus_on_map(window, FALSE);
  gtk_window_set_transient_for(window, GTK_WINDOW(parent));
  gtk_window_set_default_size(window, 300, 30);
  // WM_CLOSE is ignored: the window stays until the desktop window goes.
  g_signal_connect(widget, "delete-event", G_CALLBACK(gtk_true), nullptr);
  state->entry = gtk_entry_new();
  gtk_entry_set_has_frame(GTK_ENTRY(state->entry), FALSE);
  gtk_entry_set_width_chars(GTK_ENTRY(state->entry), 1);
  state->css = gtk_css_provider_new();
  gtk_style_context_add_provider(gtk_widget_get_style_context(state->entry), GTK_STYLE_PROVIDER(state->css),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  gtk_container_add(GTK_CONTAINER(widget), state->entry);
  g_signal_connect(state->entry, "insert-text", G_CALLBACK(InsertText), state.get());
  g_signal_connect(state->entry, "changed", G_CALLBACK(Changed), state.get());
  g_signal_connect(state->entry, "preedit-changed", G_CALLBACK(PreeditChanged), state.get());
  g_signal_connect(state->entry, "key-press-event", G_CALLBACK(OnKeyPress), state.get());
  gtk_widget_show(state->entry);
  gtk_widget_realize(widget);
  auto input = std::unique_ptr<InputWindow>(new InputWindow(std::move(state)));
  input->entry_->ApplyCss();
  return input;
}

bool InputWindow::IsVisible() const { return !DisplayLost() && gtk_widget_get_visible(state_->window); }

void InputWindow::SetShown(bool shown) {
  if (!DisplayLost()) ShowToplevel(state_->window, shown, state_->x, state_->y, &state_->front_pending);
}

void InputWindow::MoveResize(int x, int y, int width, int height) {
  state_->x = x;
  state_->y = y;
  state_->width = width;
  state_->height = height;
  if (DisplayLost()) return;
  gtk_window_move(GTK_WINDOW(state_->window), x, y);
  gtk_window_resize(GTK_WINDOW(state_->window), width, height);
}

int InputWindow::x() const { return state_->x; }
int InputWindow::y() const { return state_->y; }
int InputWindow::width() const { return state_->width; }
int InputWindow::height() const { return state_->height; }

void InputWindow::BringToFront() {
  if (!DisplayLost()) RaiseToplevel(state_->window, &state_->front_pending);
}

unsigned long InputWindow::XWindowId() const {
  GdkWindow* window = DisplayLost() ? nullptr : gtk_widget_get_window(state_->window);
  return window != nullptr ? gdk_x11_window_get_xid(window) : 0;
}

unsigned long InputWindow::OwnerXWindowId() const {
  if (DisplayLost()) return 0;
  GtkWindow* parent = gtk_window_get_transient_for(GTK_WINDOW(state_->window));
  GdkWindow* window = parent != nullptr ? gtk_widget_get_window(GTK_WIDGET(parent)) : nullptr;
  return window != nullptr ? gdk_x11_window_get_xid(window) : 0;
}

GtkWidget* GuiWindows::Of(const InputWindow& window) { return window.state_->window; }

}  // namespace platform
