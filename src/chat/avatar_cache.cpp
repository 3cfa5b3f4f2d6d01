#include "chat/avatar_cache.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <set>

#include "chat/avatar_test_hooks.h"

namespace quorix_avatar {
namespace {

struct CacheState {
  std::mutex mutex;
  uint64_t key = 0;
  std::string account;
  std::map<std::string, std::shared_ptr<const Image>> images;
  std::vector<std::string> wanted;
  std::set<std::string> requested;
  uint64_t generation = 0;
  uint64_t next_fetch = 0;
};

CacheState& State() {
  static CacheState state;
  return state;
}

// Under the mutex.
void ResetLocked(CacheState& state) {
  state.images.clear();
  state.requested.clear();
  state.wanted.clear();
  state.account.clear();
  ++state.generation;
  state.next_fetch = 0;
}

}  // namespace

bool IsAvatarUserId(const std::string& user_id) {
  if (user_id.empty() || user_id.size() > 128) return false;
  return std::all_of(user_id.begin(), user_id.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
  });
}

bool Refresh(uint64_t key, bool signed_in, const std::string& user_id, const std::vector<std::string>&,
             const std::string&) {
  // Account keying only: batches are fetched once the transport lands here.
  CacheState& state = State();
  std::lock_guard lock(state.mutex);
  if (state.key == key && signed_in && state.account == user_id) return false;
  bool changed = false;
  if (state.key != key || !state.account.empty()) {
    ResetLocked(state);
    changed = true;
  }
  state.key = key;
  state.account = signed_in ? user_id : std::string();
  return changed;
}

void SetWantedIds(const std::vector<std::string>& ids) {
  CacheState& state = State();
  std::lock_guard lock(state.mutex);
  state.wanted.clear();
  for (const std::string& id : ids) {
    if (state.wanted.size() >= 128) break;
    if (IsAvatarUserId(id)) state.wanted.push_back(id);
  }
  state.next_fetch = 0;
}

std::shared_ptr<const Image> Find(const std::string& user_id) {
  CacheState& state = State();
  std::lock_guard lock(state.mutex);
  const auto it = state.images.find(user_id);
  return it == state.images.end() ? nullptr : it->second;
}

uint64_t Generation() {
  CacheState& state = State();
  std::lock_guard lock(state.mutex);
  return state.generation;
}

void Clear() {
  CacheState& state = State();
  std::lock_guard lock(state.mutex);
  ResetLocked(state);
}

void Draw(std::span<uint8_t> pixels, uint32_t width, int32_t x, int32_t y, int32_t diameter,
          const std::shared_ptr<const Image>& image) {
  if (width == 0 || diameter < 4 || diameter > 128) return;
  const uint64_t stride = uint64_t{width} * 4;
  if (pixels.size() % stride != 0) return;
  const int64_t rows = static_cast<int64_t>(pixels.size() / stride);
  const bool picture = image != nullptr && image->pixels.size() == kImageBytes;
  const float r = static_cast<float>(diameter) * 0.5f;
  for (int32_t j = 0; j < diameter; ++j) {
    const int64_t py = int64_t{y} + j;
    if (py < 0 || py >= rows) continue;
    for (int32_t i = 0; i < diameter; ++i) {
      const int64_t px = int64_t{x} + i;
      if (px < 0 || px >= int64_t{width}) continue;
      const float dy = static_cast<float>(j) + 0.5f - r;
      const float dx = static_cast<float>(i) + 0.5f - r;
      const float a = std::clamp(r - std::sqrt(dx * dx + dy * dy), 0.0f, 1.0f);
      if (a == 0.0f) continue;
      float colour[3] = {224.0f, 234.0f, 253.0f};
      if (picture) {
        const size_t source = (static_cast<size_t>(j * 128 / diameter) * kImageSide +
                               static_cast<size_t>(i * 128 / diameter)) * 4;
        for (int c = 0; c < 3; ++c) colour[c] = image->pixels[source + static_cast<size_t>(c)];
      } else {
        const float u = dy / r;
        const float v = dx / r;
        const bool head = (u + 0.27f) * (u + 0.27f) + v * v < 0.11f;
        const bool shoulders = u > 0.25f && (u - 0.95f) * (u - 0.95f) / 0.7f + 2.0f * v * v < 1.0f;
        if (head || shoulders) {
          colour[0] = 76.0f;
          colour[1] = 117.0f;
          colour[2] = 188.0f;
        }
      }
      uint8_t* p = pixels.data() + static_cast<size_t>(py) * stride + static_cast<size_t>(px) * 4;
      for (int c = 0; c < 3; ++c) {
        p[c] = static_cast<uint8_t>(static_cast<float>(p[c]) * (1.0f - a) + colour[c] * a);
      }
      p[3] = 255;
    }
  }
}

}  // namespace quorix_avatar

namespace avatar_test_hooks {

void PutImageForTest(const std::string& user_id, std::shared_ptr<const quorix_avatar::Image> image) {
  quorix_avatar::CacheState& state = quorix_avatar::State();
  std::lock_guard lock(state.mutex);
  if (image) {
    state.images[user_id] = std::move(image);
  } else {
    state.images.erase(user_id);
  }
  ++state.generation;
}

void ResetForTest() {
  quorix_avatar::CacheState& state = quorix_avatar::State();
  std::lock_guard lock(state.mutex);
  quorix_avatar::ResetLocked(state);
  state.key = 0;
  state.generation = 0;
}

}  // namespace avatar_test_hooks
