#include "platform/owner_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/unique_fd.h"

namespace platform {

bool CreateOwnerOnlyDirectories(const std::filesystem::path& path) {
  if (path.empty() || !CreatePrivateDirectories(path)) return false;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return (st.st_mode & 07777) == 0700 || ::chmod(path.c_str(), 0700) == 0;
}

bool EnsureOwnerOnlyFile(const std::filesystem::path& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  return fd.valid() && ::fchmod(fd.get(), 0600) == 0;
}

}  // namespace platform
