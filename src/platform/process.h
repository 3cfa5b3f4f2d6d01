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
