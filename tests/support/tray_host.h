#pragma once
// A system tray of the test's own on its private X server: owns
// "_NET_SYSTEM_TRAY_S0", announces itself on the root window and embeds
// every dock request in a GtkSocket, as a desktop's notification area does.
// Runs on the GTK connection of the test process (StartGui first); the
// requests arrive while the test pumps GLib.
#include <memory>

namespace quorix_test {

class TrayHost {
 public:
  TrayHost();
  ~TrayHost();
  TrayHost(const TrayHost&) = delete;
  TrayHost& operator=(const TrayHost&) = delete;

  bool ok() const;
  // Dock requests embedded so far.
  int docked() const;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace quorix_test
