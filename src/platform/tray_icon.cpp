#include "platform/tray_icon.h"

#include <gtk/gtk.h>

#include "platform/gui.h"
#include "platform/gui_internal.h"

namespace platform {

// GtkStatusIcon is deprecated in GTK 3 but is the one facility that speaks
// the XEmbed tray protocol; this file alone uses it.
G_GNUC_BEGIN_IGNORE_DEPRECATIONS

struct TrayIcon::State {
  GtkStatusIcon* icon = nullptr;
  std::function<void()> on_left;
  std::function<void()> on_right;

  ~State() {
    if (icon == nullptr) return;
    if (!DisplayLost()) gtk_status_icon_set_visible(icon, FALSE);
    g_signal_handlers_disconnect_by_data(icon, this);
    if (!DisplayLost()) g_object_unref(icon);
  }
};

namespace {

void Activate(GtkStatusIcon*, gpointer data) {
  auto* state = static_cast<TrayIcon::State*>(data);
  if (state->on_left) state->on_left();
}

void PopupMenu(GtkStatusIcon*, guint, guint, gpointer data) {
  auto* state = static_cast<TrayIcon::State*>(data);
  if (state->on_right) state->on_right();
}

struct OpenMenu {
  GtkWidget* menu = nullptr;  // the last menu, kept until the next replaces it
  bool shown = false;
  std::vector<MenuItem> items;
};

OpenMenu& CurrentMenu() {
  static OpenMenu menu;
  return menu;
}

void ItemActivated(GtkMenuItem*, gpointer data) {
  const size_t index = GPOINTER_TO_SIZE(data);
  OpenMenu& menu = CurrentMenu();
  if (index < menu.items.size() && menu.items[index].action) {
    // The action may open another menu, which replaces this one's items.
    const std::function<void()> action = menu.items[index].action;
    action();
  }
}

void MenuHidden(GtkWidget* widget, gpointer) {
  OpenMenu& menu = CurrentMenu();
  if (menu.menu == widget) menu.shown = false;
}

}  // namespace

TrayIcon::TrayIcon(std::unique_ptr<State> state) : state_(std::move(state)) {}

TrayIcon::~TrayIcon() = default;

std::unique_ptr<TrayIcon> TrayIcon::Create(std::span<const uint8_t> rgba, const std::string& tooltip,
                                           std::function<void()> on_left, std::function<void()> on_right) {
  if (!GuiAvailable()) return nullptr;
  auto state = std::make_unique<State>();
  state->on_left = std::move(on_left);
  state->on_right = std::move(on_right);
  GdkPixbuf* small = ScaledIcon(rgba, 16);
  state->icon = small != nullptr ? gtk_status_icon_new_from_pixbuf(small)
                                 : gtk_status_icon_new_from_icon_name(kFallbackIconName);
  if (small != nullptr) g_object_unref(small);
  gtk_status_icon_set_title(state->icon, "Quorix");
  gtk_status_icon_set_tooltip_text(state->icon, tooltip.c_str());
  g_signal_connect(state->icon, "activate", G_CALLBACK(Activate), state.get());
  g_signal_connect(state->icon, "popup-menu", G_CALLBACK(PopupMenu), state.get());
  gtk_status_icon_set_visible(state->icon, TRUE);
  return std::unique_ptr<TrayIcon>(new TrayIcon(std::move(state)));
}

bool TrayIcon::IsEmbedded() const { return !DisplayLost() && gtk_status_icon_is_embedded(state_->icon); }

G_GNUC_END_IGNORE_DEPRECATIONS

void ShowPopupMenu(std::vector<MenuItem> items) {
  if (!GuiAvailable()) return;
  OpenMenu& open = CurrentMenu();
  if (open.menu != nullptr) {
    GtkWidget* old = open.menu;
    open.menu = nullptr;
    open.shown = false;
    gtk_widget_destroy(old);
  }
  open.items = std::move(items);
  GtkWidget* menu = gtk_menu_new();
  for (size_t i = 0; i < open.items.size(); ++i) {
    GtkWidget* item = gtk_menu_item_new_with_label(open.items[i].label.c_str());
    g_signal_connect(item, "activate", G_CALLBACK(ItemActivated), GSIZE_TO_POINTER(i));
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
  g_signal_connect(menu, "hide", G_CALLBACK(MenuHidden), nullptr);
  gtk_widget_show_all(menu);
  open.menu = menu;
  open.shown = true;
  gtk_menu_popup_at_pointer(GTK_MENU(menu), nullptr);
}

bool PopupMenuOpen() { return GuiAvailable() && CurrentMenu().shown; }

}  // namespace platform
