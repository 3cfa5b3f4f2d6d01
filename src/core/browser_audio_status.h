#pragma once
// What the browser audio route guard reports at exit.
#include <cstdint>

struct BrowserAudioRouteStatus {
  uint32_t state = 0;
  uint32_t restored_roles = 0;
  uint32_t pending_roles = 0;
  uint32_t volume_gain = 0;
  uint32_t volume_restored = 0;
  uint32_t volume_pending = 0;
  uint32_t volume_capped = 0;
};
