#include "platform/data_protection.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <optional>

#include "platform/crypto.h"
#include "platform/env.h"
#include "platform/test_hook_state.h"
#include "platform/unique_fd.h"
#include "platform/utf8.h"

namespace platform {
namespace {

constexpr char kMagic[] = "QDP1";
constexpr size_t kMagicSize = 4;
constexpr size_t kKeySize = 32;
constexpr size_t kNonceSize = 12;
constexpr size_t kTagSize = 16;
constexpr char kKeyName[] = "data-protection.key";

using Key = std::array<uint8_t, kKeySize>;

bool RandomBytes(uint8_t* out, size_t size) {
  if (hooks::TakeRandomSourceFailure()) return false;
  return RAND_bytes(out, static_cast<int>(size)) == 1;
}

// UTF-16 to UTF-8; false on an unpaired surrogate.
bool Utf16ToUtf8(std::u16string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return false;
    }
    AppendUtf8(cp, out);
  }
  return true;
}

void PutU32(std::string* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint32_t GetU32(const char* p) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(p[i]);
  return value;
}

std::filesystem::path KeyFolder() {
  std::filesystem::path folder = hooks::DataProtectionKeyFolder();
  if (!folder.empty()) return folder;
  const auto xdg = env::Get("XDG_DATA_HOME");
  if (xdg && !xdg->empty() && xdg->front() == '/') return std::filesystem::path(*xdg) / "quorix-platform";
  const auto home = env::Get("HOME");
  if (home && !home->empty() && home->front() == '/') {
    return std::filesystem::path(*home) / ".local" / "share" / "quorix-platform";
  }
  return {};
}

// Creates the missing folders of `folder` with mode 0700.
bool CreateFolders(const std::filesystem::path& folder) {
  std::filesystem::path partial;
  for (const auto& part : folder) {
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

enum class KeyRead { kOk, kMissing, kBad };

// The folder must be a folder of the effective user that nobody else can write.
bool FolderIsOurs(int dir_fd) {
  struct stat st {};
  if (::fstat(dir_fd, &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 022) == 0;
}

KeyRead ReadKey(int dir_fd, Key* key) {
  const UniqueFd fd(::openat(dir_fd, kKeyName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) return errno == ENOENT ? KeyRead::kMissing : KeyRead::kBad;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
      (st.st_mode & 077) != 0 || st.st_size != static_cast<off_t>(kKeySize)) {
    return KeyRead::kBad;
  }
  if (ReadFully(fd.get(), key->data(), kKeySize) != static_cast<long>(kKeySize)) {
    SecureZero(key->data(), key->size());
    return KeyRead::kBad;
  }
  return KeyRead::kOk;
}

// Makes a new key and links it in under its name. When another process got
// there first (EEXIST), its key is read and used instead.
bool CreateKey(int dir_fd, Key* key) {
  Key fresh{};
  uint8_t tag[8];
  if (!RandomBytes(fresh.data(), fresh.size()) || !RandomBytes(tag, sizeof tag)) {
    SecureZero(fresh.data(), fresh.size());
    return false;
  }
  static std::atomic<uint64_t> counter{0};
  const std::string temp = std::string(kKeyName) + ".tmp." + std::to_string(::getpid()) + "." +
                           std::to_string(++counter) + "." + ToHex(tag, sizeof tag);
  UniqueFd fd(::openat(dir_fd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid()) {
    SecureZero(fresh.data(), fresh.size());
    return false;
  }
  const bool written = WriteAll(fd.get(), fresh.data(), fresh.size()) && ::fsync(fd.get()) == 0;
  const bool closed = fd.Close();
  if (!written || !closed) {
    ::unlinkat(dir_fd, temp.c_str(), 0);
    SecureZero(fresh.data(), fresh.size());
    return false;
  }
  const int linked = ::linkat(dir_fd, temp.c_str(), dir_fd, kKeyName, 0);
  const int link_error = errno;
  ::unlinkat(dir_fd, temp.c_str(), 0);
  if (linked == 0) {
    ::fsync(dir_fd);
    *key = fresh;
    SecureZero(fresh.data(), fresh.size());
    return true;
  }
  SecureZero(fresh.data(), fresh.size());
  if (link_error != EEXIST) return false;
  return ReadKey(dir_fd, key) == KeyRead::kOk;
}

struct KeyCache {
  std::mutex mutex;
  std::map<std::string, Key> keys;
};

KeyCache& Cache() {
  static KeyCache* const cache = new KeyCache;
  return *cache;
}

// The key of the current key folder; `create` allows making a missing one.
bool GetKey(bool create, Key* key) {
  const std::filesystem::path folder = KeyFolder();
  if (folder.empty() || !folder.is_absolute()) return false;
  KeyCache& cache = Cache();
  std::lock_guard lock(cache.mutex);
  const auto hit = cache.keys.find(folder.string());
  if (hit != cache.keys.end()) {
    *key = hit->second;
    return true;
  }
  if (create && !CreateFolders(folder)) return false;
  const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid() || !FolderIsOurs(dir.get())) return false;
  switch (ReadKey(dir.get(), key)) {
    case KeyRead::kOk:
      break;
    case KeyRead::kBad:
      return false;
    case KeyRead::kMissing:
      if (!create || !CreateKey(dir.get(), key)) return false;
      break;
  }
  cache.keys[folder.string()] = *key;
  return true;
}

struct CipherDeleter {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherDeleter>;

// AES-256-GCM, fetched from the provider once: the implicit fetch behind
// EVP_aes_256_gcm() costs about as much as sealing a short message.
const EVP_CIPHER* Aes256Gcm() {
  static EVP_CIPHER* const cipher = EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr);
  return cipher;
}

std::string AuthenticatedData(std::string_view description_utf8, std::string_view entropy) {
  std::string aad(kMagic, kMagicSize);
  PutU32(&aad, static_cast<uint32_t>(description_utf8.size()));
  aad.append(description_utf8);
  PutU32(&aad, static_cast<uint32_t>(entropy.size()));
  aad.append(entropy);
  return aad;
}

// Wipes a key on every way out of a scope.
struct KeyHolder {
  Key key{};
  ~KeyHolder() { SecureZero(key.data(), key.size()); }
};

constexpr size_t kMaxPart = 0x7FFFFFFF;

}  // namespace

bool ProtectData(std::string_view plain, std::u16string_view description, std::string_view entropy,
                 std::string* blob) {
  if (blob == nullptr) return false;
  blob->clear();
  std::string description_utf8;
  if (!Utf16ToUtf8(description, &description_utf8)) return false;
  if (plain.size() > kMaxPart || description_utf8.size() > kMaxPart || entropy.size() > kMaxPart) return false;
  KeyHolder holder;
  if (!GetKey(true, &holder.key)) return false;
  uint8_t nonce[kNonceSize];
  if (!RandomBytes(nonce, sizeof nonce)) return false;

  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return false;
  const std::string aad = AuthenticatedData(description_utf8, entropy);
  std::string out(kMagic, kMagicSize);
  PutU32(&out, static_cast<uint32_t>(description_utf8.size()));
  out.append(description_utf8);
  out.append(reinterpret_cast<const char*>(nonce), sizeof nonce);
  const size_t header = out.size();
  out.resize(header + plain.size() + kTagSize);
  auto* cipher = reinterpret_cast<unsigned char*>(out.data() + header);
  int len = 0;
  int final_len = 0;
  const bool ok =
      Aes256Gcm() != nullptr && EVP_EncryptInit_ex(ctx.get(), Aes256Gcm(), nullptr, nullptr, nullptr) == 1 &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) == 1 &&
      EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, holder.key.data(), nonce) == 1 &&
      EVP_EncryptUpdate(ctx.get(), nullptr, &len, reinterpret_cast<const unsigned char*>(aad.data()),
                        static_cast<int>(aad.size())) == 1 &&
      EVP_EncryptUpdate(ctx.get(), cipher, &len, reinterpret_cast<const unsigned char*>(plain.data()),
                        static_cast<int>(plain.size())) == 1 &&
      EVP_EncryptFinal_ex(ctx.get(), cipher + len, &final_len) == 1 &&
      static_cast<size_t>(len + final_len) == plain.size() &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagSize, cipher + plain.size()) == 1;
  if (!ok) return false;
  *blob = std::move(out);
  return true;
}

bool UnprotectData(std::string_view blob, std::string_view entropy, SecretBuffer* plain) {
  if (plain == nullptr) return false;
  plain->Clear();
  if (blob.size() < kMagicSize + 4 + kNonceSize + kTagSize || blob.substr(0, kMagicSize) != kMagic) return false;
  if (entropy.size() > kMaxPart) return false;
  const size_t description_size = GetU32(blob.data() + kMagicSize);
  if (description_size > blob.size() - (kMagicSize + 4 + kNonceSize + kTagSize)) return false;
  const std::string_view description = blob.substr(kMagicSize + 4, description_size);
  const size_t nonce_at = kMagicSize + 4 + description_size;
  const auto* nonce = reinterpret_cast<const unsigned char*>(blob.data() + nonce_at);
  const size_t cipher_at = nonce_at + kNonceSize;
  const size_t cipher_size = blob.size() - cipher_at - kTagSize;
  if (cipher_size > kMaxPart) return false;
  const auto* cipher = reinterpret_cast<const unsigned char*>(blob.data() + cipher_at);
  unsigned char tag[kTagSize];
  std::memcpy(tag, blob.data() + cipher_at + cipher_size, kTagSize);

  KeyHolder holder;
  if (!GetKey(false, &holder.key)) return false;
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx || !plain->Reserve(cipher_size + 1) || !plain->Resize(cipher_size)) return false;
  const std::string aad = AuthenticatedData(description, entropy);
  int len = 0;
  int final_len = 0;
  const bool ok =
      Aes256Gcm() != nullptr && EVP_DecryptInit_ex(ctx.get(), Aes256Gcm(), nullptr, nullptr, nullptr) == 1 &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) == 1 &&
      EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, holder.key.data(), nonce) == 1 &&
      EVP_DecryptUpdate(ctx.get(), nullptr, &len, reinterpret_cast<const unsigned char*>(aad.data()),
                        static_cast<int>(aad.size())) == 1 &&
      EVP_DecryptUpdate(ctx.get(), plain->data(), &len, cipher, static_cast<int>(cipher_size)) == 1 &&
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, tag) == 1 &&
      EVP_DecryptFinal_ex(ctx.get(), plain->data() + len, &final_len) == 1 &&
      static_cast<size_t>(len + final_len) == cipher_size;
  if (!ok) {
    plain->Clear();
    return false;
  }
  return true;
}

}  // namespace platform
