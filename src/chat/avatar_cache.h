#pragma once
// The friends' profile pictures for the chat screens, the call popup and the
// owner window: one process-wide cache of decoded 128 × 128 images, a change
// counter the phone UI watches, and the disc drawing every screen shares.
// Main thread, except that Find and Generation may be called anywhere.
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "chat/account_http.h"

namespace quorix_avatar {

inline constexpr uint32_t kImageSide = 128;
inline constexpr size_t kImageBytes = kImageSide * kImageSide * 4;

// Never changed after creation; shared by reference count.
struct Image {
  std::vector<uint8_t> pixels;  // kImageBytes, R G B A, rows top first
  std::string version;          // the version the picture was fetched under
};

// The result of one background batch. An entry with an empty pointer means
// the user has no picture; a user without an entry stays as cached.
struct Batch {
  uint64_t key = 0;
  std::string account;
  bool ok = false;  // the version query completed
  std::map<std::string, std::shared_ptr<const Image>> images;
};

// One step of the cache for the signed-in account; true when its content
// changed (the caller repaints). A new key, another user or a sign-out
// empties the cache.
bool Refresh(uint64_t key, bool signed_in, const std::string& user_id, const std::vector<std::string>& friend_ids,
             const std::string& priority_id);

// The users on screen, fetched first: the valid ids among `ids`, at most 128.
void SetWantedIds(const std::vector<std::string>& ids);

// The cached picture of `user_id`; empty when there is none.
std::shared_ptr<const Image> Find(const std::string& user_id);

// Grows by one at every change of the cache's content.
uint64_t Generation();

// Empties the cache.
void Clear();

// One anti-aliased disc of diameter `diameter` (4..128) with its top left
// corner at (x, y), in a buffer of 4-byte pixels `width` pixels a row; the
// picture scaled by nearest neighbour, or a placeholder silhouette without
// one. Nothing unless the buffer holds a whole number of rows; pixels
// outside the buffer are skipped.
void Draw(std::span<uint8_t> pixels, uint32_t width, int32_t x, int32_t y, int32_t diameter,
          const std::shared_ptr<const Image>& image);

// 1 to 128 bytes of A-Z a-z 0-9 . _ -
bool IsAvatarUserId(const std::string& user_id);

// Exactly 64 bytes of 0-9 a-f.
bool IsAvatarVersion(const std::string& version);

// The versions reply of a batch: an ok reply of at most 40,000 bytes listing
// each of `ids` exactly once, with a version or null (no picture, stored as
// the empty text). False for anything else; `versions` may then hold part.
bool ReadAvatarVersions(const std::string& body, const std::vector<std::string>& ids,
                        std::map<std::string, std::string>* versions);

// A 128 × 128 single-frame PNG of at most 65,536 bytes, decoded to RGBA;
// empty on any failure.
std::shared_ptr<const Image> DecodeAvatarPng(const std::string& bytes, const std::string& version);

// The background body of one batch: asks the service for the versions of
// `ids` and downloads the changed pictures. Touches no process-wide state.
Batch FetchBatch(uint64_t key, const std::string& account, std::vector<std::string> ids,
                 std::map<std::string, std::shared_ptr<const Image>> cached);

// GET of one picture; the reply body is the caller's to wipe.
AccountHttpReply FetchAvatarPng(const ServiceEndpoint& endpoint, const std::string& user_id,
                                const std::string& version, const std::string& token);

// At program end: no batch starts any more; a running one starts no further
// request, its exchange is aborted, and this waits for it.
void Shutdown();

}  // namespace quorix_avatar
