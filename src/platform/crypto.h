#pragma once
// SHA-256 over OpenSSL's EVP interface, hex text of bytes, and the wiping of
// memory that held a secret.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256Hasher {
 public:
  Sha256Hasher();
  ~Sha256Hasher();
  Sha256Hasher(const Sha256Hasher&) = delete;
  Sha256Hasher& operator=(const Sha256Hasher&) = delete;

  // False when the hash object could not be created or a step failed; once
  // false, Finish gives nothing.
  bool ok() const { return ok_; }
  void Update(const void* data, size_t size);
  std::optional<Sha256Digest> Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  bool ok_ = false;
};

std::optional<Sha256Digest> Sha256(std::string_view bytes);

// Lower-case hexadecimal, two digits a byte.
std::string ToHex(const uint8_t* data, size_t size);

// Zero-fills memory in a way the compiler cannot drop.
void SecureZero(void* data, size_t size);

}  // namespace platform
