#pragma once
// The geometry of pointing: the controller ray, its meeting with overlay
// planes and rectangles, and the placements of popups, the keyboard and the
// laser beam. Transforms are 3 × 4 row-major, columns the local X, Y, Z axes
// and the position, in metres of the standing tracking space; an overlay lies
// in its local XY plane, centred, and is seen from +Z. Single precision, pure
// functions, shared by the session and the browser panels.
#include <array>
#include <cmath>
#include <cstdint>

#include "platform/vr/vr_runtime.h"

struct UiSettings;
class OverlayRecord;

using Vec3 = std::array<float, 3>;

// The result of a hit test; the miss value is kPointerMiss.
struct PointerHit {
  int32_t target = -1;
  float x = 0.0f;
  float y = 0.0f;
  float distance = 99.0f;
  uint32_t priority = 0;
};
inline constexpr PointerHit kPointerMiss{};

// Where a ray met a plane: fractional pixels, y down, and the ray distance.
struct RayHit {
  float x = 0.0f;
  float y = 0.0f;
  float distance = 0.0f;
};

// The laser overlay's pose, its width (length) and thickness in metres and
// its texel aspect.
struct LaserPlacement {
  bool valid = false;
  platform::vr::Matrix34 transform{};
  float length = 0.0f;
  float thickness = 0.0f;
  float texel_aspect = 1.0f;
};

// The ray starts this far along itself from the controller.
inline constexpr float kRayOriginOffset = 0.035f;
// A controller nearer than this to a panel's rectangle touches it.
inline constexpr float kNearTouchDistance = 0.085f;

// Small vector helpers, inline: every hit test runs them.
inline float Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline float Length(const Vec3& v) { return std::sqrt(Dot(v, v)); }
inline Vec3 PositionOf(const platform::vr::Matrix34& t) { return {t[0][3], t[1][3], t[2][3]}; }
inline Vec3 RotateVector(const platform::vr::Matrix34& t, const Vec3& v) {
  return {t[0][0] * v[0] + t[0][1] * v[1] + t[0][2] * v[2], t[1][0] * v[0] + t[1][1] * v[1] + t[1][2] * v[2],
          t[2][0] * v[0] + t[2][1] * v[1] + t[2][2] * v[2]};
}
inline Vec3 TransformPoint(const platform::vr::Matrix34& t, const Vec3& p) {
  const Vec3 r = RotateVector(t, p);
  return {r[0] + t[0][3], r[1] + t[1][3], r[2] + t[2][3]};
}
// The vector divided by its length when that is above 1e-4, else zero.
inline Vec3 NormalizeOrZero(const Vec3& v) {
  const float length = Length(v);
  if (length > 1e-4f) return {v[0] / length, v[1] / length, v[2] / length};
  return {0.0f, 0.0f, 0.0f};
}

Vec3 RayDirectionFromAngles(const UiSettings& settings);
bool IsFiniteTransform(const platform::vr::Matrix34& t);
platform::vr::Matrix34 InvertRigidTransform(const platform::vr::Matrix34& t);
// a·b: b applied first.
platform::vr::Matrix34 ComposeTransforms(const platform::vr::Matrix34& a, const platform::vr::Matrix34& b);
// At `position`, +Z towards `target`, X level when it can be.
platform::vr::Matrix34 MakeFacingTransform(const Vec3& position, const Vec3& target);
// In front of the head at the popup distance, moved by x sideways and y up.
platform::vr::Matrix34 PlacePopupInView(const platform::vr::Matrix34& head, const UiSettings& settings, float y,
                                        float x);
// The keyboard 0.025 m below the panel's lower edge and 0.025 m in front.
platform::vr::Matrix34 ComputeKeyboardTransform(const OverlayRecord& panel, float keyboard_width);
float DistanceToPanelRect(const platform::vr::Matrix34& t, const Vec3& point, float width, float height);
// `out` is written only on success; the hit may lie up to 28 % outside.
bool IntersectRayWithPlane(const Vec3& origin, const Vec3& direction, const platform::vr::Matrix34& plane,
                           float width_m, float height_m, float pixel_width, float pixel_height, RayHit* out);
// Front side only, within 3 m, inside the rectangle.
bool IntersectRayWithQuad(const platform::vr::Matrix34& overlay, const Vec3& origin, const Vec3& direction,
                          float width_m, float height_m, uint32_t pixel_width, uint32_t pixel_height, RayHit* out);
LaserPlacement ComputeLaserPlacement(const platform::vr::Matrix34& controller, const platform::vr::Matrix34& head,
                                     const Vec3& direction, float length, uint32_t pointer_size_percent);

// The overlay's height in metres for its pixel size and width.
float OverlayHeightMetres(const OverlayRecord& record);
