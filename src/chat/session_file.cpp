#include "chat/session_file.h"

#include <cstring>
#include <string_view>

#include "chat/account_http.h"
#include "chat/secure_wipe.h"
#include "core/environment.h"
#include "core/text.h"
#include "platform/data_protection.h"
#include "platform/files.h"
#include "platform/secret_buffer.h"

namespace {

constexpr char kMagic[] = "QRXMVP02";
constexpr size_t kMagicSize = 8;
constexpr size_t kHeaderSize = 16;
constexpr size_t kMaxUserId = 256;
constexpr size_t kMaxToken = 2048;
constexpr size_t kMaxFile = 4096;
constexpr char16_t kDescription[] = u"QuorixPhone MVP02 User Session";

uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

void PutU32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

void Clear(StoredSession* session) {
  SecureWipeString(&session->token);
  session->user_id.clear();
}

}  // namespace

bool SessionFilePath(std::filesystem::path* path) {
  if (path == nullptr) return false;
  try {
    const std::string base = WideToUtf8(ReadEnvironmentString(u"LOCALAPPDATA"));
    if (base.empty()) return false;
    *path = std::filesystem::path(base) / (IsLiveProductionMode() ? "QuorixPhone" : "QuorixPhoneReal2PCTest") /
            "auth" / "session.dpapi";
    return true;
  } catch (...) {
    return false;
  }
}

bool LoadSessionFile(StoredSession* session) {
  if (session == nullptr) return false;
  Clear(session);
  try {
    std::filesystem::path path;
    std::string blob;
    if (!SessionFilePath(&path) || !platform::ReadWholeFile(path, 1, kMaxFile, &blob)) return false;
    platform::SecretBuffer plain;
    if (!platform::UnprotectData(blob, "", &plain)) return false;
    const uint8_t* p = plain.data();
    if (plain.size() < kHeaderSize || std::memcmp(p, kMagic, kMagicSize) != 0) return false;
    const size_t user_size = GetU32(p + 8);
    const size_t token_size = GetU32(p + 12);
    if (user_size < 1 || user_size > kMaxUserId || token_size < 1 || token_size > kMaxToken ||
        plain.size() != kHeaderSize + user_size + token_size) {
      return false;
    }
    session->user_id.assign(reinterpret_cast<const char*>(p + kHeaderSize), user_size);
    session->token.reserve(token_size);
    session->token.assign(reinterpret_cast<const char*>(p + kHeaderSize + user_size), token_size);
    return true;
  } catch (...) {
    Clear(session);
    return false;
  }
}

bool SaveSessionFile(const StoredSession& session) {
  if (session.user_id.empty() || session.user_id.size() > kMaxUserId || session.token.empty() || session.token.size() > kMaxToken || !IsTokenText(session.token)) return false;
  try {
    std::filesystem::path path;
    if (!SessionFilePath(&path)) return false;
    const std::filesystem::path folder = path.parent_path();
    // The product folder (and a missing local data folder above it), whose
    // result does not matter; then the file's folder, which must be there.
    (void)platform::CreatePrivateDirectory(folder.parent_path(), true);
    if (!platform::CreatePrivateDirectory(folder, false)) return false;

    platform::SecretBuffer plain;
    const size_t size = kHeaderSize + session.user_id.size() + session.token.size();
    if (!plain.Resize(size)) return false;
    uint8_t* p = plain.data();
    std::memcpy(p, kMagic, kMagicSize);
    PutU32(p + 8, static_cast<uint32_t>(session.user_id.size()));
    PutU32(p + 12, static_cast<uint32_t>(session.token.size()));
    std::memcpy(p + kHeaderSize, session.user_id.data(), session.user_id.size());
    std::memcpy(p + kHeaderSize + session.user_id.size(), session.token.data(), session.token.size());
    std::string blob;
    const bool sealed = platform::ProtectData(plain.view(), kDescription, "", &blob);
    plain.Release();
    if (!sealed) return false;

    return platform::ReplaceFileDurably(path, blob, 0600);
  } catch (...) {
    return false;
  }
}

bool DeleteSessionFile() {
  std::filesystem::path path;
  if (!SessionFilePath(&path)) return false;
  return platform::RemoveFile(path);
}
