#pragma once
// One owner for a POSIX file descriptor, and the one EINTR retry of the
// platform layer. Every descriptor the layer opens is held by a `UniqueFd`,
// so each is closed exactly once on every path; every system call that can
// be interrupted by a signal goes through `RetryOnEintr`.

#include <cerrno>
#include <cstddef>
#include <utility>

namespace platform {

// Repeats `call` while it fails (a negative result) with errno EINTR, and
// returns its first other result; errno is left as that call set it.
template <typename Call>
auto RetryOnEintr(Call&& call) -> decltype(call()) {
  while (true) {
    auto result = call();
    if (!(result < 0 && errno == EINTR)) return result;
  }
}

// Move-only owner of one descriptor (-1 when empty). The destructor closes
// it; `Close` does so early and reports what close(2) said, for writes whose
// last error only close reports. A moved-from owner is empty.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Hands the descriptor over; this owner is then empty and closes nothing.
  [[nodiscard]] int release() noexcept { return std::exchange(fd_, -1); }
  // Closes the held descriptor (if any) and takes `fd` instead.
  void reset(int fd = -1) noexcept;
  // Closes now; false when there was nothing to close or close(2) failed
  // (the descriptor is gone either way: Linux never reopens it).
  [[nodiscard]] bool Close() noexcept;

 private:
  int fd_ = -1;
};

// Writes all of `size` bytes, looping over short writes and EINTR; false on
// any other error or a write that makes no progress.
[[nodiscard]] bool WriteAll(int fd, const void* data, size_t size);

// Reads until `size` bytes are in or the end of the file; returns how many
// were read, or -1 on an error other than EINTR.
[[nodiscard]] long ReadFully(int fd, void* data, size_t size);

}  // namespace platform
