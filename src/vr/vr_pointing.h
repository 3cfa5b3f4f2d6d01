#pragma once
// Pointing over the session's overlays and the browser feature's panels: the
// frame's pointer candidates, the controller ray against one overlay, the
// choice of target and the browser hits. Main thread only.
#include <cstdint>
#include <vector>

#include "vr/overlay/pointer_geometry.h"

class VrSession;
class VrPhonePort;
class OverlayRecord;
namespace quorix_browser_vr {
class Feature;
}

// One pointable overlay of the current frame.
struct PointerCandidate {
  OverlayRecord* record = nullptr;
  uint32_t target_id = 0;  // own overlays 1..7, browser panels 8..10
  uint64_t content_key = 0;
  platform::vr::Matrix34 transform{};
  float width = 0.0f;
  float min_width = 0.0f;
  float max_width = 0.0f;
  uint32_t priority = 0;
  uint32_t index = 0;  // own overlays 0..6, browser panels 7..9
};

inline constexpr uint32_t kOwnPointerTargets = 7;
inline constexpr uint32_t kCandidateIndexKeyboard = 1;
inline constexpr uint32_t kCandidateIndexFirstPopup = 2;
inline constexpr uint32_t kCandidateIndexFirstPanel = 7;

// The own overlays in pointer order: phone, keyboard, notifications,
// message 0..2, status.
OverlayRecord& OwnPointerRecord(VrSession& session, uint32_t index);

// Rebuilds the session's candidate list (its storage is reused) with every
// shown and placed overlay, and returns it.
const std::vector<PointerCandidate>& BuildPointerCandidates(VrSession& session, const VrPhonePort& ui);
// The controller ray against one own overlay; the phone's and keyboard's
// corners are rounded.
bool IntersectRayWithOverlay(const VrSession& session, const OverlayRecord& record,
                             const platform::vr::Matrix34& controller, float* x, float* y, float* distance);
// The candidate the controller points at or touches, or −1.
int32_t SelectPointerTarget(const VrSession& session, const std::vector<PointerCandidate>& candidates,
                            const platform::vr::Matrix34& controller);
// The own overlay 0..6 the controller points at or touches, or −1.
int32_t FindNearestOverlayTarget(VrSession& session, const platform::vr::Matrix34& controller);
// Target 0 the launcher strip, 1..3 the panel slots.
PointerHit PointerHitOnTarget(const quorix_browser_vr::Feature& feature, const OverlayRecord& record,
                              const platform::vr::Matrix34& controller, int32_t target);
PointerHit FindNearestPointerHit(const quorix_browser_vr::Feature& feature, const platform::vr::Matrix34& controller);
// Hangs the keyboard under the phone at the keyboard's current width.
void PlaceKeyboardBelowPhone(VrSession& session);
