#include "vr/overlay/pointer_geometry.h"

#include <algorithm>
#include <cmath>

#include "core/ui_settings.h"
#include "vr/overlay/overlay_record.h"

using platform::vr::Matrix34;

namespace {

constexpr float kDegToRad = 0.017453292f;
constexpr float kParallelLimit = 1e-5f;
constexpr float kPlaneNear = 0.02f;
constexpr float kPlaneFar = 5.0f;
constexpr float kBandLow = -0.28f;
constexpr float kBandHigh = 1.28f;
constexpr float kQuadFar = 3.0f;
constexpr float kKeyboardGap = 0.025f;

Vec3 Add(const Vec3& a, const Vec3& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Vec3 Sub(const Vec3& a, const Vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 Scale(const Vec3& a, float s) { return {a[0] * s, a[1] * s, a[2] * s}; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3 Column(const Matrix34& t, int c) { return {t[0][c], t[1][c], t[2][c]}; }
bool Finite(const Vec3& v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

Matrix34 FromColumns(const Vec3& x, const Vec3& y, const Vec3& z, const Vec3& p) {
  Matrix34 t{};
  for (int r = 0; r < 3; ++r) t[r] = {x[r], y[r], z[r], p[r]};
  return t;
}

}  // namespace

float OverlayHeightMetres(const OverlayRecord& record) {
  if (record.pixel_width == 0) return 0.0f;
  return static_cast<float>(record.pixel_height) * record.width / static_cast<float>(record.pixel_width);
}

Vec3 RayDirectionFromAngles(const UiSettings& settings) {
  const float p = settings.ray_pitch_deg * kDegToRad;
  const float y = settings.ray_yaw_deg * kDegToRad;
  return {-std::cos(p) * std::sin(y), std::sin(p), -std::cos(p) * std::cos(y)};
}

bool IsFiniteTransform(const Matrix34& t) { return IsFiniteMatrix(t); }

Matrix34 InvertRigidTransform(const Matrix34& t) {
  Matrix34 out{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) out[r][c] = t[c][r];
  }
  const Vec3 p = PositionOf(t);
  for (int r = 0; r < 3; ++r) out[r][3] = -(out[r][0] * p[0] + out[r][1] * p[1] + out[r][2] * p[2]);
  return out;
}

Matrix34 ComposeTransforms(const Matrix34& a, const Matrix34& b) {
  Matrix34 out{};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 4; ++c) {
      out[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c] + (c == 3 ? a[r][3] : 0.0f);
    }
  }
  return out;
}

Matrix34 MakeFacingTransform(const Vec3& position, const Vec3& target) {
  const Vec3 z = NormalizeOrZero(Sub(target, position));
  Vec3 x = NormalizeOrZero({z[2], 0.0f, -z[0]});
  if (Length(x) < 0.1f) x = {1.0f, 0.0f, 0.0f};
  const Vec3 y = NormalizeOrZero(Cross(z, x));
  return FromColumns(x, y, z, position);
}

Matrix34 PlacePopupInView(const Matrix34& head, const UiSettings& settings, float y, float x) {
  const float d = std::max(std::min(0.8f * settings.spawn_distance_m, 0.6f), 0.3f);
  return ComposeTransforms(head, MakeFacingTransform({x, y, -d}, {0.0f, 0.0f, 0.0f}));
}

Matrix34 ComputeKeyboardTransform(const OverlayRecord& panel, float keyboard_width) {
  const float h = OverlayHeightMetres(panel);
  const float k = keyboard_width * 508.0f / 540.0f;
  const Vec3 offset = RotateVector(panel.transform, {0.0f, -(h + k) / 2.0f - kKeyboardGap, kKeyboardGap});
  Matrix34 out = panel.transform;
  for (int r = 0; r < 3; ++r) out[r][3] += offset[r];
  return out;
}

float DistanceToPanelRect(const Matrix34& t, const Vec3& point, float width, float height) {
  const Vec3 l = TransformPoint(InvertRigidTransform(t), point);
  const float ex = std::max(std::fabs(l[0]) - width / 2.0f, 0.0f);
  const float ey = std::max(std::fabs(l[1]) - height / 2.0f, 0.0f);
  return std::sqrt(ex * ex + ey * ey + l[2] * l[2]);
}

bool IntersectRayWithPlane(const Vec3& origin, const Vec3& direction, const Matrix34& plane, float width_m,
                           float height_m, float pixel_width, float pixel_height, RayHit* out) {
  if (!out || !(width_m > 0.0f) || !(height_m > 0.0f) || !(pixel_width > 0.0f) || !(pixel_height > 0.0f)) {
    return false;
  }
  const Vec3 n = Column(plane, 2);
  const float denominator = Dot(direction, n);
  const float numerator = Dot(Sub(PositionOf(plane), origin), n);
  if (!std::isfinite(denominator) || std::fabs(denominator) < kParallelLimit) return false;
  const float t = numerator / denominator;
  if (!std::isfinite(t) || t < kPlaneNear || t > kPlaneFar) return false;
  const Vec3 d = Sub(Add(origin, Scale(direction, t)), PositionOf(plane));
  const float u = Dot(d, Column(plane, 0)) / width_m + 0.5f;
  const float v = Dot(d, Column(plane, 1)) / height_m + 0.5f;
  if (!std::isfinite(u) || !std::isfinite(v) || u < kBandLow || u > kBandHigh || v < kBandLow || v > kBandHigh) {
    return false;
  }
  *out = {u * pixel_width, (1.0f - v) * pixel_height, t};
  return true;
}

bool IntersectRayWithQuad(const Matrix34& overlay, const Vec3& origin, const Vec3& direction, float width_m,
                          float height_m, uint32_t pixel_width, uint32_t pixel_height, RayHit* out) {
  if (!(Dot(direction, Column(overlay, 2)) < 0.0f)) return false;
  RayHit hit;
  const float pw = static_cast<float>(pixel_width);
  const float ph = static_cast<float>(pixel_height);
  if (!IntersectRayWithPlane(origin, direction, overlay, width_m, height_m, pw, ph, &hit)) return false;
  if (hit.distance > kQuadFar || hit.x < 0.0f || hit.x >= pw || hit.y < 0.0f || hit.y >= ph) return false;
  if (out) *out = hit;
  return true;
}

LaserPlacement ComputeLaserPlacement(const Matrix34& controller, const Matrix34& head, const Vec3& direction,
                                     float length, uint32_t pointer_size_percent) {
  LaserPlacement result;
  if (!IsFiniteTransform(controller) || !IsFiniteTransform(head) || !Finite(direction) || !std::isfinite(length) ||
      length < 0.005f || length > 10.0f) {
    return result;
  }
  const Vec3 dir = NormalizeOrZero(RotateVector(controller, direction));
  if (Length(dir) < 0.99f) return result;
  const Vec3 m = Add(PositionOf(controller), Scale(dir, kRayOriginOffset + length / 2.0f));
  const Vec3 h = Sub(PositionOf(head), m);
  Vec3 n = NormalizeOrZero(Sub(h, Scale(dir, Dot(h, dir))));
  if (Length(n) < 0.5f) {
    const Vec3 u = std::fabs(dir[1]) < 0.9f ? Vec3{0.0f, 1.0f, 0.0f} : Vec3{1.0f, 0.0f, 0.0f};
    n = NormalizeOrZero(Cross(dir, u));
  }
  const Vec3 s = NormalizeOrZero(Cross(n, dir));
  n = NormalizeOrZero(Cross(dir, s));
  if (Length(s) < 0.99f || Length(n) < 0.99f) return result;
  result.transform = FromColumns(dir, s, n, m);
  result.length = length;
  const uint32_t p = (std::clamp<uint32_t>(pointer_size_percent, 50, 200) + 12) / 25 * 25;
  result.thickness = static_cast<float>(p) * 0.0015f / 100.0f;
  result.texel_aspect = (length * 8.0f) / (result.thickness * 64.0f);
  result.valid = std::isfinite(result.texel_aspect) && result.texel_aspect > 0.0f;
  return result;
}
