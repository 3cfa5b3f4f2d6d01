#include "event_log_capture.h"

#include <charconv>
#include <sstream>

#include "core/text.h"

namespace quorix_test {
namespace {

uint64_t NumberAfter(const std::string& line, const std::string& key) {
  const size_t at = line.find(key);
  if (at == std::string::npos) return 0;
  uint64_t value = 0;
  const char* begin = line.data() + at + key.size();
  std::from_chars(begin, line.data() + line.size(), value);
  return value;
}

}  // namespace

EventLogCapture::EventLogCapture() {
  variable_ = std::make_unique<ScopedEnvironmentVariable>(u"QUORIX_2PC_EVENT_LOG",
                                                          Utf8ToWide((dir_.path() / "events.jsonl").string()));
}

EventLogCapture::~EventLogCapture() { variable_.reset(); }

std::string EventLogCapture::Raw() const {
  std::error_code ignored;
  if (!std::filesystem::exists(dir_.path() / "events.jsonl", ignored)) return {};
  return ReadFile(dir_.path() / "events.jsonl");
}

std::vector<LoggedEvent> EventLogCapture::Events() const {
  std::vector<LoggedEvent> out;
  std::string raw = Raw();
  // A line another thread is still appending counts once it is whole.
  raw.erase(raw.find_last_of('\n') + 1);
  std::istringstream lines(raw);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t at = line.find("\"event\":\"");
    if (at == std::string::npos) continue;
    const size_t begin = at + 9;
    LoggedEvent event;
    event.event = line.substr(begin, line.find('"', begin) - begin);
    event.n = NumberAfter(line, "\"n\":");
    event.code = NumberAfter(line, "\"code\":");
    out.push_back(std::move(event));
  }
  return out;
}

std::vector<LoggedEvent> EventLogCapture::Events(const std::string& name) const {
  std::vector<LoggedEvent> out;
  for (LoggedEvent& event : Events()) {
    if (event.event == name) out.push_back(std::move(event));
  }
  return out;
}

}  // namespace quorix_test
