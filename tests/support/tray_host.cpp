#include "tray_host.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <gtk/gtkx.h>

#include <vector>

namespace quorix_test {

struct TrayHost::State {
  GtkWidget* manager = nullptr;  // owns the selection, receives the requests
  GtkWidget* holder = nullptr;   // the sockets' window
  GtkWidget* box = nullptr;
  Atom opcode = 0;
  int docked = 0;
};

namespace {

constexpr long kRequestDock = 0;

GdkFilterReturn Filter(GdkXEvent* native, GdkEvent*, gpointer data) {
  auto* state = static_cast<TrayHost::State*>(data);
  const XEvent* event = static_cast<const XEvent*>(native);
  if (event->type != ClientMessage || event->xclient.message_type != state->opcode ||
      event->xclient.data.l[1] != kRequestDock) {
    return GDK_FILTER_CONTINUE;
  }
  GtkWidget* socket = gtk_socket_new();
  gtk_widget_set_size_request(socket, 24, 24);
  gtk_box_pack_start(GTK_BOX(state->box), socket, FALSE, FALSE, 0);
  gtk_widget_show(socket);
  gtk_socket_add_id(GTK_SOCKET(socket), static_cast<::Window>(event->xclient.data.l[2]));
  ++state->docked;
  return GDK_FILTER_REMOVE;
}

}  // namespace

TrayHost::TrayHost() : state_(std::make_unique<State>()) {
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return;
  Display* x = gdk_x11_display_get_xdisplay(display);
  state_->holder = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_move(GTK_WINDOW(state_->holder), 0, 1000);
  state_->box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
  gtk_container_add(GTK_CONTAINER(state_->holder), state_->box);
  gtk_widget_show_all(state_->holder);
  state_->manager = gtk_invisible_new();
  gtk_widget_realize(state_->manager);
  const ::Window window = gdk_x11_window_get_xid(gtk_widget_get_window(state_->manager));
  state_->opcode = XInternAtom(x, "_NET_SYSTEM_TRAY_OPCODE", False);
  const Atom selection = XInternAtom(x, "_NET_SYSTEM_TRAY_S0", False);
  long orientation = 0;  // horizontal
  XChangeProperty(x, window, XInternAtom(x, "_NET_SYSTEM_TRAY_ORIENTATION", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(&orientation), 1);
  XSetSelectionOwner(x, selection, window, CurrentTime);
  gdk_window_add_filter(gtk_widget_get_window(state_->manager), Filter, state_.get());
  XClientMessageEvent announce{};
  announce.type = ClientMessage;
  announce.window = DefaultRootWindow(x);
  announce.message_type = XInternAtom(x, "MANAGER", False);
  announce.format = 32;
  announce.data.l[0] = CurrentTime;
  announce.data.l[1] = static_cast<long>(selection);
  announce.data.l[2] = static_cast<long>(window);
  XSendEvent(x, DefaultRootWindow(x), False, StructureNotifyMask, reinterpret_cast<XEvent*>(&announce));
  XFlush(x);
}

TrayHost::~TrayHost() {
  if (state_->manager != nullptr) {
    gdk_window_remove_filter(gtk_widget_get_window(state_->manager), Filter, state_.get());
    gtk_widget_destroy(state_->manager);
  }
  if (state_->holder != nullptr) gtk_widget_destroy(state_->holder);
}

bool TrayHost::ok() const { return state_->manager != nullptr; }

int TrayHost::docked() const { return state_->docked; }

}  // namespace quorix_test
