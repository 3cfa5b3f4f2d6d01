#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>

namespace platform {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::filesystem::path ParentOrDot(const std::filesystem::path& p) {
  auto parent = p.parent_path();
  return parent.empty() ? std::filesystem::path(".") : parent;
}

}  // namespace

bool SyncDirectory(const std::filesystem::path& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool RenameDurably(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return false;
  return SyncDirectory(ParentOrDot(to));
}

bool ReplaceFileDurably(const std::filesystem::path& target, std::string_view bytes,
                        const std::filesystem::path& temp, uint32_t mode) {
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temp.c_str(), target.c_str()) == 0) {
    // The data is in place; a failed folder flush only weakens durability.
    SyncDirectory(ParentOrDot(target));
    return true;
  }
  ::unlink(temp.c_str());
  return false;
}

bool ReplaceFileDurably(const std::filesystem::path& target, std::string_view bytes) {
  static std::atomic<uint64_t> counter{0};
  std::filesystem::path temp = target;
  temp += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(++counter);
  return ReplaceFileDurably(target, bytes, temp);
}

bool AppendToFile(const std::filesystem::path& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ssize_t n;
  do {
    n = ::write(fd, bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
  const bool closed = ::close(fd) == 0;
  return closed && n == static_cast<ssize_t>(bytes.size());
}

bool PathExists(const std::filesystem::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool CreateDirectories(const std::filesystem::path& path, bool* created) {
  std::error_code ec;
  const bool made = std::filesystem::create_directories(path, ec);
  if (ec) return false;
  if (created != nullptr) *created = made;
  return true;
}

bool CreatePrivateDirectory(const std::filesystem::path& path, bool parents) {
  if (parents) {
    std::filesystem::path partial;
    for (const auto& part : path.parent_path()) {
      partial /= part;
      if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
  }
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadWholeFile(const std::filesystem::path& path, size_t min_size, size_t max_size, std::string* out) {
  out->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) >= min_size &&
            static_cast<size_t>(st.st_size) <= max_size;
  if (ok) {
    out->resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (ok && done < out->size()) {
      const ssize_t n = ::read(fd, out->data() + done, out->size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = false;
      } else {
        done += static_cast<size_t>(n);
      }
    }
  }
  ::close(fd);
  if (!ok) out->clear();
  return ok;
}

bool RemoveFile(const std::filesystem::path& path) {
  if (::unlink(path.c_str()) == 0) return true;
  return errno == ENOENT;
}

}  // namespace platform
