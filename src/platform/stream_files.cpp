#include "platform/stream_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/stream_file_test_hooks.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

constexpr size_t kBufferBytes = 64 * 1024;

std::atomic<size_t> g_fail_write{0};
std::atomic<bool> g_fail_sync{false};
std::atomic<bool> g_fail_rename{false};

bool WriteFully(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const size_t countdown = g_fail_write.load();
    if (countdown != 0 && g_fail_write.fetch_sub(1) == 1) return false;
    const ssize_t n = RetryOnEintr([&] { return ::write(fd, data + done, size - done); });
    if (n < 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Appends to a line that may hold clear text, never past `cap` bytes in all.
// A line that must grow moves to a larger block here rather than inside
// append, so that the block it leaves is wiped before it is freed.
void AppendToLine(std::string* line, const char* data, size_t size, size_t cap) {
  const size_t needed = line->size() + size;
  if (needed > line->capacity()) {
    std::string grown;
    grown.reserve(std::min(cap, std::max(needed, 2 * line->capacity())));
    grown.append(*line);
    SecureZero(line->data(), line->size());
    line->swap(grown);
  }
  line->append(data, size);
}

// The writer's pid of a temporary name "<name>.tmp.<pid>.<tick>" of `name`;
// 0 when `entry` is not exactly such a name.
uint32_t StreamTemporaryPid(std::string_view entry, std::string_view name) {
  std::string_view rest;
  const uint32_t pid = TemporaryWriterPid(entry, name, &rest);
  uint64_t tick = 0;
  if (pid == 0 || rest.empty() || !ParseCanonicalDecimal(rest.substr(1), UINT64_MAX, &tick)) return 0;
  return pid;
}

}  // namespace

namespace testing {
void FailStreamWrite(size_t n) { g_fail_write.store(n); }
void FailStreamSync(bool fail) { g_fail_sync.store(fail); }
void FailStreamRename(bool fail) { g_fail_rename.store(fail); }
}  // namespace testing

std::filesystem::path DurableStreamWriter::TemporaryPathFor(const std::filesystem::path& target) {
  std::filesystem::path temp = target;
  temp += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(TickCount64());
  return temp;
}

size_t DurableStreamWriter::RemoveAbandonedTemporaries(const std::filesystem::path& target) {
  return RemoveEndedWritersFiles(target, StreamTemporaryPid);
}

DurableStreamWriter::DurableStreamWriter() : buffer_(kBufferBytes) {}

DurableStreamWriter::~DurableStreamWriter() {
  Abandon();
  SecureZero(buffer_.data(), buffer_.size());
}

bool DurableStreamWriter::Open(const std::filesystem::path& temp) {
  if (fd_ >= 0) return false;
  fd_ = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) return false;
  temp_ = temp;
  if (::fchmod(fd_, 0600) != 0) {
    Abandon();
    return false;
  }
  return true;
}

bool DurableStreamWriter::Flush() {
  const bool ok = WriteFully(fd_, buffer_.data(), used_);
  SecureZero(buffer_.data(), used_);
  used_ = 0;
  return ok;
}

bool DurableStreamWriter::Write(std::string_view bytes) {
  if (fd_ < 0 || failed_) return false;
  while (!bytes.empty()) {
    const size_t n = std::min(bytes.size(), buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, bytes.data(), n);
    used_ += n;
    bytes.remove_prefix(n);
    if (used_ == buffer_.size() && !Flush()) {
      failed_ = true;
      return false;
    }
  }
  return true;
}

bool DurableStreamWriter::Commit(const std::filesystem::path& target) {
  if (fd_ < 0 || failed_ || !Flush() || g_fail_sync.exchange(false) || ::fsync(fd_) != 0) {
    Abandon();
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 || g_fail_rename.exchange(false)) {
    ::unlink(temp_.c_str());
    return false;
  }
  // RenameDurably is false also when only the folder flush failed: the
  // target then holds the complete new file, and the temporary is gone.
  const bool renamed = RenameDurably(temp_, target);
  if (!renamed && PathExists(temp_)) ::unlink(temp_.c_str());
  return renamed;
}

void DurableStreamWriter::Abandon() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  ::unlink(temp_.c_str());
  SecureZero(buffer_.data(), used_);
  used_ = 0;
}

LineFileReader::LineFileReader() : buffer_(kBufferBytes) {}

LineFileReader::~LineFileReader() {
  if (fd_ >= 0) ::close(fd_);
  SecureZero(buffer_.data(), buffer_.size());
}

bool LineFileReader::Open(const std::filesystem::path& path) {
  if (fd_ >= 0) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  // A regular file: reads block as usual.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

bool LineFileReader::Fill() {
  SecureZero(buffer_.data(), begin_);
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  SecureZero(buffer_.data() + end_, buffer_.size() - end_);
  const ssize_t n = RetryOnEintr([&] { return ::read(fd_, buffer_.data() + end_, buffer_.size() - end_); });
  if (n < 0) return false;
  if (n == 0) eof_ = true;
  end_ += static_cast<size_t>(n);
  return true;
}

LineFileReader::Result LineFileReader::ReadLine(size_t cap, std::string* line) {
  SecureZero(line->data(), line->size());
  line->clear();
  if (fd_ < 0) return Result::kError;
  for (;;) {
    const char* start = buffer_.data() + begin_;
    const void* lf = std::memchr(start, '\n', end_ - begin_);
    const size_t take = lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - start) : end_ - begin_;
    if (line->size() + take > cap) return Result::kTooLong;
    AppendToLine(line, start, take, cap);
    SecureZero(buffer_.data() + begin_, take);
    begin_ += take;
    if (lf != nullptr) {
      ++begin_;
      return Result::kLine;
    }
    if (eof_) return line->empty() ? Result::kEnd : Result::kLine;
    begin_ = end_ = 0;
    if (!Fill()) return Result::kError;
    if (eof_ && end_ == 0) return line->empty() ? Result::kEnd : Result::kLine;
  }
}

}  // namespace platform
