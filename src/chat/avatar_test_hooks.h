#pragma once
// Tests only: puts pictures into the process-wide avatar cache directly.
#include <memory>
#include <string>

#include "chat/avatar_cache.h"

namespace avatar_test_hooks {

// Stores `image` (empty erases) under `user_id` and bumps the generation.
void PutImageForTest(const std::string& user_id, std::shared_ptr<const quorix_avatar::Image> image);

// True while a batch is in flight (not yet collected by Refresh).
bool BatchInFlightForTest();

// Back to the state at process start: empty, key 0, generation 0.
void ResetForTest();

}  // namespace avatar_test_hooks
