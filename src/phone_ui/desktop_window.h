#pragma once
// The phone on the desktop without VR: seven borderless, always-on-top
// panels with per-pixel alpha (the phone, the keyboard, five popup slots)
// along the right edge of the work area. Main thread only; the main loop
// calls Update every pass.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "phone_ui/desktop_pixels.h"
#include "phone_ui/phone_ui.h"

namespace platform {
class PanelWindow;
}

class DesktopWindow;

// One panel: its window, its two pixel buffers and what it shows.
class DesktopPanel {
 public:
  DesktopPanel();
  ~DesktopPanel();
  DesktopPanel(const DesktopPanel&) = delete;
  DesktopPanel& operator=(const DesktopPanel&) = delete;

  // Shows a 540 × height straight-alpha frame unless the same frame and
  // identity are already on screen. False for a frame of the wrong size or
  // a window that did not take it.
  bool Present(std::vector<uint8_t> frame, const std::array<uint64_t, 3>& identity);
  // Frame bits to scaled bits (and the grip on the phone panel).
  void ScaleFrame();
  bool EnsureScaledSurface(int width, int height);
  bool IsInResizeGrip(int client_x, int client_y) const;
  void MoveTo(int new_x, int new_y);

  DesktopWindow* owner = nullptr;
  std::unique_ptr<platform::PanelWindow> window;
  uint32_t kind = 0;
  // Premultiplied B, G, R, A: 540 × height, and scaled width × scaled height.
  std::vector<uint8_t> frame_bits;
  std::vector<uint8_t> scaled_bits;
  uint32_t height = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t scaled_width = 0;
  int32_t scaled_height = 0;
  bool shown = false;
  bool placed_by_user = false;
  std::array<int32_t, 2> press_cursor{};
  std::array<int32_t, 2> press_window_position{};
  std::array<float, 2> press_point{};
  float press_scale = 1.0f;
  bool pressed = false;
  bool moved = false;
  bool resizing = false;
  bool needs_present = true;
  std::array<uint64_t, 3> frame_identity{};
  std::array<uint64_t, 5> popup_render_key{};
  uint64_t popup_item = 0;
  std::vector<uint8_t> last_frame;

 private:
  // The scaled bits to the window, with the clickable shape of `frame`.
  bool PushToWindow(const std::vector<uint8_t>& frame);
};

class DesktopWindow {
 public:
  explicit DesktopWindow(PhoneUi* ui);
  ~DesktopWindow();
  DesktopWindow(const DesktopWindow&) = delete;
  DesktopWindow& operator=(const DesktopWindow&) = delete;

  // Builds the panels on the X display; false without one (the object
  // stays safe to destroy). Hidden mode never maps a window.
  bool Create(bool hidden);
  void Update(bool force);
  void SetVisible(bool visible);
  bool SetScale(float requested);
  void ResetWindowPositions();
  void ClampPanelToWorkArea(DesktopPanel& panel);
  // The "show" action of another instance's request.
  void HandleShowMessage();

  float scale() const { return scale_; }
  uint64_t present_counter() const { return present_counter_; }
  const DesktopPanel& panel(size_t kind) const { return panels_[kind]; }

  bool quit = false;
  bool visible = true;

 private:
  friend class DesktopPanel;

  void RefreshWorkArea();

  PhoneUi* ui_;
  std::array<DesktopPanel, desktop_pixels::kPanelCount> panels_;
  bool needs_update_ = true;
  // Set by Create; read by Update, SetVisible and the show action, which map
  // and raise nothing in hidden mode (the self-checks).
  bool hidden_mode_ = false;
  desktop_pixels::WorkArea work_area_{};
  float scale_ = 1.0f;
  uint64_t present_counter_ = 0;
};
