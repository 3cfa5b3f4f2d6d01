#include "platform/process.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>

namespace platform {
namespace {

std::mutex g_root_mutex;
std::filesystem::path g_proc_root = "/proc";
std::mutex g_executable_mutex;
std::filesystem::path g_executable_override;  // tests only

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string BaseName(std::string_view path) {
  const auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool ParseUnsigned(std::string_view text, uint32_t* out) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) return false;
  *out = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

bool ParseCanonicalDecimal(std::string_view text, uint64_t max, uint64_t* out) {
  if (text.empty() || (text.size() > 1 && text[0] == '0')) return false;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  *out = value;
  return true;
}

bool ProcessHasEnded(int32_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

std::filesystem::path ExecutablePath() {
  {
    std::lock_guard<std::mutex> lock(g_executable_mutex);
    if (!g_executable_override.empty()) return g_executable_override;
  }
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : path;
}

std::optional<std::chrono::system_clock::time_point> ProcessCreationTime() {
  // Field 22 of /proc/self/stat is the start time in clock ticks after boot;
  // "btime" in /proc/stat is the boot time in seconds since the epoch.
  std::ifstream stat_file("/proc/self/stat");
  std::string stat;
  std::getline(stat_file, stat);
  const auto close_paren = stat.rfind(')');
  if (close_paren == std::string::npos) return std::nullopt;
  std::istringstream fields(stat.substr(close_paren + 2));
  fields.imbue(std::locale::classic());
  std::string field;
  unsigned long long start_ticks = 0;
  for (int index = 3; fields >> field; ++index) {
    if (index == 22) {
      std::istringstream number(field);
      number.imbue(std::locale::classic());
      if (!(number >> start_ticks)) return std::nullopt;
      break;
    }
  }
  std::ifstream proc_stat("/proc/stat");
  std::string line;
  unsigned long long boot_seconds = 0;
  bool found = false;
  while (std::getline(proc_stat, line)) {
    if (line.rfind("btime ", 0) == 0) {
      std::istringstream number(line.substr(6));
      number.imbue(std::locale::classic());
      found = static_cast<bool>(number >> boot_seconds);
      break;
    }
  }
  const long hz = ::sysconf(_SC_CLK_TCK);
  if (!found || hz <= 0) return std::nullopt;
  const auto since_boot = std::chrono::nanoseconds(
      static_cast<int64_t>(start_ticks / static_cast<unsigned long long>(hz)) * 1000000000LL +
      static_cast<int64_t>(start_ticks % static_cast<unsigned long long>(hz)) * (1000000000LL / hz));
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(boot_seconds) + since_boot));
}

std::vector<ProcessEntry> ListProcesses(const std::filesystem::path& proc_root) {
  std::vector<ProcessEntry> out;
  std::error_code ec;
  std::filesystem::directory_iterator it(proc_root, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    ProcessEntry entry;
    if (!ParseUnsigned(it->path().filename().native(), &entry.pid)) continue;
    std::error_code link_ec;
    const auto exe = std::filesystem::read_symlink(it->path() / "exe", link_ec);
    if (!link_ec && !exe.empty()) {
      std::string target = exe.native();
      // A replaced binary reads "/path/name (deleted)".
      static constexpr std::string_view kDeleted = " (deleted)";
      if (target.size() > kDeleted.size() &&
          target.compare(target.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
        target.resize(target.size() - kDeleted.size());
      }
      entry.name = BaseName(target);
    } else {
      std::ifstream cmdline(it->path() / "cmdline", std::ios::binary);
      std::string argv0;
      std::getline(cmdline, argv0, '\0');
      if (argv0.empty()) continue;  // kernel threads and vanished processes
      entry.name = BaseName(argv0);
    }
    if (!entry.name.empty()) out.push_back(std::move(entry));
  }
  return out;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool AnyProcessNamed(std::initializer_list<std::string_view> names, const std::filesystem::path& proc_root) {
  bool found = false;
  for (const ProcessEntry& entry : ListProcesses(proc_root)) {
    for (std::string_view name : names) {
      if (EqualsIgnoreAsciiCase(entry.name, name)) found = true;
    }
  }
  return found;
}

std::filesystem::path ProcRoot() {
  std::lock_guard lock(g_root_mutex);
  return g_proc_root;
}

void SetProcRootForTesting(std::filesystem::path root) {
  std::lock_guard lock(g_root_mutex);
  g_proc_root = root.empty() ? std::filesystem::path("/proc") : std::move(root);
}

namespace testing {

void SetExecutablePathOverride(const std::filesystem::path& path) {
  std::lock_guard<std::mutex> lock(g_executable_mutex);
  g_executable_override = path;
}

}  // namespace testing

}  // namespace platform
