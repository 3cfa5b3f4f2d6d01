#pragma once
// The private folder of one fuzz run, "<root>/<prefix>_<pid>_XXXXXX" (on
// tmpfs: /dev/shm), for entries that keep a store and keys on disk.
//
// A run cannot always remove its own folder: libFuzzer ends a run after
// SIGINT, SIGTERM, a crash or a timeout through _Exit, past atexit, and
// SIGKILL ends it outright. So every run first removes the folders of runs
// that have ended, then makes its own and removes it at a normal exit.
//
// A folder is taken as an ended run's only when all of this holds: its name
// is exactly "<prefix>_<pid>_" and six characters, the pid decimal (1 to
// 2^31-1, no sign, no leading zero) and not ours; kill(pid, 0) answers ESRCH;
// it is a folder itself (not a link) and belongs to this user. Limit: a dead
// run's pid taken by a live process keeps its folder until that process ends.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/process.h"

namespace quorix_fuzz {

// The pid in an entry name "<prefix>_<pid>_XXXXXX"; 0 when it is not one.
inline pid_t RunFolderPid(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() + 1 || name.substr(0, prefix.size()) != prefix || name[prefix.size()] != '_') {
    return 0;
  }
  name.remove_prefix(prefix.size() + 1);
  const size_t end = name.find('_');
  uint64_t pid = 0;
  if (end == std::string_view::npos || name.size() - end - 1 != 6 ||
      !platform::ParseCanonicalDecimal(name.substr(0, end), INT32_MAX, &pid)) {
    return 0;
  }
  return static_cast<pid_t>(pid);
}

// Removes the folders of ended runs under `root` (see above).
inline void RemoveEndedRunFolders(const std::filesystem::path& root, std::string_view prefix) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
    const pid_t pid = RunFolderPid(entry.path().filename().native(), prefix);
    if (pid == 0 || pid == ::getpid() || !platform::ProcessHasEnded(pid)) continue;
    struct stat st {};
    if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) continue;
    std::error_code ignored;
    std::filesystem::remove_all(entry.path(), ignored);  // never follows links inside
  }
}

// Removes ended runs' folders under `root`, makes this run's and returns it;
// empty when it cannot be made.
inline std::filesystem::path MakeRunFolder(const std::filesystem::path& root, std::string_view prefix) {
  RemoveEndedRunFolders(root, prefix);
  std::string pattern = (root / (std::string(prefix) + "_" + std::to_string(::getpid()) + "_XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace quorix_fuzz
