#pragma once
// The notification-area icon and the small menus it and the panels open.
// The icon uses the XEmbed system tray: without one (GNOME without an
// extension) no icon shows, and the program is reached through Ctrl+P, a
// second start or a right click on a panel. Needs StartGui; main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform {

class TrayIcon {
 public:
  // `rgba` as for PanelWindow::SetIcons; `tooltip` UTF-8. Left click (or
  // activation) runs `on_left`, the menu request `on_right`. Null when GTK is
  // not running.
  static std::unique_ptr<TrayIcon> Create(std::span<const uint8_t> rgba, const std::string& tooltip,
                                          std::function<void()> on_left, std::function<void()> on_right);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Whether a system tray took the icon.
  bool IsEmbedded() const;

  struct State;

 private:
  explicit TrayIcon(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

struct MenuItem {
  std::string label;  // UTF-8
  std::function<void()> action;
};

// Pops a menu up at the pointer and returns at once; a chosen item's action
// runs later, from the main loop's dispatch. One menu at a time: a new one
// replaces the last.
void ShowPopupMenu(std::vector<MenuItem> items);
// Whether a menu of ShowPopupMenu is open (for tests).
bool PopupMenuOpen();

}  // namespace platform
