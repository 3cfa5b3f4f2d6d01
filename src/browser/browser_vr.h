#pragma once
// The browser feature of the VR session: three browser panel slots, the
// launcher strip, the callbacks into the settings record and the wheel
// delivery. Panels would be opened by a captured desktop browser, which this
// platform has no way to capture or drive: every slot stays closed and the
// launcher strip is created but never shown. Main thread only.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "vr/overlay/overlay_record.h"
#include "vr/overlay/pointer_geometry.h"

namespace quorix_browser::normal {

// A panel's browser engine. Only the wheel is routed through it.
class Engine {
 public:
  // Posts one wheel notch at panel pixel (x, y) below the toolbar; false
  // when the panel's window cannot take it.
  bool PostWheel(int32_t x, int32_t y, int32_t delta) const { return wheel_hook ? wheel_hook(x, y, delta) : false; }

  // Where the notch goes; empty = refused.
  std::function<bool(int32_t x, int32_t y, int32_t delta)> wheel_hook;
};

// A panel engine's audio state; no audio is routed.
struct BrowserAudioStatus {};


}  // namespace quorix_browser::normal

namespace quorix_browser_vr {

constexpr uint32_t kPanelCount = 3;
constexpr uint32_t kNoPanel = 3;
constexpr uint32_t kPanelLive = 2;
// Height of a panel's toolbar in panel pixels; the page starts below it.
constexpr uint32_t kToolbarHeight = 88;
// The launcher strip.
constexpr uint32_t kLauncherWidth = 128;
constexpr uint32_t kLauncherHeight = 438;
constexpr float kLauncherWidthM = 0.06f;
constexpr uint32_t kLauncherSortOrder = 209;

struct PanelSlot {
  std::unique_ptr<PanelOverlayRecord> overlay;  // null while the slot is closed
  std::unique_ptr<quorix_browser::normal::Engine> engine;
  uint32_t state = 0;  // kPanelLive = live
  uint32_t sort_order = 0;
  bool busy = false;  // a page load or resize is running
  bool sizing_refresh = false;
};

class Feature {
 public:
  Feature();
  ~Feature();
  Feature(const Feature&) = delete;
  Feature& operator=(const Feature&) = delete;

  // The callbacks and starting values the session hands over; marks every
  // open panel for a sizing refresh.
  void SetCallbacks(std::function<bool(const std::string&)> url_opener, uint32_t volume,
                    std::function<void(unsigned)> volume_callback, const std::array<uint32_t, 3>& size_modes,
                    std::function<void(unsigned, unsigned)> size_callback);
  // Creates the launcher strip overlay and draws its tiles.
  bool CreateLaunchersOverlay(const std::shared_ptr<platform::vr::GpuDevice>& device);
  // Drops pointer focus and the lease of the focused panel.
  void ReleaseFocus();
  // Forwards one wheel notch to an open, attached, live panel (0..2) at
  // (x, y) below the toolbar. Counts sent, failed and refused notches.
  bool InjectPanelWheel(uint32_t panel, int32_t x, int32_t y, int32_t delta);
  // Closes every panel: engines, then overlays.
  void CloseAllPanels();

  // ---- Per-frame services of the VR frame ----
  // Copies the ray direction; the pointer acts while the headset is tracked
  // (and popups are allowed); a disabled pointer or a closed panel drops the
  // pointer the feature held.
  void UpdatePanels(const platform::vr::Matrix34& head, bool headset_valid, bool popups_allowed,
                    const std::array<float, 3>& ray, bool pointer_left);
  void SetAudioRoute(const std::u16string& render_endpoint_id, uint64_t output_generation, bool enable);
  void LogNativeCounters();
  // Keyboard lease of a focused editable panel field (no panel has fields).
  void UpdateTextInputLease();
  // Closes the leased editor, drops the lease callback and pointer focus.
  void EndInputLease();
  // The frame's pointer over the panels (hit null = none).
  void HandlePointer(const PointerHit* hit, bool usable, bool trigger_held, bool drag_running);
  void CancelPanelPointers();
  // The panel comes to the front; sort orders 201..203, front highest.
  void BringPanelToFront(uint32_t panel);

  std::array<PanelSlot, kPanelCount> panels;
  std::array<bool, kPanelCount> site_active{};
  std::array<bool, kPanelCount> input_enabled{};
  uint32_t focused_panel = kNoPanel;
  uint64_t lease_id = 0;
  std::function<void()> lease_callback;
  std::unique_ptr<OverlayRecord> launchers;  // null when its creation failed
  bool launchers_shown = false;
  std::array<float, 3> ray_direction{0.0f, -0.7071068f, -0.7071068f};
  bool launchers_available = false;
  bool pointer_enabled = false;
  bool pointer_held = false;
  // The feature's own pointer gestures.
  bool capturing = false;
  bool pressing = false;
  bool dragging = false;

  uint64_t wheel_sent = 0;
  uint64_t wheel_failed = 0;
  uint64_t wheel_refused = 0;
  uint64_t arrow_requests = 0;

  std::u16string route_endpoint_id;
  uint64_t route_generation = 0;
  bool route_enabled = false;
  bool pointer_left = false;
  std::array<uint32_t, kPanelCount> z_order{0, 1, 2};  // back to front
  PointerHit last_pointer_hit;
  bool last_trigger_held = false;
  uint64_t pointer_calls = 0;
  uint64_t pointer_cancels = 0;

  std::function<bool(const std::string&)> url_opener;
  std::function<void(unsigned)> volume_callback;
  std::function<void(unsigned, unsigned)> size_callback;
  uint32_t volume = 0;
  std::array<uint32_t, 3> size_modes{1, 1, 1};
};

// Writes the BROWSER_AUDIO_* counters of one panel when they changed.
void LogBrowserAudioCounters(uint32_t panel, const quorix_browser::normal::BrowserAudioStatus& status);

// The launcher strip's picture: three opaque rounded tiles on transparency.
std::vector<uint8_t> MakeLauncherStripImage();

}  // namespace quorix_browser_vr
