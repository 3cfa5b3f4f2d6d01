#include "platform/files.h"

#include "platform/crypto.h"
#include "platform/process.h"
#include "platform/thread_annotations.h"
#include "platform/unique_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
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

std::atomic<uint64_t> g_temporary_count{0};

// The counts of this process's replaces under way, from before their
// temporary is created until after it is renamed or removed. A temporary
// named with this pid whose count is not among them was left by an earlier
// process that had this pid (a pid namespace gives every start the same one).
class CountsInUse {
 public:
  void Add(uint64_t count) EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    counts_.insert(count);
  }
  void Remove(uint64_t count) EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    counts_.erase(count);
  }
  bool Contains(uint64_t count) EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    return counts_.count(count) != 0;
  }

 private:
  Mutex mutex_;
  std::set<uint64_t> counts_ GUARDED_BY(mutex_);
};

CountsInUse& InUse() {
  static CountsInUse in_use;
  return in_use;
}

class CountInUse {
 public:
  explicit CountInUse(uint64_t count) : count_(count) { InUse().Add(count_); }
  ~CountInUse() { InUse().Remove(count_); }
  CountInUse(const CountInUse&) = delete;
  CountInUse& operator=(const CountInUse&) = delete;

 private:
  uint64_t count_;
};

// A temporary of `name` named with this pid that no replace of this process
// is writing.
bool OwnTemporaryIsLeftOver(std::string_view entry, std::string_view name) {
  std::string_view rest;
  if (TemporaryWriterPid(entry, name, &rest) == 0) return false;
  uint64_t count = 0;
  return rest.empty() || !ParseCanonicalDecimal(rest.substr(1), UINT64_MAX, &count) || !InUse().Contains(count);
}

// Writes `bytes` into `fd`, the new file at `temp`, flushes it and renames it
// over `target`. `exact_mode`: the file gets `mode` whatever the umask;
// otherwise the umask narrowed it when it was created.
bool FinishThroughTemporary(UniqueFd fd, const std::filesystem::path& temp, const std::filesystem::path& target,
                            std::string_view bytes, uint32_t mode, bool exact_mode) {
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

// A new file at `temp`, never through a link; invalid when anything is there.
UniqueFd CreateTemporary(const std::filesystem::path& temp, uint32_t mode) {
  return UniqueFd(RetryOnEintr([&] {
    return ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
  }));
}

std::filesystem::path TemporaryName(const std::filesystem::path& target, uint64_t count) {
  std::filesystem::path temp = target;
  temp += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(count);
  return temp;
}

bool ReplaceThroughOwnTemporary(const std::filesystem::path& target, std::string_view bytes, uint32_t mode,
                                bool exact_mode) {
  (void)RemoveEndedWritersTemporaries(target);
  for (uint32_t tries = 0; tries < kMaxTemporaryNameTries; ++tries) {
    const uint64_t count = ++g_temporary_count;
    const CountInUse in_use(count);
    const std::filesystem::path temp = TemporaryName(target, count);
    UniqueFd fd = CreateTemporary(temp, mode);
    if (fd.valid()) return FinishThroughTemporary(std::move(fd), temp, target, bytes, mode, exact_mode);
    // Taken (a folder or link the removal above keeps, or anything made
    // since): the next count. Any other error ends the write.
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace

// Declared for tests in platform/test_hooks.h.
namespace testing {
std::filesystem::path NextDurableTemporaryName(const std::filesystem::path& target) {
  return TemporaryName(target, g_temporary_count.load() + 1);
}
}  // namespace testing

bool ReplaceFileDurably(const std::filesystem::path& target, std::string_view bytes, uint32_t mode) {
  return ReplaceThroughOwnTemporary(target, bytes, mode, true);
}

bool ReplaceFileDurablyUnderUmask(const std::filesystem::path& target, std::string_view bytes,
                                  uint32_t create_mode) {
  return ReplaceThroughOwnTemporary(target, bytes, create_mode, false);
}

bool ReplaceFileDurablyThrough(const std::filesystem::path& target, std::string_view bytes,
                               const std::filesystem::path& temp, uint32_t mode) {
  UniqueFd fd = CreateTemporary(temp, mode);
  return fd.valid() && FinishThroughTemporary(std::move(fd), temp, target, bytes, mode, true);
}

uint32_t TemporaryWriterPid(std::string_view entry, std::string_view name, std::string_view* rest) {
  constexpr std::string_view kInfix = ".tmp.";
  if (name.empty() || entry.size() <= name.size() + kInfix.size() || entry.substr(0, name.size()) != name ||
      entry.substr(name.size(), kInfix.size()) != kInfix) {
    return 0;
  }
  const std::string_view numbers = entry.substr(name.size() + kInfix.size());
  const size_t dot = std::min(numbers.find('.'), numbers.size());
  uint64_t pid = 0;
  if (!ParseCanonicalDecimal(numbers.substr(0, dot), INT32_MAX, &pid)) return 0;
  if (rest != nullptr) *rest = numbers.substr(dot);
  return static_cast<uint32_t>(pid);
}

size_t RemoveEndedWritersFiles(const std::filesystem::path& target, TemporaryWriterOf writer_of,
                               OwnTemporaryLeftOver own_left_over) {
  const std::string name = target.filename().string();
  if (name.empty()) return 0;
  const std::filesystem::path parent = ParentOrDot(target);
  const UniqueFd folder(
      RetryOnEintr([&] { return ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!folder.valid()) return 0;
  // The listing gets a descriptor of its own; entries are checked and
  // removed relative to `folder`, so a renamed path cannot redirect them.
  UniqueFd listing_fd(::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0));
  if (!listing_fd.valid()) return 0;
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::fdopendir(listing_fd.get()), &::closedir);
  if (!listing) return 0;
  (void)listing_fd.release();
  const uint32_t own = CurrentProcessId();
  std::vector<std::string> ended;
  while (const dirent* entry = ::readdir(listing.get())) {
    const uint32_t pid = writer_of(entry->d_name, name);
    if (pid == 0) continue;
    if (pid == own ? own_left_over != nullptr && own_left_over(entry->d_name, name)
                   : ProcessHasEnded(static_cast<int32_t>(pid))) {
      ended.emplace_back(entry->d_name);
    }
  }
  size_t removed = 0;
  for (const std::string& entry : ended) {
    struct stat info {};
    if (::fstatat(folder.get(), entry.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) continue;
    // Swapped for a link meanwhile, unlinkat removes the link, never its target.
    removed += ::unlinkat(folder.get(), entry.c_str(), 0) == 0;
  }
  return removed;
}

size_t RemoveEndedWritersTemporaries(const std::filesystem::path& target) {
  return RemoveEndedWritersFiles(
      target, [](std::string_view entry, std::string_view name) { return TemporaryWriterPid(entry, name, nullptr); },
      OwnTemporaryIsLeftOver);
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
