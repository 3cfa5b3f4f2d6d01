#pragma once
// File operations with the guarantees the program relies on.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Replaces `target` with `bytes` durably: the bytes go to `temp` (created
// fresh, mode 0600 unless `mode` says otherwise), which is flushed to disk,
// renamed over `target`, and the folder is flushed. On any failure the
// temporary file is removed and `target` is untouched. The file gets exactly
// `mode`, whatever the umask. `temp` must be in the
// same folder as `target`.
[[nodiscard]] bool ReplaceFileDurably(const std::filesystem::path& target, std::string_view bytes,
                        const std::filesystem::path& temp, uint32_t mode = 0600);

// The same, with a temporary name of its own beside the target
// ("<target>.tmp.<pid>.<count>").
[[nodiscard]] bool ReplaceFileDurably(const std::filesystem::path& target, std::string_view bytes);

// The same, but the new file gets `create_mode` less the process umask, as a
// plain create would give it, where the others set an exact mode. A reader of
// `target` meanwhile sees the old file or the whole new one, never a part.
[[nodiscard]] bool ReplaceFileDurablyUnderUmask(const std::filesystem::path& target, std::string_view bytes,
                                                uint32_t create_mode);

// Moves an already written and flushed `from` over `to` and flushes the folder.
[[nodiscard]] bool RenameDurably(const std::filesystem::path& from, const std::filesystem::path& to);

// Appends `bytes` at the end of the file with one write (O_APPEND), creating
// it when missing. False when it cannot be opened or not all bytes were written.
[[nodiscard]] bool AppendToFile(const std::filesystem::path& path, std::string_view bytes);

// Writes `bytes` over the file at `path` in place: created with mode 0600
// or truncated (its mode set to 0600 either way), never through a symbolic
// link. Not atomic: a failure part way leaves a short file. False when the
// file cannot be opened, a write fails or the close reports an error.
[[nodiscard]] bool WriteFileInPlace(const std::filesystem::path& path, std::string_view bytes);

// True when something exists at `path`. Never throws.
[[nodiscard]] bool PathExists(const std::filesystem::path& path);

// Creates `path` with its missing parents. `created` says whether the last
// component was made by this call (false: it existed already). False on error.
[[nodiscard]] bool CreateDirectories(const std::filesystem::path& path, bool* created);

// Creates `path` with its missing parents like CreateDirectories, but every
// folder this call makes gets mode 0700 whatever the umask; folders that exist
// are left as they are. False on error (also when `path` is not a folder).
[[nodiscard]] bool CreatePrivateDirectories(const std::filesystem::path& path);

// One folder made like CreatePrivateDirectories (mode 0700); with `parents`,
// missing ancestors are made the same way. True when it was made or a folder
// is already there.
[[nodiscard]] bool CreatePrivateDirectory(const std::filesystem::path& path, bool parents);

enum class FileReadResult {
  kOk,
  kNotOpened,  // missing, not a regular file (folder, FIFO, device...), or no access
  kTooLarge,   // holds more than the limit
  kReadError,  // opened, but reading failed
};

// Reads a whole regular file of at most `max_bytes` into `out` (replacing its
// content). Opened without blocking (a FIFO never hangs the caller) and
// checked to be a regular file before anything is read. On any result other
// than kOk, `out` is untouched.
[[nodiscard]] FileReadResult ReadRegularFile(const std::filesystem::path& path, size_t max_bytes, std::string* out);

// Reads a whole regular file of `min_size` to `max_size` bytes into `out`.
// False otherwise, with `out` wiped and emptied (it may hold secrets).
[[nodiscard]] bool ReadWholeFile(const std::filesystem::path& path, size_t min_size, size_t max_size, std::string* out);

// Removes a file. True when it was removed or was not there (also when its
// folder is missing); false for anything else (a folder, no permission).
[[nodiscard]] bool RemoveFile(const std::filesystem::path& path);

// Flushes the folder's entry table to disk.
[[nodiscard]] bool SyncDirectory(const std::filesystem::path& dir);

}  // namespace platform
