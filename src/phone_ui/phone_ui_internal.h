#pragma once
// Small helpers shared by the phone UI model's source files.
#include <chrono>
#include <future>

#include "session_owner/owner_ui.h"

namespace phone_ui_detail {

template <typename T>
bool IsSlotPending(const std::future<T>& slot) {
  return slot.valid() && slot.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

inline bool OwnerSignedIn(quorix_native::Ui* owner) { return owner != nullptr && owner->GetStatus().signed_in != 0; }

inline bool In(float v, float low, float high) { return v >= low && v < high; }

}  // namespace phone_ui_detail
