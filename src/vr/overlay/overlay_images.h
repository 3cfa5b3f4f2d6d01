#pragma once
// The fixed pictures of the VR session: pointer dot, laser and wrist ring.
// RGBA bytes, rows top-down, straight alpha.
#include <cstdint>
#include <vector>

// 128 × 128: a dot of radius 33; red, or blue with a dark rim from radius 30.
std::vector<uint8_t> MakePointerDotImage(bool blue);
// 64 × 8: every row alike, alpha 0, 48, 96, 96, 96, 96, 48, 0 from the top.
std::vector<uint8_t> MakeLaserImage(bool blue);
// 128 × 128: an anti-aliased circle of radius 53, black or white.
std::vector<uint8_t> BuildWristRingImage(bool black);
