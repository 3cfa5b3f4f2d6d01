#pragma once
// The native phone's screen numbers (PhoneUi::native_screen).
#include <cstdint>

enum class NativeScreen : uint32_t {
  Home = 0,
  Conversations = 1,
  Friends = 2,
  Settings = 3,
  Conversation = 4,
  FriendRequests = 5,
  AudioDevices = 6,
  WristSettings = 7,
  FriendNotifications = 8,
  Pointer = 9,
  HistoryFiles = 10,
};

inline constexpr uint32_t kNativeScreenCount = 11;

// The bottom bar's tab (0..3) lit for `screen`; -1 for a number above 10.
int32_t NativeScreenTab(uint32_t screen);

// Screens reachable from the sign-in screen: settings, audio devices, wrist
// settings and pointer.
bool IsSignedOutScreen(uint32_t screen);
