#include "browser/browser_vr.h"

#include <algorithm>

#include "browser/browser_waits.h"

namespace quorix_browser_vr {

namespace {

constexpr char kLauncherKey[] = "quorix.browser.independent.launchers";
constexpr char kLauncherName[] = "Quorix browser launchers";

// The three tiles: video site, social site, other pages.
constexpr std::array<std::array<uint8_t, 3>, 3> kTileColours{{{214, 48, 49}, {30, 30, 30}, {52, 120, 246}}};
constexpr uint32_t kTileMargin = 8;
constexpr uint32_t kTileRadius = 18;

bool InsideRoundedRect(uint32_t x, uint32_t y, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) {
  if (x < left || x >= right || y < top || y >= bottom) return false;
  const int64_t cx = std::clamp<int64_t>(x, left + kTileRadius, right - 1 - kTileRadius);
  const int64_t cy = std::clamp<int64_t>(y, top + kTileRadius, bottom - 1 - kTileRadius);
  const int64_t dx = static_cast<int64_t>(x) - cx;
  const int64_t dy = static_cast<int64_t>(y) - cy;
  return dx * dx + dy * dy <= int64_t{kTileRadius} * kTileRadius;
}

}  // namespace

std::vector<uint8_t> MakeLauncherStripImage() {
  std::vector<uint8_t> image(size_t{kLauncherWidth} * kLauncherHeight * 4, 0);
  const uint32_t tile_height = kLauncherHeight / 3;
  for (uint32_t tile = 0; tile < 3; ++tile) {
    const uint32_t top = tile * tile_height + kTileMargin;
    const uint32_t bottom = (tile + 1) * tile_height - kTileMargin;
    for (uint32_t y = top; y < bottom; ++y) {
      for (uint32_t x = kTileMargin; x < kLauncherWidth - kTileMargin; ++x) {
        if (!InsideRoundedRect(x, y, kTileMargin, top, kLauncherWidth - kTileMargin, bottom)) continue;
        uint8_t* pixel = &image[(size_t{y} * kLauncherWidth + x) * 4];
        std::copy(kTileColours[tile].begin(), kTileColours[tile].end(), pixel);
        pixel[3] = 255;
      }
    }
  }
  return image;
}

Feature::Feature() = default;

Feature::~Feature() {
  CloseAllPanels();
  launchers.reset();
  lease_callback = nullptr;
  url_opener = nullptr;
  volume_callback = nullptr;
  size_callback = nullptr;
}

void Feature::CloseAllPanels() {
  for (PanelSlot& slot : panels) {
    slot.engine.reset();
    slot.overlay.reset();
    slot.state = 0;
  }
  focused_panel = kNoPanel;
}

void Feature::SetCallbacks(std::function<bool(const std::string&)> opener, uint32_t starting_volume,
                           std::function<void(unsigned)> on_volume, const std::array<uint32_t, 3>& modes,
                           std::function<void(unsigned, unsigned)> on_size) {
  url_opener = std::move(opener);
  volume = starting_volume;
  volume_callback = std::move(on_volume);
  size_modes = modes;
  size_callback = std::move(on_size);
  for (PanelSlot& slot : panels) {
    if (slot.overlay) slot.sizing_refresh = true;
  }
}

bool Feature::CreateLaunchersOverlay(const std::shared_ptr<platform::vr::GpuDevice>& device) {
  auto record = std::make_unique<OverlayRecord>();
  if (!CreateVrOverlay(*record, kLauncherKey, kLauncherName, device, kLauncherWidth, kLauncherHeight,
                       kLauncherWidthM, kLauncherSortOrder) ||
      !OverlaySurface::StoreIfChanged(record->ring, MakeLauncherStripImage(), ContentKey{})) {
    return false;
  }
  launchers = std::move(record);
  launchers_available = true;
  launchers_shown = false;
  return true;
}

void Feature::ReleaseFocus() {
  pointer_held = false;
  if (focused_panel < kPanelCount) {
    lease_id = 0;
    lease_callback = nullptr;
  }
  focused_panel = kNoPanel;
}

bool Feature::InjectPanelWheel(uint32_t panel, int32_t x, int32_t y, int32_t delta) {
  if (panel >= kPanelCount || !panels[panel].overlay || !panels[panel].engine || panels[panel].state != kPanelLive) {
    ++wheel_refused;
    return false;
  }
  if (!panels[panel].engine->PostWheel(x, y, delta)) {
    ++wheel_failed;
    return false;
  }
  ++wheel_sent;
  return true;
}

}  // namespace quorix_browser_vr

namespace quorix_browser_vr {

void Feature::UpdatePanels(const platform::vr::Matrix34&, bool headset_valid, bool popups_allowed,
                           const std::array<float, 3>& ray, bool left) {
  ray_direction = ray;
  pointer_left = left;
  pointer_enabled = headset_valid && popups_allowed;
  const bool focused_open = focused_panel < kPanelCount && panels[focused_panel].overlay != nullptr;
  if (!pointer_enabled || !focused_open) pointer_held = false;
}

void Feature::SetAudioRoute(const std::u16string& render_endpoint_id, uint64_t output_generation, bool enable) {
  if (route_endpoint_id != render_endpoint_id) route_endpoint_id = render_endpoint_id;
  route_generation = output_generation;
  route_enabled = enable;
}

void Feature::LogNativeCounters() {}

void Feature::UpdateTextInputLease() {}

void Feature::EndInputLease() {
  if (lease_id != 0) quorix_browser::CloseLeasedEditor(lease_id);
  lease_id = 0;
  lease_callback = nullptr;
  ReleaseFocus();
}

void Feature::HandlePointer(const PointerHit* hit, bool, bool trigger_held, bool) {
  last_pointer_hit = hit ? *hit : kPointerMiss;
  last_trigger_held = trigger_held;
  ++pointer_calls;
}

void Feature::CancelPanelPointers() {
  pressing = false;
  dragging = false;
  ++pointer_cancels;
}

void Feature::BringPanelToFront(uint32_t panel) {
  if (panel >= kPanelCount) return;
  auto it = std::find(z_order.begin(), z_order.end(), panel);
  std::rotate(it, it + 1, z_order.end());
  platform::vr::Overlay* overlay = platform::vr::CurrentRuntime().GetOverlay();
  for (uint32_t depth = 0; depth < kPanelCount; ++depth) {
    PanelSlot& slot = panels[z_order[depth]];
    slot.sort_order = 201 + depth;
    if (overlay && slot.overlay && slot.overlay->handle != 0) {
      // The order is kept in the slot and sent again on the next bring to front.
      (void)overlay->SetSortOrder(slot.overlay->handle, slot.sort_order);
    }
  }
}

void LogBrowserAudioCounters(uint32_t, const quorix_browser::normal::BrowserAudioStatus&) {}

}  // namespace quorix_browser_vr
