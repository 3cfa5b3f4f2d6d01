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
#include <memory>
#include <vector>

namespace platform {

struct ScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

class PanelWindow;
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

  struct State;  // the toolkit's objects, opaque here

 private:
  friend ScreenRect WorkArea(const PanelWindow* near);
  explicit PanelWindow(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// The work area (the monitor less panels and docks) of the monitor `near`
// lies on, else of the primary monitor. Empty before StartGui.
ScreenRect WorkArea(const PanelWindow* near);
// Tests fix the work area; an empty rectangle restores the real one.
void SetWorkAreaForTesting(const ScreenRect& area);

}  // namespace platform
