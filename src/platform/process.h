#pragma once
// Facts about this process and a scan of the running processes.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

uint32_t CurrentProcessId();

// Leftovers named after the process that made them ("<name>.tmp.<pid>.<tick>",
// a fuzz run's "<entry>_<pid>_XXXXXX") are read back with these two.
//
// `text` as a decimal number of at most `max`: digits only, no sign, no
// leading zero, so that every number has one spelling. False, and `out`
// untouched, otherwise.
[[nodiscard]] bool ParseCanonicalDecimal(std::string_view text, uint64_t max, uint64_t* out);

// True only when no process has `pid`: signal 0 finds none (ESRCH). A
// process we may not signal (EPERM) counts as running.
[[nodiscard]] bool ProcessHasEnded(int32_t pid);

// The running executable (/proc/self/exe), empty when it cannot be read.
std::filesystem::path ExecutablePath();

// When this process was created, as nanoseconds since the Unix epoch (UTC).
// Resolution is the kernel's clock tick.
std::optional<std::chrono::system_clock::time_point> ProcessCreationTime();

struct ProcessEntry {
  uint32_t pid = 0;
  std::string name;  // base name of the executable
};

// The processes visible under `proc_root`, each named by the base name of
// /proc/PID/exe, else of argv[0] from /proc/PID/cmdline. Processes that end
// during the scan are skipped.
std::vector<ProcessEntry> ListProcesses(const std::filesystem::path& proc_root = "/proc");

// True when a process whose executable base name equals one of `names`
// (ASCII case-insensitively) is running. The whole list is always walked.
[[nodiscard]] bool AnyProcessNamed(std::initializer_list<std::string_view> names,
                     const std::filesystem::path& proc_root = "/proc");

// The /proc root used by the program's own scans; tests may point it elsewhere.
std::filesystem::path ProcRoot();
void SetProcRootForTesting(std::filesystem::path root);

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace platform
