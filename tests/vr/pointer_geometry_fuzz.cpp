// Fuzz entry point of the transform algebra: the input is a list of 12-byte
// records, six little-endian int16 coordinates in thousandths of a metre (a
// position and a target). The facing transform from one to the other is
// orthonormal, looks at its target, and composed with its rigid inverse gives
// the identity. Directions (almost) straight up or down, whose fixed X axis is
// orthogonal only to within 1e-4, are left out.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "vr/overlay/pointer_geometry.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "pointer geometry fuzz: %s\n", what);
  std::abort();
}

float Coordinate(const uint8_t* at) { return static_cast<int16_t>(at[0] | (at[1] << 8)) / 1000.0f; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (size_t n = 0; n < size / 12 && n < 4096; ++n) {
    const uint8_t* r = data + n * 12;
    const Vec3 p{Coordinate(r), Coordinate(r + 2), Coordinate(r + 4)};
    const Vec3 target{Coordinate(r + 6), Coordinate(r + 8), Coordinate(r + 10)};
    const Vec3 to = NormalizeOrZero({target[0] - p[0], target[1] - p[1], target[2] - p[2]});
    if (Length({target[0] - p[0], target[1] - p[1], target[2] - p[2]}) < 0.01f) continue;
    if (std::hypot(to[0], to[2]) < 1e-3f) continue;
    const platform::vr::Matrix34 f = MakeFacingTransform(p, target);
    const Vec3 x{f[0][0], f[1][0], f[2][0]}, y{f[0][1], f[1][1], f[2][1]}, z{f[0][2], f[1][2], f[2][2]};
    Check(std::fabs(Dot(x, x) - 1) < 1e-4f && std::fabs(Dot(y, y) - 1) < 1e-4f, "an axis is not of unit length");
    Check(std::fabs(Dot(x, y)) < 1e-4f && std::fabs(Dot(x, z)) < 1e-4f && std::fabs(Dot(y, z)) < 1e-4f,
          "the axes are not orthogonal");
    Check(Dot(z, to) > 1 - 1e-4f, "Z does not point at the target");
    const platform::vr::Matrix34 i = ComposeTransforms(InvertRigidTransform(f), f);
    for (int row = 0; row < 3; ++row) {
      for (int column = 0; column < 4; ++column) {
        Check(std::fabs(i[row][column] - (row == column ? 1.0f : 0.0f)) < 1e-4f, "inverse times transform");
      }
    }
  }
  return 0;
}
