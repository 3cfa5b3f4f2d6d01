#include "platform/crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <string>

namespace platform {

struct Sha256Hasher::Impl {
  EVP_MD_CTX* ctx = nullptr;
};

Sha256Hasher::Sha256Hasher() : impl_(std::make_unique<Impl>()) {
  impl_->ctx = EVP_MD_CTX_new();
  ok_ = impl_->ctx != nullptr && EVP_DigestInit_ex(impl_->ctx, EVP_sha256(), nullptr) == 1;
}

Sha256Hasher::~Sha256Hasher() { EVP_MD_CTX_free(impl_->ctx); }

void Sha256Hasher::Update(const void* data, size_t size) {
  if (!ok_ || size == 0) return;
  ok_ = EVP_DigestUpdate(impl_->ctx, data, size) == 1;
}

std::optional<Sha256Digest> Sha256Hasher::Finish() {
  if (!ok_) return std::nullopt;
  Sha256Digest digest{};
  unsigned int len = 0;
  ok_ = false;
  if (EVP_DigestFinal_ex(impl_->ctx, digest.data(), &len) != 1 || len != digest.size()) return std::nullopt;
  return digest;
}

std::optional<Sha256Digest> Sha256(std::string_view bytes) {
  Sha256Hasher hasher;
  hasher.Update(bytes.data(), bytes.size());
  return hasher.Finish();
}

std::string ToHex(const uint8_t* data, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 0x0F]);
  }
  return out;
}

void SecureZero(void* data, size_t size) {
  if (data != nullptr && size != 0) OPENSSL_cleanse(data, size);
}

}  // namespace platform
