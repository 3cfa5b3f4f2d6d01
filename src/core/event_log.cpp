#include "core/event_log.h"

#include <charconv>
#include <cstring>
#include <mutex>
#include <string>

#include "core/environment.h"
#include "core/text.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace {

std::mutex& LogMutex() {
  static std::mutex* const mutex = new std::mutex;  // outlives every logging thread
  return *mutex;
}

void AppendNumber(std::string& line, uint64_t value) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof(buf), value);
  line.append(buf, result.ptr);
}

}  // namespace

void WriteEventLog(const char* name, uint64_t n, uint64_t code) noexcept {
  try {
    std::lock_guard lock(LogMutex());
    const std::u16string target = ReadEnvironmentString(u"QUORIX_2PC_EVENT_LOG");
    if (target.empty()) return;
    const std::string path = WideToUtf8(target);
    if (path.empty()) return;
    std::string line;
    line.reserve(96);
    line += "{\"tick_ms\":";
    AppendNumber(line, platform::TickCount64());
    line += ",\"event\":\"";
    if (name != nullptr) line += name;
    line += "\",\"n\":";
    AppendNumber(line, n);
    line += ",\"code\":";
    AppendNumber(line, code);
    line += "}\n";
    (void)platform::AppendToFile(path, line);  // a lost line is not the caller's failure
  } catch (...) {
    // Logging never fails its caller.
  }
}
