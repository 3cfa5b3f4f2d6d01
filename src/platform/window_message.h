#pragma once
// What a window of ours reports to its owner: one record per pointer, key,
// tray or window-manager event, translated from the toolkit's events, so the
// desktop window's procedures can also be driven from code (tests, hidden
// mode). Positions are screen pixels.
#include <cstdint>

namespace platform {

enum class WindowMessageType : uint8_t {
  kShow,             // another instance asked for the window
  kHotkey,           // the global hotkey was pressed
  kClose,            // the window manager asked to close the window
  kEndSession,       // the session ends (the display went away)
  kTrayLeftClick,    // the tray icon was activated
  kTrayRightClick,   // the tray icon asks for its menu
  kHitTest,          // whether (x, y) takes clicks
  kSetCursor,        // the pointer is over the window at (x, y)
  kLeftButtonDown,
  kMouseMove,
  kLeftButtonUp,
  kCaptureChanged,   // the pointer grab ended without a release
  kRightButtonUp,
  kKeyDown,          // a key, after the input method has seen it
  kCompositionStart, // the input method began a preedit
  kCompositionEnd,   // the preedit ended (committed or cancelled)
  kEditChanged,      // the entry's text changed
};

enum class WindowKey : uint8_t { kOther, kTab, kEnter };

struct WindowMessage {
  WindowMessageType type = WindowMessageType::kShow;
  int32_t x = 0;  // the pointer's screen position, for pointer messages
  int32_t y = 0;
  WindowKey key = WindowKey::kOther;  // for kKeyDown
};

// Answers of a hit test.
inline constexpr intptr_t kHitClient = 1;
inline constexpr intptr_t kHitTransparent = -1;

}  // namespace platform
