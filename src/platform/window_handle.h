#pragma once
// The platform's opaque handle of a top-level window: an id the window layer
// hands out (the X window id of one of our GTK windows), 0 for none.
#include <cstdint>

namespace platform {

using WindowHandle = uint64_t;
inline constexpr WindowHandle kNoWindow = 0;

}  // namespace platform
