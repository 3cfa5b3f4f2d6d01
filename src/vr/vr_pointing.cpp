#include "vr/vr_pointing.h"

#include <cmath>

#include "vr/vr_phone_port.h"
#include "vr/vr_session.h"

using platform::vr::Matrix34;

namespace {

constexpr float kCornerRadius = 28.0f;
constexpr float kCornerRadiusSquared = 784.0f;
constexpr uint32_t kLauncherPriority = 209;
constexpr uint8_t kMinHitAlpha = 20;
constexpr float kTieDistance = 1e-5f;

struct OwnRow {
  float min_width, max_width;
  uint32_t priority;
};
constexpr OwnRow kOwnRows[kOwnPointerTargets] = {{0.12f, 1.2f, 200}, {0.16f, 1.2f, 210}, {0.16f, 1.4f, 230},
                                                 {0.16f, 1.4f, 231}, {0.16f, 1.4f, 232}, {0.16f, 1.4f, 233},
                                                 {0.16f, 1.4f, 235}};
constexpr float kPanelMinWidth = 0.25f;
constexpr float kPanelMaxWidth = 2.0f;

// The controller's ray, its origin offset along the normalised direction,
// against a record's rectangle; false without an overlay.
bool ControllerRayHitsRecord(const OverlayRecord& record, const Matrix34& controller, const Vec3& local_direction,
                             RayHit* hit) {
  if (record.handle == 0) return false;
  const Vec3 direction = NormalizeOrZero(RotateVector(controller, local_direction));
  const Vec3 p = PositionOf(controller);
  const Vec3 origin{p[0] + kRayOriginOffset * direction[0], p[1] + kRayOriginOffset * direction[1],
                    p[2] + kRayOriginOffset * direction[2]};
  return IntersectRayWithQuad(record.transform, origin, direction, record.width, OverlayHeightMetres(record),
                              record.pixel_width, record.pixel_height, hit);
}

bool PixelAlphaAtLeast(const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height, float x, float y,
                       uint8_t alpha) {
  if (!(x >= 0.0f) || !(y >= 0.0f)) return false;
  const auto px = static_cast<size_t>(x);
  const auto py = static_cast<size_t>(y);
  if (px >= width || py >= height) return false;
  const size_t offset = (py * width + px) * 4 + 3;
  return offset < pixels.size() && pixels[offset] >= alpha;
}

}  // namespace

OverlayRecord& OwnPointerRecord(VrSession& session, uint32_t index) {
  switch (index) {
    case 0: return session.overlays[kPhoneOverlay];
    case 1: return session.overlays[kKeyboardOverlay];
    case 2: return session.overlays[kNotificationsOverlay];
    case 3:
    case 4:
    case 5: return session.messages[index - 3];
    default: return session.overlays[kStatusOverlay];
  }
}

const std::vector<PointerCandidate>& BuildPointerCandidates(VrSession& session, const VrPhonePort& ui) {
  std::vector<PointerCandidate>& list = session.candidates;
  list.clear();
  const uint64_t status_revision = ui.GetOwnerRevisions(0)[2];
  for (uint32_t i = 0; i < kOwnPointerTargets; ++i) {
    OverlayRecord& record = OwnPointerRecord(session, i);
    if (!record.shown || !record.placed) continue;
    uint64_t key = 0;
    if (i == 0) {
      key = status_revision + 1;
    } else if (i == 1) {
      key = ui.IsExternalEditorOpen() ? ui.ExternalEditorId() : ui.KeyboardActiveField() + 1 + 4 * status_revision;
    } else {
      key = session.popup_slots[i - 2].last_key;
      if (key == 0) continue;
    }
    list.push_back({&record, i + 1, key, record.transform, record.width, kOwnRows[i].min_width,
                    kOwnRows[i].max_width, kOwnRows[i].priority, i});
  }
  for (uint32_t slot = 0; slot < quorix_browser_vr::kPanelCount; ++slot) {
    const quorix_browser_vr::PanelSlot& panel = session.browser.panels[slot];
    if (!panel.overlay || !panel.overlay->shown || !panel.overlay->placed) continue;
    OverlayRecord& record = *panel.overlay;
    list.push_back({&record, 8 + slot, reinterpret_cast<uintptr_t>(&record), record.transform, record.width,
                    kPanelMinWidth, kPanelMaxWidth, panel.sort_order, kCandidateIndexFirstPanel + slot});
  }
  return list;
}

bool IntersectRayWithOverlay(const VrSession& session, const OverlayRecord& record, const Matrix34& controller,
                             float* x, float* y, float* distance) {
  RayHit hit;
  if (!ControllerRayHitsRecord(record, controller, session.ray_direction, &hit)) return false;
  if (&record == &session.overlays[kPhoneOverlay] || &record == &session.overlays[kKeyboardOverlay]) {
    const float w = static_cast<float>(record.pixel_width);
    const float h = static_cast<float>(record.pixel_height);
    const float cx = hit.x < kCornerRadius ? kCornerRadius : std::min(w - kCornerRadius, hit.x);
    const float cy = hit.y < kCornerRadius ? kCornerRadius : std::min(h - kCornerRadius, hit.y);
    if ((hit.x - cx) * (hit.x - cx) + (hit.y - cy) * (hit.y - cy) > kCornerRadiusSquared) return false;
  }
  if (x) *x = hit.x;
  if (y) *y = hit.y;
  if (distance) *distance = hit.distance;
  return true;
}

int32_t SelectPointerTarget(const VrSession& session, const std::vector<PointerCandidate>& candidates,
                            const Matrix34& controller) {
  const Vec3 hand = PositionOf(controller);
  int32_t best = -1;
  bool best_near = false;
  float best_distance = 0.0f;
  uint32_t best_priority = 0;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const PointerCandidate& c = candidates[i];
    float hit_distance = 0.0f;
    const bool hit = IntersectRayWithOverlay(session, *c.record, controller, nullptr, nullptr, &hit_distance);
    const float rect = DistanceToPanelRect(c.transform, hand, c.width, OverlayHeightMetres(*c.record));
    const bool near = rect < kNearTouchDistance;
    if (!hit && !near) continue;
    const float distance = hit && !near ? hit_distance : rect;
    bool replace = best < 0;
    if (!replace && near && !best_near) replace = true;
    if (!replace && !near && !best_near) {
      replace = c.priority > best_priority || (c.priority == best_priority && distance < best_distance);
    }
    if (!replace && near && best_near) {
      replace = distance < best_distance - kTieDistance ||
                (std::fabs(distance - best_distance) <= kTieDistance && c.priority > best_priority);
    }
    if (!replace) continue;
    best = static_cast<int32_t>(i);
    best_near = near;
    best_distance = distance;
    best_priority = c.priority;
  }
  if (best >= 0 && session.keyboard_lease != 0) {
    for (size_t i = 0; i < candidates.size(); ++i) {
      const PointerCandidate& c = candidates[i];
      if (c.index == kCandidateIndexKeyboard && c.priority > best_priority &&
          IntersectRayWithOverlay(session, *c.record, controller, nullptr, nullptr, nullptr)) {
        return static_cast<int32_t>(i);
      }
    }
  }
  return best;
}

int32_t FindNearestOverlayTarget(VrSession& session, const Matrix34& controller) {
  const Vec3 hand = PositionOf(controller);
  int32_t best = -1;
  float best_distance = 0.0f;
  for (uint32_t i = 0; i < kOwnPointerTargets; ++i) {
    const OverlayRecord& record = OwnPointerRecord(session, i);
    if (record.handle == 0) continue;
    float hit_distance = 0.0f;
    const bool hit = IntersectRayWithOverlay(session, record, controller, nullptr, nullptr, &hit_distance);
    const bool near =
        DistanceToPanelRect(record.transform, hand, record.width, OverlayHeightMetres(record)) < kNearTouchDistance;
    if (!hit && !near) continue;
    const float distance = near ? 0.0f : hit_distance;
    const bool replace = best < 0 || (i < 2 && best < 2 && best_distance > distance) || i >= 2 || best >= 2;
    if (!replace) continue;
    best = static_cast<int32_t>(i);
    best_distance = distance;
  }
  return best;
}

PointerHit PointerHitOnTarget(const quorix_browser_vr::Feature& feature, const OverlayRecord& record,
                              const Matrix34& controller, int32_t target) {
  RayHit hit;
  if (!ControllerRayHitsRecord(record, controller, feature.ray_direction, &hit)) return kPointerMiss;
  uint32_t priority = 0;
  if (target == 0) {
    if (!PixelAlphaAtLeast(record.ring.pixels, record.ring.width, record.ring.height, hit.x, hit.y, kMinHitAlpha)) {
      return kPointerMiss;
    }
    priority = kLauncherPriority;
  } else if (target >= 1 && target <= 3) {
    priority = feature.panels[static_cast<size_t>(target - 1)].sort_order;
  }
  return {target, hit.x, hit.y, hit.distance, priority};
}

PointerHit FindNearestPointerHit(const quorix_browser_vr::Feature& feature, const Matrix34& controller) {
  PointerHit result = kPointerMiss;
  if (!feature.launchers_available || !feature.pointer_enabled || feature.pointer_held) return result;
  if (feature.launchers) result = PointerHitOnTarget(feature, *feature.launchers, controller, 0);
  for (uint32_t slot = 0; slot < quorix_browser_vr::kPanelCount; ++slot) {
    if (!feature.panels[slot].overlay) continue;
    const PointerHit h = PointerHitOnTarget(feature, *feature.panels[slot].overlay, controller,
                                            static_cast<int32_t>(slot + 1));
    if (h.target < 0) continue;
    if (result.target < 0 || h.priority > result.priority ||
        (h.priority == result.priority && h.distance < result.distance)) {
      result = h;
    }
  }
  return result;
}

void PlaceKeyboardBelowPhone(VrSession& session) {
  OverlayRecord& keyboard = session.overlays[kKeyboardOverlay];
  keyboard.SetTransform(ComputeKeyboardTransform(session.overlays[kPhoneOverlay], keyboard.width));
}
