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
#include <vector>

#include "browser/browser_vr.h"
#include "core/ui_settings.h"
#include "phone_ui/phone_ui.h"
#include "platform/vr/vr_runtime.h"
#include "vr/overlay/grab_manipulator.h"
#include "vr/overlay/overlay_record.h"
#include "vr/overlay/pointer_geometry.h"
#include "vr/vr_input.h"
#include "vr/vr_phone_port.h"
#include "vr/vr_pointing.h"
#include "vr/wrist_ring.h"

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
// Popup slots: 0 the call, 1..3 the notices, 4 the status notice.
constexpr uint32_t kPopupSlotCount = 5;

// What the session keeps of one popup slot between frames.
struct PopupSlotState {
  uint64_t last_key = 0;
  std::array<uint64_t, 5> render_key{};
  bool rendered = false;
};

// A pointer press waiting for its release: target 0 phone, 1 keyboard,
// 2..6 the popups (slot = target − 2); −1 none.
struct PendingPress {
  int32_t target = -1;
  float x0 = 0.0f, y0 = 0.0f;
  float x = 0.0f, y = 0.0f;
  std::array<uint64_t, 3> identity{};
  bool swipe = false;
};

// The own pointer target of a frame: candidate index 0..6 or −1.
struct OwnPointerTarget {
  int32_t index = -1;
  float x = 0.0f, y = 0.0f;
  float distance = 99.0f;
};

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
  // The same frame against any phone port.
  bool Frame(VrPhonePort& ui, UiSettings& settings, uint8_t* phone_shown, bool ui_changed);
  // The main loop's record of one of its passes with this session: the pass
  // is counted and its time kept when it is the longest.
  void RecordLoopPass(double pass_ms);
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
  VrPhonePort* phone_ui = nullptr;
  uint32_t input_health = 0;
  std::array<float, 3> ray_direction{0.0f, -0.7071068f, -0.7071068f};
  float wrist_angle = 180.0f;
  uint32_t vrserver_pid = 0;
  uint64_t next_process_check = 0;

  // ---- State between frames ----
  std::vector<PointerCandidate> candidates;
  std::array<PopupSlotState, kPopupSlotCount> popup_slots;
  bool notice_anchor_placed = false;
  platform::vr::Matrix34 notice_anchor{};
  Vec3 notice_anchor_up{};
  PendingPress pending_press;
  OwnPointerTarget pointer_target;
  bool trigger_held_last = false;
  bool right_grip_held_last = false;
  int32_t pointer_left_last = -1;
  uint64_t calibration_deadline = 0;
  GrabManipulator grab;
  bool drag_active = false;
  uint32_t drag_index = 0;
  int32_t drag_hand = -1;
  WristRingState ring_state;
  WristRingResult ring_result;
  uint64_t keyboard_lease = 0;
  bool keyboard_saved_placed = false;
  float keyboard_saved_width = 0.0f;
  platform::vr::Matrix34 keyboard_saved_transform{};
  float ring_width_factor = 1.0f;
  uint8_t phone_open = 0;
  bool phone_render_needed = true;
  bool keyboard_render_needed = true;
  bool text_input_was_active = false;
  float laser_texel_aspect = 0.0f;
  bool ring_first_visible_logged = false;
  uint64_t next_browser_counters = 0;
  // Accepted input waiting for the frame that shows it.
  uint64_t accepted_inputs = 0;
  uint64_t pending_input = 0;
  uint64_t input_time = 0;
  uint32_t input_source = 0;
  uint32_t input_flags = 0;
  ContentKey drawn_phone_key{};
  uint8_t notice_triggers_last = 3;
  BrowserHit browser_wheel_hit;
  ThumbstickWheelRepeater wheel_repeater;

 private:
  // The frame's steps, in their order.
  struct FrameLocals;
  bool CheckRuntime(FrameLocals& f);
  void SamplePointerLook(const UiSettings& settings);
  void RunWristRing(FrameLocals& f, const UiSettings& settings);
  void HandleTracking(FrameLocals& f, const UiSettings& settings);
  void HandleRequests(FrameLocals& f, UiSettings& settings);
  void UpdateRingImage(FrameLocals& f, const UiSettings& settings);
  void PlacePopups(FrameLocals& f, const UiSettings& settings);
  void RunBrowserFeature(FrameLocals& f);
  void SetPhoneAndKeyboardVisibility(FrameLocals& f);
  void RunGrab(FrameLocals& f);
  void PlaceLauncherStrip(FrameLocals& f);
  void RunPointing(FrameLocals& f, const UiSettings& settings);
  void ShowPointer(FrameLocals& f, const UiSettings& settings);
  // Hides the laser for the rest of the session and says so.
  void TurnLaserOff();
  void RunTaps(FrameLocals& f);
  void Render(FrameLocals& f);
  bool Publish();
  void ReportLatency();
  void FinalVisibility(FrameLocals& f);
  void RenderPopup(uint32_t slot, bool compare_only);
  void ClearInteraction();

  VrSession();
  bool ConnectAndIdentify(const std::filesystem::path& assets_dir);
  bool CreateOverlays(const UiSettings& settings);
  // Every record, in the statistics order.
  std::array<const OverlayRecord*, kSessionOverlayCount + kMessageOverlayCount> StatsOrder() const;

  bool initialized_ = false;
  uint32_t calibration_countdown_ = 0;
  std::filesystem::path program_path_;
  bool phone_ever_rendered_ = false;
  bool keyboard_ever_rendered_ = false;
  PhoneUiPort* model_port_ = nullptr;
  std::unique_ptr<PhoneUiPort> owned_port_;
};

// Records an accepted input for the latency report: source 2 a pointer tap
// or swipe, 4 a held notice opened.
void NoteAcceptedInput(VrSession& session, uint32_t source, bool text_input_active, uint64_t sample_time_ms);

// Shuts the VR runtime client down; harmless when it was never started.
void ShutdownVrRuntime();

// The process id of the running VR server, 0 when none runs.
uint32_t FindVrServerProcess();
