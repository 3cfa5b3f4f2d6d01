#pragma once
// A fuzz input read as records: single bytes and length-prefixed texts, from
// a heap copy of exactly the input's size, so that a read one past its end
// is caught (the replay hands over a string's buffer, which has a spare
// byte). Past the end every byte reads as 0 and every text as empty.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : bytes_(new uint8_t[size]), size_(size) {
    if (size != 0) std::memcpy(bytes_.get(), data, size);
  }

  bool AtEnd() const { return at_ >= size_; }
  size_t size() const { return size_; }

  uint8_t Byte() { return at_ < size_ ? bytes_[at_++] : 0; }

  // A two-byte big-endian length, then at most that many bytes.
  std::string Text() {
    size_t length = static_cast<size_t>(Byte()) << 8;
    length |= Byte();
    return Take(length);
  }

  // Everything not read yet.
  std::string Rest() { return Take(size_ - at_); }

 private:
  std::string Take(size_t length) {
    if (length > size_ - at_) length = size_ - at_;
    std::string out(reinterpret_cast<const char*>(bytes_.get() + at_), length);
    at_ += length;
    return out;
  }

  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_;
  size_t at_ = 0;
};
