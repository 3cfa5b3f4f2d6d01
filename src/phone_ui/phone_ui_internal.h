#pragma once
// Small helpers shared by the phone UI model's source files.
#include <chrono>
#include <future>
#include <utility>
#include <vector>

#include "session_owner/owner_ui.h"

namespace phone_ui_detail {

template <typename T>
bool IsSlotPending(const std::future<T>& slot) {
  return slot.valid() && slot.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

inline bool OwnerSignedIn(quorix_native::Ui* owner) { return owner != nullptr && owner->GetStatus().signed_in != 0; }

inline bool In(float v, float low, float high) { return v >= low && v < high; }

// The item key of chat notice popup `slot` (1..3) and its entry, both from
// the one pending list given: {0, null} when the list is too short or the
// peer's popups are off. The entry points into `list`.
inline std::pair<uint64_t, const quorix_native::Ui::Notice*> FindPopupNotice(
    quorix_native::Ui& owner, const std::vector<quorix_native::Ui::Notice>& list, uint32_t slot) {
  if (slot < 1 || slot > list.size()) return {0, nullptr};
  const quorix_native::Ui::Notice& entry = list[slot - 1];
  if (owner.GetPeerNotificationMode(entry.peer_id) >= 2 || entry.id == 0) return {0, nullptr};
  return {entry.id, &entry};
}

// The system notice popup's item key for the notice given.
inline uint64_t SystemNoticeKey(quorix_native::Ui& owner, const quorix_native::Ui::Notice& notice) {
  return owner.AreNotificationsEnabled() ? notice.id : 0;
}

}  // namespace phone_ui_detail
