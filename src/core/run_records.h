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

// Creates or truncates `path` and writes the UTF-8 byte-order mark (when
// asked) and `content` unchanged; the file is 0644 before the umask, or 0600
// when `owner_only` (also when it existed). Throws std::runtime_error
// "UI3_RUN_RECORD_FAILED" when the file cannot be opened, written or closed.
void WriteRunRecord(const std::filesystem::path& path, const std::string& content, bool byte_order_mark,
                    bool owner_only = false);

// Lower-case hexadecimal SHA-256 of the file; empty when the file cannot be
// opened or read to its end, or the hash cannot be computed.
std::string FileSha256Hex(const std::filesystem::path& path);

// The run directory's name for a local time and a process id.
std::string FormatRunName(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute,
                          uint32_t second, uint32_t millisecond, uint32_t pid);
