#include "platform/global_hotkey.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <array>

#include "platform/gui.h"

namespace platform {

struct GlobalHotkey::State {
  std::function<void()> on_press;
  Display* display = nullptr;
  ::Window root = 0;
  KeyCode keycode = 0;
  std::array<unsigned, 4> masks{};
  bool filtering = false;
  bool down = false;  // a press seen, its release not yet: repeats are ignored
};

namespace {

unsigned NumLockMask(Display* display) {
  const KeyCode numlock = XKeysymToKeycode(display, XK_Num_Lock);
  XModifierKeymap* map = XGetModifierMapping(display);
  unsigned mask = 0;
  if (map == nullptr || numlock == 0) {
    if (map != nullptr) XFreeModifiermap(map);
    return 0;
  }
  for (int modifier = 0; modifier < 8; ++modifier) {
    for (int k = 0; k < map->max_keypermod; ++k) {
      if (map->modifiermap[modifier * map->max_keypermod + k] == numlock) mask = 1u << modifier;
    }
  }
  XFreeModifiermap(map);
  return mask;
}

GdkFilterReturn Filter(GdkXEvent* native, GdkEvent*, gpointer data) {
  auto* state = static_cast<GlobalHotkey::State*>(data);
  const XEvent* event = static_cast<const XEvent*>(native);
  if ((event->type != KeyPress && event->type != KeyRelease) || event->xkey.keycode != state->keycode) {
    return GDK_FILTER_CONTINUE;
  }
  if (event->type == KeyRelease) {
    state->down = false;
    return GDK_FILTER_REMOVE;
  }
  if (state->down) return GDK_FILTER_REMOVE;  // auto-repeat
  state->down = true;
  if (state->on_press) state->on_press();
  return GDK_FILTER_REMOVE;
}

void Ungrab(const GlobalHotkey::State& state) {
  for (unsigned mask : state.masks) XUngrabKey(state.display, state.keycode, mask, state.root);
}

}  // namespace

GlobalHotkey::GlobalHotkey(std::unique_ptr<State> state) : state_(std::move(state)) {}

std::unique_ptr<GlobalHotkey> GlobalHotkey::GrabCtrlP(std::function<void()> on_press) {
  if (!GuiAvailable()) return nullptr;
  GdkDisplay* gdk_display = gdk_display_get_default();
  auto state = std::make_unique<State>();
  state->on_press = std::move(on_press);
  state->display = gdk_x11_display_get_xdisplay(gdk_display);
  state->root = DefaultRootWindow(state->display);
  state->keycode = XKeysymToKeycode(state->display, XK_p);
  if (state->keycode == 0) return nullptr;
  const unsigned numlock = NumLockMask(state->display);
  state->masks = {ControlMask, ControlMask | LockMask, ControlMask | numlock, ControlMask | LockMask | numlock};
  gdk_x11_display_error_trap_push(gdk_display);
  for (unsigned mask : state->masks) {
    XGrabKey(state->display, state->keycode, mask, state->root, False, GrabModeAsync, GrabModeAsync);
  }
  XSync(state->display, False);
  if (gdk_x11_display_error_trap_pop(gdk_display) != 0) {
    // BadAccess: another client holds one of them. Ours go again.
    gdk_x11_display_error_trap_push(gdk_display);
    Ungrab(*state);
    gdk_x11_display_error_trap_pop_ignored(gdk_display);
    return nullptr;
  }
  Bool supported = False;
  XkbSetDetectableAutoRepeat(state->display, True, &supported);
  gdk_window_add_filter(gdk_get_default_root_window(), Filter, state.get());
  state->filtering = true;
  return std::unique_ptr<GlobalHotkey>(new GlobalHotkey(std::move(state)));
}

GlobalHotkey::~GlobalHotkey() {
  if (DisplayLost()) return;
  if (state_->filtering) gdk_window_remove_filter(gdk_get_default_root_window(), Filter, state_.get());
  GdkDisplay* gdk_display = gdk_display_get_default();
  gdk_x11_display_error_trap_push(gdk_display);
  Ungrab(*state_);
  gdk_x11_display_error_trap_pop_ignored(gdk_display);
}

}  // namespace platform
