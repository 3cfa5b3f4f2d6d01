#include "core/ui_settings.h"

#include <algorithm>
#include <cmath>

// Storage comes with the local data store; until then the record lives in
// memory only and a save reports that nothing was stored.
bool UiSettings::Load(const std::string&) { return true; }

bool UiSettings::Save() {
  store_failed = true;
  return false;
}

void UiSettings::SetRingVisibilityDegrees(float degrees) {
  if (!std::isfinite(degrees)) return;
  ring_visibility_deg = std::clamp(degrees, 5.0f, 90.0f);
  ring_appear_deg = ring_visibility_deg - 1.0f;
}

void UiSettings::SetPeerNotificationMode(UiSettings& settings, const std::string& own_id, const std::string& peer_id,
                                         int32_t mode) {
  if (!own_id.empty() && !peer_id.empty()) settings.peer_modes[own_id + "/" + peer_id] = std::clamp(mode, 0, 2);
  settings.Save();
}
