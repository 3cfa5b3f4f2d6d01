#pragma once
// Ctrl+P for the whole desktop: a key grab on the X root window, so the
// press reaches us whichever X client has the focus. Held keys do not
// repeat the press. Under XWayland only X clients' focus is seen. Needs
// StartGui; main thread only.
#include <functional>
#include <memory>

namespace platform {

class GlobalHotkey {
 public:
  // Grabs Ctrl+P (also with Caps Lock and Num Lock on); null when another
  // client holds it or GTK is not running, with no grab left behind.
  static std::unique_ptr<GlobalHotkey> GrabCtrlP(std::function<void()> on_press);
  ~GlobalHotkey();  // ungrabs
  GlobalHotkey(const GlobalHotkey&) = delete;
  GlobalHotkey& operator=(const GlobalHotkey&) = delete;

  struct State;

 private:
  explicit GlobalHotkey(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace platform
