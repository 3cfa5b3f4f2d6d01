#pragma once
// A read-only view of a whole regular file, kept until destruction.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace platform {

enum class MapFileResult {
  kOk,
  kNotOpened,  // missing, no access, or not a regular file (a folder, a FIFO, a device)
  kBadSize,    // a regular file whose size lies outside the caller's bounds
  kMapFailed,  // mmap refused
};

// Opened with O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY (a FIFO never
// blocks the caller), checked with fstat, then mapped PROT_READ, MAP_PRIVATE.
// Another process that truncates the file while it is mapped makes the next
// read of a page past the new end raise SIGBUS: files read through this class
// are only ever replaced by rename, never rewritten in place.
class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  ~MappedFile();

  // Maps `path` when its size lies in min_size..max_size (min_size at least 1:
  // an empty file cannot be mapped). On any result but kOk the object is empty.
  [[nodiscard]] MapFileResult Open(const std::filesystem::path& path, uint64_t min_size, uint64_t max_size);

  // The mapped bytes; empty when nothing is mapped.
  std::span<const uint8_t> bytes() const { return {data_, size_}; }

 private:
  void Reset();

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace platform
