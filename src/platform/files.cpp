#include "platform/files.h"

#include "platform/crypto.h"
#include "platform/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <algorithm>
#include <cstdint>
#include <system_error>
#include <vector>

namespace platform {
namespace {

std::filesystem::path ParentOrDot(const std::filesystem::path& p) {
  auto parent = p.parent_path();
  return parent.empty() ? std::filesystem::path(".") : parent;
}

}  // namespace

bool SyncDirectory(const std::filesystem::path& dir) {
  const UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.valid() && ::fsync(fd.get()) == 0;
}

bool RenameDurably(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return false;
  return SyncDirectory(ParentOrDot(to));
}

namespace {

// `exact_mode`: the file gets `mode` whatever the umask; otherwise the umask
// narrows it as it does any create.
bool ReplaceThroughTemporary(const std::filesystem::path& target, std::string_view bytes,
                             const std::filesystem::path& temp, uint32_t mode, bool exact_mode) {
  UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode)));
  if (!fd.valid()) return false;
  bool ok = (!exact_mode || ::fchmod(fd.get(), static_cast<mode_t>(mode)) == 0) &&
            WriteAll(fd.get(), bytes.data(), bytes.size()) && ::fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  if (ok && ::rename(temp.c_str(), target.c_str()) == 0) {
    // The data is in place; a failed folder flush only weakens durability.
    (void)SyncDirectory(ParentOrDot(target));
    return true;
  }
  ::unlink(temp.c_str());
  return false;
}

std::filesystem::path TemporaryBeside(const std::filesystem::path& target) {
  static std::atomic<uint64_t> counter{0};
  std::filesystem::path temp = target;
  temp += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(++counter);
  return temp;
}

}  // namespace

bool ReplaceFileDurably(const std::filesystem::path& target, std::string_view bytes,
                        const std::filesystem::path& temp, uint32_t mode) {
  return ReplaceThroughTemporary(target, bytes, temp, mode, true);
}

bool ReplaceFileDurably(const std::filesystem::path& target, std::string_view bytes) {
  return ReplaceThroughTemporary(target, bytes, TemporaryBeside(target), 0600, true);
}

bool ReplaceFileDurablyUnderUmask(const std::filesystem::path& target, std::string_view bytes,
                                  uint32_t create_mode) {
  return ReplaceThroughTemporary(target, bytes, TemporaryBeside(target), create_mode, false);
}

bool AppendToFile(const std::filesystem::path& path, std::string_view bytes) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
  if (!fd.valid()) return false;
  // One write, so concurrent appenders never interleave inside a record.
  const ssize_t n = RetryOnEintr([&] { return ::write(fd.get(), bytes.data(), bytes.size()); });
  const bool closed = fd.Close();
  return closed && n == static_cast<ssize_t>(bytes.size());
}

bool WriteFileInPlace(const std::filesystem::path& path, std::string_view bytes) {
  UniqueFd fd(RetryOnEintr(
      [&] { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600); }));
  if (!fd.valid()) return false;
  const bool ok = ::fchmod(fd.get(), 0600) == 0 && WriteAll(fd.get(), bytes.data(), bytes.size());
  const bool closed = fd.Close();
  return ok && closed;
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

bool CreatePrivateDirectories(const std::filesystem::path& path) {
  if (path.empty()) return false;
  // Walk up to the first folder that exists, then make the rest one by one.
  std::vector<std::filesystem::path> missing;
  std::filesystem::path p = path.lexically_normal();
  if (!p.has_filename() && p.has_parent_path()) p = p.parent_path();
  while (!p.empty()) {
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return false;
      break;
    }
    if (errno != ENOENT) return false;
    missing.push_back(p);
    const auto parent = p.parent_path();
    if (parent == p) break;
    p = parent;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0700) != 0) {
      if (errno != EEXIST) return false;
      struct stat st {};
      if (::stat(it->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
      continue;
    }
    if (::chmod(it->c_str(), 0700) != 0) return false;
  }
  return true;
}

bool CreatePrivateDirectory(const std::filesystem::path& path, bool parents) {
  if (parents) return CreatePrivateDirectories(path);
  if (::mkdir(path.c_str(), 0700) == 0) return ::chmod(path.c_str(), 0700) == 0;
  if (errno != EEXIST) return false;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FileReadResult ReadRegularFile(const std::filesystem::path& path, size_t max_bytes, std::string* out) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return FileReadResult::kNotOpened;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return FileReadResult::kNotOpened;
  // Read straight into the result (no stray copies of what may be a secret);
  // one byte past the limit tells a file that grew beyond it.
  std::string data;
  const size_t cap = max_bytes == SIZE_MAX ? max_bytes : max_bytes + 1;
  data.resize(std::min(cap, static_cast<size_t>(st.st_size) + 1));
  size_t done = 0;
  FileReadResult result = FileReadResult::kOk;
  while (true) {
    if (done == data.size()) {
      if (done >= cap) break;
      data.resize(std::min(cap, done + 65536));
    }
    const ssize_t n = RetryOnEintr([&] { return ::read(fd.get(), data.data() + done, data.size() - done); });
    if (n < 0) {
      result = FileReadResult::kReadError;
      break;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  if (result == FileReadResult::kOk && done > max_bytes) result = FileReadResult::kTooLarge;
  if (result != FileReadResult::kOk) {
    SecureZero(data.data(), data.size());
    return result;
  }
  data.resize(done);
  *out = std::move(data);
  return result;
}

bool ReadWholeFile(const std::filesystem::path& path, size_t min_size, size_t max_size, std::string* out) {
  SecureZero(out->data(), out->size());
  out->clear();
  std::string data;
  if (ReadRegularFile(path, max_size, &data) != FileReadResult::kOk || data.size() < min_size) {
    SecureZero(data.data(), data.size());
    return false;
  }
  *out = std::move(data);
  return true;
}

bool RemoveFile(const std::filesystem::path& path) {
  if (::unlink(path.c_str()) == 0) return true;
  return errno == ENOENT;
}

}  // namespace platform
