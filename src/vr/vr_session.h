#pragma once
// The VR session: the one object through which the program talks to the VR
// runtime. It connects, identifies the program, binds the input actions,
// creates the GPU device and the ten overlays, and writes its statistics.
// The main loop creates it while the runtime server runs, frames it once per
// pass and destroys it when a frame reports the runtime lost. Main thread only.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

#include "browser/browser_vr.h"
#include "core/ui_settings.h"
#include "phone_ui/phone_ui.h"
#include "platform/vr/vr_runtime.h"
#include "vr/overlay/overlay_record.h"
#include "vr/vr_input.h"

// Indices into VrSession::overlays.
enum VrOverlayIndex : size_t {
  kPhoneOverlay,
  kKeyboardOverlay,
  kNotificationsOverlay,
  kWristRingOverlay,
  kPointerOverlay,
  kPointerLaserOverlay,
  kStatusOverlay,
  kSessionOverlayCount
};
constexpr size_t kMessageOverlayCount = 3;

// The pointer overlay's width for a size setting: the percentage clamped to
// 50..200 and rounded to a multiple of 25, times 0.008 m / 100.
uint32_t RoundPointerSizePercent(uint32_t percent);
float PointerWidthMetres(uint32_t rounded_percent);

// The browser overlay's callbacks into the settings record: the volume is
// stored, saved, routed to the browser audio guard and logged; a panel size
// is stored and saved.
std::function<void(unsigned)> MakeBrowserVolumeCallback(UiSettings& settings);
std::function<void(unsigned, unsigned)> MakeBrowserSizeCallback(UiSettings& settings);

class VrSession {
 public:
  // Decides whether the session may start now (false while an automatic
  // configuration runs): (program path, server process id) → bool.
  using AutostartPolicy = std::function<bool(const std::filesystem::path&, uint32_t)>;

  static std::unique_ptr<VrSession> Create();
  ~VrSession();
  VrSession(const VrSession&) = delete;
  VrSession& operator=(const VrSession&) = delete;

  // Connects and creates every overlay; false at the first failed step (the
  // caller destroys the session and shuts the runtime client down).
  bool Init(UiSettings& settings, const std::filesystem::path& assets_dir);
  // One VR frame; false when the runtime was lost.
  bool Frame(PhoneUi& ui, UiSettings& settings, uint8_t* phone_shown, bool ui_changed);
  void LogStats();

  AutostartPolicy autostart_policy;

  platform::vr::System* system = nullptr;
  VrInputActions input;
  std::shared_ptr<platform::vr::GpuDevice> device;
  std::array<OverlayRecord, kSessionOverlayCount> overlays;
  std::array<OverlayRecord, kMessageOverlayCount> messages;
  bool laser_available = false;
  LaserImageState laser_image;
  uint64_t laser_visible_frames = 0;
  quorix_browser_vr::Feature browser;
  uint64_t ring_visible_frames = 0;
  uint64_t ring_grab_frames = 0;
  uint64_t ring_toggles = 0;
  uint64_t keyboard_moves = 0;
  bool pointer_blue = false;
  uint32_t pointer_size_percent = 100;
  bool ring_black = false;
  bool pointer_hand = false;
  uint64_t phone_transforms = 0;
  float ring_scale = 1.0f;
  uint64_t frame_count = 0;
  double longest_loop_ms = 0.0;
  double longest_phone_paint_ms = 0.0;
  double longest_keyboard_paint_ms = 0.0;
  PhoneUi* phone_ui = nullptr;
  uint32_t input_health = 0;
  std::array<float, 3> ray_direction{0.0f, -0.7071068f, -0.7071068f};
  float wrist_angle = 180.0f;
  uint32_t vrserver_pid = 0;
  uint64_t next_process_check = 0;

 private:
  VrSession();
  bool ConnectAndIdentify(const std::filesystem::path& assets_dir);
  bool CreateOverlays(const UiSettings& settings);
  // Every record, in the statistics order.
  std::array<const OverlayRecord*, kSessionOverlayCount + kMessageOverlayCount> StatsOrder() const;

  bool initialized_ = false;
};

// Shuts the VR runtime client down; harmless when it was never started.
void ShutdownVrRuntime();

// The process id of the running VR server, 0 when none runs.
uint32_t FindVrServerProcess();
