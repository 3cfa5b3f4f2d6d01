#include "platform/owner_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform {

namespace {

// Makes one folder with mode 0700 (mkdir, then chmod, since the umask may
// have taken bits away). True when made or when a folder is already there.
bool MakeOneDirectory(const std::filesystem::path& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (::mkdir(dir.c_str(), 0700) == 0) return ::chmod(dir.c_str(), 0700) == 0;
  return errno == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool CreateOwnerOnlyDirectories(const std::filesystem::path& path) {
  if (path.empty()) return false;
  std::vector<std::filesystem::path> chain;
  for (std::filesystem::path p = path.lexically_normal(); !p.empty(); p = p.parent_path()) {
    if (p.has_filename()) chain.push_back(p);
    if (p == p.parent_path()) break;
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!MakeOneDirectory(*it)) return false;
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return (st.st_mode & 07777) == 0700 || ::chmod(path.c_str(), 0700) == 0;
}

bool EnsureOwnerOnlyFile(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0600) == 0;
  ::close(fd);
  return ok;
}

}  // namespace platform
