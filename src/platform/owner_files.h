#pragma once
// Folders and files only their owner may open. Windows gets this from the
// access list of the user's local application data folder; here the modes
// are set explicitly, without touching the process-wide umask.
#include <filesystem>

namespace platform {

// Creates `path` and its missing parents; every folder made here gets mode
// 0700, and `path` itself is set to 0700 even when it existed. A symbolic
// link as the last component is refused. False on any failure.
[[nodiscard]] bool CreateOwnerOnlyDirectories(const std::filesystem::path& path);

// Creates `path` when missing (never through a symbolic link) and sets its
// mode to 0600. False on any failure.
[[nodiscard]] bool EnsureOwnerOnlyFile(const std::filesystem::path& path);

}  // namespace platform
