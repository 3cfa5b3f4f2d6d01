// The pointing geometry, its edge cases table by table (the transform algebra
// is swept by pointer_geometry_fuzz).
#include <gtest/gtest.h>

#include <cmath>

#include "core/ui_settings.h"
#include "vr/overlay/pointer_geometry.h"

namespace {

using platform::vr::Matrix34;

constexpr Matrix34 kIdentity{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};

Matrix34 At(float x, float y, float z) {
  Matrix34 t = kIdentity;
  t[0][3] = x;
  t[1][3] = y;
  t[2][3] = z;
  return t;
}

TEST(PointerGeometryTest, FacingStraightUpUsesTheXAxis) {
  const Matrix34 f = MakeFacingTransform({0, 0, 0}, {0, 2, 0});
  EXPECT_FLOAT_EQ(f[0][0], 1.0f);
  EXPECT_FLOAT_EQ(f[1][0], 0.0f);
  EXPECT_FLOAT_EQ(f[2][0], 0.0f);
}

TEST(PointerGeometryTest, RayDirectionAndPopupDistance) {
  UiSettings s;
  s.ray_pitch_deg = 0.0f;
  s.ray_yaw_deg = 0.0f;
  const Vec3 d = RayDirectionFromAngles(s);
  EXPECT_NEAR(d[0], 0.0f, 1e-6f);
  EXPECT_NEAR(d[1], 0.0f, 1e-6f);
  EXPECT_NEAR(d[2], -1.0f, 1e-6f);
  struct Case {
    float spawn, expected;
  } cases[] = {{0.2f, 0.3f}, {1.0f, 0.6f}, {0.65f, 0.52f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spawn);
    s.spawn_distance_m = c.spawn;
    const Matrix34 t = PlacePopupInView(kIdentity, s, 0.0f, 0.0f);
    EXPECT_NEAR(t[2][3], -c.expected, 1e-5f);
    EXPECT_NEAR(t[2][2], 1.0f, 1e-5f);  // faces the head
  }
}

TEST(PointerGeometryTest, PlaneAndQuadEdgeCases) {
  // A 1 m × 1 m overlay 1 m in front, seen from +Z by a ray along −Z.
  const Matrix34 plane = At(0, 0, -1);
  struct Case {
    const char* name;
    Vec3 origin, direction;
    bool plane_hit, quad_hit;
  } cases[] = {
      {"centre", {0, 0, 0}, {0, 0, -1}, true, true},
      {"parallel", {0, 0, 0}, {1, 0, 0}, false, false},
      {"too near", {0, 0, -0.99f}, {0, 0, -1}, false, false},
      {"too far for the plane", {0, 0, 4.5f}, {0, 0, -1}, false, false},
      {"too far for the quad", {0, 0, 2.5f}, {0, 0, -1}, true, false},
      {"from behind", {0, 0, -2}, {0, 0, 1}, true, false},
      {"just outside, in the band", {0.6f, 0, 0}, {0, 0, -1}, true, false},
      {"outside the band", {0.8f, 0, 0}, {0, 0, -1}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RayHit hit;
    EXPECT_EQ(IntersectRayWithPlane(c.origin, c.direction, plane, 1, 1, 100, 100, &hit), c.plane_hit);
    EXPECT_EQ(IntersectRayWithQuad(plane, c.origin, c.direction, 1, 1, 100, 100, &hit), c.quad_hit);
  }
  RayHit hit;
  ASSERT_TRUE(IntersectRayWithQuad(plane, {0.25f, 0.25f, 0}, {0, 0, -1}, 1, 1, 100, 100, &hit));
  EXPECT_NEAR(hit.x, 75.0f, 1e-3f);  // y down
  EXPECT_NEAR(hit.y, 25.0f, 1e-3f);
  EXPECT_NEAR(hit.distance, 1.0f, 1e-5f);
}

TEST(PointerGeometryTest, LaserPlacementLimitsAndThickness) {
  struct Case {
    float length;
    uint32_t size;
    bool valid;
    float thickness;
  } cases[] = {{0.004f, 100, false, 0}, {10.5f, 100, false, 0}, {0.5f, 62, true, 0.00075f},
               {0.5f, 63, true, 0.001125f}, {0.5f, 300, true, 0.003f}, {NAN, 100, false, 0}};
  const Matrix34 head = At(0, 0.3f, 0.2f);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const LaserPlacement p = ComputeLaserPlacement(kIdentity, head, {0, 0, -1}, c.length, c.size);
    ASSERT_EQ(p.valid, c.valid);
    if (!c.valid) continue;
    EXPECT_NEAR(p.thickness, c.thickness, 1e-7f);
    EXPECT_NEAR(p.texel_aspect, c.length * 8 / (c.thickness * 64), 1e-3f);
    EXPECT_NEAR(p.transform[2][3], -(0.035f + c.length / 2), 1e-5f);  // the middle of the beam
    EXPECT_NEAR(p.transform[2][0], -1.0f, 1e-5f);                      // X along the beam
  }
  // The eye on the beam's line takes the fallback normal.
  EXPECT_TRUE(ComputeLaserPlacement(kIdentity, At(0, 0, -3), {0, 0, -1}, 1.0f, 100).valid);
}

}  // namespace
