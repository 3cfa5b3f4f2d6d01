#pragma once
// The per-start run directory, its records and the process feature flags.
#include <cstdint>
#include <filesystem>
#include <string>

// Creates USERPROFILE/Documents/QuorixPhone_Development/UI3_Run_<local time>_<pid>,
// sets the process feature flags and the event log variable, and writes
// "process.private.json" there (owner only) and "LAST_RUN.txt" beside the executable.
// Throws std::runtime_error ("USERPROFILE_MISSING", "RUN_ALREADY_EXISTS", the
// flag and record errors) or std::filesystem::filesystem_error.
std::filesystem::path CreateRunDirectory(const std::filesystem::path& executable_path);

// Replaces `path` with the UTF-8 byte-order mark (when asked) and `content`
// unchanged, through platform::ReplaceFileDurably: a reader sees the previous
// record or the whole new one and a crash leaves one of them. What a killed
// run left beside it never fails the write, and the next write removes what
// ended runs left. The file is 0644 before the umask, or exactly 0600 when
// `owner_only`; a link at `path` is replaced, not followed. Throws
// std::runtime_error "UI3_RUN_RECORD_FAILED" when the temporary file cannot
// be created, written or flushed, or the rename fails.
void WriteRunRecord(const std::filesystem::path& path, const std::string& content, bool byte_order_mark,
                    bool owner_only = false);

// Lower-case hexadecimal SHA-256 of the file; empty when the file cannot be
// opened or read to its end, or the hash cannot be computed.
std::string FileSha256Hex(const std::filesystem::path& path);

// The run directory's name for a local time and a process id.
std::string FormatRunName(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute,
                          uint32_t second, uint32_t millisecond, uint32_t pid);
