#pragma once
// The desktop panels' pixel work, free of any window: premultiplying and
// reordering a phone frame, the fixed-point bilinear scaling, the resize grip,
// the click-through map and the panels' geometry.
//
// Frames are 540 pixels wide, top-down rows of 2160 bytes, straight alpha in
// byte 3. Panel surfaces hold premultiplied pixels with bytes 0 and 2
// exchanged (B, G, R, A for an R, G, B, A frame), the byte order a Cairo
// ARGB32 surface has on a little-endian machine.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace desktop_pixels {

inline constexpr int kFrameWidth = 540;
inline constexpr int kPanelCount = 7;  // 0 phone, 1 keyboard, 2..6 popup slots 0..4
// Panel heights in phone pixels, by panel kind.
inline constexpr std::array<int, kPanelCount> kPanelHeights = {960, 508, 300, 200, 200, 200, 200};
// Below this alpha a phone pixel lets clicks through to the window underneath.
inline constexpr uint8_t kHitAlpha = 20;
// Scale limits: never smaller than this, never larger than 2 nor than the work
// area less a 16-pixel margin allows.
inline constexpr float kMinScale = 0.4f;
inline constexpr float kMaxScale = 2.0f;
// Smallest change SetScale acts on.
inline constexpr float kScaleEpsilon = 0.001f;

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

// Left, top, right, bottom of a monitor's work area, in screen pixels.
struct WorkArea {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// dst = src premultiplied, bytes 0 and 2 exchanged; each channel is
// (c × a + 127) / 255. `pixels` pixels of 4 bytes each.
void PremultiplySwap(const uint8_t* src, uint8_t* dst, size_t pixels);

// Scales a 540 × src_height surface to width × height with 8-bit fixed-point
// bilinear weights; the 1:1 case is a copy. Both buffers are 4-byte pixels,
// rows without padding.
void ScaleSurface(const uint8_t* src, int src_height, uint8_t* dst, int width, int height);

// Draws the phone panel's resize grip (three diagonal lines at the bottom
// right) into a scaled surface, only over pixels with alpha ≥ 128.
void DrawResizeGrip(uint8_t* dst, int width, int height);

// Whether (x, y) inside a width × height phone panel lies in its grip square.
bool InResizeGrip(int width, int height, int x, int y);

// The phone pixel (column, row) a scaled surface pixel shows.
int PhoneColumn(int x, int scaled_width);
int PhoneRow(int y, int phone_height, int scaled_height);

// The clickable part of a panel as rectangles one row high: runs of scaled
// pixels whose phone pixel has alpha ≥ kHitAlpha, plus the grip square on the
// phone panel. An empty frame means the whole window.
std::vector<Rect> HitRuns(const std::vector<uint8_t>& frame, int kind, int scaled_width, int scaled_height);

// Where DesktopWindow::Create puts the panels on a work area: the initial
// scale, then every panel's rectangle (truncated sizes), popups clamped in.
struct CreateLayout {
  float scale = 1.0f;
  std::array<Rect, kPanelCount> panels{};
};
CreateLayout LayoutForCreate(const WorkArea& area);

// Moves a rectangle's origin so that it lies inside the work area (the left
// and top edges win when it is larger).
Rect ClampToWorkArea(Rect rect, const WorkArea& area);

// The scale SetScale stores for a request: limited to the largest scale the
// work area allows and at least kMinScale. A non-finite request has no
// meaning and gives nullopt.
std::optional<float> LimitScale(float requested, const WorkArea& area);

// Panel size at a scale set by SetScale (rounded, at least 1).
int RoundedScaled(int phone_pixels, float scale);

}  // namespace desktop_pixels
