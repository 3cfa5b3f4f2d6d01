#include "platform/secret_buffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/crypto.h"

namespace platform {

SecretBuffer::~SecretBuffer() { Release(); }

SecretBuffer::SecretBuffer(SecretBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

SecretBuffer& SecretBuffer::operator=(SecretBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

bool SecretBuffer::Reserve(size_t capacity) {
  if (capacity <= capacity_) return true;
  // Grow geometrically so that appending chunk by chunk stays linear.
  size_t grown = capacity_ < std::numeric_limits<size_t>::max() / 2 ? capacity_ * 2 : capacity;
  if (grown < capacity) grown = capacity;
  auto* fresh = static_cast<uint8_t*>(std::malloc(grown));
  if (fresh == nullptr) {
    fresh = static_cast<uint8_t*>(std::malloc(capacity));
    if (fresh == nullptr) return false;
    grown = capacity;
  }
  if (size_ != 0) std::memcpy(fresh, data_, size_);
  if (data_ != nullptr) {
    SecureZero(data_, capacity_);
    std::free(data_);
  }
  data_ = fresh;
  capacity_ = grown;
  return true;
}

bool SecretBuffer::Append(const void* bytes, size_t size) {
  if (size == 0) return true;
  if (size > std::numeric_limits<size_t>::max() - size_) return false;
  if (!Reserve(size_ + size)) return false;
  std::memcpy(data_ + size_, bytes, size);
  size_ += size;
  return true;
}

bool SecretBuffer::Resize(size_t size) {
  if (size > size_) {
    if (!Reserve(size)) return false;
    std::memset(data_ + size_, 0, size - size_);
  } else {
    SecureZero(data_ + size, size_ - size);
  }
  size_ = size;
  return true;
}

void SecretBuffer::Clear() {
  if (data_ != nullptr) SecureZero(data_, size_);
  size_ = 0;
}

void SecretBuffer::Release() {
  if (data_ != nullptr) {
    SecureZero(data_, capacity_);
    std::free(data_);
  }
  data_ = nullptr;
  size_ = 0;
  capacity_ = 0;
}

}  // namespace platform
