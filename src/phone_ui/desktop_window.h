#pragma once
// The phone on the desktop without VR: seven borderless, always-on-top
// panels with per-pixel alpha (the phone, the keyboard, five popup slots)
// along the right edge of the work area. Clicks become taps on the phone,
// panels are dragged by their top band and the phone is resized by its
// corner grip; a tray icon, its menu and Ctrl+P show and hide it all. A small
// input window laid over the focused text field lets the real keyboard and
// the input method type into the phone. Main thread only; the main loop
// calls Update every pass.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "phone_ui/desktop_phone_ui.h"
#include "phone_ui/desktop_pixels.h"
#include "platform/input_window.h"
#include "platform/window_message.h"
#include "text_input/tsf_draft_bridge.h"

class PhoneUi;

namespace platform {
class GlobalHotkey;
class PanelWindow;
class TrayIcon;
}  // namespace platform

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

// The four fields' kinds the native editor knows.
inline constexpr uint32_t kDesktopFieldId = 0;
inline constexpr uint32_t kDesktopFieldPassword = 1;
inline constexpr uint32_t kDesktopFieldMessage = 2;

class DesktopWindow {
 public:
  // The program's: the phone UI model through PhoneUiDesktopAdapter.
  explicit DesktopWindow(PhoneUi* ui);
  // Any phone UI (tests script one); `factory` makes the bridge's provider.
  explicit DesktopWindow(DesktopPhoneUi* ui,
                         QuorixTsfDraftBridge::ProviderFactory factory = QuorixTsfDraftBridge::DefaultProviderFactory());
  ~DesktopWindow();
  DesktopWindow(const DesktopWindow&) = delete;
  DesktopWindow& operator=(const DesktopWindow&) = delete;

  // Builds the panels, the hotkey, the tray icon and the input window on the
  // X display; false without one (the object stays safe to destroy). Hidden
  // mode maps nothing and grabs, docks and raises nothing.
  bool Create(bool hidden);
  void Update(bool force);
  void SetVisible(bool visible);
  bool SetScale(float requested);
  void ResetWindowPositions();
  void ClampPanelToWorkArea(DesktopPanel& panel);
  // The "show" action of another instance's request.
  void HandleShowMessage();

  // The panels' procedure: pointer, hotkey, tray and window-manager
  // messages. kHitTest answers platform::kHitClient or kHitTransparent,
  // kSetCursor non-zero for the resize cursor.
  intptr_t PanelWindowProc(DesktopPanel& panel, const platform::WindowMessage& message);
  // The input window's procedure (the entry's change notification).
  intptr_t InputWindowProc(const platform::WindowMessage& message);
  // The entry's keys and composition; a non-zero answer to a key swallows it.
  intptr_t EditSubclassProc(const platform::WindowMessage& message, const platform::TextEntry::KeyState& keys);
  void SyncNativeEditor(bool focus);
  void PlaceNativeEdit();
  void UpdateNativeEditFont();
  void OnNativeEditChanged();
  void ShowTrayMenu();

  float scale() const { return scale_; }
  uint64_t present_counter() const { return present_counter_; }
  const DesktopPanel& panel(size_t kind) const { return panels_[kind]; }
  DesktopPanel& panel(size_t kind) { return panels_[kind]; }
  platform::InputWindow* input_window() const { return input_window_.get(); }
  bool hotkey_registered() const { return hotkey_ != nullptr; }
  const platform::TrayIcon* tray_icon() const { return tray_.get(); }
  bool composing() const { return composing_; }
  bool bridge_lent() const { return bridge_lent_; }

  bool quit = false;
  bool visible = true;

 private:
  friend class DesktopPanel;

  void RefreshWorkArea();
  // Straight RGBA 256 × 256 pixels of the application icon, or empty (the
  // windows then take the theme's icon).
  static std::vector<uint8_t> LoadAppIcon();
  void Show();
  bool BridgeBusy() const;
  void CancelNativeComposition();
  void TakeBridgeBack();
  // Press, drag or resize, release.
  void PanelPress(DesktopPanel& panel, int32_t cursor_x, int32_t cursor_y);
  void PanelMove(DesktopPanel& panel, int32_t cursor_x, int32_t cursor_y);
  void PanelRelease(DesktopPanel& panel, int32_t cursor_x, int32_t cursor_y);
  std::array<float, 2> PhonePoint(const DesktopPanel& panel, int32_t cursor_x, int32_t cursor_y) const;
  void LogTsfChanges();

  std::unique_ptr<DesktopPhoneUi> owned_ui_;
  DesktopPhoneUi* ui_;
  std::array<DesktopPanel, desktop_pixels::kPanelCount> panels_;
  QuorixTsfDraftBridge bridge_;
  std::unique_ptr<platform::InputWindow> input_window_;
  std::unique_ptr<platform::GlobalHotkey> hotkey_;
  std::unique_ptr<platform::TrayIcon> tray_;
  bool needs_update_ = true;
  // Set by Create; read by Update, SetVisible and the show action, which map
  // and raise nothing in hidden mode (the self-checks).
  bool hidden_mode_ = false;
  // The native editor's state.
  bool suppress_notifications_ = false;
  bool composing_ = false;
  bool theme_applied_ = false;
  bool dark_ = false;
  bool bridge_lent_ = false;
  bool editor_shown_ = false;
  bool editor_active_ = false;
  uint32_t last_field_kind_ = kDesktopFieldMessage;
  uint64_t last_editor_id_ = 0;
  bool tsf_ready_ = false;
  desktop_pixels::WorkArea work_area_{};
  float scale_ = 1.0f;
  uint64_t present_counter_ = 0;
  uint32_t last_convert_state_ = 0;
  uint64_t last_provider_revision_ = 0;
};
