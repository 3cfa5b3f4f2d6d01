#include "vr/vr_session.h"

#include <algorithm>
#include <cmath>

#include "browser/browser_waits.h"
#include "browser_audio/audio_guard.h"
#include "core/entry.h"
#include "core/event_log.h"
#include "core/web_url.h"
#include "platform/process.h"
#include "vr/autostart.h"
#include "vr/overlay/overlay_images.h"

namespace pvr = platform::vr;

namespace {

constexpr char kAppKey[] = "quorix.phone";
constexpr uint32_t kMaxBrowserVolume = 200;
constexpr uint32_t kSizeModeCount = 3;

struct OverlayRow {
  const char* key;
  const char* name;
  uint32_t width, height;
  uint32_t sort_order;
};

constexpr OverlayRow kPhone{"quorix.k19.phone", "QuorixPhone", 540, 960, 200};
constexpr OverlayRow kKeyboard{"quorix.k19.keyboard", "Quorix input", 540, 508, 210};
constexpr OverlayRow kNotifications{"quorix.k19.notifications", "Quorix notifications", 540, 300, 230};
constexpr OverlayRow kWristRing{"quorix.k19.wrist", "Quorix wrist ring", 128, 128, 220};
constexpr OverlayRow kPointer{"quorix.k19.pointer", "Quorix pointer", 128, 128, 240};
constexpr const char* kMessageKeys[kMessageOverlayCount] = {"quorix.ui2.message.0", "quorix.ui2.message.1",
                                                            "quorix.ui2.message.2"};
constexpr OverlayRow kStatus{"quorix.ui2.system", "Quorix status", 540, 200, 235};
constexpr OverlayRow kLaser{"quorix.ui3.pointer.laser", "Quorix pointer laser", 64, 8, 239};
constexpr float kPopupWidthM = 0.36f;
constexpr float kLaserWidthM = 0.1f;

uint32_t SizeMode(uint32_t value) { return value >= kSizeModeCount ? 1 : value; }

uint64_t CeilMs(double ms) { return ms > 0.0 ? static_cast<uint64_t>(std::ceil(ms)) : 0; }

}  // namespace

uint32_t RoundPointerSizePercent(uint32_t percent) {
  const uint32_t p = std::clamp<uint32_t>(percent, 50, 200);
  return (p + 12) / 25 * 25;
}

float PointerWidthMetres(uint32_t rounded_percent) {
  return static_cast<float>(rounded_percent) * 0.008f / 100.0f;
}

std::function<void(unsigned)> MakeBrowserVolumeCallback(UiSettings& settings) {
  return [&settings](unsigned percent) {
    ApplyBrowserVolume(settings, percent, [](uint32_t p) { BrowserAudioGuard::Instance().SetVolumePercent(p); });
  };
}

std::function<void(unsigned, unsigned)> MakeBrowserSizeCallback(UiSettings& settings) {
  return [&settings](unsigned index, unsigned value) { ApplyBrowserSize(settings, index, value); };
}

VrSession::VrSession() : autostart_policy(RunAutostartPolicy) { candidates.reserve(10); }

std::unique_ptr<VrSession> VrSession::Create() { return std::unique_ptr<VrSession>(new VrSession()); }

VrSession::~VrSession() {
  if (phone_ui) {
    if (browser.lease_id != 0) quorix_browser::CloseLeasedEditor(browser.lease_id);
    browser.lease_callback = nullptr;
    browser.ReleaseFocus();
    phone_ui = nullptr;
  }
  if (system) LogStats();
  // The members go in reverse order of declaration: the browser feature, the
  // message records, then status, laser, pointer, ring, notifications,
  // keyboard and phone; the device goes with the last record that holds it.
}

bool VrSession::ConnectAndIdentify(const std::filesystem::path& assets_dir) {
  pvr::Runtime& runtime = pvr::CurrentRuntime();
  vrserver_pid = runtime.FindServerProcess();
  if (vrserver_pid == 0) return false;
  int32_t error = 0;
  system = runtime.Init(pvr::kAppTypeOverlay, &error);
  if (!system || error != 0) {
    system = nullptr;
    return false;
  }
  program_path_ = ProgramPath();
  if (autostart_policy && !autostart_policy(program_path_, vrserver_pid)) {
    system = nullptr;
    return false;
  }
  pvr::Applications* apps = runtime.GetApplications();
  if (!apps) return false;
  std::error_code ignored;
  const std::string manifest = std::filesystem::absolute(assets_dir / "quorix.vrmanifest", ignored).string();
  if (!apps->IsApplicationInstalled(kAppKey) && apps->AddApplicationManifest(manifest, true) != 0) return false;
  return apps->IdentifyApplication(platform::CurrentProcessId(), kAppKey) == 0;
}

bool VrSession::CreateOverlays(const UiSettings& settings) {
  const auto create = [this](OverlayRecord& record, const OverlayRow& row, float width_m) {
    return CreateVrOverlay(record, row.key, row.name, device, row.width, row.height, width_m, row.sort_order);
  };
  const float pointer_width = PointerWidthMetres(RoundPointerSizePercent(settings.pointer_size_percent));
  if (!create(overlays[kPhoneOverlay], kPhone, settings.phone_width_m) ||
      !create(overlays[kKeyboardOverlay], kKeyboard, settings.phone_width_m) ||
      !create(overlays[kNotificationsOverlay], kNotifications, kPopupWidthM) ||
      !create(overlays[kWristRingOverlay], kWristRing, settings.ring_width_m) ||
      !create(overlays[kPointerOverlay], kPointer, pointer_width)) {
    return false;
  }
  for (size_t i = 0; i < kMessageOverlayCount; ++i) {
    const OverlayRow row{kMessageKeys[i], "Quorix message", 540, 200, static_cast<uint32_t>(231 + i)};
    if (!create(messages[i], row, kPopupWidthM)) return false;
  }
  if (!create(overlays[kStatusOverlay], kStatus, kPopupWidthM)) return false;
  // The laser is optional.
  laser_available = create(overlays[kPointerLaserOverlay], kLaser, kLaserWidthM) &&
                    SetLaserImage(overlays[kPointerLaserOverlay], settings.pointer_blue, laser_image);
  WriteEventLog("VR_POINTER_LASER_AVAILABLE", laser_available ? 1 : 0, 0);
  return true;
}

bool VrSession::Init(UiSettings& settings, const std::filesystem::path& assets_dir) {
  initialized_ = false;
  if (!ConnectAndIdentify(assets_dir)) return false;
  if (!input.Init(assets_dir)) {
    WriteEventLog("VR_INPUT_INIT", 0, 0);
    return false;
  }
  const int32_t adapter = system->OutputAdapterIndex();
  if (adapter < 0 || pvr::CurrentRuntime().CreateGpuDevice(adapter, &device) != 0 || !device) return false;
  if (!CreateOverlays(settings)) return false;

  WriteEventLog("BROWSER_VR_AVAILABLE", browser.CreateLaunchersOverlay(device) ? 1 : 0, 0);
  browser.SetCallbacks([](const std::string& url) { return OpenExternalUrl(url); },
                       std::min(settings.browser_volume, kMaxBrowserVolume), MakeBrowserVolumeCallback(settings),
                       {SizeMode(settings.browser_size_youtube), SizeMode(settings.browser_size_x),
                        SizeMode(settings.browser_size_web)},
                       MakeBrowserSizeCallback(settings));

  ring_black = settings.ring_black;
  OverlayRecord& ring = overlays[kWristRingOverlay];
  if (!OverlaySurface::StoreIfChanged(ring.ring, BuildWristRingImage(ring_black), ContentKey{}) ||
      !ring.PublishTextureCached()) {
    return false;
  }
  pointer_blue = settings.pointer_blue;
  pointer_size_percent = RoundPointerSizePercent(settings.pointer_size_percent);
  OverlaySurface::StoreIfChanged(overlays[kPointerOverlay].ring, MakePointerDotImage(pointer_blue), ContentKey{});

  WriteEventLog("VR_MVP_SESSION_READY", laser_available ? 10 : 9, 0);
  initialized_ = true;
  return true;
}

std::array<const OverlayRecord*, kSessionOverlayCount + kMessageOverlayCount> VrSession::StatsOrder() const {
  return {&overlays[kPhoneOverlay],        &overlays[kKeyboardOverlay], &overlays[kNotificationsOverlay],
          &overlays[kWristRingOverlay],    &overlays[kPointerOverlay],  &overlays[kPointerLaserOverlay],
          &messages[0],                    &messages[1],                &messages[2],
          &overlays[kStatusOverlay]};
}

void VrSession::RecordLoopPass(double pass_ms) {
  ++frame_count;
  longest_loop_ms = std::max(longest_loop_ms, pass_ms);
}

void VrSession::LogStats() {
  uint64_t allocations = 0, uploads = 0, publishes = 0, evaluations = 0;
  for (const OverlayRecord* record : StatsOrder()) {
    allocations += record->ring.textures_created;
    uploads += record->ring.uploads;
    publishes += record->ring.publishes;
    evaluations += record->ring.evaluations;
  }
  const OverlayRecord& phone = overlays[kPhoneOverlay];
  const OverlayRecord& ring = overlays[kWristRingOverlay];
  const uint64_t ring_shown = ring.shown ? 1 : 0;
  WriteEventLog("BROWSER_SCROLL_WHEEL_EVENTS", browser.wheel_sent, 0);
  WriteEventLog("BROWSER_SCROLL_REJECTED", browser.wheel_failed + browser.wheel_refused, 0);
  WriteEventLog("BROWSER_SCROLL_ARROW_REQUESTS", browser.arrow_requests, 0);
  WriteEventLog("BROWSER_SCROLL_AXIS_ACTIVE", (input.scroll_active[0] ? 1 : 0) + (input.scroll_active[1] ? 2 : 0), 0);
  WriteEventLog("VR_SURFACE_ALLOCATIONS", allocations, 0);
  WriteEventLog("VR_SURFACE_UPLOADS", uploads, 0);
  WriteEventLog("VR_SURFACE_PUBLISHES", publishes, 0);
  WriteEventLog("VR_PHONE_VISIBILITY", phone.visibility_changes, phone.shown ? 1 : 0);
  WriteEventLog("VR_PHONE_TRANSFORMS", phone_transforms, 0);
  WriteEventLog("VR_LOOP_COUNT", frame_count, 0);
  WriteEventLog("VR_LOOP_MS_MAX", CeilMs(longest_loop_ms), 0);
  WriteEventLog("VR_UI_PAINT_MS_MAX", CeilMs(longest_phone_paint_ms), 0);
  WriteEventLog("VR_UI_PAINT_MS_MAX", CeilMs(longest_keyboard_paint_ms), 1);
  WriteEventLog("VR_GRIP_SOURCES", input.grip_source_bits, 0);
  WriteEventLog("VR_INPUT_HEALTH", input_health, 0);
  WriteEventLog("VR_POSE_FALLBACKS", input.pose_fallback_bits, 0);
  WriteEventLog("VR_RING_VISIBLE_FRAMES", ring_visible_frames, 0);
  WriteEventLog("VR_RING_GRAB_FRAMES", ring_grab_frames, 0);
  WriteEventLog("VR_RING_TOGGLES_TOTAL", ring_toggles, 0);
  WriteEventLog("VR_KEYBOARD_MOVES", keyboard_moves, 0);
  WriteEventLog("VR_PIXEL_EVALUATIONS", evaluations, 0);
  const double angle = std::isfinite(wrist_angle) ? std::max(0.0, std::round(static_cast<double>(wrist_angle))) : 0.0;
  WriteEventLog("VR_WRIST_ANGLE", static_cast<uint64_t>(angle), ring_shown);
  WriteEventLog("VR_RING_VISIBILITY", ring.visibility_changes, ring_shown);
  WriteEventLog("VR_RING_PRESENTATION", ring.ring.has_published ? 1 : 0, ring_shown);
  WriteEventLog("VR_POINTER_LASER_COLOR_QUEUES", laser_image.builds, 0);
  WriteEventLog("VR_POINTER_LASER_VISIBLE_FRAMES", laser_visible_frames, 0);
  WriteEventLog("VR_KEYBOARD_UPLOADS", overlays[kKeyboardOverlay].ring.uploads, 0);
  WriteEventLog("VR_NOTICE_UPLOADS", overlays[kNotificationsOverlay].ring.uploads, 0);
  WriteEventLog("VR_PHONE_UPLOADS", phone.ring.uploads, 0);
}

void ShutdownVrRuntime() { pvr::CurrentRuntime().Shutdown(); }

uint32_t FindVrServerProcess() { return pvr::CurrentRuntime().FindServerProcess(); }
