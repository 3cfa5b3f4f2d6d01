#pragma once
// A growable byte buffer for secrets (reply bodies, decrypted plaintexts).
// Growing moves the bytes into fresh storage and wipes the old one; clearing
// and destruction wipe the content. It never throws: a failed allocation is
// reported by the call that needed it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

class SecretBuffer {
 public:
  SecretBuffer() = default;
  ~SecretBuffer();
  SecretBuffer(SecretBuffer&& other) noexcept;
  SecretBuffer& operator=(SecretBuffer&& other) noexcept;
  SecretBuffer(const SecretBuffer&) = delete;
  SecretBuffer& operator=(const SecretBuffer&) = delete;

  const uint8_t* data() const { return data_; }
  uint8_t* data() { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {reinterpret_cast<const char*>(data_), size_}; }

  // Makes room for `capacity` bytes in all; false when the memory is not there.
  [[nodiscard]] bool Reserve(size_t capacity);
  // Appends `size` bytes; false (content unchanged) when the memory is not there.
  [[nodiscard]] bool Append(const void* bytes, size_t size);
  // Sets the size; new bytes are zero. False when the memory is not there.
  [[nodiscard]] bool Resize(size_t size);
  // Wipes the content and makes the buffer empty; the storage is kept.
  void Clear();
  // Wipes and releases everything.
  void Release();

  // A copy of the content as a string (the caller wipes it).
  std::string ToString() const { return std::string(view()); }

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace platform
