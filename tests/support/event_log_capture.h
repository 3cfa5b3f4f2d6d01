#pragma once
// Points the event log at a temporary file for one scope and reads its lines
// back as (event, n, code).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/environment.h"
#include "test_util.h"

namespace quorix_test {

struct LoggedEvent {
  std::string event;
  uint64_t n = 0;
  uint64_t code = 0;
};

class EventLogCapture {
 public:
  EventLogCapture();
  ~EventLogCapture();
  EventLogCapture(const EventLogCapture&) = delete;
  EventLogCapture& operator=(const EventLogCapture&) = delete;

  std::vector<LoggedEvent> Events() const;
  std::vector<LoggedEvent> Events(const std::string& name) const;
  size_t Count(const std::string& name) const { return Events(name).size(); }
  std::string Raw() const;

 private:
  TempDir dir_;
  std::unique_ptr<ScopedEnvironmentVariable> variable_;
};

}  // namespace quorix_test
