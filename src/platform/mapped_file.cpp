#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "platform/unique_fd.h"

namespace platform {

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Reset();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

MappedFile::~MappedFile() { Reset(); }

void MappedFile::Reset() {
  if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

MapFileResult MappedFile::Open(const std::filesystem::path& path, uint64_t min_size, uint64_t max_size) {
  Reset();
  // Closed on return: the mapping keeps the file.
  const UniqueFd fd(RetryOnEintr([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY); }));
  if (!fd.valid()) return MapFileResult::kNotOpened;
  struct stat st {};
  MapFileResult result = MapFileResult::kOk;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    result = MapFileResult::kNotOpened;
  } else if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) < min_size || min_size == 0 ||
             static_cast<uint64_t>(st.st_size) > max_size) {
    result = MapFileResult::kBadSize;
  } else {
    const size_t size = static_cast<size_t>(st.st_size);
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (view == MAP_FAILED) {
      result = MapFileResult::kMapFailed;
    } else {
      data_ = static_cast<const uint8_t*>(view);
      size_ = size;
    }
  }
  return result;
}

}  // namespace platform
