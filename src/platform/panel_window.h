#pragma once
// A borderless, always-on-top window with per-pixel alpha: one desktop
// panel of the phone. Our position and size are authoritative (the window
// manager is asked not to decorate, list or focus it), and only the
// rectangles of its input shape take clicks; elsewhere they reach the window
// underneath. Needs StartGui. Main thread only.
//
// Without a compositing manager the X server has no one to blend with:
// transparent pixels then show black.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/window_message.h"

namespace platform {

struct ScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

class PanelWindow;
class InputWindow;
ScreenRect WorkArea(const PanelWindow* near);

class PanelWindow {
 public:
  // Realised but not mapped. Null when GTK is not running.
  static std::unique_ptr<PanelWindow> Create(int x, int y, int width, int height);
  ~PanelWindow();
  PanelWindow(const PanelWindow&) = delete;
  PanelWindow& operator=(const PanelWindow&) = delete;

  // Shows premultiplied B, G, R, A pixels (rows of width × 4 bytes) at
  // (x, y), sized to them, painted as they are (no blending with the old
  // content). False when the window is gone or the size is not positive.
  bool Present(const uint8_t* pixels, int width, int height, int x, int y);
  // The clickable part; an empty list means the whole window.
  void SetInputShape(const std::vector<ScreenRect>& rects);
  void Move(int x, int y);
  // Maps without taking the focus, or unmaps.
  void SetShown(bool shown);
  bool IsMapped() const;
  // The X window id, for tests and for making another window transient.
  unsigned long XWindowId() const;

  // Receives the pointer and window-manager messages: left button down,
  // motion while the button is held (X's implicit grab is the capture),
  // left button up, capture lost, right button up, close; and kSetCursor on
  // every motion, whose non-zero answer shows the "nwse-resize" cursor.
  using MessageHandler = std::function<intptr_t(const WindowMessage&)>;
  void SetMessageHandler(MessageHandler handler);
  // Ends a pointer grab this window holds.
  void ReleaseCapture();
  // Raises and focuses the window with the server's time; on a window not
  // mapped yet, done when SetShown maps it. A window manager that prevents
  // focus stealing may only mark it urgent.
  void BringToFront();
  // `rgba` is a 256 × 256 straight-alpha RGBA image, given to the window as
  // 32- and 16-pixel icons; anything else gives the theme's
  // "application-x-executable".
  void SetIcons(std::span<const uint8_t> rgba);
  // Makes `owner` this window's transient owner; false unless the window
  // reads it back.
  bool SetOwner(const InputWindow& owner);

  struct State;  // the toolkit's objects, opaque here

 private:
  friend ScreenRect WorkArea(const PanelWindow* near);
  friend struct GuiWindows;
  explicit PanelWindow(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// The work area (the monitor less panels and docks) of the monitor `near`
// lies on, else of the primary monitor. Empty before StartGui.
ScreenRect WorkArea(const PanelWindow* near);
// Tests fix the work area; an empty rectangle restores the real one.
void SetWorkAreaForTesting(const ScreenRect& area);

}  // namespace platform
