#include "chat/avatar_cache.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <set>

#include "chat/avatar_test_hooks.h"
#include "chat/secure_wipe.h"
#include "chat/session_file.h"
#include "core/json.h"
#include "core/service_origin.h"
#include "platform/clock.h"
#include "platform/com.h"
#include "platform/png_codec.h"

namespace quorix_avatar {
namespace {

constexpr uint64_t kBatchPauseMs = 900000;
constexpr uint64_t kDownloadWindowMs = 20000;
constexpr size_t kMaxIds = 128;
constexpr size_t kMaxDownloads = 32;
constexpr size_t kMaxKept = 64;
constexpr size_t kMaxVersionReply = 40000;
constexpr size_t kMaxPngBytes = 65536;

struct CacheState {
  std::mutex mutex;
  uint64_t key = 0;
  std::string account;
  std::map<std::string, std::shared_ptr<const Image>> images;
  std::vector<std::string> wanted;
  std::set<std::string> requested;
  uint64_t generation = 0;
  uint64_t next_fetch = 0;
  std::future<Batch> pending;  // main thread only
  bool shut_down = false;
};

// Never destroyed: a batch thread may outlive static destruction otherwise,
// and the future's destructor would block the exit on a running batch.
CacheState& State() {
  static CacheState* const state = new CacheState;
  return *state;
}

// Set by Shutdown: the running batch starts no request and aborts its exchange.
std::atomic<bool>& AbortFlag() {
  static std::atomic<bool>* const flag = new std::atomic<bool>(false);
  return *flag;
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

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

}  // namespace

bool IsAvatarUserId(const std::string& user_id) {
  if (user_id.empty() || user_id.size() > 128) return false;
  return std::all_of(user_id.begin(), user_id.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
  });
}

bool IsAvatarVersion(const std::string& version) {
  return version.size() == 64 && std::all_of(version.begin(), version.end(), IsLowerHex);
}

bool ReadAvatarVersions(const std::string& body, const std::vector<std::string>& ids,
                        std::map<std::string, std::string>* versions) {
  if (body.size() > kMaxVersionReply) return false;
  JsonValue root;
  if (!ParseJson(body, root) || root.type != JsonType::Object) return false;
  const JsonValue* ok = root.Find("ok");
  const JsonValue* avatars = root.Find("avatars");
  if (ok == nullptr || ok->type != JsonType::Bool || !ok->bool_value) return false;
  if (avatars == nullptr || avatars->type != JsonType::Array || avatars->items.size() != ids.size()) return false;
  const std::set<std::string> listed(ids.begin(), ids.end());
  for (const JsonValue& element : avatars->items) {
    const JsonValue* user = element.Find("user_id");
    const JsonValue* version = element.Find("version");
    if (user == nullptr || user->type != JsonType::String || listed.count(user->text) == 0 ||
        versions->count(user->text) != 0 || version == nullptr) {
      return false;
    }
    if (version->type == JsonType::Null) {
      (*versions)[user->text] = std::string();
    } else if (version->type == JsonType::String && IsAvatarVersion(version->text)) {
      (*versions)[user->text] = version->text;
    } else {
      return false;
    }
  }
  return true;
}

std::shared_ptr<const Image> DecodeAvatarPng(const std::string& bytes, const std::string& version) {
  static constexpr unsigned char kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  static constexpr unsigned char kSize[8] = {0, 0, 0, 0x80, 0, 0, 0, 0x80};
  if (bytes.size() < 57 || bytes.size() > kMaxPngBytes || !IsAvatarVersion(version)) return nullptr;
  if (std::memcmp(bytes.data(), kSignature, 8) != 0 || std::memcmp(bytes.data() + 16, kSize, 8) != 0) return nullptr;
  // A thread already in another apartment may still decode; only an entry
  // made here is left again.
  const int32_t apartment_result = platform::InitializeApartment();
  if (!platform::ApartmentEntered(apartment_result) && apartment_result != platform::kApartmentChangedMode) {
    return nullptr;
  }
  struct Apartment {
    bool entered;
    ~Apartment() {
      if (entered) platform::UninitializeApartment();
    }
  } apartment{platform::ApartmentEntered(apartment_result)};
  platform::PngImage png;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  if (platform::DecodePng(std::span<const uint8_t>(data, bytes.size()), kImageSide, kImageSide, &png) !=
      platform::PngStatus::kOk) {
    return nullptr;
  }
  if (png.frame_count != 1 || png.width != kImageSide || png.height != kImageSide || png.rgba.size() != kImageBytes) {
    return nullptr;
  }
  auto image = std::make_shared<Image>();
  image->pixels = std::move(png.rgba);
  image->version = version;
  return image;
}

AccountHttpReply FetchAvatarPng(const ServiceEndpoint& endpoint, const std::string& user_id,
                                const std::string& version, const std::string& token) {
  return SendAccountRequest(endpoint, u"GET", "/profile/v1/avatar/" + user_id + "/" + version + ".png", "", token,
                            &AbortFlag());
}

Batch FetchBatch(uint64_t key, const std::string& account, std::vector<std::string> ids,
                 std::map<std::string, std::shared_ptr<const Image>> cached) {
  Batch batch;
  batch.key = key;
  batch.account = account;
  const std::atomic<bool>& abort = AbortFlag();
  StoredSession session;
  WipeStringOnExit wipe_token(session.token);
  if (abort.load() || !LoadSessionFile(&session) || session.user_id != account) return batch;
  ServiceEndpoint endpoint;
  if (!ParseServiceEndpoint(&endpoint, quorix_service::kServiceBaseUrl)) return batch;

  std::string body = "{\"users\":[";
  for (size_t i = 0; i < ids.size(); ++i) {
    if (i != 0) body += ',';
    body += '"' + ids[i] + '"';
  }
  body += "]}";
  AccountHttpReply reply = SendAccountRequest(endpoint, u"POST", "/profile/v1/avatars", body, session.token, &abort);
  std::map<std::string, std::string> versions;
  const bool read = reply.ok && reply.status == 200 && ReadAvatarVersions(reply.body, ids, &versions);
  SecureWipeString(&reply.body);
  if (!read) return batch;

  const uint64_t start = platform::TickCount64();
  size_t downloads = 0;
  for (const std::string& id : ids) {
    const std::string& version = versions[id];
    if (version.empty()) {
      batch.images[id] = nullptr;
      continue;
    }
    const auto old = cached.find(id);
    if (old != cached.end() && old->second != nullptr && old->second->version == version) {
      batch.images[id] = old->second;
      continue;
    }
    if (downloads >= kMaxDownloads || platform::TickCount64() - start > kDownloadWindowMs || abort.load()) continue;
    ++downloads;
    AccountHttpReply png = FetchAvatarPng(endpoint, id, version, session.token);
    if (png.ok && png.status == 200) {
      if (auto image = DecodeAvatarPng(png.body, version)) batch.images[id] = std::move(image);
    }
    SecureWipeString(&png.body);
  }
  batch.ok = true;
  return batch;
}

bool Refresh(uint64_t key, bool signed_in, const std::string& user_id, const std::vector<std::string>& friend_ids,
             const std::string& priority_id) {
  CacheState& state = State();
  const uint64_t now = platform::TickCount64();
  bool changed = false;
  std::unique_lock lock(state.mutex);
  if (!(state.key == key && signed_in && state.account == user_id)) {
    if (state.key != key || !state.account.empty()) {
      ResetLocked(state);
      changed = true;
    }
    state.key = key;
    state.account = signed_in ? user_id : std::string();
  }

  if (state.pending.valid()) {
    if (state.pending.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      return changed;
    }
    Batch batch = state.pending.get();
    if (signed_in && batch.key == key && batch.account == user_id) {
      if (!batch.ok) {
        state.images.clear();
      } else {
        for (auto& [id, image] : batch.images) {
          if (image == nullptr) {
            state.images.erase(id);
          } else {
            state.images[id] = std::move(image);
          }
        }
        while (state.images.size() > kMaxKept) state.images.erase(state.images.begin());
      }
      ++state.generation;
      changed = true;
    }
  }

  if (!signed_in || !IsAvatarUserId(user_id) || state.shut_down) return changed;
  const bool urgent = IsAvatarUserId(priority_id) && state.requested.count(priority_id) == 0;
  if (now < state.next_fetch && !urgent) return changed;

  std::vector<std::string> ids;
  std::set<std::string> listed;
  const auto add = [&](const std::string& id) {
    if (ids.size() < kMaxIds && IsAvatarUserId(id) && listed.insert(id).second) ids.push_back(id);
  };
  add(priority_id);
  for (const std::string& id : state.wanted) add(id);
  for (const std::string& id : friend_ids) add(id);
  state.next_fetch = now + kBatchPauseMs;
  if (ids.empty()) return changed;
  state.requested.insert(ids.begin(), ids.end());
  state.pending = std::async(std::launch::async, FetchBatch, key, user_id, std::move(ids), state.images);
  return changed;
}

void Shutdown() {
  CacheState& state = State();
  std::future<Batch> pending;
  {
    std::lock_guard lock(state.mutex);
    state.shut_down = true;
    pending = std::move(state.pending);
  }
  AbortFlag().store(true);
  if (pending.valid()) pending.wait();
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

bool BatchInFlightForTest() {
  quorix_avatar::CacheState& state = quorix_avatar::State();
  std::lock_guard lock(state.mutex);
  return state.pending.valid();
}

void ResetForTest() {
  quorix_avatar::CacheState& state = quorix_avatar::State();
  std::future<quorix_avatar::Batch> pending;
  {
    std::lock_guard lock(state.mutex);
    pending = std::move(state.pending);
  }
  if (pending.valid()) pending.wait();
  std::lock_guard lock(state.mutex);
  quorix_avatar::ResetLocked(state);
  state.key = 0;
  state.generation = 0;
  state.shut_down = false;
  quorix_avatar::AbortFlag().store(false);
}

}  // namespace avatar_test_hooks
