#include "platform/unique_fd.h"

#include <unistd.h>

namespace platform {

void UniqueFd::reset(int fd) noexcept {
  const int old = std::exchange(fd_, fd);
  if (old >= 0) ::close(old);
}

bool UniqueFd::Close() noexcept {
  const int old = std::exchange(fd_, -1);
  return old >= 0 && ::close(old) == 0;
}

bool WriteAll(int fd, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = RetryOnEintr([&] { return ::write(fd, bytes + done, size - done); });
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

long ReadFully(int fd, void* data, size_t size) {
  char* bytes = static_cast<char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = RetryOnEintr([&] { return ::read(fd, bytes + done, size - done); });
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<long>(done);
}

}  // namespace platform
