#pragma once
// File operations with the guarantees the program relies on.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Replaces `target` with `bytes` durably, through a temporary file beside it
// named "<name>.tmp.<pid>.<count>" (this process's id, a process-wide count):
// the bytes go there, are flushed to disk, and the file is renamed over
// `target` (a link there is replaced, never followed); then the folder is
// flushed. A reader of `target` sees the previous file or the whole new one.
// The file gets exactly `mode`, whatever the umask.
//
// What a killed run left never fails the write: a file, link or folder at a
// temporary name is never written into or through; the next count is taken
// (up to kMaxTemporaryNameTries names in one write). Before writing, what
// ended writers of `target` left goes (RemoveEndedWritersTemporaries), an
// earlier process's with this pid among it. On any failure the temporary
// file is removed and `target` is untouched.
[[nodiscard]] bool ReplaceFileDurably(const std::filesystem::path& target, std::string_view bytes,
                                      uint32_t mode = 0600);

// The same, but the new file gets `create_mode` less the process umask, as a
// plain create would give it.
[[nodiscard]] bool ReplaceFileDurablyUnderUmask(const std::filesystem::path& target, std::string_view bytes,
                                                uint32_t create_mode);

// How many temporary names one replace tries before it gives up. Files that
// killed writers left are removed first, so only what the removal keeps (a
// folder or a link at such a name) takes a name: none in a run that nothing
// tampers with. The bound only keeps a folder filled on purpose from holding
// the writer in a loop.
inline constexpr uint32_t kMaxTemporaryNameTries = 65536;

// The same as ReplaceFileDurably through the caller's own temporary name
// `temp`, in the same folder as `target`, for a writer with a naming scheme of
// its own. Anything already at `temp` fails the write and is left as it is.
[[nodiscard]] bool ReplaceFileDurablyThrough(const std::filesystem::path& target, std::string_view bytes,
                                             const std::filesystem::path& temp, uint32_t mode = 0600);

// The writer's pid in the name `entry` of a temporary file of the target
// named `name`: "<name>.tmp.<pid>" or "<name>.tmp.<pid>.<rest>" with the pid
// in canonical decimal (no sign, no leading zero, 1 to 2^31-1). `rest`, when
// not null, gets what follows the pid: empty, or the dot and what follows it.
// 0 when `entry` is not such a name.
[[nodiscard]] uint32_t TemporaryWriterPid(std::string_view entry, std::string_view name, std::string_view* rest);

// Removes what writers of `target` that ended before their rename (killed,
// crashed) left beside it: the regular files of its folder for which
// `writer_of(entry name, target name)` gives a pid (0: not a temporary of
// `target`) whose process has ended (ProcessHasEnded). A file with this
// process's pid goes only when `own_left_over(entry name, target name)` says
// no writer of this process made it (an earlier process had this pid); with
// no `own_left_over` it stays. Links are never followed or removed, nor
// folders. Returns how many went. A dead writer's pid now reused by a running
// process keeps its leftover; a writer in another pid namespace writing to
// the same folder would be taken for dead.
using TemporaryWriterOf = uint32_t (*)(std::string_view entry, std::string_view name);
using OwnTemporaryLeftOver = bool (*)(std::string_view entry, std::string_view name);
size_t RemoveEndedWritersFiles(const std::filesystem::path& target, TemporaryWriterOf writer_of,
                               OwnTemporaryLeftOver own_left_over = nullptr);

// RemoveEndedWritersFiles for the temporaries of ReplaceFileDurably, and
// those of the names writers used before it ("<name>.tmp.<pid>"): every name
// TemporaryWriterPid reads. Those with this pid go too, but for the ones
// that a replace of this process is writing.
size_t RemoveEndedWritersTemporaries(const std::filesystem::path& target);

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
