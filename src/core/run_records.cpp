#include "core/run_records.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "core/environment.h"
#include "core/service_origin.h"
#include "core/text.h"
#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/unique_fd.h"

namespace {

constexpr const char16_t* kClearedFlags[] = {
    u"QUORIX_C1D_STATS_PATH",           u"QUORIX_K10_OBSERVE_DIR",
    u"QUORIX_C1B_CAPTURE_ID",           u"QUORIX_C1B_RENDER_ID",
    u"QUORIX_C1F_FORCE_RELAY",          u"QUORIX_2PC_ALLOWED_HOST",
    u"QUORIX_C1C_KEEP_SELECTED_AUDIO",  u"QUORIX_AUDIO_SELECTION_GENERATION",
    u"QUORIX_BROWSER_RENDER_ID",        u"QUORIX_BROWSER_OUTPUT_GENERATION",
};

struct FlagValue {
  const char16_t* name;
  const char16_t* value;
};

constexpr FlagValue kSetFlags[] = {
    {u"QUORIX_RUNTIME_MODE", u"LIVE_PRODUCTION_RC"},
    {u"QUORIX_2PC_ORIGIN", quorix_service::kServiceBaseUrlWide},
    {u"QUORIX_2PC_NETWORK", u"AUTHORIZED_ISOLATED_ONLY"},
    {u"QUORIX_2PC_DIRECT_ONLY", u"1"},
    {u"QUORIX_2PC_REAL_ACCOUNTS", u"1"},
    {u"QUORIX_MVP03B2B_LIVE_READONLY", u"1"},
    {u"QUORIX_MVP03_LIVE_MESSAGING", u"1"},
    {u"QUORIXPHONE_TSF_C3C", u"1"},
    {u"QUORIXPHONE_TSF_C3E", u"1"},
};

std::string FormatStartUtc() {
  const auto created = platform::ProcessCreationTime().value_or(std::chrono::system_clock::now());
  const auto since_epoch = std::chrono::duration_cast<std::chrono::nanoseconds>(created.time_since_epoch());
  const int64_t ns = since_epoch.count();
  const time_t seconds = static_cast<time_t>(ns / 1000000000);
  const unsigned long long hundreds = static_cast<unsigned long long>((ns % 1000000000) / 100);
  tm parts{};
  gmtime_r(&seconds, &parts);
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%04u-%02u-%02uT%02u:%02u:%02u.%07lluZ", static_cast<unsigned>(parts.tm_year + 1900),
                static_cast<unsigned>(parts.tm_mon + 1), static_cast<unsigned>(parts.tm_mday),
                static_cast<unsigned>(parts.tm_hour), static_cast<unsigned>(parts.tm_min),
                static_cast<unsigned>(parts.tm_sec), hundreds);
  return buf;
}

}  // namespace

std::string FormatRunName(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute,
                          uint32_t second, uint32_t millisecond, uint32_t pid) {
  char buf[96];
  std::snprintf(buf, sizeof(buf), "UI3_Run_%04u%02u%02u_%02u%02u%02u_%03u_%lu", year, month, day, hour, minute, second,
                millisecond, static_cast<unsigned long>(pid));
  return buf;
}

void WriteRunRecord(const std::filesystem::path& path, const std::string& content, bool byte_order_mark,
                    bool owner_only) {
  std::string bytes;
  if (byte_order_mark) bytes = "\xEF\xBB\xBF";
  bytes += content;
  // Written beside the record and renamed over it: a reader (the owner-check
  // watcher polls RUN.txt) sees the previous record or the whole new one, and
  // a crash part way leaves the previous one.
  const bool replaced = owner_only ? platform::ReplaceFileDurably(path, bytes)  // exactly 0600
                                   : platform::ReplaceFileDurablyUnderUmask(path, bytes, 0644);
  if (!replaced) throw std::runtime_error("UI3_RUN_RECORD_FAILED");
}

std::string FileSha256Hex(const std::filesystem::path& path) {
  const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return {};
  platform::Sha256Hasher hasher;
  std::vector<char> buffer(65536);
  bool ok = hasher.ok();
  while (ok) {
    const ssize_t n = platform::RetryOnEintr([&] { return ::read(fd.get(), buffer.data(), buffer.size()); });
    if (n < 0) ok = false;
    if (n <= 0) break;
    hasher.Update(buffer.data(), static_cast<size_t>(n));
  }
  if (!ok) return {};
  const auto digest = hasher.Finish();
  if (!digest) return {};
  return platform::ToHex(digest->data(), digest->size());
}

std::filesystem::path CreateRunDirectory(const std::filesystem::path& executable_path) {
  const std::u16string profile = ReadEnvironmentString(u"USERPROFILE");
  if (profile.empty()) throw std::runtime_error("USERPROFILE_MISSING");
  const platform::WallTime now = platform::LocalTimeNow();
  const uint32_t pid = platform::CurrentProcessId();
  const std::string name =
      FormatRunName(now.year, now.month, now.day, now.hour, now.minute, now.second, now.millisecond, pid);
  const std::filesystem::path run_dir =
      std::filesystem::path(WideToUtf8(profile)) / "Documents" / "QuorixPhone_Development" / name;
  if (!std::filesystem::create_directories(run_dir)) throw std::runtime_error("RUN_ALREADY_EXISTS");

  for (const char16_t* flag : kClearedFlags) SetProcessEnvironmentFlag(flag, std::nullopt);
  for (const FlagValue& flag : kSetFlags) SetProcessEnvironmentFlag(flag.name, std::u16string_view(flag.value));
  // The event log reads only the process copy.
  if (!platform::env::Set("QUORIX_2PC_EVENT_LOG", (run_dir / "events.private.jsonl").string())) {
    throw std::runtime_error("WIN32_ENVIRONMENT_FAILED");
  }

  std::string record = "{\"owner\":\"Quorix_UI3_Unified\",\"pid\":" + std::to_string(pid) + ",\"exe\":" +
                       WriteJsonStringLiteral(executable_path.string()) +
                       ",\"sha256\":" + WriteJsonStringLiteral(FileSha256Hex(executable_path)) +
                       ",\"start_utc\":" + WriteJsonStringLiteral(FormatStartUtc()) + ",\"mode\":\"Unified\"}";
  WriteRunRecord(run_dir / "process.private.json", record, true, true);
  WriteRunRecord(executable_path.parent_path() / "LAST_RUN.txt", run_dir.string(), true);
  return run_dir;
}
